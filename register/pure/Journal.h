#pragma once
// The journal of registration runs: one text file per run, one entry per file whose registration or
// unregistration was called, holding the keys that registering the file writes and their whole trees
// just before and just after the call; and what undoing an entry does to those keys now.
#include "register/pure/RegFileText.h"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class JournalKind { Register, Unregister };
// Administrator: a machine-wide run with raised rights.
enum class JournalScope { Machine, CurrentUser, Administrator };

struct JournalEntry {
    std::wstring file;
    int view = 64;     // the registry view of the host that called it: 32 or 64
    std::int32_t code = 0;
    std::vector<std::wstring> keys; // each with its whole tree in before and after
    std::vector<RegKeyRecord> before, after;
};

struct JournalRun {
    std::wstring time; // local, "2026-12-07 11:20:33"
    JournalKind kind = JournalKind::Register;
    JournalScope scope = JournalScope::Machine;
    std::vector<JournalEntry> entries;
    bool undone = false;
};

// The first lines of a run's file; CR LF line ends throughout.
std::wstring JournalRunHeader(const std::wstring& time, JournalKind kind, JournalScope scope);
std::wstring JournalEntryText(const JournalEntry& entry);
// The line that marks a run as undone, appended to its file.
std::wstring JournalUndoneLine(const std::wstring& time);

// A run's file as JournalRunHeader, entries and the undone line wrote it; nullopt when any of it is
// missing, cut short or not of that form.
std::optional<JournalRun> ParseJournal(const std::wstring& text);
// One entry's text as JournalEntryText wrote it.
std::optional<JournalEntry> ParseJournalEntry(const std::wstring& text);

// The text of UTF-16LE bytes after their byte order mark; nullopt without the mark or with an odd length.
std::optional<std::wstring> JournalTextOfBytes(const std::vector<std::uint8_t>& bytes);

// Where a run for the current user alone really writes what the server writes under
// HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE; other paths and scopes stay as they are.
std::wstring PathInScope(const std::wstring& path, JournalScope scope);
// The outermost of the keys: none of them lies inside another. Compared without regard to case.
std::vector<std::wstring> OutermostKeys(std::vector<std::wstring> keys);

struct UndoPlan {
    struct Write {
        std::wstring key;
        RegValue value;
    };
    struct Removal {
        std::wstring key, name;
    };
    std::vector<Write> writes;              // values back as they were, keys created where needed
    std::vector<Removal> removals;          // values the run added
    std::vector<std::wstring> createdKeys;  // bare keys the run removed
    std::vector<std::wstring> keysToRemove; // keys the run created, deepest first: each only once empty
    std::vector<std::wstring> kept;         // "key\value" changed since the run, left as they are
};

// What undoing the entry does, given its keys' trees as they are now: a value goes back where it is
// still as the run left it; one changed since is kept and named.
UndoPlan PlanUndo(const JournalEntry& entry, const std::vector<RegKeyRecord>& present);
