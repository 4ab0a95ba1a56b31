#include "register/host/JournalCall.h"
#include "platform/Failure.h"
#include "register/RegistryRedirect.h"
#include <cwctype>
#include <optional>

namespace {

struct Root {
    const wchar_t* name;
    HKEY key;
};
const Root kRoots[] = {{L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                           {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                           {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                           {L"HKEY_USERS", HKEY_USERS}};

// The predefined key a path starts with and the rest of the path after its "\"; throws for any other root.
std::pair<HKEY, std::wstring> Split(const std::wstring& path)
{
    size_t slash = path.find(L'\\');
    std::wstring root = path.substr(0, slash);
    for (const Root& known : kRoots)
        if (::CompareStringOrdinal(root.c_str(), -1, known.name, -1, TRUE) == CSTR_EQUAL)
            return {known.key, slash == std::wstring::npos ? L"" : path.substr(slash + 1)};
    platform::ThrowFailure(ERROR_INVALID_DATA);
}

std::optional<platform::UniqueKey> Open(const std::wstring& path, REGSAM access = KEY_READ)
{
    auto [root, sub] = Split(path);
    platform::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(root, sub.c_str(), 0, access, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    platform::ThrowIfError(status);
    return key;
}

// The key itself where it exists, else its outermost ancestor that does not.
std::wstring OutermostMissing(const std::wstring& path)
{
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        std::wstring part = path.substr(0, end);
        if (!Open(part))
            return part;
        if (end == std::wstring::npos)
            return path;
    }
}

std::vector<RegKeyRecord> ReadTrees(const std::vector<std::wstring>& keys)
{
    std::vector<RegKeyRecord> records;
    for (const std::wstring& path : keys)
        if (std::optional<platform::UniqueKey> key = Open(path)) {
            std::vector<RegKeyRecord> tree = ReadRegistryTree(key->get(), path);
            records.insert(records.end(), tree.begin(), tree.end());
        }
    return records;
}

void RemoveIfEmpty(const std::wstring& path)
{
    std::optional<platform::UniqueKey> key = Open(path);
    if (!key)
        return;
    DWORD subKeys = 1, values = 1;
    platform::ThrowIfError(::RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    key->reset();
    if (subKeys != 0 || values != 0)
        return;
    auto [root, sub] = Split(path);
    LSTATUS status = ::RegDeleteKeyW(root, sub.c_str());
    if (status != ERROR_FILE_NOT_FOUND)
        platform::ThrowIfError(status);
}

platform::UniqueKey Create(const std::wstring& path)
{
    auto [root, sub] = Split(path);
    platform::UniqueKey key;
    platform::ThrowIfError(::RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr));
    return key;
}

} // namespace

JournalEntry JournaledCall(const std::function<long(bool)>& call, bool registering, JournalScope scope, const std::wstring& path)
{
    JournalEntry entry;
    entry.file = path;
    entry.view = sizeof(void*) == 8 ? 64 : 32;
    std::vector<std::wstring> written;
    {
        RegistryCapture capture;
        // A registration that failed into the scratch key tells nothing to undo; the real call goes ahead.
        if (call(true) == 0)
            for (const RegKeyRecord& record : capture.Read())
                written.push_back(PathInScope(record.path, scope));
    }
    for (std::wstring& key : OutermostKeys(written))
        entry.keys.push_back(OutermostMissing(key));
    entry.keys = OutermostKeys(entry.keys);
    entry.before = ReadTrees(entry.keys);
    {
        std::optional<PerUserRedirect> redirect;
        if (scope == JournalScope::CurrentUser)
            redirect.emplace();
        entry.code = call(registering);
    }
    entry.after = ReadTrees(entry.keys);
    return entry;
}

std::vector<std::wstring> UndoEntry(const JournalEntry& entry)
{
    UndoPlan plan = PlanUndo(entry, ReadTrees(entry.keys));
    for (const std::wstring& path : plan.createdKeys)
        Create(path);
    for (const UndoPlan::Write& write : plan.writes) {
        const RegValue& value = write.value;
        platform::ThrowIfError(::RegSetValueExW(Create(write.key).get(), value.name.c_str(), 0, value.type, value.data.data(),
                                                static_cast<DWORD>(value.data.size())));
    }
    for (const UndoPlan::Removal& removal : plan.removals)
        if (std::optional<platform::UniqueKey> key = Open(removal.key, KEY_SET_VALUE)) {
            LSTATUS status = ::RegDeleteValueW(key->get(), removal.name.c_str());
            if (status != ERROR_FILE_NOT_FOUND)
                platform::ThrowIfError(status);
        }
    for (const std::wstring& path : plan.keysToRemove)
        RemoveIfEmpty(path);
    return plan.kept;
}
