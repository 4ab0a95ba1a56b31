#pragma once
// What one call changes in the registry, gathered while it changes it: each key and value with its state
// just before the call first touched it. A tree noted once holds everything below it, so a change inside
// a tree already noted adds nothing, and a tree noted later takes in the earlier changes within it.
#include "register/pure/Journal.h"
#include <functional>

class ChangeLog {
public:
    // Whether what happens at the key is already held by a tree noted before.
    bool Covers(const std::wstring& key) const;
    // A value about to change in a key that exists; its first state alone counts.
    void NoteValue(const std::wstring& key, const std::wstring& name, std::optional<RegValue> before);
    // A tree about to be created (before: none), deleted or emptied, as it stands now.
    void NoteTree(const std::wstring& key, std::optional<RegTree> before);

    // The changes with the states the call left, read by the caller's functions.
    JournalEntry Finish(const std::function<std::optional<RegTree>(const std::wstring& key)>& treeNow,
                        const std::function<PresentState::Value(const std::wstring& key, const std::wstring& name)>& valueNow) const;
    bool Empty() const { return keys_.empty() && values_.empty(); }

private:
    std::vector<KeyChange> keys_;
    std::vector<ValueChange> values_;
};
