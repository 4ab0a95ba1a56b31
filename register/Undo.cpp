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
        list.SetItemText(row, 1, Text(IDS_UNDO_KIND + 2 * static_cast<unsigned>(run.scope) + static_cast<unsigned>(run.kind)));
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

void frmMirdal::UndoRegistration()
{
    const std::vector<StoredRun> runs = StoredRuns();
    UndoChoice choice{&runs};
    if (::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UNDO), hwnd_, UndoDialogProc,
                          reinterpret_cast<LPARAM>(&choice)) != IDOK
        || choice.chosen < 0)
        return;
    const StoredRun& stored = runs[static_cast<size_t>(choice.chosen)];
    if (!stored.run) {
        platform::ShowMessage(hwnd_, Text(IDS_MSG_UNDO_UNREADABLE) + stored.path, Text(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const JournalRun& run = *stored.run;
    // What was written with administrator rights is undone with them.
    const bool elevated = run.scope == JournalScope::Administrator && !platform::CurrentElevation().ProcessIsElevated();
    RunInPanel([&](LogWriter& log, const std::function<void()>& pump) {
        bool complete = true;
        auto undoEntry = [&](const JournalEntry& entry) {
            log.Append(BidiIsolated(entry.file) + Text(run.kind == JournalKind::Register ? IDS_LOG_UNDO_REGISTER : IDS_LOG_UNDO_UNREGISTER) + CrLf);
            FileOutcome outcome = RegisterFile(host_protocol::Operation::Undo, JournalEntryText(entry), pump, entry.view == 64, elevated);
            std::wstring lines;
            if (outcome.code == 0 && outcome.captured.empty())
                lines = Text(IDS_LOG_UNDONE) + CrLf;
            else if (outcome.code == 0)
                for (size_t start = 0, end; (end = outcome.captured.find(L'\n', start)) != std::wstring::npos; start = end + 1)
                    lines += Text(IDS_LOG_KEPT) + outcome.captured.substr(start, end - start) + CrLf;
            else
                lines = OutcomeLines(outcome) + CrLf;
            complete = complete && outcome.code == 0;
            log.Append(lines + CrLf);
        };
        ForEachItem(run.entries, log, undoEntry);
        log.Append(Text(IDS_LOG_UNDO_DONE));
        // A run whose files were not all undone stays offered, so that the rest can be tried again.
        if (complete)
            MarkUndone(stored.path);
    }, [] {});
}
