#include "register/host/RealKeys.h"
#include "platform/Failure.h"
#include "register/RegistryRedirect.h"
#include <sddl.h>
#include <winternl.h>
#include <algorithm>
#include <cstring>

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

using NtOpenKeyFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
using NtQueryKeyFn = NTSTATUS(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

template <class T>
T NtEntry(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// A root by its kernel name, which RegOverridePredefKey cannot point elsewhere.
platform::UniqueKey KernelRoot(const wchar_t* name)
{
    static const auto open = NtEntry<NtOpenKeyFn>("NtOpenKey");
    UNICODE_STRING text{static_cast<USHORT>(std::wcslen(name) * 2), static_cast<USHORT>(std::wcslen(name) * 2), const_cast<PWSTR>(name)};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &text;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    HANDLE key = nullptr;
    if (!open || open(&key, MAXIMUM_ALLOWED, &attributes) < 0)
        platform::ThrowFailure(ERROR_REGISTRY_IO_FAILED);
    return platform::UniqueKey(static_cast<HKEY>(key));
}

std::wstring UserSid()
{
    platform::UniqueHandle token;
    platform::ThrowIfFalse(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    DWORD bytes = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    std::vector<std::uint8_t> user(std::max<DWORD>(bytes, sizeof(TOKEN_USER)));
    platform::ThrowIfFalse(::GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &bytes));
    platform::UniqueLocal text;
    platform::ThrowIfFalse(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, reinterpret_cast<LPWSTR*>(text.put())));
    return static_cast<const wchar_t*>(text.get());
}

std::optional<std::wstring> KernelName(HKEY key)
{
    static const auto query = NtEntry<NtQueryKeyFn>("NtQueryKey");
    constexpr int kKeyNameInformation = 3;
    std::vector<std::uint8_t> buffer(512);
    for (;;) {
        ULONG needed = 0;
        NTSTATUS status = query ? query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) : -1;
        if (status >= 0) {
            ULONG length = 0;
            std::memcpy(&length, buffer.data(), sizeof length);
            if (length > buffer.size() - sizeof length)
                return std::nullopt;
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof length), length / 2);
        }
        // STATUS_BUFFER_OVERFLOW, STATUS_BUFFER_TOO_SMALL
        if ((static_cast<ULONG>(status) != 0x80000005u && static_cast<ULONG>(status) != 0xC0000023u) || needed <= buffer.size()
            || needed > 1u << 20)
            return std::nullopt;
        buffer.resize(needed);
    }
}

} // namespace

RealKeys::RealKeys()
    : machine_(KernelRoot(L"\\REGISTRY\\MACHINE")), users_(KernelRoot(L"\\REGISTRY\\USER")), sid_(UserSid())
{
    platform::ThrowIfError(::RegOpenCurrentUser(MAXIMUM_ALLOWED, user_.put()));
}

std::pair<HKEY, std::wstring> RealKeys::Split(const std::wstring& path) const
{
    const std::pair<const wchar_t*, HKEY> roots[] = {
        {L"HKEY_LOCAL_MACHINE", machine_.get()}, {L"HKEY_CURRENT_USER", user_.get()}, {L"HKEY_USERS", users_.get()}};
    for (const auto& [name, root] : roots)
        if (KeyWithin(path, name))
            return {root, path.size() > std::wcslen(name) ? path.substr(std::wcslen(name) + 1) : L""};
    platform::ThrowFailure(ERROR_INVALID_DATA);
}

std::optional<platform::UniqueKey> RealKeys::Open(const std::wstring& path, REGSAM access) const
{
    auto [root, sub] = Split(path);
    platform::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(root, sub.c_str(), 0, access | kView, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    platform::ThrowIfError(status);
    return key;
}

platform::UniqueKey RealKeys::Create(const std::wstring& path) const
{
    auto [root, sub] = Split(path);
    platform::UniqueKey key;
    platform::ThrowIfError(::RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, key.put(), nullptr));
    return key;
}

std::optional<std::wstring> RealKeys::NameOf(HKEY key) const
{
    if (std::optional<std::wstring> name = KernelName(key))
        return Win32KeyPath(*name, sid_);
    // A predefined key: a handle of its own tells where it points, redirected or not.
    platform::UniqueKey opened;
    if (::RegOpenKeyExW(key, L"", 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS || opened.get() == key)
        return std::nullopt;
    std::optional<std::wstring> name = KernelName(opened.get());
    return name ? Win32KeyPath(*name, sid_) : std::nullopt;
}

std::optional<RegTree> RealKeys::Tree(const std::wstring& path) const
{
    std::optional<platform::UniqueKey> key = Open(path, KEY_READ);
    if (!key)
        return std::nullopt;
    return ReadRegistryTree(key->get(), path, kView);
}

PresentState::Value RealKeys::Value(const std::wstring& path, const std::wstring& name) const
{
    std::optional<platform::UniqueKey> key = Open(path, KEY_QUERY_VALUE);
    if (!key)
        return {};
    std::vector<std::uint8_t> data(256);
    for (;;) {
        DWORD type = 0, bytes = static_cast<DWORD>(data.size());
        LSTATUS status = ::RegQueryValueExW(key->get(), name.c_str(), nullptr, &type, data.data(), &bytes);
        if (status == ERROR_FILE_NOT_FOUND)
            return {true, std::nullopt};
        if (status == ERROR_MORE_DATA) {
            data.resize(std::max<size_t>(bytes, data.size() * 2));
            continue;
        }
        platform::ThrowIfError(status);
        data.resize(std::min<size_t>(bytes, data.size()));
        return {true, RegValue{name, type, std::move(data)}};
    }
}

void RealKeys::Replace(const std::wstring& path, const std::optional<RegTree>& tree) const
{
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        platform::ThrowFailure(ERROR_INVALID_DATA);
    if (std::optional<platform::UniqueKey> parent = Open(path.substr(0, slash), KEY_ALL_ACCESS)) {
        LSTATUS status = ::RegDeleteTreeW(parent->get(), path.substr(slash + 1).c_str());
        if (status != ERROR_FILE_NOT_FOUND)
            platform::ThrowIfError(status);
    }
    for (const RegKeyRecord& record : tree ? *tree : RegTree{}) {
        platform::UniqueKey key = Create(record.path);
        for (const RegValue& value : record.values)
            platform::ThrowIfError(::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                                                    static_cast<DWORD>(value.data.size())));
    }
}

void RealKeys::Put(const std::wstring& key, const std::wstring& name, const std::optional<RegValue>& value) const
{
    if (value) {
        platform::ThrowIfError(::RegSetValueExW(Create(key).get(), name.c_str(), 0, value->type, value->data.data(),
                                                static_cast<DWORD>(value->data.size())));
        return;
    }
    if (std::optional<platform::UniqueKey> opened = Open(key, KEY_SET_VALUE)) {
        LSTATUS status = ::RegDeleteValueW(opened->get(), name.c_str());
        if (status != ERROR_FILE_NOT_FOUND)
            platform::ThrowIfError(status);
    }
}
