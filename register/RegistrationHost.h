#pragma once
// The client side of a registration host (MirdalHost.exe): starts it when first needed, hands it one
// file at a time and waits for its answer while the caller keeps its window alive. A host that crashed,
// ended itself or did not answer in time is gone; the next call starts a new one.
#include "platform/UniqueHandle.h"
#include "register/pure/HostProtocol.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What a host is asked: the operation and its two texts, as host_protocol::Operation tells them.
struct HostRequest {
    host_protocol::Operation operation;
    std::wstring text;    // a server's path, a journal entry's text, a view and key, or a stored run's file name
    std::wstring journal; // where a journaled call's entry goes, or the number of a stored run's entry
};

struct HostOutcome {
    enum class Kind {
        Answered,     // the library's code is in code
        CannotStart,  // the host could not be started: error says why
        NotReady,     // the host ended before it was ready, by no server's doing: exitCode
        Crashed,      // the host ended with an unhandled exception: exitCode is its code, and where the
                      // host could say so, module and offset tell where it struck
        EndedItself,  // a server ended the host: exitCode
        TimedOut,     // no answer in time; the host was ended
    };
    Kind kind = Kind::Answered;
    long code = 0;
    DWORD error = 0; // Answered: the host's GetLastError after a load failure; CannotStart: the start's error
    DWORD exitCode = 0;
    std::wstring module;
    DWORD offset = 0;
    std::wstring delayedDll, delayedFunction; // Crashed in the delay-load helper: what it could not find
    DWORD keys = 0, values = 0; // captured: the keys and values that payload holds; journaled: keys counts the changes
    DWORD journalError = 0;     // why the host could not write the entry into the journal it was given
    std::wstring payload;
};

class RegistrationHost {
public:
    explicit RegistrationHost(std::wstring executable) : executable_(std::move(executable)) {}
    // A host started with administrator rights after the system's prompt, which `owner` holds.
    RegistrationHost(std::wstring executable, HWND owner) : executable_(std::move(executable)), elevated_(true), owner_(owner) {}
    ~RegistrationHost() { End(); }
    RegistrationHost(const RegistrationHost&) = delete;
    RegistrationHost& operator=(const RegistrationHost&) = delete;

    // While waiting, pump is called whenever the thread has messages to process, and about once a second.
    // Throws platform::Failure when the host answers that its Pemrix32.DLL cannot be loaded, or that
    // it could not redirect or capture the registry.
    HostOutcome Call(const HostRequest& request, const std::function<void()>& pump);
    bool Running() const { return static_cast<bool>(process_); }
    const std::wstring& Executable() const { return executable_; }
    // A file's request or answer is on its way: the window's run, which never asks twice at once, waits on it.
    bool Calling() const { return pending_; }
    DWORD ProcessId() const { return process_ ? ::GetProcessId(process_.get()) : 0; }
    // Ends the host: it leaves by itself when its pipe closes, else it is terminated.
    void End();

    // How long a file may take; 120 seconds unless a test sets less.
    static void SetTimeout(DWORD milliseconds);
    static DWORD Timeout();

private:
    enum class Wait { Done, HostGone, TimedOut };
    // How the pending transfer or connection ended; error: the system's, when it failed.
    struct Pending {
        Wait wait = Wait::Done;
        DWORD moved = 0, error = 0;
    };
    // The pipe, and the event its transfers signal; `security`, the pipe's, or the default.
    DWORD CreatePipe(const std::wstring& name, SECURITY_ATTRIBUTES* security);
    // Waits while the window answers until the pending transfer or connection is done, the host ends or the deadline passes.
    Pending AwaitPending(ULONGLONG deadline, const std::function<void()>& pump);
    DWORD Start();
    DWORD StartElevated(const std::function<void()>& pump);
    DWORD AwaitConnection(const std::function<void()>& pump);
    static std::wstring NewPipeName();
    Wait Transfer(bool reading, std::uint8_t* data, size_t bytes, ULONGLONG deadline, const std::function<void()>& pump);
    Wait AwaitReady(ULONGLONG deadline, const std::function<void()>& pump);
    HostOutcome Gone(Wait wait);
    HostOutcome NotReady(Wait wait);
    DWORD ExitCodeOfEndingHost();
    void Abandon();

    std::wstring executable_;
    platform::UniqueHandle process_, event_;
    platform::UniqueFile pipe_;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    std::vector<std::uint8_t> buffer_;
    bool elevated_ = false;
    HWND owner_ = nullptr;
};

// The hosts of a window, one per bitness, kept from run to run and ended with the window.
class RegistrationHosts {
public:
    // The host for 32-bit servers (x86) or 64-bit servers.
    RegistrationHost& For(bool x64);
    // The host of that bitness with administrator rights, kept as well: one prompt per bitness.
    RegistrationHost& ElevatedFor(bool x64, HWND owner);
    // Tests stand another program in for MirdalHost.exe of hosts made from now on; empty ends that.
    static void SetStandIn(std::wstring executable);
    // The process of the host that works on a file now, or 0.
    DWORD CallingProcessId() const;

private:
    std::unique_ptr<RegistrationHost> x86_, x64_, elevatedX86_, elevatedX64_;
};
