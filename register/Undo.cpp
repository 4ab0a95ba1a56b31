#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Dialog.h"
#include "platform/Elevation.h"
#include "platform/MessageLoop.h"
#include "platform/Prompt.h"
#include "platform/pure/PathText.h"
#include "register/LogWriter.h"
#include "register/RunJournal.h"
#include "register/RegistrationHost.h"
#include "register/SelectedRowRun.h"
#include "register/pure/BidiIsolation.h"

namespace {

constexpr wchar_t CrLf[] = L"\r\n";

struct UndoChoice {
    const JournalListing* listing;
    int chosen = -1;
};

// Takes the run for this undo: the window takes a file of its user's folder, the host of `ask` one of
// the administrators'. 0, or the message that says why the run cannot be undone now.
unsigned Claim(const StoredRun& stored, std::optional<ClaimedRun>& claim, const std::function<std::optional<long>()>& ask)
{
    try {
        if (stored.administrators) {
            std::optional<long> code = ask();
            return code == 0 ? 0 : code == host_protocol::kRunAlreadyUndone ? IDS_MSG_UNDO_ALREADY : IDS_MSG_UNDO_UNREADABLE;
        }
        claim.emplace(stored.path);
        return !claim->Run() ? IDS_MSG_UNDO_UNREADABLE : claim->Run()->undone ? IDS_MSG_UNDO_ALREADY : 0;
    } catch (const platform::Failure& failure) {
        return failure.Code() == ERROR_SHARING_VIOLATION ? IDS_MSG_UNDO_IN_USE : IDS_MSG_UNDO_UNREADABLE;
    }
}

void Pump() { platform::ProcessPendingEvents(); }

// The log's line that starts each entry's undo.
unsigned UndoLineOf(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Register:
        return IDS_LOG_UNDO_REGISTER;
    case JournalKind::Delete:
        return IDS_LOG_UNDO_DELETE;
    default:
        return IDS_LOG_UNDO_UNREGISTER;
    }
}

std::wstring Joined(const std::vector<std::wstring>& texts)
{
    std::wstring joined;
    for (const std::wstring& text : texts)
        joined += (joined.empty() ? L"" : L"、") + text;
    return joined;
}

void FillRunList(const platform::ListView& list, const std::vector<StoredRun>& runs)
{
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    list.AddSharingColumns({{Text(IDS_UNDO_COL_TIME), 24}, {Text(IDS_UNDO_COL_TIME + 1), 20}, {Text(IDS_UNDO_COL_TIME + 2), 12},
                            {Text(IDS_UNDO_COL_TIME + 3), 40}});
    for (const StoredRun& stored : runs) {
        if (!stored.run) {
            int row = list.AddItem(platform::FileNameOf(stored.path), -1);
            list.SetItemText(row, 1, Text(IDS_UNDO_UNREADABLE));
            continue;
        }
        const JournalRun& run = *stored.run;
        int row = list.AddItem(run.time, -1);
        list.SetItemText(row, 1, run.kind == JournalKind::Delete ? Text(IDS_UNDO_KIND_DELETE)
                                                                   : Text(IDS_UNDO_KIND + 2 * static_cast<unsigned>(run.scope) + static_cast<unsigned>(run.kind)));
        list.SetItemText(row, 2, std::to_wstring(run.entries.size()));
        list.SetItemText(row, 3, run.entries.empty() ? L"" : run.entries.front().file);
    }
    if (!runs.empty()) {
        list.SetSelected(0, true);
        ListView_SetItemState(list.Hwnd(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
    }
}

INT_PTR UndoDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        platform::ListView list(::GetDlgItem(dialog, IDC_UNDO_LIST));
        const JournalListing& listing = *reinterpret_cast<UndoChoice*>(lParam)->listing;
        FillRunList(list, listing.runs);
        if (!listing.unreachable.empty())
            ::SetDlgItemTextW(dialog, IDC_UNDO_WHERE, Text(IDS_UNDO_UNREACHABLE, {Joined(listing.unreachable)}).c_str());
        list.Focus();
        return FALSE;
    }
    case WM_NOTIFY:
        // A double click on a run undoes it, as its button does.
        if (reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_UNDO_LIST && reinterpret_cast<NMHDR*>(lParam)->code == NM_DBLCLK)
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            auto* choice = reinterpret_cast<UndoChoice*>(::GetWindowLongPtrW(dialog, DWLP_USER));
            if (LOWORD(wParam) == IDOK)
                choice->chosen = platform::ListView(::GetDlgItem(dialog, IDC_UNDO_LIST)).NextSelected(-1);
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

// The log's lines for one entry undone, from the host's answer; false where the entry did not come back
// whole. `kept` counts what was left as it was.
bool frmMirdal::UndoLines(const FileOutcome& outcome, std::wstring& lines, size_t& kept) const
{
    if (outcome.code != 0) {
        lines = OutcomeLines(outcome) + CrLf;
        return false;
    }
    for (const std::wstring& key : outcome.undo.kept)
        lines += Text(IDS_LOG_KEPT) + key + CrLf;
    for (const std::wstring& key : outcome.undo.refused)
        lines += Text(IDS_LOG_NOT_AS_ADMIN) + key + CrLf;
    kept += outcome.undo.kept.size();
    if (lines.empty())
        lines = Text(outcome.undo.changes == 0 ? IDS_LOG_NO_CHANGES : IDS_LOG_UNDONE) + CrLf;
    return outcome.undo.refused.empty();
}

void frmMirdal::UndoRegistration()
{
    // A run that cannot be taken sends the user back to the runs as they are now.
    for (;;) {
        const JournalListing listing = StoredRuns();
        UndoChoice choice{&listing};
        if (::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UNDO), hwnd_,
                              platform::GuardedDialogProc<UndoDialogMessage>, reinterpret_cast<LPARAM>(&choice))
                != IDOK
            || choice.chosen < 0)
            return;
        const StoredRun& stored = listing.runs[static_cast<size_t>(choice.chosen)];
        if (!stored.run || stored.run->entries.empty()) {
            platform::ShowMessage(hwnd_, Text(IDS_MSG_UNDO_UNREADABLE) + stored.path, Text(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        // A run kept by the administrators is undone by a host with their rights, from its own file.
        const bool elevated = stored.administrators && !platform::CurrentElevation().ProcessIsElevated();
        std::optional<ClaimedRun> claim;
        unsigned refusal = 0;
        try {
            refusal = Claim(stored, claim, [&] {
                return CallHost({host_protocol::Operation::ClaimStored, platform::FileNameOf(stored.path)}, sizeof(void*) == 8, elevated, Pump)
                    .code;
            });
        } catch (const ElevationDeclined&) {
            return;
        }
        if (refusal == 0) {
            UndoClaimed(stored, claim ? *claim->Run() : *stored.run, claim, elevated);
            return;
        }
        platform::ShowMessage(hwnd_, Text(refusal) + (refusal == IDS_MSG_UNDO_UNREADABLE ? stored.path : L""), Text(IDS_TITLE),
                              MB_OK | MB_ICONEXCLAMATION);
    }
}

void frmMirdal::UndoClaimed(const StoredRun& stored, const JournalRun& run, std::optional<ClaimedRun>& claim, bool elevated)
{
    const bool x64 = sizeof(void*) == 8;
    const std::wstring name = platform::FileNameOf(stored.path);
    bool marked = false;
    RunInPanel([&](LogWriter& log, RunPump& pump) {
        bool complete = true;
        size_t kept = 0;
        auto undoEntry = [&](const JournalEntry& entry) {
            const size_t index = static_cast<size_t>(&entry - run.entries.data());
            log.Append(BidiIsolated(entry.file) + Text(UndoLineOf(run.kind)) + CrLf);
            FileOutcome outcome = stored.administrators
                                      ? CallHost({host_protocol::Operation::UndoStored, name, std::to_wstring(index)}, entry.view == 64, elevated, pump.WhileWaiting())
                                      : CallHost({host_protocol::Operation::Undo, JournalEntryText(entry)}, entry.view == 64, false, pump.WhileWaiting());
            std::wstring lines;
            complete = UndoLines(outcome, lines, kept) && complete;
            log.Append(lines + CrLf);
        };
        ForEachItem(run.entries, pump, undoEntry);
        if (run.damaged > 0) {
            log.Append(Text(IDS_LOG_UNDO_DAMAGED) + BidiIsolated(stored.path) + CrLf + CrLf);
            complete = false;
        }
        log.Append(kept == 0 ? Text(IDS_LOG_UNDO_DONE) : Text(IDS_LOG_UNDO_DONE_KEPT, {std::to_wstring(kept)}));
        // A run whose files were not all undone stays offered, so that the rest can be tried again.
        if (!complete)
            return;
        if (claim)
            claim->MarkUndone();
        else if (FileOutcome done = CallHost({host_protocol::Operation::MarkStoredUndone, name}, x64, elevated, pump.WhileWaiting()); done.code != 0)
            platform::ThrowFailure(ERROR_WRITE_FAULT);
        marked = true;
    }, [] {});
    // The host lets the run go for the next undo, of this window or another.
    if (stored.administrators && !marked)
        try {
            CallHost({host_protocol::Operation::ReleaseStored, name}, x64, elevated, Pump);
        } catch (const platform::Failure&) {
        } catch (const ElevationDeclined&) {
        }
}
