#include "register/pure/ChangeLog.h"
#include <algorithm>

namespace {

// The tree as it was before the earlier changes within it, taken from the tree as it is now.
void Unwind(RegTree& tree, const KeyChange& change)
{
    std::erase_if(tree, [&](const RegKeyRecord& record) { return KeyWithin(record.path, change.key); });
    if (change.before)
        tree.insert(tree.end(), change.before->begin(), change.before->end());
}

void Unwind(RegTree& tree, const ValueChange& change)
{
    auto record = std::find_if(tree.begin(), tree.end(), [&](const RegKeyRecord& r) { return SameName(r.path, change.key); });
    if (record == tree.end())
        record = tree.insert(tree.end(), {change.key, {}});
    std::erase_if(record->values, [&](const RegValue& value) { return SameName(value.name, change.name); });
    if (change.before)
        record->values.push_back(*change.before);
}

} // namespace

bool ChangeLog::Covers(const std::wstring& key) const
{
    return std::any_of(keys_.begin(), keys_.end(), [&](const KeyChange& change) { return KeyWithin(key, change.key); });
}

void ChangeLog::NoteValue(const std::wstring& key, const std::wstring& name, std::optional<RegValue> before)
{
    if (Covers(key))
        return;
    for (const ValueChange& change : values_)
        if (SameName(key, change.key) && SameName(name, change.name))
            return;
    values_.push_back({key, name, std::move(before), std::nullopt});
}

void ChangeLog::NoteTree(const std::wstring& key, std::optional<RegTree> before)
{
    if (Covers(key))
        return;
    auto within = [&](const auto& change) { return KeyWithin(change.key, key); };
    for (const KeyChange& change : keys_)
        if (before && within(change))
            Unwind(*before, change);
    for (const ValueChange& change : values_)
        if (before && within(change))
            Unwind(*before, change);
    std::erase_if(keys_, within);
    std::erase_if(values_, within);
    if (before)
        std::stable_sort(before->begin(), before->end(), [](const RegKeyRecord& a, const RegKeyRecord& b) {
            return std::count(a.path.begin(), a.path.end(), L'\\') < std::count(b.path.begin(), b.path.end(), L'\\');
        });
    keys_.push_back({key, std::move(before), std::nullopt});
}

JournalEntry ChangeLog::Finish(const std::function<std::optional<RegTree>(const std::wstring&)>& treeNow,
                               const std::function<PresentState::Value(const std::wstring&, const std::wstring&)>& valueNow) const
{
    JournalEntry entry;
    entry.keys = keys_;
    for (KeyChange& change : entry.keys)
        change.after = treeNow(change.key);
    entry.values = values_;
    for (ValueChange& change : entry.values)
        change.after = valueNow(change.key, change.name).value;
    return entry;
}
