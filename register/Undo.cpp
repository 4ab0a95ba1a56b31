#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Elevation.h"
#include "platform/Prompt.h"
#include "register/LogWriter.h"
#include "register/RunJournal.h"
#include "register/SelectedRowRun.h"
#include "register/pure/BidiIsolation.h"

namespace {

constexpr wchar_t CrLf[] = L"\r\n";

struct UndoChoice {
    const std::vector<StoredRun>* runs;
    int chosen = -1;
};

void FillRunList(const platform::ListView& list, const std::vector<StoredRun>& runs)
{
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    RECT area{};
    ::GetClientRect(list.Hwnd(), &area);
    const int width = area.right - area.left;
    const int widths[] = {width * 24 / 100, width * 20 / 100, width * 12 / 100, width * 40 / 100};
    for (int column = 0; column < 4; ++column)
        list.AddColumn(column, Text(IDS_UNDO_COL_TIME + static_cast<unsigned>(column)), widths[column], LVCFMT_LEFT);
    for (const StoredRun& stored : runs) {
        if (!stored.run) {
            int row = list.AddItem(stored.path.substr(stored.path.find_last_of(L'\\') + 1), -1);
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

INT_PTR CALLBACK UndoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        platform::ListView list(::GetDlgItem(dialog, IDC_UNDO_LIST));
        FillRunList(list, *reinterpret_cast<UndoChoice*>(lParam)->runs);
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

// The log's lines for one entry undone, from the host's answer; false where the entry did not come back whole.
bool frmMirdal::UndoLines(const FileOutcome& outcome, std::wstring& lines) const
{
    if (outcome.code != 0) {
        lines = OutcomeLines(outcome) + CrLf;
        return false;
    }
    bool refused = false;
    for (size_t start = 0, end; (end = outcome.captured.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        refused = refused || outcome.captured[start] == L'R';
        lines += Text(outcome.captured[start] == L'R' ? IDS_LOG_NOT_AS_ADMIN : IDS_LOG_KEPT)
                 + outcome.captured.substr(start + 1, end - start - 1) + CrLf;
    }
    if (lines.empty())
        lines = Text(outcome.keys == 0 ? IDS_LOG_NO_CHANGES : IDS_LOG_UNDONE) + CrLf;
    return !refused;
}

void frmMirdal::UndoRegistration()
{
    const std::vector<StoredRun> runs = StoredRuns();
    UndoChoice choice{&runs};
    if (::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UNDO), hwnd_, UndoDialogProc,
                          reinterpret_cast<LPARAM>(&choice)) != IDOK
        || choice.chosen < 0)
        return;
    const StoredRun& stored = runs[static_cast<size_t>(choice.chosen)];
    if (!stored.run || stored.run->entries.empty()) {
        platform::ShowMessage(hwnd_, Text(IDS_MSG_UNDO_UNREADABLE) + stored.path, Text(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const JournalRun& run = *stored.run;
    // A run kept by the administrators is undone by a host with their rights, from its own file.
    const bool elevated = stored.administrators && !platform::CurrentElevation().ProcessIsElevated();
    const std::wstring name = stored.path.substr(stored.path.find_last_of(L'\\') + 1);
    RunInPanel([&](LogWriter& log, const std::function<void()>& pump) {
        bool complete = true;
        auto undoEntry = [&](const JournalEntry& entry) {
            const size_t index = static_cast<size_t>(&entry - run.entries.data());
            log.Append(BidiIsolated(entry.file) + Text(run.kind == JournalKind::Register ? IDS_LOG_UNDO_REGISTER : run.kind == JournalKind::Delete ? IDS_LOG_UNDO_DELETE : IDS_LOG_UNDO_UNREGISTER) + CrLf);
            FileOutcome outcome = stored.administrators
                                      ? RegisterFile(host_protocol::Operation::UndoStored, name, pump, entry.view == 64, elevated, std::to_wstring(index))
                                      : RegisterFile(host_protocol::Operation::Undo, JournalEntryText(entry), pump, entry.view == 64);
            std::wstring lines;
            complete = UndoLines(outcome, lines) && complete;
            log.Append(lines + CrLf);
        };
        ForEachItem(run.entries, log, undoEntry);
        if (run.damaged > 0) {
            log.Append(Text(IDS_LOG_UNDO_DAMAGED) + BidiIsolated(stored.path) + CrLf + CrLf);
            complete = false;
        }
        log.Append(Text(IDS_LOG_UNDO_DONE));
        // A run whose files were not all undone stays offered, so that the rest can be tried again.
        if (!complete)
            return;
        if (!stored.administrators)
            MarkUndone(stored.path);
        else if (FileOutcome marked = RegisterFile(host_protocol::Operation::MarkStoredUndone, name, pump, sizeof(void*) == 8, elevated);
                 marked.code != 0)
            platform::ThrowFailure(ERROR_WRITE_FAULT);
    }, [] {});
}
