// Pemrix32: registers or unregisters a COM server by calling the server's own
// DllRegisterServer / DllUnregisterServer inside an OLE-initialised thread.
#include <windows.h>
#include <ole2.h>
#include <new>
#include <string>
#include <utility>

#include "platform/UniqueHandle.h"
#include "register/pure/HostProtocol.h"

namespace {

using host_protocol::kEntryMissing;
using host_protocol::kLoadFailed;
using host_protocol::kOleInitFailed;

template <class Fn>
class ScopeExit {
public:
    explicit ScopeExit(Fn fn) : fn_(std::move(fn)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { fn_(); }

private:
    Fn fn_;
};

LONG CallServerEntry(LPCWSTR path, const char* entry)
{
    // S_FALSE (already initialised on this thread) still needs its matching OleUninitialize.
    if (FAILED(::OleInitialize(nullptr)))
        return kOleInitFailed;
    // The caller reads the reason of a load failure from GetLastError: shutting OLE down must not change it.
    ScopeExit uninitialize([] {
        DWORD error = ::GetLastError();
        ::OleUninitialize();
        ::SetLastError(error);
    });

    // Declared after the guard so the server is unloaded before OLE shuts down.
    platform::UniqueModule server(::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!server)
        return kLoadFailed;

    using EntryFn = HRESULT(STDAPICALLTYPE*)();
    // Through void(*)() : FARPROC's signature is nothing like the entry's.
    auto fn = reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(::GetProcAddress(server.get(), entry)));
    if (!fn)
        return kEntryMissing;

    HRESULT hr = fn();
    return SUCCEEDED(hr) ? 0 : hr;
}

LONG CallServerEntryAnsi(LPCSTR path, const char* entry)
{
    if (!path)
        return kLoadFailed;
    try {
        int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
        if (length <= 0)
            return kLoadFailed;
        std::wstring wide(static_cast<size_t>(length), L'\0');
        if (::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length) != length)
            return kLoadFailed;
        return CallServerEntry(wide.c_str(), entry);
    } catch (const std::bad_alloc&) {
        // No exception may cross the C interface.
        return E_OUTOFMEMORY;
    }
}

} // namespace

extern "C" {

LONG WINAPI RegisterOleLibraryW(LPCWSTR path)
{
    return CallServerEntry(path, "DllRegisterServer");
}

LONG WINAPI UnRegisterOleLibraryW(LPCWSTR path)
{
    return CallServerEntry(path, "DllUnregisterServer");
}

LONG WINAPI RegisterOleLibrary(LPCSTR path)
{
    return CallServerEntryAnsi(path, "DllRegisterServer");
}

LONG WINAPI UnRegisterOleLibrary(LPCSTR path)
{
    return CallServerEntryAnsi(path, "DllUnregisterServer");
}

} // extern "C"
