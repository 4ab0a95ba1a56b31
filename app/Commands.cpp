#include "app/frmMirdal.h"
#include "app/pure/CommandTable.h"
#include "app/resource.h"
#include "platform/Dpi.h"
#include "platform/Elevation.h"


void frmMirdal::mnuF_Click(short index)
{
    switch (index) {
    case FileRegister:
    case FileUnregister:
    case FileBatch:
        if (!StartRun([&] { index == FileBatch ? CreateBatchFiles() : RunRegistration(index == FileRegister); }))
            return;
        // Batch writing changes nothing in the registry: no scan follows it.
        if (index != FileBatch)
            ListRegisteredLibraries();
        UpdateCommandState();
        break;
    case FileQuit:
        // While a run or batch writing is up, quit cannot be chosen, not even by Ctrl+Q: closing then would
        // destroy the window under the operation still running.
        if (!IsBusy())
            Close(1);
        break;
    default:
        UpdateCommandState();
        break;
    }
}

// Runs let the window's events through between files; a command that would start a run while another
// goes or its panel is up (a toolbar button while batch files are written) is refused. False when refused.
bool frmMirdal::StartRun(const std::function<void()>& run)
{
    if (IsBusy())
        return false;
    // The panel's own controls go with the panel: after a run from within it the file list takes the focus.
    HWND focus = ::GetFocus();
    if (!::IsChild(picRes.Hwnd(), focus))
        focusBeforeRun_ = focus;
    run();
    return true;
}

void frmMirdal::SetRunState(RunState state)
{
    runState = state;
    const bool idle = state == RunState::Idle;
    if (state == RunState::Finished) {
        cmdClose.Enable(true);
        runCursor_.reset();
        return;
    }
    if (idle) {
        tlbMirdal.Enable(true);
        EnableCoveredPanes(true);
        picRes.Show(false);
    } else {
        runCursor_.emplace();
        txtRes.Clear();
        // In front of everything, the toolbar and status bar included, so that "close" can be reached;
        // painted with the run's first events, while the host works on the first file, not before it.
        ::SetWindowPos(picRes.Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOREDRAW);
        ::RedrawWindow(picRes.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        cmdClose.Enable(false);
        // Batch writing leaves the toolbar as it was; its buttons then refuse to start another run.
        if (state == RunState::Running)
            tlbMirdal.Enable(false);
    }
    mnuMain.EnablePosition(FileMenuPosition, idle);
    mnuMain.EnablePosition(ViewMenuPosition, idle);
    platform::Window(hwnd_).RedrawMenuBar();
    if (!idle) {
        // What the panel covers takes no keys or clicks meanwhile: they go to the log, which can be read and scrolled.
        txtRes.Focus();
        EnableCoveredPanes(false);
        return;
    }
    // The hidden panel took the focus with it: it goes back where it was before the run.
    HWND focus = focusBeforeRun_;
    if (!focus || !::IsWindow(focus) || !::IsWindowVisible(focus) || !::IsWindowEnabled(focus))
        focus = lsvFile.Hwnd();
    ::SetFocus(focus);
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
    case RegistryRead:
        ListRegisteredLibraries();
        break;
    case RegistryUserRegister:
    case RegistryUserUnregister:
    case RegistryAdminRegister:
    case RegistryAdminUnregister:
    case RegistryExport:
    case RegistryManifest:
    case RegistryUndo:
    case RegistryBroken:
        // The Registry menu stays open during a run and while its panel is up: these runs start only from idle.
        StartRun([&] {
            if (index == RegistryExport)
                ExportRegistration();
            else if (index == RegistryManifest)
                ExportManifest();
            else if (index == RegistryUndo)
                UndoRegistration();
            else if (index == RegistryBroken)
                SearchBrokenRegistrations();
            else if (index == RegistryAdminRegister || index == RegistryAdminUnregister)
                RunRegistration(index == RegistryAdminRegister, RegistrationTarget::Administrator);
            else
                RunRegistration(index == RegistryUserRegister, RegistrationTarget::CurrentUser);
            // A run leaves the window busy; a cancelled dialog or an empty list left the library list as it was.
            if (IsBusy())
                ListRegisteredLibraries();
        });
        break;
    }
    UpdateCommandState();
}

void frmMirdal::mnuReg_Click()
{
    UpdateCommandState();
    mnuReg.Enable(IDM_R0, btnRegRead.Enabled());
    // Registering for the current user or as administrator and both exports take the same selection as registering.
    for (UINT item : {IDM_R2, IDM_R3, IDM_R4, IDM_R5, IDM_R6, IDM_R7})
        mnuReg.Enable(item, btnReg.Enabled() && !IsBusy());
    // Undo and the search need no selection: what they act on is in the journal and the registry.
    mnuReg.Enable(IDM_R9, !IsBusy());
    mnuReg.Enable(IDM_R10, !IsBusy());
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
    if (const commands::ToolCommand* entry = commands::FindByKey(button.Key())) {
        switch (entry->handler) {
        case commands::Handler::FileItem: mnuF_Click(entry->item); break;
        case commands::Handler::RegistryItem: mnuR_Click(entry->item); break;
        case commands::Handler::NextView:
            if (std::optional<short> next = commands::NextViewStyle(static_cast<int>(lsvFile.Style())))
                mnuV_Click(*next);
            break;
        }
    }
    // Quit destroys the window and this object with it; nothing is left to refresh then.
    if (::IsWindow(hwnd))
        UpdateCommandState();
}

void frmMirdal::tlbMirdal_ButtonDropDown(const platform::ToolButton& button)
{
    const commands::ToolCommand* entry = commands::FindByKey(button.Key());
    if (!entry || entry->handler != commands::Handler::NextView)
        return;
    RECT rc = button.Rect();
    POINT point{rc.left, rc.bottom};
    ::MapWindowPoints(tlbMirdal.Hwnd(), hwnd_, &point, 1);
    ::ClientToScreen(hwnd_, &point);
    ShowViewMenu(point);
}

// While a run holds the View menu disabled, neither the View arrow nor a right click opens it.
void frmMirdal::ShowViewMenu(POINT screen)
{
    if (!IsBusy())
        mnuView.TrackPopup(hwnd_, screen);
}

void frmMirdal::lsvFile_ContextMenuKey()
{
    // The menu a right click on the focused row would open, else on the first selected one; with no
    // row selected, the View menu at the list's corner, as a click on empty space would open it.
    int row = lsvFile.FocusedRow();
    if (row < 0 || !lsvFile.IsSelected(row))
        row = lsvFile.NextSelected(-1);
    if (row < 0) {
        POINT corner{0, 0};
        ::ClientToScreen(lsvFile.Hwnd(), &corner);
        return ShowViewMenu(corner);
    }
    lsvFile.EnsureVisible(row);
    RECT rc = lsvFile.ItemRect(row);
    int half = (rc.bottom - rc.top) / 2;
    POINT screen{rc.left + half, rc.top + half};
    ::ClientToScreen(lsvFile.Hwnd(), &screen);
    ShowFileListMenu(row, screen);
}

void frmMirdal::lsvFile_MouseDown(int button, int, int x, int y)
{
    if (button != 2)
        return;
    POINT screen{x, y};
    ::ClientToScreen(lsvFile.Hwnd(), &screen);
    ShowFileListMenu(lsvFile.HitTest(x, y), screen);
}

void frmMirdal::ShowFileListMenu(int row, POINT screen)
{
    if (row < 0)
        return ShowViewMenu(screen);
    // While a run holds the File menu disabled, its pop-up is not offered either.
    if (!lsvFile.IsSelected(row) || IsBusy())
        return;
    platform::Menu::RemovedItem quit = mnuFile.RemoveAt(FileQuit);
    platform::Menu::RemovedItem separator = mnuFile.RemoveAt(FileQuitSeparator);
    // The chosen command runs before the pop-up returns, so the items come back only afterwards. The
    // window may be gone by then, and this object with it: only the copied handle is read.
    HWND hwnd = hwnd_;
    UINT command = mnuFile.TrackPopup(hwnd, screen, true);
    if (command && ::IsWindow(hwnd))
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    if (::IsWindow(hwnd)) {
        mnuFile.InsertAt(FileQuitSeparator, separator);
        mnuFile.InsertAt(FileQuit, quit);
    }
}

// The items that ask for administrator rights show the system's shield, as everywhere in Windows.
void frmMirdal::MarkElevatingItems()
{
    shield_ = platform::ShieldBitmap(platform::SystemMetric(SM_CXSMICON, Dpi()));
    for (UINT item : {IDM_R4, IDM_R5})
        mnuReg.SetBitmap(item, shield_.get());
}
