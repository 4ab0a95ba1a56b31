// The start of a registration host with administrator rights. An elevated process inherits no handle
// from the window, and a pipe it created would refuse the window; so the window creates the pipe under a
// unique name, open to its own user alone, and the host opens it by the name on its command line.
#include "register/RegistrationHost.h"
#include "platform/Elevation.h"
#include "register/HostProcess.h"

DWORD RegistrationHost::StartElevated(const std::function<void()>& pump)
{
    platform::CurrentUserOnly security;
    if (DWORD error = security.Build())
        return error;
    const std::wstring name = NewPipeName();
    if (DWORD error = CreatePipe(name, security.Attributes()))
        return error;
    if (DWORD error = platform::CurrentElevation().StartElevated(owner_, executable_, L"--connect " + name, process_))
        return error;
    // Started running, it can only join the job afterwards; a window without rights over the elevated
    // process may be refused, and the host then ends when its pipe breaks.
    PutInHostJob(process_.get());
    if (DWORD error = AwaitConnection(pump))
        return error;
    // Any process of the user could have opened the pipe first: only the host started here is believed.
    ULONG client = 0;
    if (!::GetNamedPipeClientProcessId(pipe_.get(), &client) || client != ::GetProcessId(process_.get()))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Waits while the window works until the host has opened the pipe; the host's exit code when it ended
// first, since it says why (its user refused by the pipe, for one).
DWORD RegistrationHost::AwaitConnection(const std::function<void()>& pump)
{
    overlapped_ = {};
    overlapped_.hEvent = event_.get();
    if (!::ConnectNamedPipe(pipe_.get(), &overlapped_)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return ERROR_SUCCESS;
        if (error != ERROR_IO_PENDING)
            return error;
    }
    pending_ = true;
    const Pending pending = AwaitPending(::GetTickCount64() + Timeout(), pump);
    if (pending.wait == Wait::Done)
        return ERROR_SUCCESS;
    if (pending.wait == Wait::TimedOut)
        return ERROR_TIMEOUT;
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &exitCode);
    if (exitCode == STILL_ACTIVE)
        return pending.error;
    return exitCode != ERROR_SUCCESS ? exitCode : ERROR_BROKEN_PIPE;
}
