#include "register/ImageFile.h"
#include "platform/Module.h"
#include "register/pure/DllSearch.h"
#include "platform/UniqueHandle.h"
#include <windows.h>
#include <algorithm>

namespace {

// Headers, export names, import names and resource types of any real server lie well within this.
constexpr unsigned long long MaxImageRead = 256ull << 20;

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring Widen(const std::string& text)
{
    int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

template <class F>
std::wstring SystemText(F&& get)
{
    wchar_t buffer[MAX_PATH + 1]{};
    UINT length = get(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring SystemFolderOf(pe::Machine machine)
{
    bool process64 = sizeof(void*) == 8;
    switch (pe::SystemFolderFor(machine, process64, platform::WindowsIs64Bit())) {
    case pe::SystemFolder::SysWow64: return SystemText(::GetSystemWow64DirectoryW);
    case pe::SystemFolder::SysNative: {
        std::wstring windows = SystemText(::GetSystemWindowsDirectoryW);
        return windows.empty() ? windows : windows + L"\\Sysnative";
    }
    default: return SystemText(::GetSystemDirectoryW);
    }
}

std::wstring PathVariable()
{
    DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring value(size, L'\0');
    DWORD length = size ? ::GetEnvironmentVariableW(L"PATH", value.data(), size) : 0;
    value.resize(length < size ? length : 0);
    return value;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, unsigned long long limit)
{
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0)
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
        if (!::ReadFile(file.get(), bytes.data() + filled, chunk, &read, nullptr))
            return std::nullopt;
        if (read == 0)
            break; // the file became shorter since its size was asked
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}

// The whole file is read rather than mapped: a mapped file cut short by another program faults on
// access, which this code could not catch; a read of a few megabytes costs next to nothing.
std::optional<pe::ImageFacts> ReadImageFile(const std::wstring& path)
{
    std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(path, MaxImageRead);
    if (!bytes)
        return std::nullopt;
    return pe::ReadImage(*bytes);
}

std::vector<std::wstring> MissingDependencies(const std::wstring& path, const pe::ImageFacts& facts)
{
    std::vector<std::wstring> dlls;
    for (const std::string& name : facts.imports)
        dlls.push_back(Widen(name));
    std::vector<std::wstring> folders{FolderOf(path), SystemFolderOf(facts.machine), SystemText(::GetWindowsDirectoryW)};
    for (std::wstring& folder : pe::SplitSearchPath(PathVariable()))
        folders.push_back(std::move(folder));
    return pe::MissingDlls(dlls, folders, [](const std::wstring& candidate) {
        DWORD attributes = ::GetFileAttributesW(candidate.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    });
}
