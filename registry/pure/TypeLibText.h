#pragma once
// Text helpers of the registered-library list: version key names and registered file names.
#include <string>
#include <vector>

// A version key name ("2.1f") with every dot-separated part turned from hexadecimal into decimal ("2.31").
std::wstring ConvertHexVersion(std::wstring o_Version);

// The version column: every version key name converted, newest-listed first, joined by "/".
std::wstring GetVersionList(const std::vector<std::wstring>& o_Versions);

// The part of a registered path after its last "\"; the whole path when it holds none.
std::wstring RegisteredFileName(const std::wstring& o_Path);
