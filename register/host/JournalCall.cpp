#include "register/host/JournalCall.h"
#include "platform/Failure.h"
#include "platform/UniqueHandle.h"
#include "register/RegistryRedirect.h"
#include "register/host/ChangeRecorder.h"
#include <algorithm>
#include <optional>

namespace {

// The roots stay the same for the host's life; opening them again for each call cost more than many a call's writes.
const RealKeys& HostKeys()
{
    static const RealKeys keys;
    return keys;
}

} // namespace

JournalEntry JournaledCall(const std::function<long(bool)>& call, bool registering, JournalScope scope, const std::wstring& path)
{
    // Loaded before the recording starts, so that its import tables are hooked before its entry runs;
    // the library's own load of it then finds it loaded. One that cannot load fails there the same way.
    platform::UniqueModule server(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    ChangeRecorder recorder(HostKeys());
    long code = 0;
    {
        std::optional<PerUserRedirect> redirect;
        if (scope == JournalScope::CurrentUser)
            redirect.emplace();
        code = call(registering);
    }
    JournalEntry entry = recorder.Finish();
    entry.file = path;
    entry.view = sizeof(void*) == 8 ? 64 : 32;
    entry.code = static_cast<std::int32_t>(code);
    return entry;
}

JournalEntry JournaledDelete(const std::wstring& key, REGSAM view)
{
    const size_t root = key.find(L'\\');
    const HKEY predefined = KeyWithin(key, L"HKEY_LOCAL_MACHINE") ? HKEY_LOCAL_MACHINE
                            : KeyWithin(key, L"HKEY_CURRENT_USER") ? HKEY_CURRENT_USER
                                                                   : nullptr;
    if (!predefined || root == std::wstring::npos || key.find(L'\\', root + 1) == std::wstring::npos)
        platform::ThrowFailure(ERROR_INVALID_DATA);
    // The key by its whole path in the view: below a key with a Wow6432Node a 32-bit host reaches the
    // other view only so.
    const std::wstring sub = key.substr(root + 1);
    ChangeRecorder recorder(HostKeys());
    LSTATUS status = ERROR_SUCCESS;
    {
        platform::UniqueKey target;
        status = ::RegOpenKeyExW(predefined, sub.c_str(), 0, KEY_READ | KEY_SET_VALUE | DELETE | view, target.put());
        if (status == ERROR_SUCCESS) {
            // Told to the recorder here as well as through the hooks: the tree is noted before it goes in any case.
            recorder.Before({target.get(), L"", 0, RegistryWrite::Touch::DeleteKey, L""});
            status = ::RegDeleteTreeW(target.get(), nullptr);
        }
        if (status == ERROR_SUCCESS)
            status = ::RegDeleteKeyExW(predefined, sub.c_str(), view, 0);
    }
    JournalEntry entry = recorder.Finish();
    entry.file = key;
    entry.view = sizeof(void*) == 8 ? 64 : 32;
    entry.code = status == ERROR_SUCCESS ? 0 : static_cast<std::int32_t>(HRESULT_FROM_WIN32(status));
    return entry;
}

UndoOutcome UndoEntry(JournalEntry entry, bool userKeysOnly)
{
    UndoOutcome outcome;
    if (userKeysOnly) {
        auto foreign = [&](const std::wstring& key) {
            if (KeyWithin(key, L"HKEY_CURRENT_USER"))
                return false;
            outcome.refused.push_back(key);
            return true;
        };
        std::erase_if(entry.keys, [&](const KeyChange& change) { return foreign(change.key); });
        std::erase_if(entry.values, [&](const ValueChange& change) { return foreign(change.key); });
    }
    const RealKeys& keys = HostKeys();
    PresentState present;
    for (const KeyChange& change : entry.keys)
        present.keys.push_back(keys.Tree(change.key));
    for (const ValueChange& change : entry.values)
        present.values.push_back(keys.Value(change.key, change.name));
    UndoPlan plan = PlanUndo(entry, present);
    for (const UndoPlan::Tree& tree : plan.trees)
        keys.Replace(tree.key, tree.tree);
    for (const UndoPlan::Value& value : plan.values)
        keys.Put(value.key, value.name, value.value);
    outcome.kept = std::move(plan.kept);
    return outcome;
}
