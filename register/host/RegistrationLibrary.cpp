#include "register/host/RegistrationLibrary.h"
#include "platform/Failure.h"
#include "platform/Module.h"
#include "platform/Text.h"

namespace {

template <class T>
T Entry(HMODULE module, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

RegistrationLibrary::RegistrationLibrary()
{
    std::wstring path = platform::ExecutableFolder() + L"Pemrix32.DLL";
    module_.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_)
        platform::ThrowLastError();
    // The UTF-16 entries take every path; the ANSI ones only what the code page can hold.
    registerWide_ = Entry<WideEntry>(module_.get(), "RegisterOleLibraryW");
    unregisterWide_ = Entry<WideEntry>(module_.get(), "UnRegisterOleLibraryW");
    if (registerWide_ && unregisterWide_)
        return;
    registerAnsi_ = Entry<AnsiEntry>(module_.get(), "RegisterOleLibrary");
    unregisterAnsi_ = Entry<AnsiEntry>(module_.get(), "UnRegisterOleLibrary");
    if (!registerAnsi_ || !unregisterAnsi_)
        platform::ThrowFailure(ERROR_PROC_NOT_FOUND);
}

long RegistrationLibrary::Call(bool registering, const std::wstring& path) const
{
    if (registerWide_)
        return (registering ? registerWide_ : unregisterWide_)(path.c_str());
    return (registering ? registerAnsi_ : unregisterAnsi_)(platform::ToAnsi(path).c_str());
}
