#include "registry/pure/TypeLibText.h"

#include <cstdint>
#include <string_view>

namespace {

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Digits count up to the first character that is not one; a value that needs more than
// 32 bits has no sensible version number and reads as 0.
std::uint32_t HexPart(std::wstring_view part)
{
    std::uint64_t value = 0;
    for (wchar_t c : part) {
        int digit = HexDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
        if (value > UINT32_MAX)
            return 0;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

std::wstring ConvertHexVersion(std::wstring o_Version)
{
    if (o_Version.empty())
        return {};
    std::wstring result;
    std::wstring_view rest = o_Version;
    for (;;) {
        std::size_t dot = rest.find(L'.');
        result += std::to_wstring(HexPart(rest.substr(0, dot)));
        if (dot == std::wstring_view::npos)
            return result;
        result += L'.';
        rest.remove_prefix(dot + 1);
    }
}

std::wstring GetVersionList(const std::vector<std::wstring>& o_Versions)
{
    std::wstring result;
    for (auto it = o_Versions.rbegin(); it != o_Versions.rend(); ++it) {
        if (it != o_Versions.rbegin())
            result += L'/';
        result += ConvertHexVersion(*it);
    }
    return result;
}

std::wstring RegisteredFileName(const std::wstring& o_Path)
{
    std::size_t slash = o_Path.rfind(L'\\');
    return slash == std::wstring::npos ? o_Path : o_Path.substr(slash + 1);
}
