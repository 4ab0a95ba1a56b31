#pragma once
// Where the loader would look for the DLLs an image imports, decided without the file system.
#include "pe/pure/PeImage.h"
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pe {

// The API-set names (api-ms-win-*, ext-ms-*) that the loader resolves without a file of that name.
bool IsApiSetName(std::wstring_view dll);

// The DLLs found in none of the folders, in import order and each once; API-set names count as present.
// exists(path) says whether a file is there.
std::vector<std::wstring> MissingDlls(const std::vector<std::wstring>& dlls, const std::vector<std::wstring>& folders,
                                      const std::function<bool(const std::wstring&)>& exists);

// The system folder that holds the DLLs of an image's bitness, as this process must name it.
enum class SystemFolder { System32, SysWow64, SysNative };
SystemFolder SystemFolderFor(Machine machine, bool process64, bool windows64);

// The folders of a PATH value: split at ";", quotes dropped, empty entries left out.
std::vector<std::wstring> SplitSearchPath(std::wstring_view path);

} // namespace pe
