#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Dialog.h"
#include "registry/BrokenSearch.h"

#include <mutex>
#include <thread>

namespace {

// Posted by the search when it found more, or ended.
constexpr UINT WM_BROKEN_FOUND = WM_APP + 27;

// What the dialog and its search share. The dialog ends the search before it goes.
struct BrokenSearch {
    HWND dialog = nullptr;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<BrokenRegistration> found; // found, not listed yet
    bool done = false;
    std::thread worker;

    std::vector<BrokenRegistration> listed; // the rows, in order
    std::vector<BrokenRegistration> chosen; // what the user chose to remove
    SIZE minimum{};

    void Start()
    {
        worker = std::thread([this] {
            auto report = [this](const BrokenRegistration& registration) {
                std::lock_guard<std::mutex> guard(lock);
                found.push_back(registration);
                if (found.size() == 1)
                    ::PostMessageW(dialog, WM_BROKEN_FOUND, 0, 0);
            };
            try {
                FindBrokenRegistrations(SystemClassesAreas(), report, stop);
            } catch (...) {
                // A search that could not go on shows what it found: nothing it missed is removed.
            }
            std::lock_guard<std::mutex> guard(lock);
            done = true;
            ::PostMessageW(dialog, WM_BROKEN_FOUND, 0, 0);
        });
    }
    void End()
    {
        stop = true;
        if (worker.joinable())
            worker.join();
    }
};

BrokenSearch& SearchOf(HWND dialog) { return *reinterpret_cast<BrokenSearch*>(::GetWindowLongPtrW(dialog, DWLP_USER)); }

platform::ListView List(HWND dialog) { return platform::ListView(::GetDlgItem(dialog, IDC_BROKEN_LIST)); }

void AddColumns(const platform::ListView& list)
{
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    list.AddSharingColumns({{Text(IDS_BROKEN_COL_KIND), 16}, {Text(IDS_BROKEN_COL_KIND + 1), 50}, {Text(IDS_BROKEN_COL_KIND + 2), 24},
                            {Text(IDS_BROKEN_COL_KIND + 3), 8}});
}

// The rows found since the last message, and the line below the list.
void ShowFound(HWND dialog)
{
    BrokenSearch& search = SearchOf(dialog);
    std::vector<BrokenRegistration> found;
    bool done = false;
    {
        std::lock_guard<std::mutex> guard(search.lock);
        found.swap(search.found);
        done = search.done;
    }
    const platform::ListView list = List(dialog);
    for (BrokenRegistration& registration : found) {
        const int row = list.AddItem(Text(IDS_BROKEN_KIND + static_cast<unsigned>(registration.kind)), -1);
        list.SetItemText(row, 1, registration.key);
        list.SetItemText(row, 2, registration.missing);
        list.SetItemText(row, 3, std::to_wstring(registration.view));
        search.listed.push_back(std::move(registration));
    }
    const std::wstring count = std::to_wstring(search.listed.size());
    const unsigned status = !done ? IDS_BROKEN_SEARCHING : search.listed.empty() ? IDS_BROKEN_NONE : IDS_BROKEN_FOUND;
    ::SetDlgItemTextW(dialog, IDC_BROKEN_STATUS, Text(status, {count}).c_str());
}

void EnableDelete(HWND dialog)
{
    const platform::ListView list = List(dialog);
    bool any = false;
    for (int row = 0; row < list.ItemCount() && !any; ++row)
        any = list.IsChecked(row);
    ::EnableWindow(::GetDlgItem(dialog, IDC_BROKEN_DELETE), any);
}

// The list takes what the buttons leave; the buttons keep to the bottom, "削除" and "閉じる" to the right.
void Arrange(HWND dialog, int width, int height)
{
    RECT unit{0, 0, 7, 14};
    ::MapDialogRect(dialog, &unit);
    const int margin = unit.left, button = unit.bottom, line = unit.bottom * 5 / 7;
    auto place = [&](int id, int x, int y, int w, int h) { ::MoveWindow(::GetDlgItem(dialog, id), x, y, w, h, TRUE); };
    RECT close{};
    ::GetWindowRect(::GetDlgItem(dialog, IDCANCEL), &close);
    const int buttonWidth = close.right - close.left, allWidth = buttonWidth * 70 / 55;
    const int buttonTop = height - margin - button, statusTop = buttonTop - margin / 2 - line;
    place(IDC_BROKEN_LIST, margin, margin, width - 2 * margin, statusTop - margin - margin / 2);
    place(IDC_BROKEN_STATUS, margin, statusTop, width - 2 * margin, line);
    place(IDC_BROKEN_ALL, margin, buttonTop, allWidth, button);
    place(IDC_BROKEN_DELETE, width - margin - 2 * buttonWidth - margin / 2, buttonTop, buttonWidth, button);
    place(IDCANCEL, width - margin - buttonWidth, buttonTop, buttonWidth, button);
}

void Close(HWND dialog, int result)
{
    BrokenSearch& search = SearchOf(dialog);
    search.End();
    if (result == IDC_BROKEN_DELETE) {
        const platform::ListView list = List(dialog);
        for (int row = 0; row < list.ItemCount(); ++row)
            if (list.IsChecked(row))
                search.chosen.push_back(search.listed[static_cast<size_t>(row)]);
    }
    ::EndDialog(dialog, result);
}

INT_PTR BrokenDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto& search = *reinterpret_cast<BrokenSearch*>(lParam);
        RECT frame{};
        ::GetWindowRect(dialog, &frame);
        search.minimum = {frame.right - frame.left, frame.bottom - frame.top};
        AddColumns(List(dialog));
        search.dialog = dialog;
        ShowFound(dialog);
        search.Start();
        return TRUE;
    }
    case WM_BROKEN_FOUND:
        ShowFound(dialog);
        return TRUE;
    case WM_SIZE:
        Arrange(dialog, LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_GETMINMAXINFO:
        if (auto* search = reinterpret_cast<BrokenSearch*>(::GetWindowLongPtrW(dialog, DWLP_USER)))
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {search->minimum.cx, search->minimum.cy};
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_BROKEN_LIST && header->code == LVN_ITEMCHANGED
            && (reinterpret_cast<const NMLISTVIEW*>(lParam)->uChanged & LVIF_STATE))
            EnableDelete(dialog);
        break;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BROKEN_ALL:
            List(dialog).SetChecked(-1, true);
            return TRUE;
        case IDC_BROKEN_DELETE:
        case IDCANCEL:
            Close(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void frmMirdal::SearchBrokenRegistrations()
{
    BrokenSearch search;
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BROKEN), hwnd_,
                                             platform::GuardedDialogProc<BrokenDialogMessage>, reinterpret_cast<LPARAM>(&search));
    search.End();
    if (result == IDC_BROKEN_DELETE && !search.chosen.empty())
        RemoveRegistrations(search.chosen);
}
