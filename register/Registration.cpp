#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Elevation.h"
#include "platform/MessageLoop.h"
#include "platform/Module.h"
#include "platform/Prompt.h"
#include "register/HostProcess.h"
#include "pe/ImageFile.h"
#include "pe/LoadFailure.h"
#include "register/LogWriter.h"
#include "register/RegistrationHost.h"
#include "register/RegistryRedirect.h"
#include "register/RunJournal.h"
#include "register/SelectedRowRun.h"
#include "register/pure/AccessDenied.h"
#include "register/pure/BidiIsolation.h"
#include "register/pure/HostRoute.h"
#include "registry/LibraryScan.h"
#include <commdlg.h>
#include <cwchar>
#include <memory>
#include <variant>

namespace {

constexpr wchar_t CrLf[] = L"\r\n";
constexpr DWORD RegDialogFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;

std::wstring Hex(unsigned long value, int digits)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%0*lX", digits, value);
    return text;
}

struct RunFlavour {
    host_protocol::Operation operation;
    unsigned verb; // the file's line in the log: its path, then this
};

RunFlavour Flavour(bool o_Register, frmMirdal::RegistrationTarget target)
{
    using enum host_protocol::Operation;
    switch (target) {
    case frmMirdal::RegistrationTarget::CurrentUser:
        return o_Register ? RunFlavour{RegisterPerUser, IDS_LOG_REGISTER_USER} : RunFlavour{UnregisterPerUser, IDS_LOG_UNREGISTER_USER};
    case frmMirdal::RegistrationTarget::RegFile: return {Capture, IDS_LOG_EXPORT};
    case frmMirdal::RegistrationTarget::Administrator:
        return o_Register ? RunFlavour{Register, IDS_LOG_REGISTER_ADMIN} : RunFlavour{Unregister, IDS_LOG_UNREGISTER_ADMIN};
    case frmMirdal::RegistrationTarget::Registry: break;
    }
    return o_Register ? RunFlavour{Register, IDS_LOG_REGISTER} : RunFlavour{Unregister, IDS_LOG_UNREGISTER};
}

} // namespace

void frmMirdal::PartDeleter::operator()(RegistrationHosts* hosts) const noexcept { delete hosts; }

void frmMirdal::EnableCoveredPanes(bool enabled)
{
    for (HWND pane : {trvDir.Hwnd(), lsvFile.Hwnd(), lsvReg.Hwnd()}) {
        platform::Window(pane).Enable(enabled);
        // Covered, a pane would paint only to be clipped away, which under Wine costs a list milliseconds;
        // the panel's closing shows it again.
        if (!enabled)
            ::ValidateRect(pane, nullptr);
    }
}

std::wstring frmMirdal::OutcomeText(long code) const
{
    switch (code) {
    case 0: return Text(IDS_LOG_SUCCEEDED);
    case host_protocol::kOleInitFailed: return Text(IDS_LOG_OLE_FAILED);
    case host_protocol::kLoadFailed: return Text(IDS_LOG_LOAD_FAILED);
    case host_protocol::kEntryMissing: return Text(IDS_LOG_NO_ENTRY);
    }
    // A server that refused (access denied, for one) must not pass in silence.
    std::wstring meaning = platform::SystemMessage(static_cast<DWORD>(code));
    if (meaning.empty() && static_cast<std::uint32_t>(code) == kTypeLibRegistryAccess)
        meaning = Text(IDS_MEANING_TYPELIB_REGISTRY);
    return Text(IDS_LOG_FAILED_CODE) + Hex(static_cast<unsigned long>(code), 8) + L")" + meaning;
}

namespace {

struct HostChoice {
    bool x64 = false;
    std::optional<pe::ImageFacts> facts;
};

FileOutcome Refused(long code, std::wstring why) { return {code, std::move(why)}; }

// The host a server's file goes to, or why none is asked: what the file itself shows refuses it.
std::variant<FileOutcome, HostChoice> ChooseHost(const std::wstring& path)
{
    using host_protocol::kLoadFailed;
    std::optional<pe::ImageFacts> facts = ReadImageFile(path);
    // A file that cannot be read may have gone since it was listed; no host is asked about that.
    if (!facts) {
        if (std::optional<std::wstring> gone = GoneFileLine(path))
            return FileOutcome{std::nullopt, *gone};
        // Else it goes to the host of this build, whose load failure says why.
        return HostChoice{sizeof(void*) == 8, std::nullopt};
    }
    // The loader would refuse it with the error of a program for another machine, which it is not.
    if (facts->damaged)
        return Refused(kLoadFailed, Text(IDS_WHY_DAMAGED));
    const HostRoute route = RouteImage(facts->machine, platform::WindowsIs64Bit());
    switch (route) {
    case HostRoute::NotPe: return Refused(kLoadFailed, Text(IDS_WHY_NOT_PE));
    case HostRoute::ForeignMachine:
        return Refused(kLoadFailed,
                       Text(IDS_WHY_MACHINE, {facts->machine == pe::Machine::Arm64 ? L"ARM64" : L"0x" + Hex(facts->machineCode, 4)}));
    case HostRoute::X64OnX86Windows: return Refused(kLoadFailed, Text(IDS_WHY_X64_ON_X86));
    default: break;
    }
    if (std::optional<LoadRefusal> refusal = RefuseBeforeLoad(path, *facts, LoadText))
        return Refused(refusal->code, std::move(refusal->why));
    return HostChoice{route == HostRoute::X64Host, std::move(facts)};
}

// The undo's payload: a line for each key or value kept ("K") or refused ("R").
UndoResult UndoResultOf(const std::wstring& payload, unsigned long changes)
{
    UndoResult result;
    result.changes = changes;
    for (size_t start = 0, end; (end = payload.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        if (end > start)
            (payload[start] == L'R' ? result.refused : result.kept).push_back(payload.substr(start + 1, end - start - 1));
    return result;
}

} // namespace

FileOutcome frmMirdal::RegisterFile(host_protocol::Operation operation, const std::wstring& path, const std::function<void()>& pump,
                                     bool elevated, const std::wstring& journal)
{
    std::variant<FileOutcome, HostChoice> choice = ChooseHost(path);
    if (FileOutcome* refused = std::get_if<FileOutcome>(&choice))
        return std::move(*refused);
    const HostChoice& host = std::get<HostChoice>(choice);
    return CallHost({operation, path, journal}, host.x64, elevated, pump, host.facts ? &*host.facts : nullptr);
}

FileOutcome frmMirdal::CallHost(const HostRequest& request, bool x64, bool elevated, const std::function<void()>& pump,
                                 const pe::ImageFacts* facts)
{
    using host_protocol::kLoadFailed;
    if (!hosts_)
        hosts_.reset(new RegistrationHosts());
    RegistrationHost& host = elevated ? hosts_->ElevatedFor(x64, hwnd_) : hosts_->For(x64);
    HostOutcome outcome = host.Call(request, pump);
    if (elevated && outcome.kind == HostOutcome::Kind::CannotStart && outcome.error == ERROR_CANCELLED)
        throw ElevationDeclined{};
    // Copied only for the explanations of a crash or a load failure, which take it so.
    auto server = [&] { return facts ? std::optional(*facts) : std::nullopt; };
    const wchar_t* bits = x64 ? L"64" : L"32";
    switch (outcome.kind) {
    case HostOutcome::Kind::CannotStart:
        return Refused(kLoadFailed, Text(IDS_WHY_NO_HOST, {bits, platform::SystemMessage(outcome.error, host.Executable()),
                                                          std::to_wstring(outcome.error)}));
    case HostOutcome::Kind::NotReady: return Refused(kLoadFailed, Text(IDS_WHY_HOST_NOT_READY, {bits, std::to_wstring(outcome.exitCode)}));
    case HostOutcome::Kind::Crashed: {
        std::wstring lines = outcome.module.empty()
                                 ? Text(IDS_WHY_CRASHED, {Hex(outcome.exitCode, 8)})
                                 : Text(IDS_WHY_CRASHED_AT, {Hex(outcome.exitCode, 8), outcome.module, Hex(outcome.offset, 1)});
        for (const std::wstring& line : CrashFindings(request.text, server(), outcome.exitCode, outcome.delayedDll,
                                                      outcome.delayedFunction, LoadText))
            lines += CrLf + line;
        return {std::nullopt, lines};
    }
    case HostOutcome::Kind::EndedItself: return {std::nullopt, Text(IDS_WHY_ENDED, {std::to_wstring(outcome.exitCode)})};
    case HostOutcome::Kind::TimedOut:
        return {std::nullopt, Text(IDS_WHY_TIMEOUT, {std::to_wstring((RegistrationHost::Timeout() + 999) / 1000)})};
    case HostOutcome::Kind::Answered: break;
    }
    FileOutcome result{outcome.code};
    result.journal.error = outcome.journalError;
    if (outcome.code == kLoadFailed) {
        result.why = WhyLoadFailed(request.text, server(), outcome.error, LoadText);
        return result;
    }
    switch (host_protocol::PayloadOf(request.operation)) {
    case host_protocol::Payload::RegText: result.capture = {std::move(outcome.payload), outcome.keys, outcome.values}; break;
    case host_protocol::Payload::JournalEntry:
        result.journal = {std::move(outcome.payload), outcome.keys, outcome.journalError};
        break;
    case host_protocol::Payload::UndoFindings: result.undo = UndoResultOf(outcome.payload, outcome.keys); break;
    case host_protocol::Payload::Nothing: break;
    }
    return result;
}

// Writes the file's entry where the window keeps the journal; a journal that cannot be written never
// stops the run nor hides its outcome: the line after the outcome says so, and the next file tries again.
std::wstring frmMirdal::JournalLine(RunJournal& journal, const FileOutcome& outcome, bool windowWrites) const
{
    DWORD error = outcome.journal.error;
    if (windowWrites && !outcome.journal.entryText.empty())
        try {
            journal.Append(outcome.journal.entryText);
        } catch (const platform::Failure& failure) {
            error = failure.Code();
        }
    if (error == ERROR_SUCCESS)
        return L"";
    return CrLf + Text(IDS_LOG_JOURNAL_FAILED, {platform::SystemMessage(error)});
}

FileOutcome frmMirdal::RegisterWatched(host_protocol::Operation operation, const std::wstring& path, LogWriter& log,
                                        const std::function<void()>& pump, bool elevated, const std::wstring& journal)
{
    ServerWindowWatch watch([&](const std::wstring& title) {
        log.Append(Text(IDS_LOG_SERVER_WINDOW, {BidiIsolated(title)}) + CrLf);
        log.Flush();
    });
    // While a host works, the window goes on answering, and looks for a window the server shows.
    auto watching = [&] {
        pump();
        if (hosts_)
            watch.Look(hosts_->CallingProcessId());
    };
    return RegisterFile(operation, path, watching, elevated, journal);
}

std::wstring frmMirdal::OutcomeLines(const FileOutcome& outcome) const
{
    // A host that never answered gave no code: its explanation stands in the outcome's place.
    std::wstring lines = outcome.code ? OutcomeText(*outcome.code) : L"";
    if (!outcome.why.empty())
        lines += (lines.empty() ? L"" : CrLf) + outcome.why;
    return lines;
}

void frmMirdal::RunInPanel(const std::function<void(LogWriter&, RunPump&)>& work,
                           const std::function<void()>& finalSteps)
{
    SetRunState(RunState::Running);
    LogWriter log(txtRes);
    auto run = [&] {
        platform::ThrowIfFalse(::SetCurrentDirectoryW(platform::ExecutableFolder().c_str()));
        RunPump pump(log);
        try {
            work(log, pump);
        } catch (const ElevationDeclined& declined) {
            // The user declined the prompt: the run ends at the file that asked, with nothing done for it.
            log.Append(DeclinedLines(declined));
        }
    };
    RunToFinalSteps(log, run, [&](const platform::Failure& failure) { ReportFailure(failure.Code(), failure.Description()); }, [&] {
        finalSteps();
        // What the run wrote is read at the next scan whether or not the watches have told of it yet.
        if (libraryScan_)
            libraryScan_->Invalidate();
        // Emptying a list costs a relayout and a redraw even when it is empty already.
        if (lsvReg.ItemCount() > 0)
            lsvReg.DeleteAllItems();
        SetRunState(RunState::Finished);
    });
}

void frmMirdal::RunRegistration(bool o_Register, RegistrationTarget target, const std::wstring& regFile)
{
    if (lsvFile.ItemCount() == 0)
        return;
    const RunFlavour flavour = Flavour(o_Register, target);
    const bool windowElevated = platform::CurrentElevation().ProcessIsElevated();
    const bool elevatedHosts = target == RegistrationTarget::Administrator && !windowElevated;
    // Advice on rights belongs to the machine-wide runs of a window without them; the other runs write
    // under the user's own key.
    const bool adviseRights = target == RegistrationTarget::Registry && !windowElevated;
    std::optional<RunJournal> journal;
    if (target != RegistrationTarget::RegFile)
        journal.emplace(o_Register ? JournalKind::Register : JournalKind::Unregister,
                        target == RegistrationTarget::CurrentUser     ? JournalScope::CurrentUser
                        : target == RegistrationTarget::Administrator ? JournalScope::Administrator
                                                                      : JournalScope::Machine);
    // What is done with administrator rights is kept where only administrators write, by the host that did it.
    const std::wstring hostJournal = journal && (windowElevated || elevatedHosts) ? journal->HostJournal() : L"";
    const std::vector<FileRow> files = SelectedFiles();
    // A scratch key left by a host that crashed in an earlier export; those of exports still running stay.
    if (target == RegistrationTarget::RegFile)
        RegistryCapture::RemoveLeftovers();
    RunInPanel([&](LogWriter& log, RunPump& pump) {
        std::wstring captured;
        auto visit = [&](const FileRow& file) {
            const std::wstring& key = file.key;
            log.Append(BidiIsolated(key) + Text(flavour.verb) + CrLf);
            FileOutcome outcome =
                RegisterWatched(host_protocol::Journaled(flavour.operation), key, log, pump.WhileWaiting(), elevatedHosts, hostJournal);
            std::wstring lines = OutcomeLines(outcome);
            if (adviseRights && outcome.code && IsAccessDenied(static_cast<std::uint32_t>(*outcome.code)))
                lines += CrLf + Text(IDS_WHY_NEEDS_ADMIN);
            if (target == RegistrationTarget::RegFile && outcome.code == 0) {
                lines += CrLf + Text(IDS_LOG_CAPTURED, {std::to_wstring(outcome.capture.keys), std::to_wstring(outcome.capture.values)});
                captured += outcome.capture.regText;
            }
            if (journal)
                lines += JournalLine(*journal, outcome, hostJournal.empty());
            log.Append(lines + CrLf + CrLf);
        };
        ForEachItem(files, pump, visit);
        if (target == RegistrationTarget::RegFile) {
            WriteExport(log, regFile, Utf16LeWithBom(RegFileHeader() + captured));
            log.Append(Text(IDS_LOG_EXPORT_FILE) + BidiIsolated(regFile) + CrLf + Text(IDS_LOG_EXPORT_DONE));
        } else {
            log.Append(Text(IDS_LOG_RUN_DONE));
        }
    }, [] {});
}

void frmMirdal::ExportRegistration()
{
    if (lsvFile.ItemCount() == 0)
        return;
    platform::SaveFileRequest request{Text(IDS_REG_FILTER), RegDialogFlags, pnlPath.Text()};
    if (std::optional<platform::SaveFileAnswer> answer = platform::AskSaveFile(hwnd_, request))
        RunRegistration(true, RegistrationTarget::RegFile, answer->path);
}
