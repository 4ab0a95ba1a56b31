#include "register/pure/Journal.h"
#include <algorithm>
#include <cwctype>
#include <map>
#include <tuple>

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kFirstLine[] = L"Mirdal journal 2";
constexpr wchar_t kEntryEnd[] = L"End of entry";
constexpr wchar_t kHex[] = L"0123456789ABCDEF";

constexpr const wchar_t* kKindNames[] = {L"register", L"unregister", L"delete"};
constexpr const wchar_t* kScopeNames[] = {L"machine", L"current user", L"administrator"};

std::wstring Folded(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

// Between quotes, with "%", the quote and every control character as %HHHH: any name the registry
// holds, line breaks included, reads back exactly, and paths keep their backslashes.
std::wstring Quoted(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c == L'%' || c == L'"' || c < 0x20 || c == 0x7F) {
            quoted += L'%';
            for (int shift = 12; shift >= 0; shift -= 4)
                quoted += kHex[(c >> shift) & 15];
        } else {
            quoted += c;
        }
    }
    return quoted + L"\"";
}

// Reads a quoted text at `at`, which moves past it.
std::optional<std::wstring> Unquoted(const std::wstring& line, size_t& at)
{
    return UnquotedWith(line, at, L'%', [](const std::wstring& text, size_t& escape, std::wstring& out) {
        unsigned unit = 0;
        for (int i = 1; i <= 4; ++i) {
            int digit = escape + i < text.size() ? HexDigit(text[escape + i]) : -1;
            if (digit < 0)
                return false;
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        out += static_cast<wchar_t>(unit);
        escape += 4;
        return true;
    });
}

std::wstring HexWord(std::uint32_t word)
{
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += kHex[(word >> shift) & 15];
    return text;
}

std::optional<std::uint32_t> Number(const std::wstring& text, bool hex)
{
    if (text.empty() || text.size() > (hex ? 8u : 10u))
        return std::nullopt;
    unsigned long long number = 0;
    for (wchar_t c : text) {
        int digit = HexDigit(c);
        if (digit < 0 || (!hex && digit > 9))
            return std::nullopt;
        number = number * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (number > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

// A value's type and data: "1:48006900" (data in hex, possibly empty).
std::wstring DataText(const RegValue& value)
{
    std::wstring text = std::to_wstring(value.type) + L":";
    for (std::uint8_t byte : value.data)
        text += {kHex[byte >> 4], kHex[byte & 15]};
    return text;
}

std::optional<RegValue> DataOf(const std::wstring& text, std::wstring name)
{
    size_t colon = text.find(L':');
    std::optional<std::uint32_t> type = colon == std::wstring::npos ? std::nullopt : Number(text.substr(0, colon), false);
    if (!type || (text.size() - colon - 1) % 2 != 0)
        return std::nullopt;
    RegValue value{std::move(name), *type, {}};
    for (size_t i = colon + 1; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        value.data.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return value;
}

std::wstring TreeText(const std::optional<RegTree>& tree)
{
    if (!tree)
        return std::wstring(L" none") + kCrLf;
    std::wstring text = kCrLf;
    for (const RegKeyRecord& record : *tree) {
        text += L"Tree: " + Quoted(record.path) + kCrLf;
        for (const RegValue& value : record.values)
            text += L"Data: " + Quoted(value.name) + L" " + DataText(value) + kCrLf;
    }
    return text + L"End tree" + kCrLf;
}

std::wstring ValueText(const std::optional<RegValue>& value)
{
    return (value ? L" " + DataText(*value) : std::wstring(L" none")) + kCrLf;
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

// Reads an entry's lines from lines[index]; index moves past what it read.
class EntryReader {
public:
    EntryReader(const std::vector<std::wstring>& lines, size_t& index) : lines_(lines), index_(index) {}

    std::optional<JournalEntry> Entry()
    {
        JournalEntry entry;
        std::optional<std::wstring> file = QuotedAfter(L"File: "), view = Next(L"View: "), code = Next(L"Code: ");
        std::optional<std::uint32_t> number = code && code->starts_with(L"0x") ? Number(code->substr(2), true) : std::nullopt;
        if (!file || file->empty() || !number || (view != L"32" && view != L"64"))
            return std::nullopt;
        entry.file = *file;
        entry.view = *view == L"32" ? 32 : 64;
        entry.code = static_cast<std::int32_t>(*number);
        while (index_ < lines_.size() && lines_[index_] != kEntryEnd) {
            if (lines_[index_].starts_with(L"Key: ")) {
                std::optional<KeyChange> change = Key();
                if (!change)
                    return std::nullopt;
                entry.keys.push_back(std::move(*change));
            } else {
                std::optional<ValueChange> change = Value();
                if (!change)
                    return std::nullopt;
                entry.values.push_back(std::move(*change));
            }
        }
        if (index_++ >= lines_.size())
            return std::nullopt;
        return entry;
    }

private:
    std::optional<std::wstring> Next(const wchar_t* label)
    {
        return index_ < lines_.size() ? After(lines_[index_++], label) : std::nullopt;
    }
    std::optional<std::wstring> QuotedAfter(const wchar_t* label)
    {
        std::optional<std::wstring> rest = Next(label);
        size_t at = 0;
        std::optional<std::wstring> text = rest ? Unquoted(*rest, at) : std::nullopt;
        return text && at == rest->size() ? text : std::nullopt;
    }
    // " none", or an empty rest followed by the tree's lines up to "End tree".
    std::optional<std::optional<RegTree>> Tree(const wchar_t* label)
    {
        std::optional<std::wstring> rest = Next(label);
        if (rest == L" none")
            return std::optional<RegTree>();
        if (rest != L"")
            return std::nullopt;
        RegTree tree;
        for (; index_ < lines_.size(); ++index_) {
            const std::wstring& line = lines_[index_];
            size_t at = 6;
            if (line == L"End tree") {
                ++index_;
                return std::optional<RegTree>(std::move(tree));
            }
            if (line.starts_with(L"Tree: ")) {
                std::optional<std::wstring> path = Unquoted(line, at);
                if (!path || at != line.size())
                    return std::nullopt;
                tree.push_back({*path, {}});
                continue;
            }
            std::optional<std::wstring> name = line.starts_with(L"Data: ") && !tree.empty() ? Unquoted(line, at) : std::nullopt;
            std::optional<RegValue> value =
                name && at < line.size() && line[at] == L' ' ? DataOf(line.substr(at + 1), *name) : std::nullopt;
            if (!value)
                return std::nullopt;
            tree.back().values.push_back(std::move(*value));
        }
        return std::nullopt;
    }
    std::optional<KeyChange> Key()
    {
        std::optional<std::wstring> key = QuotedAfter(L"Key: ");
        std::optional<std::optional<RegTree>> before = key ? Tree(L"Before:") : std::nullopt;
        std::optional<std::optional<RegTree>> after = before ? Tree(L"After:") : std::nullopt;
        if (!after)
            return std::nullopt;
        return KeyChange{*key, std::move(*before), std::move(*after)};
    }
    std::optional<std::optional<RegValue>> Data(const wchar_t* label, const std::wstring& name)
    {
        std::optional<std::wstring> rest = Next(label);
        if (rest == L" none")
            return std::optional<RegValue>();
        if (!rest || !rest->starts_with(L" "))
            return std::nullopt;
        std::optional<RegValue> value = DataOf(rest->substr(1), name);
        return value ? std::optional<std::optional<RegValue>>(value) : std::nullopt;
    }
    std::optional<ValueChange> Value()
    {
        std::optional<std::wstring> rest = Next(L"Value: ");
        size_t at = 0;
        std::optional<std::wstring> key = rest ? Unquoted(*rest, at) : std::nullopt;
        std::optional<std::wstring> name;
        if (key && at < rest->size() && (*rest)[at] == L' ' && (name = Unquoted(*rest, ++at)) && at != rest->size())
            name.reset();
        std::optional<std::optional<RegValue>> before = name ? Data(L"Before:", *name) : std::nullopt;
        std::optional<std::optional<RegValue>> after = before ? Data(L"After:", *name) : std::nullopt;
        if (!after)
            return std::nullopt;
        return ValueChange{*key, *name, std::move(*before), std::move(*after)};
    }

    const std::vector<std::wstring>& lines_;
    size_t& index_;
};

// Every key of a tree, the implied ones between its top and its records too, with its values by name.
std::map<std::wstring, std::map<std::wstring, std::pair<std::uint32_t, std::vector<std::uint8_t>>>> Shape(const RegTree& tree)
{
    std::map<std::wstring, std::map<std::wstring, std::pair<std::uint32_t, std::vector<std::uint8_t>>>> shape;
    const std::wstring top = tree.empty() ? L"" : Folded(tree.front().path);
    for (const RegKeyRecord& record : tree) {
        std::wstring path = Folded(record.path);
        auto& values = shape[path];
        for (const RegValue& value : record.values)
            values[Folded(value.name)] = {value.type, value.data};
        for (size_t end = path.rfind(L'\\'); end != std::wstring::npos && end > top.size(); end = path.rfind(L'\\', end - 1))
            shape[path.substr(0, end)];
    }
    return shape;
}

bool SameValue(const std::optional<RegValue>& a, const std::optional<RegValue>& b)
{
    return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->data == b->data));
}

bool SameTrees(const std::optional<RegTree>& a, const std::optional<RegTree>& b)
{
    return a.has_value() == b.has_value() && (!a || SameTree(*a, *b));
}

} // namespace

std::optional<JournalOrder> JournalOrderOf(const std::wstring& fileName)
{
    auto digits = [&](size_t from, size_t to) {
        return to <= fileName.size() && std::all_of(fileName.begin() + from, fileName.begin() + to, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    };
    if (fileName.size() < 20 || !digits(0, 8) || fileName[8] != L'-' || !digits(9, 15) || fileName[15] != L'-' || !digits(16, 19))
        return std::nullopt;
    JournalOrder order{fileName.substr(0, 19), 0};
    if (fileName[19] == L'-')
        return order;
    const size_t end = fileName.find(L'-', 21);
    std::optional<std::uint32_t> count = fileName[19] == L'Z' && fileName[20] == L'-' && end != std::wstring::npos
                                             ? Number(fileName.substr(21, end - 21), false)
                                             : std::nullopt;
    if (!count)
        return std::nullopt;
    order.count = *count;
    return order;
}

JournalOrder NextJournalOrder(const std::wstring& utcNow, const std::optional<JournalOrder>& newest)
{
    if (!newest || utcNow > newest->time)
        return {utcNow, 0};
    return {newest->time, newest->count + 1};
}

std::wstring JournalFileName(const JournalOrder& order, std::uint32_t processId)
{
    return order.time + L"Z-" + std::to_wstring(order.count) + L"-" + std::to_wstring(processId) + L".txt";
}

bool JournalNewer(const std::wstring& a, const std::wstring& b)
{
    const std::optional<JournalOrder> orderA = JournalOrderOf(a), orderB = JournalOrderOf(b);
    return std::tie(orderA, a) > std::tie(orderB, b);
}

std::wstring JournalRunHeader(const std::wstring& time, JournalKind kind, JournalScope scope)
{
    return std::wstring(kFirstLine) + kCrLf + L"Time: " + time + kCrLf + L"Kind: " + kKindNames[static_cast<int>(kind)]
           + kCrLf + L"Scope: " + kScopeNames[static_cast<int>(scope)] + kCrLf + kCrLf;
}

std::wstring JournalEntryText(const JournalEntry& entry)
{
    std::wstring text = L"File: " + Quoted(entry.file) + kCrLf + L"View: " + std::to_wstring(entry.view) + kCrLf + L"Code: "
                        + HexWord(static_cast<std::uint32_t>(entry.code)) + kCrLf;
    for (const KeyChange& change : entry.keys)
        text += L"Key: " + Quoted(change.key) + kCrLf + L"Before:" + TreeText(change.before) + L"After:" + TreeText(change.after);
    for (const ValueChange& change : entry.values)
        text += L"Value: " + Quoted(change.key) + L" " + Quoted(change.name) + kCrLf + L"Before:" + ValueText(change.before)
                + L"After:" + ValueText(change.after);
    return text + kEntryEnd + kCrLf + kCrLf;
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
        } else if (lines[index].starts_with(L"Undone: ")) {
            run.undone = true;
            ++index;
        } else if (std::optional<JournalEntry> entry = EntryReader(lines, index).Entry()) {
            run.entries.push_back(std::move(*entry));
        } else {
            // Only this entry is lost: reading goes on after its end.
            ++run.damaged;
            auto end = std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(index, lines.size())), lines.end(), kEntryEnd);
            index = end == lines.end() ? lines.size() : static_cast<size_t>(end - lines.begin()) + 1;
        }
    }
    return run;
}

std::optional<JournalEntry> ParseJournalEntry(const std::wstring& text)
{
    std::vector<std::wstring> lines = Lines(text);
    size_t index = 0;
    std::optional<JournalEntry> entry = EntryReader(lines, index).Entry();
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

std::optional<std::wstring> Win32KeyPath(const std::wstring& kernelPath, const std::wstring& userSid)
{
    const std::wstring user = L"\\registry\\user\\" + Folded(userSid);
    const std::pair<std::wstring, std::wstring> roots[] = {{user + L"_classes", L"HKEY_CURRENT_USER\\Software\\Classes"},
                                                           {user, L"HKEY_CURRENT_USER"},
                                                           {L"\\registry\\user", L"HKEY_USERS"},
                                                           {L"\\registry\\machine", L"HKEY_LOCAL_MACHINE"}};
    for (const auto& [root, name] : roots)
        if (!userSid.empty() || root.size() < user.size())
            if (KeyWithin(kernelPath, root))
                return name + kernelPath.substr(root.size());
    return std::nullopt;
}

bool KeyWithin(const std::wstring& path, const std::wstring& key)
{
    if (path.size() < key.size() || (path.size() > key.size() && path[key.size()] != L'\\'))
        return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (std::towlower(static_cast<std::wint_t>(path[i])) != std::towlower(static_cast<std::wint_t>(key[i])))
            return false;
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && KeyWithin(a, b); }

bool SameTree(const RegTree& a, const RegTree& b) { return Shape(a) == Shape(b); }

UndoPlan PlanUndo(const JournalEntry& entry, const PresentState& present)
{
    UndoPlan plan;
    for (size_t i = 0; i < entry.keys.size() && i < present.keys.size(); ++i) {
        const KeyChange& change = entry.keys[i];
        if (SameTrees(change.before, change.after))
            continue;
        if (SameTrees(present.keys[i], change.after))
            plan.trees.push_back({change.key, change.before});
        else
            plan.kept.push_back(change.key);
    }
    for (size_t i = 0; i < entry.values.size() && i < present.values.size(); ++i) {
        const ValueChange& change = entry.values[i];
        const PresentState::Value& now = present.values[i];
        if (SameValue(change.before, change.after))
            continue;
        // A key removed since was not the run's doing: nothing of it comes back.
        if (now.keyExists && SameValue(now.value, change.after))
            plan.values.push_back({change.key, change.name, change.before});
        else
            plan.kept.push_back(change.key + L"\\" + (change.name.empty() ? L"@" : change.name));
    }
    return plan;
}
