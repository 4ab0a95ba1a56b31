#include "register/RunJournal.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include <shlobj.h>
#include <sddl.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

constexpr size_t kRunsKept = 100;
// Far beyond any run's journal; a larger file is not one.
constexpr unsigned long long kLongestJournal = 256ull << 20;

std::wstring KnownFolder(const KNOWNFOLDERID& id)
{
    PWSTR path = nullptr;
    HRESULT result = ::SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) ? std::wstring(path) + L"\\Mirdal\\Journal\\" : L"";
    ::CoTaskMemFree(path);
    if (FAILED(result))
        platform::ThrowFailure(static_cast<DWORD>(HRESULT_CODE(result)));
    return folder;
}

std::wstring AdministratorFolder()
{
    static const std::wstring folder = KnownFolder(FOLDERID_ProgramData);
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

void RemoveOldest(const std::wstring& folder)
{
    std::vector<std::wstring> names = JournalFiles(folder);
    for (size_t i = 0; i + kRunsKept < names.size(); ++i)
        ::DeleteFileW((folder + names[i]).c_str());
}

// The folders on the way; the last one, where it is made here, with the security given.
void CreateFolders(const std::wstring& folder, SECURITY_ATTRIBUTES* security = nullptr)
{
    for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos; end = folder.find(L'\\', end + 1)) {
        const bool last = end + 1 == folder.size();
        if (!::CreateDirectoryW(folder.substr(0, end).c_str(), last ? security : nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            platform::ThrowLastError();
    }
}

std::optional<JournalRun> ReadRun(const std::wstring& path)
{
    std::optional<std::vector<std::uint8_t>> bytes = platform::ReadFileBytes(path, kLongestJournal);
    std::optional<std::wstring> text = bytes ? JournalTextOfBytes(*bytes) : std::nullopt;
    return text ? ParseJournal(*text) : std::nullopt;
}

void AppendUndoneLine(const std::wstring& path)
{
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        platform::ThrowLastError();
    WriteText(file.get(), JournalUndoneLine(LocalTime(L"%04u-%02u-%02u %02u:%02u:%02u")), false);
    platform::ThrowIfFalse(::FlushFileBuffers(file.get()));
}

// A name the window may hand a host: letters, digits and hyphens, then ".txt"; never a path.
std::wstring CheckedName(const std::wstring& name)
{
    const bool plain = name.size() > 4 && name.size() < 80 && name.ends_with(L".txt")
                       && std::all_of(name.begin(), name.end() - 4, [](wchar_t c) { return std::iswalnum(c) || c == L'-'; });
    if (!plain)
        platform::ThrowFailure(ERROR_INVALID_NAME);
    return name;
}

void ListRuns(const std::wstring& folder, bool administrators, std::vector<StoredRun>& runs)
{
    if (platform::Attributes(folder) == INVALID_FILE_ATTRIBUTES)
        return;
    std::vector<std::wstring> names;
    try {
        names = JournalFiles(folder);
    } catch (const platform::Failure&) {
        return;
    }
    for (const std::wstring& name : names) {
        StoredRun stored{folder + name, ReadRun(folder + name), administrators};
        if (!stored.run || !stored.run->undone)
            runs.push_back(std::move(stored));
    }
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

} // namespace

RunJournal::RunJournal(JournalKind kind, JournalScope scope)
    : header_(JournalRunHeader(LocalTime(L"%04u-%02u-%02u %02u:%02u:%02u"), kind, scope)),
      name_(LocalTime(L"%04u%02u%02u-%02u%02u%02u-%03u") + L"-" + std::to_wstring(::GetCurrentProcessId()))
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
        const std::wstring folder = UserJournalFolder();
        CreateFolders(folder);
        for (int attempt = 1; !file_; ++attempt) {
            std::wstring path = folder + name_ + L"-" + std::to_wstring(attempt) + L".txt";
            file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file_ && (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100))
                platform::ThrowLastError();
        }
        try {
            WriteText(file_.get(), header_, true);
        } catch (const platform::Failure&) {
            file_.reset();
            throw;
        }
        RemoveOldest(folder);
    }
    WriteText(file_.get(), entryText, false);
}

std::wstring RunJournal::HostJournal() const { return name_ + L".txt\n" + header_; }

std::wstring UserJournalFolder() { return KnownFolder(FOLDERID_LocalAppData); }

std::vector<StoredRun> StoredRuns()
{
    std::vector<StoredRun> runs;
    for (bool administrators : {false, true})
        try {
            ListRuns(administrators ? AdministratorFolder() : UserJournalFolder(), administrators, runs);
        } catch (const platform::Failure&) {
        }
    // Newest first across both folders: the names begin with the run's time.
    std::stable_sort(runs.begin(), runs.end(), [](const StoredRun& a, const StoredRun& b) { return FileName(a.path) > FileName(b.path); });
    return runs;
}

void MarkUndone(const std::wstring& path) { AppendUndoneLine(path); }

void AppendAdministratorEntry(const std::wstring& journal, const std::wstring& entryText)
{
    const size_t newline = journal.find(L'\n');
    const std::wstring header = newline == std::wstring::npos ? L"" : journal.substr(newline + 1);
    const std::wstring name = CheckedName(journal.substr(0, newline));
    if (!ParseJournal(header))
        platform::ThrowFailure(ERROR_INVALID_DATA);
    const std::wstring folder = AdministratorFolder();
    auto open = [&] {
        return platform::UniqueFile(::CreateFileW((folder + name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    // The folder is made, with its own access list, only when it is not there.
    platform::UniqueFile file = open();
    if (!file && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        platform::UniqueLocal descriptor;
        platform::ThrowIfFalse(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorJournalSddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
        SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
        CreateFolders(folder, &security);
        file = open();
    }
    if (!file)
        platform::ThrowLastError();
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        WriteText(file.get(), header, true);
        RemoveOldest(folder);
    }
    WriteText(file.get(), entryText, false);
}

std::optional<JournalRun> AdministratorRun(const std::wstring& name) { return ReadRun(AdministratorFolder() + CheckedName(name)); }

void MarkAdministratorRunUndone(const std::wstring& name) { AppendUndoneLine(AdministratorFolder() + CheckedName(name)); }
