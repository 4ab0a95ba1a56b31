#include "platform/Settings.h"
#include "platform/Failure.h"
#include "platform/UniqueHandle.h"
#include <vector>

namespace platform {
namespace {

std::wstring SectionPath(const std::wstring& application, const std::wstring& section)
{
    return L"Software\\" + application + L"\\" + section;
}

} // namespace

std::wstring GetSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                        const std::wstring& fallback)
{
    UniqueKey hkey;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0, KEY_QUERY_VALUE, hkey.put()))
        return fallback;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(hkey.get(), key.c_str(), nullptr, &type, nullptr, &bytes) || type != REG_SZ)
        return fallback;
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
    if (::RegQueryValueExW(hkey.get(), key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes))
        return fallback;
    return data.data();
}

void SaveSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value)
{
    UniqueKey hkey;
    ThrowIfError(::RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, hkey.put(), nullptr));
    auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    ThrowIfError(::RegSetValueExW(hkey.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

} // namespace platform
