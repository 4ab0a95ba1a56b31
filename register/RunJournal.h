#pragma once
// The journal's files under %LOCALAPPDATA%\Mirdal\Journal: one per run, the newest 100 kept.
#include "platform/UniqueHandle.h"
#include "register/pure/Journal.h"
#include <optional>
#include <string>
#include <vector>

// The journal of one run: its file is made at the first entry, so that a run that called nothing leaves none.
class RunJournal {
public:
    RunJournal(JournalKind kind, JournalScope scope);
    // Flushes the file to disk.
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;
    // Writes the entry's text at the end of the file, past the program's reach at once: a crash of
    // the window keeps it. Throws platform::Failure.
    void Append(const std::wstring& entryText);

private:
    std::wstring header_;
    platform::UniqueFile file_;
};

struct StoredRun {
    std::wstring path;
    std::optional<JournalRun> run; // none: the file cannot be read, or is cut short or garbled
};

// The runs not undone yet, newest first; unreadable files among them.
std::vector<StoredRun> StoredRuns();
// Appends the undone line to a run's file. Throws platform::Failure.
void MarkUndone(const std::wstring& path);
