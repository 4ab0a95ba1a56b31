#pragma once
// The per-user settings store: HKEY_CURRENT_USER\Software\<application>\<section>, text values.
#include <string>

namespace platform {

// The stored text, or fallback when the value is absent or not text.
std::wstring GetSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                        const std::wstring& fallback);
// Throws platform::Failure when the store cannot be written.
void SaveSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value);

} // namespace platform
