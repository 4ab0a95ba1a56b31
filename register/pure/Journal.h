#pragma once
// The journal of registration runs: one text file per run, one entry per file whose registration or
// unregistration was called, holding every key and value that call changed, each as it was just before
// the call first changed it and as the call left it; and what undoing an entry does now.
#include "register/pure/RegFileText.h"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Delete: keys removed whole, one entry per key, named in place of the file.
enum class JournalKind { Register, Unregister, Delete };
// Administrator: a machine-wide run with raised rights.
enum class JournalScope { Machine, CurrentUser, Administrator };

using RegTree = std::vector<RegKeyRecord>; // a key's tree, parents first

// A key's whole tree: created, deleted or replaced by the call. Paths name where the keys really are
// (HKEY_LOCAL_MACHINE\Software\Classes\..., never HKEY_CLASSES_ROOT), in the 64-bit view.
struct KeyChange {
    std::wstring key;
    std::optional<RegTree> before, after; // none: the key did not exist
    bool operator==(const KeyChange&) const = default;
};

// One value of a key that existed before the call.
struct ValueChange {
    std::wstring key, name;
    std::optional<RegValue> before, after; // none: no such value
    bool operator==(const ValueChange&) const = default;
};

struct JournalEntry {
    std::wstring file;
    int view = 64; // the registry view of the host that called it: 32 or 64
    std::int32_t code = 0;
    std::vector<KeyChange> keys;
    std::vector<ValueChange> values;
    bool Unchanged() const { return keys.empty() && values.empty(); }
};

struct JournalRun {
    std::wstring time; // local, "2026-12-07 11:20:33"
    JournalKind kind = JournalKind::Register;
    JournalScope scope = JournalScope::Machine;
    std::vector<JournalEntry> entries;
    size_t damaged = 0; // entries that cannot be read back, left out of entries
    bool undone = false;
};

// Where a run's file stands among the others, from its name: the UTC time of the run, held from going
// back when the clock does, then a count among runs of one time. A name of the earlier form (local time,
// no "Z") stands at that time with count 0.
struct JournalOrder {
    std::wstring time; // "yyyymmdd-hhmmss-mmm"
    std::uint32_t count = 0;
    auto operator<=>(const JournalOrder&) const = default;
};

std::optional<JournalOrder> JournalOrderOf(const std::wstring& fileName);
// The order of a new run: the time now where it is later than the newest run's, else the newest's time
// with the next count.
JournalOrder NextJournalOrder(const std::wstring& utcNow, const std::optional<JournalOrder>& newest);
// "yyyymmdd-hhmmss-mmmZ-count-process.txt"
std::wstring JournalFileName(const JournalOrder& order, std::uint32_t processId);
// Whether file a comes after file b in the journal's order; a name of no order before every other.
bool JournalNewer(const std::wstring& a, const std::wstring& b);

// The first lines of a run's file; CR LF line ends throughout.
std::wstring JournalRunHeader(const std::wstring& time, JournalKind kind, JournalScope scope);
std::wstring JournalEntryText(const JournalEntry& entry);
// The line that marks a run as undone, appended to its file.
std::wstring JournalUndoneLine(const std::wstring& time);

// A run's file as JournalRunHeader, entries and the undone line wrote it; nullopt when its header is not
// of that form. An entry cut short or garbled is counted in damaged; the others are read as written.
std::optional<JournalRun> ParseJournal(const std::wstring& text);
// One entry's text as JournalEntryText wrote it.
std::optional<JournalEntry> ParseJournalEntry(const std::wstring& text);

// The text of UTF-16LE bytes after their byte order mark; nullopt without the mark or with an odd length.
std::optional<std::wstring> JournalTextOfBytes(const std::vector<std::uint8_t>& bytes);

// The Win32 name of a key from the kernel's (\REGISTRY\MACHINE\..., \REGISTRY\USER\<sid>...), the user's
// own hive and classes under HKEY_CURRENT_USER; nullopt for a name outside \REGISTRY.
std::optional<std::wstring> Win32KeyPath(const std::wstring& kernelPath, const std::wstring& userSid);

// Whether `path` is `key` or lies inside it, without regard to case.
bool KeyWithin(const std::wstring& path, const std::wstring& key);
// Two key or value names alike, as the registry compares them.
bool SameName(const std::wstring& a, const std::wstring& b);

// Two trees alike: the same keys, the same values by name, type and data; names compared without regard to case.
bool SameTree(const RegTree& a, const RegTree& b);

// The state of an entry's changes now, in the entry's order.
struct PresentState {
    std::vector<std::optional<RegTree>> keys;
    struct Value {
        bool keyExists = false;
        std::optional<RegValue> value;
    };
    std::vector<Value> values;
};

struct UndoPlan {
    struct Tree {
        std::wstring key;
        std::optional<RegTree> tree; // the key's tree is removed, then this one written
    };
    struct Value {
        std::wstring key, name;
        std::optional<RegValue> value; // set, or removed where none
    };
    std::vector<Tree> trees;
    std::vector<Value> values;
    std::vector<std::wstring> kept; // a key ("key") or value ("key\name", "@" the default) changed since the run
};

// What undoing the entry does: a tree the run created, deleted or replaced goes back as one unit when it
// is now exactly as the run left it, and stays whole otherwise; a value goes back where it is still as
// the run left it.
UndoPlan PlanUndo(const JournalEntry& entry, const PresentState& present);
