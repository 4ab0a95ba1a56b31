#include "register/RunJournal.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/pure/PathText.h"
#include <shlobj.h>
#include <sddl.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

constexpr size_t kRunsKept = 100;
// Far beyond any run's journal; a larger file is not one.
constexpr unsigned long long kLongestJournal = 256ull << 20;

constexpr wchar_t kWithin[] = L"\\Mirdal\\Journal\\";

struct JournalFolder {
    const KNOWNFOLDERID& id;
    const wchar_t* variable; // how the user finds it where the system cannot name it
};
const JournalFolder kUserFolder{FOLDERID_LocalAppData, L"%LOCALAPPDATA%"}, kAdministratorFolder{FOLDERID_ProgramData, L"%ProgramData%"};

// The folder as the system names it, whether or not it is there. Throws platform::Failure.
std::wstring KnownFolder(const JournalFolder& known)
{
    PWSTR path = nullptr;
    HRESULT result = ::SHGetKnownFolderPath(known.id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) ? path + std::wstring(kWithin) : L"";
    ::CoTaskMemFree(path);
    if (FAILED(result))
        platform::ThrowFailure(static_cast<DWORD>(HRESULT_CODE(result)));
    return folder;
}

std::wstring AdministratorFolder()
{
    static const std::wstring folder = KnownFolder(kAdministratorFolder);
    return folder;
}

JournalTimes SystemTimes()
{
    JournalTimes times;
    ::GetSystemTime(&times.utc);
    ::GetLocalTime(&times.local);
    return times;
}

JournalTimes (*journalClock)() = SystemTimes;

std::wstring Stamp(const SYSTEMTIME& time, const wchar_t* format)
{
    wchar_t text[40];
    std::swprintf(text, 40, format, time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

std::wstring ShownTime(const SYSTEMTIME& time) { return Stamp(time, L"%04u-%02u-%02u %02u:%02u:%02u"); }

// In one write, straight to the system: an entry survives a crash of this process whole or not at all.
void WriteText(HANDLE file, const std::wstring& text, bool withMark)
{
    std::vector<std::uint8_t> bytes = Utf16LeWithBom(text);
    const size_t skip = withMark ? 0 : 2;
    platform::WriteAll(file, bytes.data() + skip, bytes.size() - skip);
}

// The journal's file names, oldest first.
std::vector<std::wstring> JournalFiles(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    platform::FolderListing listing(folder + L"*.txt");
    WIN32_FIND_DATAW entry;
    while (listing.Next(entry))
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(entry.cFileName);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) { return JournalNewer(b, a); });
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

std::optional<JournalRun> RunOfBytes(const std::optional<std::vector<std::uint8_t>>& bytes)
{
    std::optional<std::wstring> text = bytes ? JournalTextOfBytes(*bytes) : std::nullopt;
    return text ? ParseJournal(*text) : std::nullopt;
}

std::optional<JournalRun> ReadRun(const std::wstring& path) { return RunOfBytes(platform::ReadFileBytes(path, kLongestJournal)); }

// A name the window may hand a host: letters, digits and hyphens, then ".txt"; never a path.
std::wstring CheckedName(const std::wstring& name)
{
    const bool plain = name.size() > 4 && name.size() < 80 && name.ends_with(L".txt")
                       && std::all_of(name.begin(), name.end() - 4, [](wchar_t c) { return std::iswalnum(c) || c == L'-'; });
    if (!plain)
        platform::ThrowFailure(ERROR_INVALID_NAME);
    return name;
}

// Throws platform::Failure where the folder is not there, is no folder or cannot be listed.
void ListRuns(const std::wstring& folder, bool administrators, std::vector<StoredRun>& runs)
{
    const DWORD attributes = platform::Attributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        platform::ThrowLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        platform::ThrowFailure(ERROR_DIRECTORY);
    for (const std::wstring& name : JournalFiles(folder)) {
        StoredRun stored{folder + name, ReadRun(folder + name), administrators};
        if (!stored.run || !stored.run->undone)
            runs.push_back(std::move(stored));
    }
}

// The order of a run made now: after every run of both folders that can be listed.
JournalOrder NewOrder(const SYSTEMTIME& utc)
{
    std::optional<JournalOrder> newest;
    for (bool administrators : {false, true})
        try {
            std::vector<std::wstring> names = JournalFiles(administrators ? AdministratorFolder() : UserJournalFolder());
            if (!names.empty())
                newest = std::max(newest, JournalOrderOf(names.back()));
        } catch (const platform::Failure&) {
        }
    return NextJournalOrder(Stamp(utc, L"%04u%02u%02u-%02u%02u%02u-%03u"), newest);
}

} // namespace

RunJournal::RunJournal(JournalKind kind, JournalScope scope)
{
    const JournalTimes times = journalClock();
    header_ = JournalRunHeader(ShownTime(times.local), kind, scope);
    order_ = NewOrder(times.utc);
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
        // A run of the same order made meanwhile by another window of this process's id is passed over.
        for (int attempt = 1; !file_; ++attempt, ++order_.count) {
            const std::wstring path = folder + JournalFileName(order_, ::GetCurrentProcessId());
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

std::wstring RunJournal::HostJournal() const { return JournalFileName(order_, ::GetCurrentProcessId()) + L"\n" + header_; }

void SetJournalClock(JournalTimes (*clock)()) { journalClock = clock ? clock : SystemTimes; }

std::wstring UserJournalFolder() { return KnownFolder(kUserFolder); }

JournalListing StoredRuns()
{
    JournalListing listing;
    for (bool administrators : {false, true}) {
        std::wstring folder;
        try {
            folder = administrators ? AdministratorFolder() : UserJournalFolder();
            ListRuns(folder, administrators, listing.runs);
        } catch (const platform::Failure&) {
            const JournalFolder& known = administrators ? kAdministratorFolder : kUserFolder;
            listing.unreachable.push_back(folder.empty() ? known.variable + std::wstring(kWithin) : folder);
        }
    }
    std::stable_sort(listing.runs.begin(), listing.runs.end(),
                     [](const StoredRun& a, const StoredRun& b) { return JournalNewer(platform::FileNameOf(a.path), platform::FileNameOf(b.path)); });
    return listing;
}

ClaimedRun::ClaimedRun(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
    if (!file_)
        platform::ThrowLastError();
    run_ = RunOfBytes(platform::ReadOpenFile(file_.get(), kLongestJournal));
}

void ClaimedRun::MarkUndone()
{
    WriteText(file_.get(), JournalUndoneLine(ShownTime(journalClock().local)), false);
    platform::ThrowIfFalse(::FlushFileBuffers(file_.get()));
}

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

ClaimedRun ClaimAdministratorRun(const std::wstring& name) { return ClaimedRun(AdministratorFolder() + CheckedName(name)); }
