#include "platform/Text.h"

namespace platform {

std::wstring UpperCase(const std::wstring& text)
{
    if (text.empty())
        return text;
    std::wstring upper(text.size(), L'\0');
    int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()),
                                 upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
    upper.resize(static_cast<size_t>(length > 0 ? length : 0));
    return length > 0 ? upper : text;
}

int CompareIgnoreCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                             b.c_str(), static_cast<int>(b.size()), nullptr, nullptr, 0)
           - CSTR_EQUAL;
}

bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b) { return CompareIgnoreCase(a, b) == 0; }

std::optional<std::string> ToAnsiExact(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    BOOL lossy = FALSE;
    int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy)
        return std::nullopt;
    std::string ansi(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), ansi.data(), size,
                          nullptr, &lossy);
    return ansi;
}

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), ansi.data(), size, nullptr, nullptr);
    return ansi;
}

} // namespace platform
