#include "register/RunJournal.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include <shlobj.h>
#include <algorithm>
#include <cwchar>

namespace {

constexpr size_t kRunsKept = 100;
// Far beyond any run's journal; a larger file is not one.
constexpr unsigned long long kLongestJournal = 256ull << 20;

std::wstring JournalFolder()
{
    PWSTR local = nullptr;
    HRESULT result = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
    std::wstring folder = SUCCEEDED(result) ? std::wstring(local) + L"\\Mirdal\\Journal\\" : L"";
    ::CoTaskMemFree(local);
    if (FAILED(result))
        platform::ThrowFailure(static_cast<DWORD>(HRESULT_CODE(result)));
    return folder;
}

std::wstring LocalTime(const wchar_t* format)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t text[40];
    std::swprintf(text, 40, format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

// In one write, straight to the system: an entry survives a crash of this process whole or not at all.
void WriteText(HANDLE file, const std::wstring& text, bool withMark)
{
    std::vector<std::uint8_t> bytes = Utf16LeWithBom(text);
    const size_t skip = withMark ? 0 : 2;
    DWORD written = 0;
    platform::ThrowIfFalse(::WriteFile(file, bytes.data() + skip, static_cast<DWORD>(bytes.size() - skip), &written, nullptr));
    if (written != bytes.size() - skip)
        platform::ThrowFailure(ERROR_DISK_FULL);
}

// The journal's file names, oldest first: their names begin with the time of their run.
std::vector<std::wstring> JournalFiles(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    platform::FolderListing listing(folder + L"*.txt");
    WIN32_FIND_DATAW entry;
    while (listing.Next(entry))
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(entry.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

void CreateFolders(const std::wstring& folder)
{
    for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos; end = folder.find(L'\\', end + 1))
        if (!::CreateDirectoryW(folder.substr(0, end).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            platform::ThrowLastError();
}

} // namespace

RunJournal::RunJournal(JournalKind kind, JournalScope scope)
    : header_(JournalRunHeader(LocalTime(L"%04u-%02u-%02u %02u:%02u:%02u"), kind, scope))
{
}

RunJournal::~RunJournal()
{
    // Once per run, not per entry: a flush per file cost more than the registration itself.
    if (file_)
        ::FlushFileBuffers(file_.get());
}

void RunJournal::Append(const std::wstring& entryText)
{
    if (!file_) {
        const std::wstring folder = JournalFolder();
        CreateFolders(folder);
        const std::wstring stamp = LocalTime(L"%04u%02u%02u-%02u%02u%02u-%03u");
        for (int attempt = 1; !file_; ++attempt) {
            std::wstring path = folder + stamp + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".txt";
            file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file_ && (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100))
                platform::ThrowLastError();
        }
        WriteText(file_.get(), header_, true);
        std::vector<std::wstring> names = JournalFiles(folder);
        for (size_t i = 0; i + kRunsKept < names.size(); ++i)
            ::DeleteFileW((folder + names[i]).c_str());
    }
    WriteText(file_.get(), entryText, false);
}

std::vector<StoredRun> StoredRuns()
{
    const std::wstring folder = JournalFolder();
    if (platform::Attributes(folder) == INVALID_FILE_ATTRIBUTES)
        return {};
    std::vector<std::wstring> names = JournalFiles(folder);
    std::vector<StoredRun> runs;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        StoredRun stored{folder + *name, std::nullopt};
        std::optional<std::vector<std::uint8_t>> bytes = platform::ReadFileBytes(stored.path, kLongestJournal);
        std::optional<std::wstring> text = bytes ? JournalTextOfBytes(*bytes) : std::nullopt;
        stored.run = text ? ParseJournal(*text) : std::nullopt;
        if (!stored.run || !stored.run->undone)
            runs.push_back(std::move(stored));
    }
    return runs;
}

void MarkUndone(const std::wstring& path)
{
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        platform::ThrowLastError();
    WriteText(file.get(), JournalUndoneLine(LocalTime(L"%04u-%02u-%02u %02u:%02u:%02u")), false);
    platform::ThrowIfFalse(::FlushFileBuffers(file.get()));
}
