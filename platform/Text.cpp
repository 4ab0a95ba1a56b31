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

int CompareIgnoreCase(std::wstring_view a, std::wstring_view b)
{
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, IgnoreCaseFlags, a.data(), static_cast<int>(a.size()),
                             b.data(), static_cast<int>(b.size()), nullptr, nullptr, 0)
           - CSTR_EQUAL;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) { return CompareIgnoreCase(a, b) == 0; }

std::optional<std::string> ToCodePage(const std::wstring& text, UINT codePage, DWORD flags, bool refuseDefaultChar)
{
    if (text.empty())
        return std::string();
    BOOL defaultUsed = FALSE;
    BOOL* askDefault = refuseDefaultChar ? &defaultUsed : nullptr;
    int length = static_cast<int>(text.size());
    int size = ::WideCharToMultiByte(codePage, flags, text.c_str(), length, nullptr, 0, nullptr, askDefault);
    if (size <= 0 || defaultUsed)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    size = ::WideCharToMultiByte(codePage, flags, text.c_str(), length, bytes.data(), size, nullptr, askDefault);
    if (size <= 0 || defaultUsed)
        return std::nullopt;
    bytes.resize(static_cast<size_t>(size));
    return bytes;
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

std::wstring FromAnsi(const char* text)
{
    int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

} // namespace platform
