// The start of a registration host with administrator rights. An elevated process inherits no handle
// from the window, and a pipe it created would refuse the window; so the window creates the pipe under a
// unique name, open to its own user alone, and the host opens it by the name on its command line.
#include "register/RegistrationHost.h"
#include "platform/Elevation.h"
#include "register/HostProcess.h"
#include <algorithm>

DWORD RegistrationHost::StartElevated(const std::function<void()>& pump)
{
    platform::CurrentUserOnly security;
    if (DWORD error = security.Build())
        return error;
    const std::wstring name = NewPipeName();
    pipe_.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536,
                                   65536, 0, security.Attributes()));
    if (!pipe_)
        return ::GetLastError();
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_)
        return ::GetLastError();
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
    const ULONGLONG deadline = ::GetTickCount64() + Timeout();
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return ERROR_TIMEOUT;
        HANDLE handles[] = {event_.get(), process_.get()};
        DWORD left = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
        DWORD woken = ::MsgWaitForMultipleObjectsEx(2, handles, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + 2) {
            pump();
        } else if (woken == WAIT_OBJECT_0) {
            pending_ = false;
            DWORD ignored = 0;
            return ::GetOverlappedResult(pipe_.get(), &overlapped_, &ignored, FALSE) ? ERROR_SUCCESS : ::GetLastError();
        } else if (woken == WAIT_OBJECT_0 + 1) {
            DWORD exitCode = ERROR_BROKEN_PIPE;
            ::GetExitCodeProcess(process_.get(), &exitCode);
            return exitCode != ERROR_SUCCESS ? exitCode : ERROR_BROKEN_PIPE;
        } else if (woken == WAIT_FAILED) {
            return ::GetLastError();
        }
    }
}
