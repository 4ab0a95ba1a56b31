#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/ScopedFlag.h"

namespace {

// Positions in the File menu of the separator above "quit" and of "quit" itself.
constexpr int QuitSeparatorPosition = 4;
constexpr int QuitPosition = 5;

} // namespace

void frmMirdal::mnuF_Click(short index)
{
    switch (index) {
    case 0:
    case 1:
        if (!StartRun([&] { RunRegistration(index == 0); }))
            return;
        ListRegisteredLibraries();
        UpdateCommandState();
        break;
    case 3:
        if (!StartRun([&] { CreateBatchFiles(); }))
            return;
        UpdateCommandState();
        break;
    case 5:
        // While a run or batch writing holds the File menu disabled, quit cannot be chosen, not even by
        // Ctrl+Q: closing then would destroy the window under the operation still running.
        if (mnuMain.IsPositionEnabled(FileMenuPosition))
            Close(1);
        break;
    default:
        UpdateCommandState();
        break;
    }
}

// Runs let the window's events through between files; a command that would start a second run inside
// the first (a toolbar button while batch files are written) is refused. False when refused.
bool frmMirdal::StartRun(const std::function<void()>& run)
{
    if (runGoing_)
        return false;
    // The panel's own controls go with the panel: after a run from within it the file list takes the focus.
    HWND focus = ::GetFocus();
    if (!::IsChild(picRes.Hwnd(), focus))
        focusBeforeRun_ = focus;
    platform::ScopedFlag going(runGoing_);
    run();
    return true;
}

void frmMirdal::mnuFile_Click()
{
    UpdateCommandState();
    mnuFile.Enable(IDM_F0, btnReg.Enabled());
    mnuFile.Enable(IDM_F1, btnUnreg.Enabled());
    mnuFile.Enable(IDM_F3, btnRegBat.Enabled());
}

void frmMirdal::mnuR_Click(short index)
{
    switch (index) {
    case 0:
        ListRegisteredLibraries();
        break;
    case 2:
    case 3:
    case 4:
        // The Registry menu stays open during a run and while its panel is up: these runs start only from idle.
        if (IsBusy)
            break;
        StartRun([&] {
            if (index == 4)
                ExportRegistration();
            else
                RunRegistration(index == 2, RegistrationTarget::CurrentUser);
        });
        // A run leaves the window busy; a cancelled dialog or an empty list left the library list as it was.
        if (IsBusy)
            ListRegisteredLibraries();
        break;
    }
    UpdateCommandState();
}

void frmMirdal::mnuReg_Click()
{
    UpdateCommandState();
    mnuReg.Enable(IDM_R0, btnRegRead.Enabled());
    // Registering for the current user and exporting take the same selection as registering.
    for (UINT item : {IDM_R2, IDM_R3, IDM_R4})
        mnuReg.Enable(item, btnReg.Enabled() && !IsBusy);
}

void frmMirdal::mnuV_Click(short index)
{
    if (index >= 0 && index <= 3) {
        for (UINT item = IDM_V0; item <= IDM_V3; ++item)
            mnuView.Check(item, false);
        mnuView.Check(IDM_V0 + static_cast<UINT>(index), true);
        lsvFile.SetStyle(static_cast<platform::ListViewStyle>(index));
    }
    UpdateCommandState();
}

void frmMirdal::tlbMirdal_ButtonClick(const platform::ToolButton& button)
{
    HWND hwnd = hwnd_;
    std::wstring key = button.Key();
    if (key == btnReg.Key()) {
        mnuF_Click(0);
    } else if (key == btnUnreg.Key()) {
        mnuF_Click(1);
    } else if (key == btnRegBat.Key()) {
        mnuF_Click(3);
    } else if (key == btnRegRead.Key()) {
        mnuR_Click(0);
    } else if (key == btnView.Key()) {
        int style = static_cast<int>(lsvFile.Style());
        if (style >= 0 && style <= 3)
            mnuV_Click(static_cast<short>((style + 1) % 4));
    }
    // Quit destroys the window and this object with it; nothing is left to refresh then.
    if (::IsWindow(hwnd))
        UpdateCommandState();
}

void frmMirdal::tlbMirdal_ButtonDropDown(const platform::ToolButton& button)
{
    // While a run holds the View menu disabled, the arrow opens nothing, as a right click does.
    if (button.Key() != btnView.Key() || !mnuMain.IsPositionEnabled(ViewMenuPosition))
        return;
    RECT rc = button.Rect();
    POINT point{rc.left, rc.bottom};
    ::MapWindowPoints(tlbMirdal.Hwnd(), hwnd_, &point, 1);
    ::ClientToScreen(hwnd_, &point);
    ::TrackPopupMenu(mnuView.Handle(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd_,
                     nullptr);
}

void frmMirdal::lsvFile_MouseDown(int button, int, int x, int y)
{
    if (button != 2)
        return;
    int row = lsvFile.HitTest(x, y);
    POINT screen{x, y};
    ::ClientToScreen(lsvFile.Hwnd(), &screen);
    if (row < 0) {
        if (!mnuMain.IsPositionEnabled(ViewMenuPosition))
            return;
        ::TrackPopupMenu(mnuView.Handle(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd_,
                         nullptr);
        return;
    }
    // While a run holds the File menu disabled, its pop-up is not offered either.
    if (!lsvFile.IsSelected(row) || !mnuMain.IsPositionEnabled(FileMenuPosition))
        return;
    platform::Menu::RemovedItem quit = mnuFile.RemoveAt(QuitPosition);
    platform::Menu::RemovedItem separator = mnuFile.RemoveAt(QuitSeparatorPosition);
    // The chosen command runs before the pop-up returns, so the items come back only afterwards. The
    // window may be gone by then, and this object with it: only the copied handle is read.
    HWND hwnd = hwnd_;
    UINT command = ::TrackPopupMenu(mnuFile.Handle(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                    screen.x, screen.y, 0, hwnd, nullptr);
    if (command && ::IsWindow(hwnd))
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    if (::IsWindow(hwnd)) {
        mnuFile.InsertAt(QuitSeparatorPosition, separator);
        mnuFile.InsertAt(QuitPosition, quit);
    }
}
