#include "register/host/ChangeRecorder.h"
#include "register/host/RegistryHooks.h"

namespace {

std::vector<std::wstring> Parts(const std::wstring& sub)
{
    std::vector<std::wstring> parts;
    for (size_t start = 0; start <= sub.size();) {
        size_t end = std::min(sub.find(L'\\', start), sub.size());
        if (end > start)
            parts.push_back(sub.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::wstring Joined(const std::vector<std::wstring>& parts, size_t count)
{
    std::wstring path;
    for (size_t i = 0; i < count; ++i)
        path += (i ? L"\\" : L"") + parts[i];
    return path;
}

// The ancestor `levels` keys above the path.
std::wstring Above(std::wstring path, int levels)
{
    for (; levels > 0; --levels)
        path.resize(path.rfind(L'\\'));
    return path;
}

} // namespace

ChangeRecorder::ChangeRecorder(const RealKeys& keys) : keys_(keys) { registry_hooks::Install(this); }

ChangeRecorder::~ChangeRecorder()
{
    if (!finished_)
        registry_hooks::Install(nullptr);
}

JournalEntry ChangeRecorder::Finish()
{
    registry_hooks::Install(nullptr);
    finished_ = true;
    return log_.Finish([&](const std::wstring& key) { return keys_.Tree(key); },
                       [&](const std::wstring& key, const std::wstring& name) { return keys_.Value(key, name); });
}

ChangeRecorder::Probe ChangeRecorder::Find(HKEY key, const std::wstring& sub, REGSAM view) const
{
    const std::vector<std::wstring> parts = Parts(sub);
    auto open = [&](size_t count, platform::UniqueKey& opened) {
        return count == 0 ? ERROR_SUCCESS : ::RegOpenKeyExW(key, Joined(parts, count).c_str(), 0, KEY_QUERY_VALUE | view, opened.put());
    };
    platform::UniqueKey opened;
    LSTATUS status = open(parts.size(), opened);
    if (status == ERROR_SUCCESS)
        return {keys_.NameOf(opened ? opened.get() : key), 0};
    if (status != ERROR_FILE_NOT_FOUND)
        return {};
    size_t existing = parts.size() - 1;
    while (existing > 0 && open(existing, opened) != ERROR_SUCCESS)
        --existing;
    return {std::nullopt, static_cast<int>(parts.size() - existing)};
}

ChangeRecorder::Pending ChangeRecorder::Before(const RegistryWrite& write)
{
    using Touch = RegistryWrite::Touch;
    std::lock_guard<std::mutex> guard(lock_);
    Probe found = Find(write.key, write.sub, write.view);
    if (!found.path)
        return {write.touch == Touch::CreateKey || write.touch == Touch::SetValue ? found.missing : 0};
    if (log_.Covers(*found.path))
        return {};
    switch (write.touch) {
    case Touch::SetValue:
    case Touch::DeleteValue:
        log_.NoteValue(*found.path, write.value, keys_.Value(*found.path, write.value).value);
        break;
    case Touch::DeleteKey:
    case Touch::EmptyKey: log_.NoteTree(*found.path, keys_.Tree(*found.path)); break;
    case Touch::CreateKey: break;
    }
    return {};
}

void ChangeRecorder::After(const RegistryWrite& write, const Pending& pending, HKEY opened)
{
    if (pending.missing <= 0)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    // Where the new key landed (redirected, or under another root than its parent's name suggests) is
    // known only now that it exists.
    std::optional<std::wstring> path = opened ? keys_.NameOf(opened) : Find(write.key, write.sub, write.view).path;
    if (path && std::count(path->begin(), path->end(), L'\\') >= pending.missing)
        log_.NoteTree(Above(*path, pending.missing - 1), std::nullopt);
}
