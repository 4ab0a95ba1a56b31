#include "register/RegistrationHost.h"
#include "platform/Failure.h"
#include "platform/Module.h"
#include "register/HostProcess.h"
#include <algorithm>
#include <cwchar>

namespace hp = host_protocol;

namespace {

DWORD timeout = 120000;
std::wstring standIn;

// The host of a bitness beside this program, or the tests' stand-in.
std::wstring HostExecutable(bool x64)
{
    if (!standIn.empty())
        return standIn;
#if defined(_WIN64)
    const wchar_t* folder = x64 ? L"" : L"x86\\";
#else
    const wchar_t* folder = x64 ? L"x64\\" : L"";
#endif
    return platform::ExecutableFolder() + folder + L"MirdalHost.exe";
}

} // namespace

// A name no other pipe has: the process, a count and the time.
std::wstring RegistrationHost::NewPipeName()
{
    static LONG count = 0;
    wchar_t name[96];
    std::swprintf(name, 96, L"\\\\.\\pipe\\Mirdal-%lu-%ld-%llu", ::GetCurrentProcessId(), ::InterlockedIncrement(&count),
                  static_cast<unsigned long long>(::GetTickCount64()));
    return name;
}

void RegistrationHost::SetTimeout(DWORD milliseconds) { timeout = milliseconds; }

DWORD RegistrationHost::Timeout() { return timeout; }

DWORD RegistrationHost::CreatePipe(const std::wstring& name, SECURITY_ATTRIBUTES* security)
{
    pipe_.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536,
                                   65536, 0, security));
    if (!pipe_)
        return ::GetLastError();
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return event_ ? ERROR_SUCCESS : ::GetLastError();
}

DWORD RegistrationHost::Start()
{
    const std::wstring name = NewPipeName();
    if (DWORD error = CreatePipe(name, nullptr))
        return error;
    // The host's end is the only handle it inherits that matters; it closes here once the host has it,
    // so that the pipe breaks when the host goes.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    platform::UniqueFile hostEnd(
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr));
    if (!hostEnd)
        return ::GetLastError();
    std::wstring command =
        L"\"" + executable_ + L"\" --pipe " + std::to_wstring(reinterpret_cast<UINT_PTR>(hostEnd.get()));
    STARTUPINFOW startup{sizeof startup};
    // No "starting" pointer for a program that never shows a window.
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION process{};
    // Wine under load now and then refuses a start with ERROR_INTERNAL_ERROR that a second try gets through.
    for (int attempt = 1; !::CreateProcessW(executable_.c_str(), command.data(), nullptr, nullptr, TRUE,
                                            CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
         ++attempt) {
        DWORD error = ::GetLastError();
        if (attempt == 2 || error != ERROR_INTERNAL_ERROR)
            return error;
    }
    platform::UniqueHandle thread(process.hThread);
    process_.reset(process.hProcess);
    // In the job before it runs at all, so that nothing it starts escapes the job.
    PutInHostJob(process_.get());
    if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

RegistrationHost::Pending RegistrationHost::AwaitPending(ULONGLONG deadline, const std::function<void()>& pump)
{
    Pending pending;
    for (;;) {
        if (::GetOverlappedResult(pipe_.get(), &overlapped_, &pending.moved, FALSE)) {
            pending_ = false;
            return pending;
        }
        if ((pending.error = ::GetLastError()) != ERROR_IO_INCOMPLETE) {
            pending_ = false;
            pending.wait = Wait::HostGone;
            return pending;
        }
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            pending.wait = Wait::TimedOut;
            return pending;
        }
        HANDLE handles[] = {event_.get(), process_.get()};
        DWORD left = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 1000));
        DWORD woken = ::MsgWaitForMultipleObjectsEx(2, handles, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + 2 || woken == WAIT_TIMEOUT) {
            pump();
        } else if (woken == WAIT_OBJECT_0 + 1 && !::GetOverlappedResult(pipe_.get(), &overlapped_, &pending.moved, FALSE)) {
            // A process the server started may still hold the pipe open.
            pending.error = ::GetLastError();
            pending.wait = Wait::HostGone;
            return pending;
        }
    }
}

RegistrationHost::Wait RegistrationHost::Transfer(bool reading, std::uint8_t* data, size_t bytes, ULONGLONG deadline,
                                                  const std::function<void()>& pump)
{
    while (bytes > 0) {
        // The transfer resets the event as it starts.
        overlapped_ = {};
        overlapped_.hEvent = event_.get();
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes, 65536));
        BOOL started = reading ? ::ReadFile(pipe_.get(), data, chunk, nullptr, &overlapped_)
                               : ::WriteFile(pipe_.get(), data, chunk, nullptr, &overlapped_);
        if (!started && ::GetLastError() != ERROR_IO_PENDING)
            return Wait::HostGone;
        pending_ = true;
        Pending pending = AwaitPending(deadline, pump);
        if (pending.wait != Wait::Done)
            return pending.wait;
        if (pending.moved == 0)
            return Wait::HostGone;
        data += pending.moved;
        bytes -= pending.moved;
    }
    return Wait::Done;
}

RegistrationHost::Wait RegistrationHost::AwaitReady(ULONGLONG deadline, const std::function<void()>& pump)
{
    std::uint8_t word[4] = {};
    Wait wait = Transfer(true, word, sizeof word, deadline, pump);
    if (wait == Wait::Done && hp::Word(word) != hp::kReadyWord)
        platform::ThrowFailure(ERROR_BAD_EXE_FORMAT);
    return wait;
}

// The pipe broke because the host is ending; its exit code says how.
DWORD RegistrationHost::ExitCodeOfEndingHost()
{
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.get(), 5000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

HostOutcome RegistrationHost::Gone(Wait wait)
{
    HostOutcome outcome;
    if (wait == Wait::TimedOut) {
        outcome.kind = HostOutcome::Kind::TimedOut;
        Abandon();
        return outcome;
    }
    outcome.exitCode = ExitCodeOfEndingHost();
    outcome.kind = hp::IsExceptionCode(outcome.exitCode) ? HostOutcome::Kind::Crashed : HostOutcome::Kind::EndedItself;
    Abandon();
    return outcome;
}

// No server was loaded yet: whatever ended the host, it was not the file's doing.
HostOutcome RegistrationHost::NotReady(Wait wait)
{
    HostOutcome outcome;
    outcome.kind = HostOutcome::Kind::NotReady;
    outcome.exitCode = wait == Wait::TimedOut ? ERROR_TIMEOUT : ExitCodeOfEndingHost();
    Abandon();
    return outcome;
}

void RegistrationHost::Abandon()
{
    if (pending_) {
        // The transfer's buffer must not be written once this returns.
        DWORD ignored = 0;
        ::CancelIo(pipe_.get());
        ::GetOverlappedResult(pipe_.get(), &overlapped_, &ignored, TRUE);
        pending_ = false;
    }
    if (process_) {
        ::TerminateProcess(process_.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process_.get(), 5000);
    }
    process_.reset();
    pipe_.reset();
    event_.reset();
}

void RegistrationHost::End()
{
    if (pending_)
        Abandon();
    pipe_.reset();
    if (process_ && ::WaitForSingleObject(process_.get(), 2000) != WAIT_OBJECT_0)
        ::TerminateProcess(process_.get(), ERROR_TIMEOUT);
    process_.reset();
    event_.reset();
}

HostOutcome RegistrationHost::Call(const HostRequest& request, const std::function<void()>& pump)
{
    const bool starting = !process_;
    if (starting) {
        if (DWORD error = elevated_ ? StartElevated(pump) : Start()) {
            End();
            HostOutcome outcome;
            outcome.kind = HostOutcome::Kind::CannotStart;
            outcome.error = error;
            return outcome;
        }
    }
    // Everything a pending transfer may write into lives outside the try block: a failure thrown while
    // waiting cancels the transfer before these go.
    std::vector<std::uint8_t> encoded =
        hp::EncodeRequest(request.operation, std::u16string(request.text.begin(), request.text.end()),
                          std::u16string(request.journal.begin(), request.journal.end()));
    std::uint8_t header[hp::kReplyHeaderBytes] = {};
    std::vector<std::uint8_t> payload;
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    try {
        if (starting) {
            if (Wait ready = AwaitReady(deadline, pump); ready != Wait::Done)
                return NotReady(ready);
        }
        Wait wait = Transfer(false, encoded.data(), encoded.size(), deadline, pump);
        if (wait == Wait::Done) {
            // The host works on the file now: the window answers meanwhile, not between two files.
            pump();
            wait = Transfer(true, header, sizeof header, deadline, pump);
        }
        if (wait != Wait::Done)
            return Gone(wait);
        hp::Reply reply = hp::DecodeReplyHeader(header);
        std::optional<size_t> units = hp::TextUnits(header, hp::kPayloadLengthOffset);
        if (!units)
            platform::ThrowFailure(ERROR_INVALID_DATA);
        payload.resize(*units * 2);
        if (!payload.empty() && (wait = Transfer(true, payload.data(), payload.size(), deadline, pump)) != Wait::Done)
            return Gone(wait);
        if (reply.status == hp::Status::Crashed) {
            HostOutcome outcome;
            outcome.kind = HostOutcome::Kind::Crashed;
            outcome.exitCode = static_cast<DWORD>(reply.code);
            outcome.offset = reply.lastError;
            hp::CrashPlace place = hp::DecodeCrashPayload(hp::Text(payload.data(), *units));
            outcome.module.assign(place.module.begin(), place.module.end());
            outcome.delayedDll.assign(place.dll.begin(), place.dll.end());
            outcome.delayedFunction.assign(place.function.begin(), place.function.end());
            Abandon();
            return outcome;
        }
        if (reply.status == hp::Status::NoLibrary)
            platform::ThrowFailure(reply.lastError ? reply.lastError : ERROR_MOD_NOT_FOUND);
        if (reply.status == hp::Status::RegistryFailed)
            platform::ThrowFailure(reply.lastError ? reply.lastError : ERROR_REGISTRY_IO_FAILED);
        if (reply.status != hp::Status::Done)
            platform::ThrowFailure(ERROR_NOT_SUPPORTED);
        HostOutcome outcome;
        outcome.code = reply.code;
        outcome.error = reply.lastError;
        outcome.keys = reply.keys;
        outcome.values = reply.values;
        outcome.journalError = reply.journalError;
        std::u16string text = hp::Text(payload.data(), *units);
        outcome.payload.assign(text.begin(), text.end());
        return outcome;
    } catch (...) {
        Abandon();
        throw;
    }
}

void RegistrationHosts::SetStandIn(std::wstring executable) { standIn = std::move(executable); }

RegistrationHost& RegistrationHosts::For(bool x64)
{
    std::unique_ptr<RegistrationHost>& host = x64 ? x64_ : x86_;
    if (!host)
        host = std::make_unique<RegistrationHost>(HostExecutable(x64));
    return *host;
}

RegistrationHost& RegistrationHosts::ElevatedFor(bool x64, HWND owner)
{
    std::unique_ptr<RegistrationHost>& host = x64 ? elevatedX64_ : elevatedX86_;
    if (!host)
        host = std::make_unique<RegistrationHost>(HostExecutable(x64), owner);
    return *host;
}

DWORD RegistrationHosts::CallingProcessId() const
{
    for (const auto* host : {&x86_, &x64_, &elevatedX86_, &elevatedX64_})
        if (*host && (*host)->Calling())
            return (*host)->ProcessId();
    return 0;
}
