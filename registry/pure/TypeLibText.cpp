#include "registry/pure/TypeLibText.h"
#include "register/pure/RegFileText.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

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

std::wstring_view RegisteredFilePath(std::wstring_view o_Path)
{
    const std::size_t slash = o_Path.rfind(L'\\');
    if (slash == std::wstring_view::npos || slash + 1 == o_Path.size())
        return o_Path;
    for (wchar_t c : o_Path.substr(slash + 1))
        if (c < L'0' || c > L'9')
            return o_Path;
    const std::wstring_view file = o_Path.substr(0, slash);
    if (file.empty() || file.back() == L'\\' || file.back() == L':')
        return o_Path;
    return file;
}

std::wstring RegisteredFileName(const std::wstring& o_Path)
{
    const std::wstring_view file = RegisteredFilePath(o_Path);
    const std::size_t slash = file.rfind(L'\\');
    return std::wstring(slash == std::wstring_view::npos ? file : file.substr(slash + 1));
}

std::array<const wchar_t*, 2> PlatformKeys(bool o_Win64)
{
    if (o_Win64)
        return {L"win64", L"win32"};
    return {L"win32", L"win64"};
}

namespace {

// The registry orders key names by their upper-case form; library keys are ASCII.
wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

int CompareNames(std::wstring_view left, std::wstring_view right)
{
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const wchar_t a = Upper(left[i]), b = Upper(right[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

} // namespace

std::vector<LibraryKey> MergeLibraryKeys(const std::vector<std::wstring>& o_Classes, const std::vector<std::wstring>& o_User)
{
    std::vector<LibraryKey> merged;
    merged.reserve(o_Classes.size() + o_User.size());
    std::size_t c = 0, u = 0;
    while (c < o_Classes.size() || u < o_User.size()) {
        if (c < o_Classes.size() && u < o_User.size()) {
            const int order = CompareNames(o_Classes[c], o_User[u]);
            if (order == 0)
                ++c; // the user's registration of the same library hides the machine's
            else if (order < 0)
                merged.push_back({o_Classes[c++], false});
            else
                merged.push_back({o_User[u++], true});
        } else if (c < o_Classes.size()) {
            merged.push_back({o_Classes[c++], false});
        } else {
            merged.push_back({o_User[u++], true});
        }
    }
    return merged;
}
