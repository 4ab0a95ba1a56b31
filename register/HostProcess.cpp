#include "register/HostProcess.h"
#include "platform/UniqueHandle.h"

bool PutInHostJob(HANDLE process)
{
    // Never closed while the program runs: the system closes it as the process ends, whatever way,
    // and that ends the hosts.
    static const platform::UniqueHandle job = [] {
        platform::UniqueHandle made(::CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !::SetInformationJobObject(made.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            made.reset();
        return made;
    }();
    return job && ::AssignProcessToJobObject(job.get(), process);
}

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

void ServerWindowWatch::Look(DWORD processId)
{
    ULONGLONG now = ::GetTickCount64();
    if (processId == 0 || now - looked_ < 1000)
        return;
    looked_ = now;
    // A window the server shows later comes to the front by itself.
    ::AllowSetForegroundWindow(processId);
    WindowSearch search{processId};
    ::EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    // The window told already is not told again while it stays up.
    if (!search.found || search.found == told_window_)
        return;
    told_window_ = search.found;
    ::SetForegroundWindow(search.found);
    // The text the system keeps for another process's window: no message goes to a host that may hang.
    wchar_t title[256] = {};
    ::GetWindowTextW(search.found, title, 256);
    told_(title);
}
