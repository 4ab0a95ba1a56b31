#pragma once
// The last part of a path, after either separator the system accepts; the whole text when it has none.
#include <string>

namespace platform {

inline std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

} // namespace platform
