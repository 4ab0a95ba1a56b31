#include "registry/RegistryWatch.h"

#include <algorithm>

namespace {

// ntdll's own query for a key's name: on every version of Windows, but in no header of the SDK's
// user-mode interfaces, so it is looked up.
using NtQueryKeyFunction = LONG(WINAPI*)(HANDLE key, int informationClass, void* information, ULONG length, ULONG* resultLength);
constexpr int KeyNameInformation = 3;
constexpr LONG StatusBufferOverflow = static_cast<LONG>(0x80000005), StatusBufferTooSmall = static_cast<LONG>(0xC0000023);

NtQueryKeyFunction QueryKey()
{
    static const auto function = reinterpret_cast<NtQueryKeyFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    return function;
}

} // namespace

bool SameKeyName(const std::wstring& o_Left, const std::wstring& o_Right)
{
    return ::CompareStringOrdinal(o_Left.c_str(), static_cast<int>(o_Left.size()), o_Right.c_str(), static_cast<int>(o_Right.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring KeyName(HKEY o_Key)
{
    const NtQueryKeyFunction query = QueryKey();
    if (!query)
        return {};
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name without a NUL.
    std::vector<ULONG> buffer(130);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ULONG bytes = 0;
        const ULONG capacity = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
        const LONG status = query(o_Key, KeyNameInformation, buffer.data(), capacity, &bytes);
        if (status == StatusBufferOverflow || status == StatusBufferTooSmall) {
            buffer.assign(bytes / sizeof(ULONG) + 2, 0);
            continue;
        }
        if (status != 0 || bytes < sizeof(ULONG) || buffer[0] > capacity - sizeof(ULONG))
            return {};
        return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), buffer[0] / sizeof(wchar_t));
    }
    return {};
}

bool RegistryWatches::Add(HKEY o_Root, const std::wstring& o_SubKey, REGSAM o_View)
{
    std::wstring path = o_SubKey;
    platform::UniqueKey key;
    while (::RegOpenKeyExW(o_Root, path.c_str(), 0, KEY_NOTIFY | KEY_QUERY_VALUE | o_View, key.put()) != ERROR_SUCCESS) {
        const std::size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos)
            return false;
        path.resize(slash);
    }
    Watch watch{std::move(key), platform::UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), {}};
    watch.name = KeyName(watch.key.get());
    if (!watch.name.empty()
        && std::ranges::any_of(watches_, [&](const Watch& other) { return SameKeyName(other.name, watch.name); }))
        return true;
    if (!watch.event
        || ::RegNotifyChangeKeyValue(watch.key.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, watch.event.get(), TRUE)
               != ERROR_SUCCESS)
        return false;
    watches_.push_back(std::move(watch));
    return true;
}

bool RegistryWatches::Fired() const
{
    if (watches_.empty())
        return true;
    HANDLE events[MAXIMUM_WAIT_OBJECTS];
    const std::size_t count = std::min<std::size_t>(watches_.size(), MAXIMUM_WAIT_OBJECTS);
    for (std::size_t i = 0; i < count; ++i)
        events[i] = watches_[i].event.get();
    return ::WaitForMultipleObjects(static_cast<DWORD>(count), events, FALSE, 0) != WAIT_TIMEOUT;
}
