#pragma once
// The registration library Pemrix32.DLL of the host's own bitness, loaded from the host's own folder,
// never the search path.
#include "platform/UniqueHandle.h"
#include <string>

class RegistrationLibrary {
public:
    // Throws platform::Failure when the library or its entries cannot be found.
    RegistrationLibrary();
    // The library's return code: 0 done, -1 OLE, -2 load, -3 entry point, else the server's HRESULT.
    long Call(bool registering, const std::wstring& path) const;

private:
    using WideEntry = LONG(WINAPI*)(LPCWSTR);
    using AnsiEntry = LONG(WINAPI*)(LPCSTR);

    platform::UniqueModule module_;
    WideEntry registerWide_ = nullptr, unregisterWide_ = nullptr;
    AnsiEntry registerAnsi_ = nullptr, unregisterAnsi_ = nullptr;
};
