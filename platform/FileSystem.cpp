#include "platform/FileSystem.h"
#include "platform/Failure.h"
#include <algorithm>
#include <new>

namespace platform {

FolderListing::FolderListing(const std::wstring& pattern)
{
    find_.reset(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &first_, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
    if (find_) {
        hasFirst_ = true;
        return;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
        ThrowFailure(error);
}

bool FolderListing::Next(WIN32_FIND_DATAW& entry)
{
    if (hasFirst_) {
        hasFirst_ = false;
        entry = first_;
        return true;
    }
    if (!find_ || !::FindNextFileW(find_.get(), &entry))
        return false;
    return true;
}


std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, unsigned long long limit)
{
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return std::nullopt;
    return ReadOpenFile(file.get(), limit);
}

std::optional<std::vector<std::uint8_t>> ReadOpenFile(HANDLE file, unsigned long long limit)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(std::min<unsigned long long>(static_cast<unsigned long long>(size.QuadPart), limit)));
    } catch (const std::bad_alloc&) {
        return std::nullopt; // a 32-bit process may find no room for a large file
    }
    size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - filled, 1u << 24)), read = 0;
        if (!::ReadFile(file, bytes.data() + filled, chunk, &read, nullptr))
            return std::nullopt;
        if (read == 0)
            break; // the file became shorter since its size was asked
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}

namespace {

// A file that goes again unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!kept_)
            ::DeleteFileW(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::wstring& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::wstring path_;
    bool kept_ = false;
};

} // namespace

void WriteAll(HANDLE file, const void* data, size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (size_t done = 0; done < size;) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), moved = 0;
        ThrowIfFalse(::WriteFile(file, bytes + done, chunk, &moved, nullptr));
        if (moved == 0)
            ThrowFailure(ERROR_DISK_FULL);
        done += moved;
    }
}

void WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    static LONG count = 0;
    // Beside the file, so that putting it in place is a rename within one volume.
    const std::wstring temporary =
        path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::InterlockedIncrement(&count)) + L".tmp";
    UniqueFile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError();
    TemporaryFile written(temporary);
    WriteAll(file.get(), bytes.data(), bytes.size());
    ThrowIfFalse(::FlushFileBuffers(file.get()));
    file.reset();
    ThrowIfFalse(::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    written.Keep();
}

} // namespace platform
