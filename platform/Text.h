#pragma once
// Text operations that follow the system's rules.
#include <windows.h>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Upper case as the system maps it, independent of the user's locale.
std::wstring UpperCase(const std::wstring& text);
// The flags of every comparison ignoring case, so that a sort key made with them matches EqualsIgnoreCase.
constexpr DWORD IgnoreCaseFlags = NORM_IGNORECASE;
// Equality ignoring case, by the user's locale.
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);
// Order ignoring case, by the user's locale: <0, 0, >0.
int CompareIgnoreCase(std::wstring_view a, std::wstring_view b);
// The text in a code page, converted with the given WideCharToMultiByte flags; nothing when the system
// refuses it or, if asked, when a default character stood in for one it has no form for.
std::optional<std::string> ToCodePage(const std::wstring& text, UINT codePage, DWORD flags, bool refuseDefaultChar);
// The text in the ANSI code page, with the system's replacements for what has no form there.
std::string ToAnsi(const std::wstring& text);
// Text of the ANSI code page, as the system's A functions read it.
std::wstring FromAnsi(const char* text);

} // namespace platform
