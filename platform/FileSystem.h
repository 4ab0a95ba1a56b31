#pragma once
// Folder listings and attributes, wide paths throughout.
#include "platform/UniqueHandle.h"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Walks the entries matching a pattern such as C:\folder\*.
class FolderListing {
public:
    // Throws platform::Failure when the folder cannot be listed; a folder with no match is no failure.
    explicit FolderListing(const std::wstring& pattern);
    // The next entry; false at the end.
    bool Next(WIN32_FIND_DATAW& entry);

private:
    UniqueFind find_;
    WIN32_FIND_DATAW first_{};
    bool hasFirst_ = false;
};

// The attributes of a path, or INVALID_FILE_ATTRIBUTES when they cannot be read.
inline DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

// The file's first `limit` bytes, or all of a shorter file; nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, unsigned long long limit);
// The same of a file just opened for reading.
std::optional<std::vector<std::uint8_t>> ReadOpenFile(HANDLE file, unsigned long long limit);
// Writes all of `size` bytes to a file or pipe, in as few writes as the system takes. Throws platform::Failure,
// ERROR_DISK_FULL where it takes none.
void WriteAll(HANDLE file, const void* data, size_t size);
// Writes a file whole or not at all: the bytes go to a new file beside it, which then takes its place,
// so that a file already there stays as it was until the new one is complete. Throws platform::Failure.
void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// Whether nothing is at a path any more: neither it nor a folder on its way exists. A path that cannot
// be read for another reason (access denied) is not missing.
inline bool IsMissing(const std::wstring& path)
{
    if (Attributes(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace platform
