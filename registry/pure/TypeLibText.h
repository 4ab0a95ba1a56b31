#pragma once
// Text helpers of the registered-library list: version key names and registered file names.
#include <array>
#include <string>
#include <string_view>
#include <vector>

// A version key name ("2.1f") with every dot-separated part turned from hexadecimal into decimal ("2.31").
std::wstring ConvertHexVersion(std::wstring o_Version);

// The version column: every version key name converted, newest-listed first, joined by "/".
std::wstring GetVersionList(const std::vector<std::wstring>& o_Versions);

// The file a registered path names: the path itself, or, when what follows its last "\" is all digits
// (the index of a type library stored as another resource than the first, "...\vbscript.dll\3") and
// what precedes that ends in a name, the path without the index.
std::wstring_view RegisteredFilePath(std::wstring_view o_Path);

// The file name of RegisteredFilePath: its part after the last "\"; the whole of it when it holds none.
std::wstring RegisteredFileName(const std::wstring& o_Path);

// The platform keys below "<version>\0" to read, the build's own first: its paths win when both match.
std::array<const wchar_t*, 2> PlatformKeys(bool o_Win64);

// One library key of the merged TypeLib view and whether it is read from the user's classes.
struct LibraryKey {
    std::wstring guid;
    bool user = false;
    bool operator==(const LibraryKey&) const = default;
};

// The machine's and the user's library keys as one view, as HKEY_CLASSES_ROOT merges them on Windows:
// each name once (letter case ignored), the user's key winning, in the registry's order (both lists are
// sorted by name without letter case).
std::vector<LibraryKey> MergeLibraryKeys(const std::vector<std::wstring>& o_Classes, const std::vector<std::wstring>& o_User);
