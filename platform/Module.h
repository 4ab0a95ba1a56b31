#pragma once
// Facts about the running executable file.
#include <string>

namespace platform {

struct FileVersion {
    unsigned major = 0, minor = 0, build = 0, revision = 0;
};

std::wstring ExecutablePath();
// The folder of the executable, ending in "\".
std::wstring ExecutableFolder();
// The file name without folder and extension.
std::wstring ExecutableBaseName();
// The fixed version of a file's version resource; all zero when it has none.
FileVersion ReadFileVersion(const std::wstring& path);
// Whether Windows itself is 64-bit, whatever the bitness of this process.
bool WindowsIs64Bit();

} // namespace platform
