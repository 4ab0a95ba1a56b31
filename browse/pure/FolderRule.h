#pragma once
// Which entries of a folder listing the tree shows as folders. The attribute bits are those of the
// file system's own listing, so that the rule needs no window and no Windows headers.
#include <cstdint>
#include <string_view>

namespace folder_rule {

constexpr std::uint32_t Directory = 0x10, Hidden = 0x2, System = 0x4, Unreadable = 0xFFFFFFFFu;

// A path whose attributes cannot be read counts as a file.
constexpr bool IsFolder(std::uint32_t attributes)
{
    return attributes != Unreadable && (attributes & Directory) != 0;
}

constexpr bool IsDotEntry(std::wstring_view name)
{
    return name == L"." || name == L"..";
}

// A folder the tree shows: not "." or "..", neither hidden nor system.
constexpr bool IsShownFolder(std::uint32_t attributes, std::wstring_view name)
{
    return IsFolder(attributes) && !(attributes & (Hidden | System)) && !IsDotEntry(name);
}

} // namespace folder_rule
