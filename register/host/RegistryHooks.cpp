#include "register/host/RegistryHooks.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "register/host/ChangeRecorder.h"
#include <winternl.h>
#include <shlwapi.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

using Touch = RegistryWrite::Touch;

std::atomic<ChangeRecorder*> active{nullptr};
// Inside a hook, what the function calls in turn (SHDeleteKey's own deletes, say) is part of what the
// hook already noted.
thread_local int depth = 0;

// The entries hooked: each hook's name, where the original lives, and every address a table may hold
// for it (advapi32's and kernelbase's differ).
struct Hooked {
    const char* name;
    void* hook;
    void* original = nullptr;
};
std::vector<Hooked>& Table();

template <class F>
F Original(const char* name)
{
    for (const Hooked& entry : Table())
        if (std::strcmp(entry.name, name) == 0)
            return reinterpret_cast<F>(entry.original);
    return nullptr;
}

std::wstring Wide(const char* text) { return text ? platform::FromAnsi(text) : std::wstring(); }
std::wstring Wide(const wchar_t* text) { return text ? text : L""; }

// Tells the recorder of the write around the original's call; never lets a failure of its own reach the caller.
template <class Call>
LSTATUS Recorded(HKEY key, const std::wstring& sub, REGSAM view, Touch touch, const std::wstring& value, Call call,
                 HKEY* opened = nullptr)
{
    ChangeRecorder* recorder = depth == 0 ? active.load() : nullptr;
    ++depth;
    struct Leave {
        ~Leave() { --depth; }
    } leave;
    if (!recorder)
        return call();
    RegistryWrite write{key, sub, view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), touch, value};
    ChangeRecorder::Pending pending;
    try {
        pending = recorder->Before(write);
    } catch (...) {
    }
    LSTATUS status = call();
    if (status == ERROR_SUCCESS)
        try {
            recorder->After(write, pending, opened ? *opened : nullptr);
        } catch (...) {
        }
    return status;
}

#define ORIGINAL(name) Original<decltype(&name)>(#name)

template <class C>
LSTATUS CreateKeyEx(const char* name, HKEY key, const C* sub, DWORD reserved, C* cls, DWORD options, REGSAM sam,
                    const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition)
{
    using Fn = LSTATUS(WINAPI*)(HKEY, const C*, DWORD, C*, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD);
    return Recorded(key, Wide(sub), sam, Touch::CreateKey, L"",
                    [&] { return Original<Fn>(name)(key, sub, reserved, cls, options, sam, security, result, disposition); }, result);
}

LSTATUS WINAPI HookRegCreateKeyExW(HKEY key, LPCWSTR sub, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                                   const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition)
{
    return CreateKeyEx("RegCreateKeyExW", key, sub, reserved, cls, options, sam, security, result, disposition);
}
LSTATUS WINAPI HookRegCreateKeyExA(HKEY key, LPCSTR sub, DWORD reserved, LPSTR cls, DWORD options, REGSAM sam,
                                   const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition)
{
    return CreateKeyEx("RegCreateKeyExA", key, sub, reserved, cls, options, sam, security, result, disposition);
}
LSTATUS WINAPI HookRegCreateKeyW(HKEY key, LPCWSTR sub, PHKEY result)
{
    return Recorded(key, Wide(sub), 0, Touch::CreateKey, L"", [&] { return ORIGINAL(RegCreateKeyW)(key, sub, result); }, result);
}
LSTATUS WINAPI HookRegCreateKeyA(HKEY key, LPCSTR sub, PHKEY result)
{
    return Recorded(key, Wide(sub), 0, Touch::CreateKey, L"", [&] { return ORIGINAL(RegCreateKeyA)(key, sub, result); }, result);
}
LSTATUS WINAPI HookRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    return Recorded(key, L"", 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(RegSetValueExW)(key, name, reserved, type, data, size); });
}
LSTATUS WINAPI HookRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    return Recorded(key, L"", 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(RegSetValueExA)(key, name, reserved, type, data, size); });
}
// The old form sets the default value of a sub-key, which it creates.
LSTATUS WINAPI HookRegSetValueW(HKEY key, LPCWSTR sub, DWORD type, LPCWSTR data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, L"", [&] { return ORIGINAL(RegSetValueW)(key, sub, type, data, size); });
}
LSTATUS WINAPI HookRegSetValueA(HKEY key, LPCSTR sub, DWORD type, LPCSTR data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, L"", [&] { return ORIGINAL(RegSetValueA)(key, sub, type, data, size); });
}
LSTATUS WINAPI HookRegSetKeyValueW(HKEY key, LPCWSTR sub, LPCWSTR name, DWORD type, LPCVOID data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(RegSetKeyValueW)(key, sub, name, type, data, size); });
}
LSTATUS WINAPI HookRegSetKeyValueA(HKEY key, LPCSTR sub, LPCSTR name, DWORD type, LPCVOID data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(RegSetKeyValueA)(key, sub, name, type, data, size); });
}
LSTATUS WINAPI HookRegDeleteKeyW(HKEY key, LPCWSTR sub)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteKey, L"", [&] { return ORIGINAL(RegDeleteKeyW)(key, sub); });
}
LSTATUS WINAPI HookRegDeleteKeyA(HKEY key, LPCSTR sub)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteKey, L"", [&] { return ORIGINAL(RegDeleteKeyA)(key, sub); });
}
LSTATUS WINAPI HookRegDeleteKeyExW(HKEY key, LPCWSTR sub, REGSAM sam, DWORD reserved)
{
    return Recorded(key, Wide(sub), sam, Touch::DeleteKey, L"", [&] { return ORIGINAL(RegDeleteKeyExW)(key, sub, sam, reserved); });
}
LSTATUS WINAPI HookRegDeleteKeyExA(HKEY key, LPCSTR sub, REGSAM sam, DWORD reserved)
{
    return Recorded(key, Wide(sub), sam, Touch::DeleteKey, L"", [&] { return ORIGINAL(RegDeleteKeyExA)(key, sub, sam, reserved); });
}
LSTATUS WINAPI HookRegDeleteValueW(HKEY key, LPCWSTR name)
{
    return Recorded(key, L"", 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(RegDeleteValueW)(key, name); });
}
LSTATUS WINAPI HookRegDeleteValueA(HKEY key, LPCSTR name)
{
    return Recorded(key, L"", 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(RegDeleteValueA)(key, name); });
}
// Without a sub-key, the key is emptied and stays.
LSTATUS WINAPI HookRegDeleteTreeW(HKEY key, LPCWSTR sub)
{
    return Recorded(key, Wide(sub), 0, sub && *sub ? Touch::DeleteKey : Touch::EmptyKey, L"",
                    [&] { return ORIGINAL(RegDeleteTreeW)(key, sub); });
}
LSTATUS WINAPI HookRegDeleteTreeA(HKEY key, LPCSTR sub)
{
    return Recorded(key, Wide(sub), 0, sub && *sub ? Touch::DeleteKey : Touch::EmptyKey, L"",
                    [&] { return ORIGINAL(RegDeleteTreeA)(key, sub); });
}
LSTATUS WINAPI HookRegDeleteKeyValueW(HKEY key, LPCWSTR sub, LPCWSTR name)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(RegDeleteKeyValueW)(key, sub, name); });
}
LSTATUS WINAPI HookRegDeleteKeyValueA(HKEY key, LPCSTR sub, LPCSTR name)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(RegDeleteKeyValueA)(key, sub, name); });
}
DWORD WINAPI HookSHDeleteKeyW(HKEY key, LPCWSTR sub)
{
    return Recorded(key, Wide(sub), 0, sub && *sub ? Touch::DeleteKey : Touch::EmptyKey, L"", [&] { return ORIGINAL(SHDeleteKeyW)(key, sub); });
}
DWORD WINAPI HookSHDeleteKeyA(HKEY key, LPCSTR sub)
{
    return Recorded(key, Wide(sub), 0, sub && *sub ? Touch::DeleteKey : Touch::EmptyKey, L"", [&] { return ORIGINAL(SHDeleteKeyA)(key, sub); });
}
DWORD WINAPI HookSHDeleteValueW(HKEY key, LPCWSTR sub, LPCWSTR name)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(SHDeleteValueW)(key, sub, name); });
}
DWORD WINAPI HookSHDeleteValueA(HKEY key, LPCSTR sub, LPCSTR name)
{
    return Recorded(key, Wide(sub), 0, Touch::DeleteValue, Wide(name), [&] { return ORIGINAL(SHDeleteValueA)(key, sub, name); });
}
DWORD WINAPI HookSHSetValueW(HKEY key, LPCWSTR sub, LPCWSTR name, DWORD type, LPCVOID data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(SHSetValueW)(key, sub, name, type, data, size); });
}
DWORD WINAPI HookSHSetValueA(HKEY key, LPCSTR sub, LPCSTR name, DWORD type, LPCVOID data, DWORD size)
{
    return Recorded(key, Wide(sub), 0, Touch::SetValue, Wide(name), [&] { return ORIGINAL(SHSetValueA)(key, sub, name, type, data, size); });
}

void HookModulesLoadedSince();

// A module loaded now, and whatever it brought with it, is hooked before it is called.
template <class Load>
HMODULE Loaded(Load load)
{
    HMODULE module = load();
    if (module && active.load())
        HookModulesLoadedSince();
    return module;
}
HMODULE WINAPI HookLoadLibraryW(LPCWSTR name) { return Loaded([&] { return ORIGINAL(LoadLibraryW)(name); }); }
HMODULE WINAPI HookLoadLibraryA(LPCSTR name) { return Loaded([&] { return ORIGINAL(LoadLibraryA)(name); }); }
HMODULE WINAPI HookLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags)
{
    return Loaded([&] { return ORIGINAL(LoadLibraryExW)(name, file, flags); });
}
HMODULE WINAPI HookLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    return Loaded([&] { return ORIGINAL(LoadLibraryExA)(name, file, flags); });
}

std::unordered_map<void*, void*>& Replacements();

// An entry looked up by name gets the hook, as an import would.
FARPROC WINAPI HookGetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC found = ORIGINAL(GetProcAddress)(module, name);
    auto replaced = Replacements().find(reinterpret_cast<void*>(found));
    return replaced == Replacements().end() ? found : reinterpret_cast<FARPROC>(replaced->second);
}

#undef ORIGINAL

std::vector<Hooked>& Table()
{
    static std::vector<Hooked> table = {
        {"RegCreateKeyExW", reinterpret_cast<void*>(&HookRegCreateKeyExW)},
        {"RegCreateKeyExA", reinterpret_cast<void*>(&HookRegCreateKeyExA)},
        {"RegCreateKeyW", reinterpret_cast<void*>(&HookRegCreateKeyW)},
        {"RegCreateKeyA", reinterpret_cast<void*>(&HookRegCreateKeyA)},
        {"RegSetValueExW", reinterpret_cast<void*>(&HookRegSetValueExW)},
        {"RegSetValueExA", reinterpret_cast<void*>(&HookRegSetValueExA)},
        {"RegSetValueW", reinterpret_cast<void*>(&HookRegSetValueW)},
        {"RegSetValueA", reinterpret_cast<void*>(&HookRegSetValueA)},
        {"RegSetKeyValueW", reinterpret_cast<void*>(&HookRegSetKeyValueW)},
        {"RegSetKeyValueA", reinterpret_cast<void*>(&HookRegSetKeyValueA)},
        {"RegDeleteKeyW", reinterpret_cast<void*>(&HookRegDeleteKeyW)},
        {"RegDeleteKeyA", reinterpret_cast<void*>(&HookRegDeleteKeyA)},
        {"RegDeleteKeyExW", reinterpret_cast<void*>(&HookRegDeleteKeyExW)},
        {"RegDeleteKeyExA", reinterpret_cast<void*>(&HookRegDeleteKeyExA)},
        {"RegDeleteValueW", reinterpret_cast<void*>(&HookRegDeleteValueW)},
        {"RegDeleteValueA", reinterpret_cast<void*>(&HookRegDeleteValueA)},
        {"RegDeleteTreeW", reinterpret_cast<void*>(&HookRegDeleteTreeW)},
        {"RegDeleteTreeA", reinterpret_cast<void*>(&HookRegDeleteTreeA)},
        {"RegDeleteKeyValueW", reinterpret_cast<void*>(&HookRegDeleteKeyValueW)},
        {"RegDeleteKeyValueA", reinterpret_cast<void*>(&HookRegDeleteKeyValueA)},
        {"SHDeleteKeyW", reinterpret_cast<void*>(&HookSHDeleteKeyW)},
        {"SHDeleteKeyA", reinterpret_cast<void*>(&HookSHDeleteKeyA)},
        {"SHDeleteValueW", reinterpret_cast<void*>(&HookSHDeleteValueW)},
        {"SHDeleteValueA", reinterpret_cast<void*>(&HookSHDeleteValueA)},
        {"SHSetValueW", reinterpret_cast<void*>(&HookSHSetValueW)},
        {"SHSetValueA", reinterpret_cast<void*>(&HookSHSetValueA)},
        {"LoadLibraryW", reinterpret_cast<void*>(&HookLoadLibraryW)},
        {"LoadLibraryA", reinterpret_cast<void*>(&HookLoadLibraryA)},
        {"LoadLibraryExW", reinterpret_cast<void*>(&HookLoadLibraryExW)},
        {"LoadLibraryExA", reinterpret_cast<void*>(&HookLoadLibraryExA)},
        {"GetProcAddress", reinterpret_cast<void*>(&HookGetProcAddress)},
    };
    return table;
}

std::unordered_map<void*, void*>& Replacements()
{
    static std::unordered_map<void*, void*> replacements;
    return replacements;
}

// The DLLs that carry the entries, the implementing one first: some export a stub that calls the
// implementation through their own import table, which is why their tables are never hooked.
std::vector<HMODULE>& Providers()
{
    // The shell helpers need not be loaded by the server for their hooks to be ready when it does.
    static std::vector<HMODULE> providers = {::GetModuleHandleW(L"kernelbase.dll"), ::LoadLibraryW(L"advapi32.dll"),
                                             ::GetModuleHandleW(L"kernel32.dll"), ::LoadLibraryW(L"shlwapi.dll"),
                                             ::GetModuleHandleW(L"shcore.dll"), ::GetModuleHandleW(L"ntdll.dll")};
    return providers;
}

// Every address the system's DLLs give each entry, looked up once, before any table points elsewhere.
void FindOriginals()
{
    static bool found = false;
    if (found)
        return;
    for (Hooked& entry : Table())
        for (HMODULE module : Providers()) {
            void* address = module ? reinterpret_cast<void*>(::GetProcAddress(module, entry.name)) : nullptr;
            if (!address || address == entry.hook)
                continue;
            if (!entry.original)
                entry.original = address;
            Replacements().emplace(address, entry.hook);
        }
    // Without the core entries nothing could be recorded; a missing newer one is simply never imported.
    if (!Original<void*>("RegSetValueExW") || !Original<void*>("GetProcAddress"))
        platform::ThrowFailure(ERROR_PROC_NOT_FOUND);
    found = true;
}

// The RVA's place in the mapped image, where `bytes` of it lie within the image.
template <class T>
T* At(BYTE* base, DWORD size, DWORD rva, size_t bytes = sizeof(T))
{
    return rva != 0 && rva < size && bytes <= size - rva ? reinterpret_cast<T*>(base + rva) : nullptr;
}

// The first slot it pointed at a hook, if any.
void** PatchTable(BYTE* base, DWORD size, DWORD rva)
{
    void** first = nullptr;
    for (auto* slot = At<void*>(base, size, rva); slot && *slot; slot = At<void*>(base, size, rva)) {
        auto replaced = Replacements().find(*slot);
        if (replaced != Replacements().end()) {
            DWORD old = 0;
            if (::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) {
                *slot = replaced->second;
                ::VirtualProtect(slot, sizeof *slot, old, &old);
                first = first ? first : slot;
            }
        }
        rva += sizeof(void*);
    }
    return first;
}

// The late-load descriptor as the image holds it: attributes, then RVAs.
struct DelayDescriptor {
    DWORD attributes, name, module, table, names, bound, unload, stamp;
};

// What patching a module found: whether it resolves imports late, and its first slot hooked.
struct Patched {
    bool late = false;
    void** first = nullptr;
};

// The headers of a module as loaded, when they are of this process's kind.
const IMAGE_NT_HEADERS* Headers(HMODULE module)
{
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR_MAGIC ? nt : nullptr;
}

Patched PatchModule(HMODULE module)
{
    Patched patched;
    auto* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = Headers(module);
    if (!nt)
        return patched;
    const DWORD size = nt->OptionalHeader.SizeOfImage;
    const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
    const DWORD count = nt->OptionalHeader.NumberOfRvaAndSizes;
    auto note = [&](void** slot) { patched.first = patched.first ? patched.first : slot; };
    if (count > IMAGE_DIRECTORY_ENTRY_IMPORT)
        for (DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
             auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(base, size, rva); rva += sizeof *import) {
            if (import->Name == 0)
                break;
            note(PatchTable(base, size, import->FirstThunk));
        }
    if (count > IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)
        for (DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress;
             auto* delay = At<DelayDescriptor>(base, size, rva); rva += sizeof *delay) {
            if (delay->name == 0)
                break;
            patched.late = true;
            note(PatchTable(base, size, delay->table));
        }
    return patched;
}

// A mapping patched once keeps its hooks while it stays; the loader never binds its table again.
// Known by where and what it is; a first hooked slot that holds an original again is a new mapping
// of the same file at the same place. Late-resolved tables change with each import resolved, so
// their modules are patched every time.
struct Mapping {
    std::wstring name;
    DWORD size = 0, stamp = 0;
    Patched patched;
};

std::wstring_view NameOf(const LDR_DATA_TABLE_ENTRY& entry)
{
    return {entry.FullDllName.Buffer, entry.FullDllName.Length / sizeof(wchar_t)};
}

Mapping Identity(const LDR_DATA_TABLE_ENTRY& entry)
{
    Mapping mapping;
    mapping.name = NameOf(entry);
    if (const IMAGE_NT_HEADERS* nt = Headers(static_cast<HMODULE>(entry.DllBase))) {
        mapping.size = nt->OptionalHeader.SizeOfImage;
        mapping.stamp = nt->FileHeader.TimeDateStamp;
    }
    return mapping;
}

bool StillPatched(const LDR_DATA_TABLE_ENTRY& entry, const Mapping& before)
{
    if (before.patched.late || NameOf(entry) != before.name)
        return false;
    const IMAGE_NT_HEADERS* nt = Headers(static_cast<HMODULE>(entry.DllBase));
    if (!nt || nt->OptionalHeader.SizeOfImage != before.size || nt->FileHeader.TimeDateStamp != before.stamp)
        return false;
    return !before.patched.first || !Replacements().contains(*before.patched.first);
}

// The loader's own list, read in place: asking the system for the modules costs a call to it for each.
void HookModulesLoadedSince()
{
    static std::mutex lock;
    static std::unordered_map<void*, Mapping> mappings;
    std::lock_guard<std::mutex> guard(lock);
    LIST_ENTRY* head = &NtCurrentTeb()->ProcessEnvironmentBlock->Ldr->InMemoryOrderModuleList;
    for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
        const auto& entry = *CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        auto* module = static_cast<HMODULE>(entry.DllBase);
        if (!module || std::find(Providers().begin(), Providers().end(), module) != Providers().end())
            continue;
        auto known = mappings.find(module);
        if (known != mappings.end() && StillPatched(entry, known->second))
            continue;
        Mapping now = Identity(entry);
        now.patched = PatchModule(module);
        mappings[module] = std::move(now);
    }
}

} // namespace

namespace registry_hooks {

void Install(ChangeRecorder* recorder)
{
    if (recorder) {
        FindOriginals();
        active = recorder;
        HookModulesLoadedSince();
    } else {
        active = nullptr;
    }
}

} // namespace registry_hooks
