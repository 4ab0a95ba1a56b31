#pragma once
// Names compared as the system compares file and key names: ASCII letters without case, every other
// character as it is.
#include <string_view>

namespace platform {

constexpr wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
constexpr wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

inline bool EqualIgnoreAsciiCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

inline bool StartsWithIgnoreAsciiCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && EqualIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

} // namespace platform
