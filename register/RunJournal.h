#pragma once
// The journal's files, one per run, the newest 100 of each folder kept: runs of the user's rights in
// %LOCALAPPDATA%\Mirdal\Journal, written by the window; runs with administrator rights in
// %ProgramData%\Mirdal\Journal, where only administrators write, written by the hosts that made them.
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
    std::wstring header_, name_;
    platform::UniqueFile file_;
};

struct StoredRun {
    std::wstring path;
    std::optional<JournalRun> run; // none: the file cannot be read, or its header is not one
    bool administrators = false;   // in the administrators' folder: undone by a host with their rights
};

// The runs not undone yet of both folders, newest first; unreadable files among them. A folder that
// cannot be read holds none.
std::vector<StoredRun> StoredRuns();
// Where the user's runs are kept, for the dialog to say.
std::wstring UserJournalFolder();
// Appends the undone line to a run's file in the user's folder. Throws platform::Failure.
void MarkUndone(const std::wstring& path);

// In the host, with administrator rights. `journal` is what HostJournal gave; the name is checked,
// never a path. Throws platform::Failure.
void AppendAdministratorEntry(const std::wstring& journal, const std::wstring& entryText);
// The run of a file of the administrators' folder, by its name; nullopt when it does not read back.
std::optional<JournalRun> AdministratorRun(const std::wstring& name);
void MarkAdministratorRunUndone(const std::wstring& name);
// The access list of the administrators' folder: SYSTEM and Administrators full control, users read,
// nothing inherited from above.
constexpr wchar_t kAdministratorJournalSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
