// MirdalHost.exe: loads Pemrix32.DLL of its own bitness and registers or unregisters the files that
// Mirdal.exe hands it, one request at a time over the pipe whose handle (or, elevated, name) is on its
// command line: for the machine, for the current user alone, or into a scratch key to capture what
// registering writes.
// A server that crashes or ends the process takes only this host with it; Mirdal.exe sees the exit code.
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "register/RegistryRedirect.h"
#include "platform/Elevation.h"
#include "register/RunJournal.h"
#include "register/host/JournalCall.h"
#include "register/host/RegistrationLibrary.h"
#include "register/pure/HostProtocol.h"
#include <ole2.h>
#include <delayimp.h>
#include <cwchar>
#include <iterator>
#include <string>
#include <memory>
#include <optional>
#include <utility>

namespace hp = host_protocol;

namespace {

// The pipe, and whether a server is being called: only then does the window wait for a reply, and only
// then is this thread out of the pipe's synchronous reads and writes, so that a crash reply cannot block.
HANDLE replyPipe = nullptr;
volatile LONG calling = 0;

// Copies from this process's memory where the bytes may not be there: a server raises what it likes.
bool CopyOwnMemory(const void* from, void* to, size_t bytes)
{
    SIZE_T copied = 0;
    return ::ReadProcessMemory(::GetCurrentProcess(), from, to, bytes, &copied) && copied == bytes;
}

// An ANSI name at `from` appended to `to` as UTF-16; the units written.
size_t CopyOwnName(const char* from, wchar_t* to, size_t capacity)
{
    char name[MAX_PATH];
    size_t length = 0;
    while (length + 1 < sizeof name && CopyOwnMemory(from + length, name + length, 1) && name[length])
        ++length;
    int units = length ? ::MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), to, static_cast<int>(capacity)) : 0;
    return units > 0 ? static_cast<size_t>(units) : 0;
}

// The DLL and function the delay-load helper could not find, as "DLL", NUL, "function" (or "#" and the
// ordinal), from the DelayLoadInfo its exception points at; the units written, 0 for any other exception.
size_t DelayLoadNames(const EXCEPTION_RECORD& record, wchar_t* names, size_t capacity)
{
    constexpr DWORD ModuleNotFound = 0xC06D007E, ProcedureNotFound = 0xC06D007F;
    DelayLoadInfo info{};
    if ((record.ExceptionCode != ModuleNotFound && record.ExceptionCode != ProcedureNotFound) || record.NumberParameters < 1 ||
        !CopyOwnMemory(reinterpret_cast<const void*>(record.ExceptionInformation[0]), &info, sizeof info) || !info.szDll)
        return 0;
    size_t units = CopyOwnName(info.szDll, names, capacity / 2);
    if (units == 0)
        return 0;
    names[units++] = L'\0';
    if (info.dlp.fImportByName)
        return units + CopyOwnName(info.dlp.szProcName, names + units, capacity - units);
    wchar_t digits[12];
    size_t count = 0;
    for (DWORD ordinal = info.dlp.dwOrdinal; count == 0 || ordinal; ordinal /= 10)
        digits[count++] = static_cast<wchar_t>(L'0' + ordinal % 10);
    names[units++] = L'#';
    while (count)
        names[units++] = digits[--count];
    return units;
}

// The crash reply: the exception's code and where it struck, from memory owned before the crash.
void SendCrashReply(const EXCEPTION_RECORD& record)
{
    static wchar_t path[MAX_PATH], delayed[2 * MAX_PATH];
    static std::uint8_t reply[hp::kReplyHeaderBytes + 2 * (3 * MAX_PATH + 1)];
    HMODULE module = nullptr;
    const wchar_t* name = L"";
    std::uint32_t offset = 0;
    // Address zero (a call through a null pointer) lies in no module: asked for it, the system names this program.
    if (record.ExceptionAddress
        && ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<LPCWSTR>(record.ExceptionAddress), &module)) {
        DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            name = path;
            for (const wchar_t* at = path; *at; ++at)
                if (*at == L'\\' || *at == L'/')
                    name = at + 1;
            offset = static_cast<std::uint32_t>(static_cast<const BYTE*>(record.ExceptionAddress)
                                                - reinterpret_cast<const BYTE*>(module));
        }
    }
    size_t delayedUnits = DelayLoadNames(record, delayed, std::size(delayed) - 12);
    size_t bytes = hp::EncodeCrashReply(record.ExceptionCode, offset, name, std::wcslen(name), reply, sizeof reply, delayed,
                                        delayedUnits);
    DWORD written = 0;
    ::WriteFile(replyPipe, reply, static_cast<DWORD>(bytes), &written, nullptr);
}

// No debugger and no error box: the window hears of the crash, and the process ends at once with the
// exception's code as its exit code.
LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* exception)
{
    if (::InterlockedExchange(&calling, 0))
        SendCrashReply(*exception->ExceptionRecord);
    ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool ReadExact(HANDLE pipe, void* buffer, size_t bytes)
{
    auto* at = static_cast<std::uint8_t*>(buffer);
    while (bytes > 0) {
        DWORD read = 0;
        if (!::ReadFile(pipe, at, static_cast<DWORD>(bytes), &read, nullptr) || read == 0)
            return false;
        at += read;
        bytes -= read;
    }
    return true;
}

bool WriteAll(HANDLE pipe, const std::vector<std::uint8_t>& data)
{
    try {
        platform::WriteAll(pipe, data.data(), data.size());
        return true;
    } catch (const platform::Failure&) {
        return false;
    }
}

HANDLE PipeFromCommandLine()
{
    const wchar_t* option = std::wcsstr(::GetCommandLineW(), L"--pipe ");
    if (!option)
        return nullptr;
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(std::wcstoull(option + 7, nullptr, 10)));
}

void PutPayload(const std::wstring& text, hp::Reply& reply)
{
    if (text.size() > hp::kMaxTextUnits)
        platform::ThrowFailure(ERROR_FILE_TOO_LARGE);
    reply.payload.assign(text.begin(), text.end());
}

// The entry goes back in the reply, or, with a journal text, into the administrators' journal.
void EntryInReply(const JournalEntry& entry, const std::wstring& journal, hp::Reply& reply)
{
    reply.keys = static_cast<std::uint32_t>(entry.keys.size() + entry.values.size());
    if (journal.empty()) {
        PutPayload(JournalEntryText(entry), reply);
        return;
    }
    // The outcome stands whatever happens to its entry.
    try {
        AppendAdministratorEntry(journal, JournalEntryText(entry));
    } catch (const platform::Failure& failure) {
        reply.journalError = failure.Code();
    } catch (const std::bad_alloc&) {
        reply.journalError = ERROR_NOT_ENOUGH_MEMORY;
    }
}

// A registry that refuses the undo fails this entry only: its code goes in the reply.
void UndoInReply(const std::optional<JournalEntry>& entry, bool userKeysOnly, hp::Reply& reply)
{
    if (!entry)
        platform::ThrowFailure(ERROR_INVALID_DATA);
    reply.keys = static_cast<std::uint32_t>(entry->keys.size() + entry->values.size());
    UndoOutcome outcome;
    try {
        outcome = UndoEntry(*entry, userKeysOnly);
    } catch (const platform::Failure& failure) {
        reply.code = static_cast<std::int32_t>(HRESULT_FROM_WIN32(failure.Code()));
        return;
    }
    std::wstring lines;
    for (const std::wstring& key : outcome.kept)
        lines += L"K" + key + L"\n";
    for (const std::wstring& key : outcome.refused)
        lines += L"R" + key + L"\n";
    PutPayload(lines, reply);
}

// The administrators' run taken for the undo under way, with its name.
struct Claim {
    std::wstring name;
    ClaimedRun run;
};
std::optional<Claim> claimed;

void ClaimInReply(const std::wstring& name, hp::Reply& reply)
{
    claimed.reset();
    ClaimedRun run = ClaimAdministratorRun(name);
    if (!run.Run())
        platform::ThrowFailure(ERROR_INVALID_DATA);
    if (run.Run()->undone)
        reply.code = hp::kRunAlreadyUndone;
    else
        claimed.emplace(Claim{name, std::move(run)});
}

void MarkClaimedUndone(const std::wstring& name)
{
    std::optional<Claim> claim = std::exchange(claimed, std::nullopt);
    if (!claim || claim->name != name)
        platform::ThrowFailure(ERROR_INVALID_STATE);
    claim->run.MarkUndone();
}

// The entry of an administrators' run, read here rather than taken from the window.
std::optional<JournalEntry> StoredEntry(const std::wstring& name, const std::wstring& index)
{
    std::optional<JournalRun> run = AdministratorRun(name);
    size_t at = index.empty() || index.size() > 6 || index.find_first_not_of(L"0123456789") != std::wstring::npos ? SIZE_MAX : std::stoul(index);
    if (!run || at >= run->entries.size())
        return std::nullopt;
    return run->entries[at];
}

// An elevated host inherits nothing: it opens the pipe that the window named on its command line, and
// lets the window identify it but never act as it. Nullptr and why when it cannot.
HANDLE PipeByName(DWORD& error)
{
    constexpr wchar_t option[] = L"--connect ", prefix[] = L"\\\\.\\pipe\\";
    const wchar_t* at = std::wcsstr(::GetCommandLineW(), option);
    if (!at)
        return nullptr;
    std::wstring name(at + std::size(option) - 1);
    name.resize(name.find(L' ') == std::wstring::npos ? name.size() : name.find(L' '));
    if (name.compare(0, std::size(prefix) - 1, prefix) != 0)
        return nullptr;
    HANDLE pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
        return pipe;
    error = ::GetLastError();
    return nullptr;
}

// Runs the library as the operation asks: straight, for the current user alone, or into a scratch key
// whose contents come back as the payload. Throws platform::Failure when the registry cannot be redirected.
void CallLibrary(const RegistrationLibrary& library, hp::Operation operation, const std::wstring& path,
                 const std::wstring& journal, hp::Reply& reply)
{
    auto call = [&](bool registering) {
        ::SetLastError(ERROR_SUCCESS);
        reply.code = library.Call(registering, path);
        // Only a load failure leaves an error that says something about the file.
        reply.lastError = reply.code == hp::kLoadFailed ? ::GetLastError() : 0;
    };
    switch (operation) {
    case hp::Operation::Register:
    case hp::Operation::Unregister:
        call(operation == hp::Operation::Register);
        return;
    case hp::Operation::RegisterPerUser:
    case hp::Operation::UnregisterPerUser: {
        PerUserRedirect redirect;
        call(operation == hp::Operation::RegisterPerUser);
        return;
    }
    case hp::Operation::JournalRegister:
    case hp::Operation::JournalUnregister:
    case hp::Operation::JournalRegisterPerUser:
    case hp::Operation::JournalUnregisterPerUser: {
        using enum hp::Operation;
        const bool perUser = operation == JournalRegisterPerUser || operation == JournalUnregisterPerUser;
        // The real call comes last: its code and error stand in the reply.
        auto called = [&](bool registering) {
            call(registering);
            return reply.code;
        };
        JournalEntry entry = JournaledCall(called, operation == JournalRegister || operation == JournalRegisterPerUser,
                                           perUser ? JournalScope::CurrentUser : JournalScope::Machine, path);
        EntryInReply(entry, journal, reply);
        return;
    }
    case hp::Operation::DeleteKeyJournaled: {
        const size_t newline = path.find(L'\n');
        const std::wstring view = path.substr(0, newline);
        if (newline == std::wstring::npos || (view != L"64" && view != L"32"))
            platform::ThrowFailure(ERROR_INVALID_DATA);
        JournalEntry entry = JournaledDelete(path.substr(newline + 1), view == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
        reply.code = entry.code;
        EntryInReply(entry, journal, reply);
        return;
    }
    case hp::Operation::Undo:
        // What the window sends is the user's to edit: with these rights it reaches the user's own keys alone.
        UndoInReply(ParseJournalEntry(path), platform::Elevation().ProcessIsElevated(), reply);
        return;
    case hp::Operation::UndoStored:
        UndoInReply(StoredEntry(path, journal), false, reply);
        return;
    case hp::Operation::MarkStoredUndone:
        MarkClaimedUndone(path);
        return;
    case hp::Operation::ClaimStored:
        ClaimInReply(path, reply);
        return;
    case hp::Operation::ReleaseStored:
        claimed.reset();
        return;
    case hp::Operation::Capture: {
        RegistryCapture capture;
        call(true);
        // What a failed registration left half written would mislead as much as it told.
        if (reply.code != 0)
            return;
        std::vector<RegKeyRecord> records = capture.Read();
        PutPayload(RegKeysText(records), reply);
        reply.keys = static_cast<std::uint32_t>(records.size());
        for (const RegKeyRecord& record : records)
            reply.values += static_cast<std::uint32_t>(record.values.size());
        return;
    }
    }
    reply.status = hp::Status::UnknownOperation;
}

hp::Reply Serve(const RegistrationLibrary* library, DWORD libraryError, std::uint32_t operation, const std::wstring& path,
                const std::wstring& journal)
{
    hp::Reply reply;
    if (!library) {
        reply.status = hp::Status::NoLibrary;
        reply.lastError = libraryError;
        return reply;
    }
    struct Calling {
        Calling() { ::InterlockedExchange(&calling, 1); }
        ~Calling() { ::InterlockedExchange(&calling, 0); }
    };
    try {
        Calling during;
        CallLibrary(*library, static_cast<hp::Operation>(operation), path, journal, reply);
    } catch (const platform::Failure& failure) {
        reply = {};
        reply.status = hp::Status::RegistryFailed;
        reply.lastError = failure.Code();
    }
    return reply;
}

int ServeRequests(HANDLE pipe)
{
    std::unique_ptr<RegistrationLibrary> library;
    DWORD libraryError = ERROR_SUCCESS;
    try {
        library = std::make_unique<RegistrationLibrary>();
    } catch (const platform::Failure& failure) {
        libraryError = failure.Code();
    }
    // Ready: from here on, whatever ends this host is a server's doing or is reported as such.
    std::vector<std::uint8_t> ready;
    hp::PutWord(ready, hp::kReadyWord);
    if (!WriteAll(pipe, ready))
        return 0;
    for (;;) {
        std::uint8_t header[hp::kHeaderBytes];
        if (!ReadExact(pipe, header, sizeof header))
            return 0; // Mirdal closed its end: the window is gone.
        std::optional<size_t> units = hp::TextUnits(header, 4), journalUnits = hp::TextUnits(header, 8);
        if (!units || !journalUnits)
            return 1;
        std::vector<std::uint8_t> text((*units + *journalUnits) * 2);
        if (!ReadExact(pipe, text.data(), text.size()))
            return 0;
        std::u16string path16 = hp::Text(text.data(), *units), journal16 = hp::Text(text.data() + *units * 2, *journalUnits);
        std::wstring path(path16.begin(), path16.end()), journal(journal16.begin(), journal16.end());
        if (!WriteAll(pipe, hp::EncodeReply(Serve(library.get(), libraryError, hp::Word(header), path, journal))))
            return 0;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndWithExceptionCode);
    DWORD error = ERROR_INVALID_PARAMETER;
    HANDLE pipe = PipeFromCommandLine();
    if (!pipe && !(pipe = PipeByName(error)))
        return static_cast<int>(error);
    replyPipe = pipe;
    // OLE stays initialised on this thread for the host's life, as on the window's thread: the library's
    // own initialisation per call then costs nothing, where a full start and shutdown of OLE per file
    // would cost more than the registration.
    HRESULT ole = ::OleInitialize(nullptr);
    // A server's own output must never reach the pipe.
    ::SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    ::SetStdHandle(STD_INPUT_HANDLE, nullptr);
    int code = ERROR_NOT_ENOUGH_MEMORY;
    try {
        code = ServeRequests(pipe);
    } catch (const std::bad_alloc&) {
    }
    if (SUCCEEDED(ole))
        ::OleUninitialize();
    return code;
}
