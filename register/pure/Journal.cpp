#include "register/pure/Journal.h"
#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kFirstLine[] = L"Mirdal journal 1";
constexpr wchar_t kEntryEnd[] = L"End of file";

constexpr const wchar_t* kKindNames[] = {L"register", L"unregister"};
constexpr const wchar_t* kScopeNames[] = {L"machine", L"current user", L"administrator"};

std::wstring Folded(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

// Whether `path` is `key` or lies inside it; both folded.
bool Within(const std::wstring& path, const std::wstring& key)
{
    return path.size() >= key.size() && path.compare(0, key.size(), key) == 0
           && (path.size() == key.size() || path[key.size()] == L'\\');
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == L'\r' ? 1 : 0)));
    // A last line without its line end was cut short.
    if (start < text.size())
        lines.push_back(L"\x1");
    return lines;
}

std::optional<std::wstring> After(const std::wstring& line, const std::wstring& label)
{
    if (!line.starts_with(label))
        return std::nullopt;
    return line.substr(label.size());
}

template <size_t N>
std::optional<int> IndexOf(const std::optional<std::wstring>& name, const wchar_t* const (&names)[N])
{
    for (size_t i = 0; name && i < N; ++i)
        if (*name == names[i])
            return static_cast<int>(i);
    return std::nullopt;
}

std::wstring CodeText(std::int32_t code)
{
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += L"0123456789ABCDEF"[(static_cast<std::uint32_t>(code) >> shift) & 15];
    return text;
}

std::optional<std::int32_t> CodeOf(const std::optional<std::wstring>& text)
{
    if (!text || text->size() != 10 || !text->starts_with(L"0x"))
        return std::nullopt;
    std::uint32_t code = 0;
    for (size_t i = 2; i < text->size(); ++i) {
        int digit = HexDigit((*text)[i]);
        if (digit < 0)
            return std::nullopt;
        code = code * 16 + static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(code);
}

// The entry starting at lines[index]; index moves past its end line.
std::optional<JournalEntry> ParseEntry(const std::vector<std::wstring>& lines, size_t& index)
{
    auto next = [&](const wchar_t* label) -> std::optional<std::wstring> {
        return index < lines.size() ? After(lines[index++], label) : std::nullopt;
    };
    JournalEntry entry;
    std::optional<std::wstring> file = next(L"File: "), view = next(L"View: ");
    std::optional<std::int32_t> code = CodeOf(next(L"Code: "));
    if (!file || file->empty() || !code || (view != L"32" && view != L"64"))
        return std::nullopt;
    entry.file = *file;
    entry.view = *view == L"32" ? 32 : 64;
    entry.code = *code;
    for (; index < lines.size() && lines[index].starts_with(L"Key: "); ++index)
        entry.keys.push_back(lines[index].substr(5));
    if (next(L"Before:") != L"")
        return std::nullopt;
    auto keysUntil = [&](const wchar_t* endLine) -> std::optional<std::vector<RegKeyRecord>> {
        auto end = std::find(lines.begin() + static_cast<std::ptrdiff_t>(index), lines.end(), endLine);
        if (end == lines.end())
            return std::nullopt;
        std::vector<std::wstring> part(lines.begin() + static_cast<std::ptrdiff_t>(index), end);
        index = static_cast<size_t>(end - lines.begin()) + 1;
        return ParseRegKeysLines(part);
    };
    std::optional<std::vector<RegKeyRecord>> before = keysUntil(L"After:");
    std::optional<std::vector<RegKeyRecord>> after = before ? keysUntil(kEntryEnd) : std::nullopt;
    if (!after)
        return std::nullopt;
    entry.before = std::move(*before);
    entry.after = std::move(*after);
    return entry;
}

// A tree's keys and values by folded path and name, and every key that exists in it.
struct Tree {
    struct Key {
        std::wstring path;
        std::map<std::wstring, RegValue> values; // by folded name
    };
    std::map<std::wstring, Key> keys;      // records, by folded path
    std::map<std::wstring, std::wstring> existing; // every key within the tops: folded path -> path

    Tree(const std::vector<RegKeyRecord>& records, const std::vector<std::wstring>& tops)
    {
        for (const RegKeyRecord& record : records) {
            std::wstring folded = Folded(record.path);
            auto top = std::find_if(tops.begin(), tops.end(), [&](const std::wstring& t) { return Within(folded, t); });
            if (top == tops.end())
                continue;
            Key& key = keys[folded];
            key.path = record.path;
            for (const RegValue& value : record.values)
                key.values[Folded(value.name)] = value;
            for (size_t end = top->size();; end = folded.find(L'\\', end + 1)) {
                existing.emplace(folded.substr(0, end), record.path.substr(0, end));
                if (end == std::wstring::npos)
                    break;
            }
        }
    }
    const RegValue* Value(const std::wstring& key, const std::wstring& name) const
    {
        auto found = keys.find(key);
        if (found == keys.end())
            return nullptr;
        auto value = found->second.values.find(name);
        return value == found->second.values.end() ? nullptr : &value->second;
    }
    bool Exists(const std::wstring& key) const { return existing.count(key) != 0; }
};

bool Same(const RegValue* a, const RegValue* b)
{
    return a == b || (a && b && a->type == b->type && a->data == b->data);
}

} // namespace

std::wstring JournalRunHeader(const std::wstring& time, JournalKind kind, JournalScope scope)
{
    return std::wstring(kFirstLine) + kCrLf + L"Time: " + time + kCrLf + L"Kind: " + kKindNames[static_cast<int>(kind)]
           + kCrLf + L"Scope: " + kScopeNames[static_cast<int>(scope)] + kCrLf + kCrLf;
}

std::wstring JournalEntryText(const JournalEntry& entry)
{
    std::wstring text = L"File: " + entry.file + kCrLf + L"View: " + std::to_wstring(entry.view) + kCrLf + L"Code: "
                        + CodeText(entry.code) + kCrLf;
    for (const std::wstring& key : entry.keys)
        text += L"Key: " + key + kCrLf;
    return text + L"Before:" + kCrLf + RegKeysText(entry.before) + L"After:" + kCrLf + RegKeysText(entry.after) + kEntryEnd
           + kCrLf + kCrLf;
}

std::wstring JournalUndoneLine(const std::wstring& time) { return L"Undone: " + time + kCrLf; }

std::optional<JournalRun> ParseJournal(const std::wstring& text)
{
    std::vector<std::wstring> lines = Lines(text);
    if (lines.size() < 4 || lines[0] != kFirstLine)
        return std::nullopt;
    JournalRun run;
    std::optional<std::wstring> time = After(lines[1], L"Time: ");
    std::optional<int> kind = IndexOf(After(lines[2], L"Kind: "), kKindNames);
    std::optional<int> scope = IndexOf(After(lines[3], L"Scope: "), kScopeNames);
    if (!time || !kind || !scope)
        return std::nullopt;
    run.time = *time;
    run.kind = static_cast<JournalKind>(*kind);
    run.scope = static_cast<JournalScope>(*scope);
    for (size_t index = 4; index < lines.size();) {
        if (lines[index].empty()) {
            ++index;
        } else if (lines[index].starts_with(L"File: ") && !run.undone) {
            std::optional<JournalEntry> entry = ParseEntry(lines, index);
            if (!entry)
                return std::nullopt;
            run.entries.push_back(std::move(*entry));
        } else if (lines[index].starts_with(L"Undone: ")) {
            run.undone = true;
            ++index;
        } else {
            return std::nullopt;
        }
    }
    return run;
}

std::optional<JournalEntry> ParseJournalEntry(const std::wstring& text)
{
    std::vector<std::wstring> lines = Lines(text);
    size_t index = 0;
    std::optional<JournalEntry> entry = ParseEntry(lines, index);
    if (entry && std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(index), lines.end(), [](auto& l) { return !l.empty(); }))
        return std::nullopt;
    return entry;
}

std::optional<std::wstring> JournalTextOfBytes(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes[0] != 0xFF || bytes[1] != 0xFE)
        return std::nullopt;
    std::wstring text;
    text.reserve(bytes.size() / 2 - 1);
    for (size_t i = 2; i < bytes.size(); i += 2)
        text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    return text;
}

std::wstring PathInScope(const std::wstring& path, JournalScope scope)
{
    if (scope != JournalScope::CurrentUser)
        return path;
    const std::pair<std::wstring, std::wstring> moves[] = {{L"hkey_classes_root", L"HKEY_CURRENT_USER\\Software\\Classes"},
                                                           {L"hkey_local_machine", L"HKEY_CURRENT_USER"}};
    for (const auto& [root, target] : moves)
        if (Within(Folded(path), root))
            return target + path.substr(root.size());
    return path;
}

std::vector<std::wstring> OutermostKeys(std::vector<std::wstring> keys)
{
    std::sort(keys.begin(), keys.end(), [](const std::wstring& a, const std::wstring& b) { return a.size() < b.size(); });
    std::vector<std::wstring> outermost, folded;
    for (const std::wstring& key : keys) {
        std::wstring fold = Folded(key);
        if (std::none_of(folded.begin(), folded.end(), [&](const std::wstring& outer) { return Within(fold, outer); })) {
            outermost.push_back(key);
            folded.push_back(std::move(fold));
        }
    }
    return outermost;
}

UndoPlan PlanUndo(const JournalEntry& entry, const std::vector<RegKeyRecord>& present)
{
    std::vector<std::wstring> tops;
    for (const std::wstring& key : entry.keys)
        tops.push_back(Folded(key));
    const Tree before(entry.before, tops), after(entry.after, tops), now(present, tops);
    UndoPlan plan;
    std::set<std::wstring> keyPaths;
    for (const Tree* tree : {&before, &after})
        for (const auto& [path, key] : tree->keys)
            keyPaths.insert(path);
    for (const std::wstring& path : keyPaths) {
        const Tree::Key& key = before.keys.count(path) ? before.keys.at(path) : after.keys.at(path);
        std::set<std::wstring> names;
        for (const Tree* tree : {&before, &after})
            if (auto found = tree->keys.find(path); found != tree->keys.end())
                for (const auto& [name, value] : found->second.values)
                    names.insert(name);
        for (const std::wstring& name : names) {
            const RegValue *was = before.Value(path, name), *left = after.Value(path, name), *is = now.Value(path, name);
            if (Same(was, left) || Same(is, was))
                continue;
            if (!Same(is, left))
            {
                const std::wstring& shown = (is ? is : left ? left : was)->name;
                // The key's default value goes by its .reg name.
                plan.kept.push_back(key.path + L"\\" + (shown.empty() ? L"@" : shown));
            }
            else if (was)
                plan.writes.push_back({key.path, *was});
            else
                plan.removals.push_back({key.path, left->name});
        }
        if (before.keys.count(path) && key.values.empty() && !after.Exists(path) && !now.Exists(path))
            plan.createdKeys.push_back(key.path);
    }
    for (const auto& [folded, path] : after.existing)
        if (!before.Exists(folded))
            plan.keysToRemove.push_back(path);
    std::stable_sort(plan.keysToRemove.begin(), plan.keysToRemove.end(), [](const std::wstring& a, const std::wstring& b) {
        return std::count(a.begin(), a.end(), L'\\') > std::count(b.begin(), b.end(), L'\\');
    });
    return plan;
}
