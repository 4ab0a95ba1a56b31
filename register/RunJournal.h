#pragma once
// The journal's files, one per run, the newest 100 of each folder kept: runs of the user's rights in
// %LOCALAPPDATA%\Mirdal\Journal, written by the window; runs with administrator rights in
// %ProgramData%\Mirdal\Journal, where only administrators write, written by the hosts that made them.
// Runs are named, ordered and kept by JournalOrder, never by the local clock.
#include "platform/UniqueHandle.h"
#include "register/pure/Journal.h"
#include <optional>
#include <string>
#include <vector>

// The journal of one run in the user's folder: its file is made at the first entry, so that a run that
// called nothing leaves none.
class RunJournal {
public:
    RunJournal(JournalKind kind, JournalScope scope);
    // Flushes the file to disk.
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;
    // Writes the entry's text at the end of the file, past the program's reach at once: a crash of
    // the window keeps it. Throws platform::Failure; the next entry tries again.
    void Append(const std::wstring& entryText);
    // The run's file name and header, for a host that writes the run in the administrators' folder.
    std::wstring HostJournal() const;

private:
    std::wstring header_;
    JournalOrder order_;
    platform::UniqueFile file_;
};

// When a run happens: UTC orders the runs, the local time is what the dialog shows.
struct JournalTimes {
    SYSTEMTIME utc, local;
};
// The system's clock unless a test sets its own; nullptr puts the system's back.
void SetJournalClock(JournalTimes (*clock)());

struct StoredRun {
    std::wstring path;
    std::optional<JournalRun> run; // none: the file cannot be read, or its header is not one
    bool administrators = false;   // in the administrators' folder: undone by a host with their rights
};

struct JournalListing {
    std::vector<StoredRun> runs;
    std::vector<std::wstring> unreachable; // folders missing, not folders, or that cannot be listed
};
// The runs not undone yet of both folders, newest first; unreadable files among them. A folder that
// cannot be read holds none.
JournalListing StoredRuns();
// Where the user's runs are kept. Throws platform::Failure.
std::wstring UserJournalFolder();

// A run's file taken for one undo: while this lives, no one else takes the file or writes to it, and its
// run is the file as it is now.
class ClaimedRun {
public:
    // Throws platform::Failure, ERROR_SHARING_VIOLATION while another holds or writes the file.
    explicit ClaimedRun(const std::wstring& path);
    // None: the file does not read back.
    const std::optional<JournalRun>& Run() const { return run_; }
    // Appends the undone line. Throws platform::Failure.
    void MarkUndone();

private:
    platform::UniqueFile file_;
    std::optional<JournalRun> run_;
};

// In the host, with administrator rights. `journal` is what HostJournal gave; the name is checked,
// never a path. Throws platform::Failure.
void AppendAdministratorEntry(const std::wstring& journal, const std::wstring& entryText);
// The run of a file of the administrators' folder, by its name; nullopt when it does not read back.
std::optional<JournalRun> AdministratorRun(const std::wstring& name);
// Takes such a file, by its name. Throws platform::Failure.
ClaimedRun ClaimAdministratorRun(const std::wstring& name);
// The access list of the administrators' folder: SYSTEM and Administrators full control, users read,
// nothing inherited from above.
constexpr wchar_t kAdministratorJournalSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
