#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/pure/CommandTable.h"
#include "app/resource.h"
#include "platform/Dpi.h"
#include "platform/DropTarget.h"
#include "platform/Module.h"
#include "platform/Prompt.h"
#include "platform/WaitCursor.h"
#include "registry/LibraryScan.h"
#include <windowsx.h>

namespace {

constexpr wchar_t WindowClassName[] = L"frmMirdal";

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW wc{sizeof wc};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_MIRDAL), IMAGE_ICON, 32, 32, LR_SHARED));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_MIRDAL), IMAGE_ICON, 16, 16, LR_SHARED));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = WindowClassName;
    return ::RegisterClassExW(&wc);
}

} // namespace

frmMirdal::frmMirdal() = default;

// An object whose window is still up takes it along, so the window never reaches a freed object.
frmMirdal::~frmMirdal()
{
    if (hwnd_)
        ::DestroyWindow(hwnd_);
}

std::unique_ptr<frmMirdal> frmMirdal::Create(HINSTANCE instance)
{
    static ATOM atom = RegisterWindowClass(instance, WindowProc);
    (void)atom;
    std::unique_ptr<frmMirdal> window(new frmMirdal());
    // The registry is walked while the window is made; the first listing of libraries takes what it found.
    window->libraryScan_.reset(new LibraryScan());
    window->libraryScan_->WalkAhead();
    HWND hwnd = ::CreateWindowExW(0, WindowClassName, Text(IDS_CAPTION).c_str(),
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                                  nullptr, nullptr, instance, window.get());
    if (!hwnd)
        return nullptr;
    // A failure of the start-up itself ends the program through the critical box, as any handler's does.
    try {
        window->Form_Load();
    } catch (...) {
        platform::ShowFailure(hwnd, platform::CurrentFailure());
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    return window;
}

LRESULT CALLBACK frmMirdal::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* window = static_cast<frmMirdal*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<frmMirdal*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    // The object outlives its window: its owner may still be inside one of its methods.
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        window->hwnd_ = nullptr;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // No failure may cross the system's frames: whatever escapes a handler is reported here, over the
    // window if the handler has not destroyed it meanwhile.
    try {
        return window->HandleMessage(message, wParam, lParam);
    } catch (...) {
        bool alive = ::GetWindowLongPtrW(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(window);
        platform::ShowFailure(alive ? hwnd : nullptr, platform::CurrentFailure());
    }
    return 0;
}

LRESULT frmMirdal::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd_, &ps);
        Form_Paint(dc);
        ::EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_INITMENUPOPUP:
        if (!HIWORD(lParam))
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only log keeps the look of a page rather than of a disabled box.
        if (reinterpret_cast<HWND>(lParam) == txtRes.Hwnd()) {
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
            ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    case WM_SETCURSOR:
        if (platform::WaitCursor::Apply())
            return TRUE;
        break;
    case WM_CLOSE:
        Close(0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE; // The end of the Windows session is never refused.
    case WM_ENDSESSION:
        if (wParam)
            Form_Unload();
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(*reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_TIP_READY:
        lsvFile_TipReady();
        return 0;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void frmMirdal::OnCreate()
{
    appName_ = platform::ExecutableBaseName();
    accelerators_ = ::LoadAcceleratorsW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    mnuMain = platform::Menu(::GetMenu(hwnd_));
    mnuFile = mnuMain.SubMenu(FileMenuPosition);
    mnuReg = mnuMain.SubMenu(RegistryMenuPosition);
    mnuView = mnuMain.SubMenu(ViewMenuPosition);
    MarkElevatingItems();
    CreateControls();
    dropTarget_ = new platform::FileDropTarget([this](IDataObject* data) { lsvFile_OLEDragDrop(data); });
    ::RegisterDragDrop(lsvFile.Hwnd(), dropTarget_);
}

void frmMirdal::OnDestroy()
{
    ::RevokeDragDrop(lsvFile.Hwnd());
    if (dropTarget_) {
        dropTarget_->Detach();
        dropTarget_->Release();
        dropTarget_ = nullptr;
    }
    ::PostQuitMessage(0);
}

// A close from the close box, the system menu or Alt+F4 (mode 0) may be refused; the program's own may not.
void frmMirdal::Close(int unloadMode)
{
    if (Form_QueryUnload(unloadMode))
        return;
    // A setting that cannot be saved is reported, but never keeps the user from closing.
    Reporting([&] { Form_Unload(); });
    ::DestroyWindow(hwnd_);
}

void frmMirdal::OnCommand(int id, int code, HWND control)
{
    if (control == cmdClose.Hwnd()) {
        if (code == BN_CLICKED)
            cmdClose_Click();
        return;
    }
    if (control == tlbMirdal.Hwnd()) {
        if (const commands::ToolCommand* entry = commands::FindByCommand(id))
            tlbMirdal_ButtonClick(platform::ToolButton(tlbMirdal, entry->command, entry->key));
        return;
    }
    if (id >= IDM_F0 && id <= IDM_F5)
        mnuF_Click(static_cast<short>(id - IDM_F0));
    else if (id == IDM_R0 || (id >= IDM_R2 && id <= IDM_R7) || id == IDM_R9 || id == IDM_R10)
        mnuR_Click(static_cast<short>(id - IDM_R0));
    else if (id >= IDM_V0 && id <= IDM_V3)
        mnuV_Click(static_cast<short>(id - IDM_V0));
}

LRESULT frmMirdal::OnNotify(NMHDR* header)
{
    if (header->hwndFrom == trvDir.Hwnd())
        return OnTreeNotify(header);
    if (header->hwndFrom == lsvFile.Hwnd())
        return OnFileListNotify(header);
    if (header->hwndFrom == tlbMirdal.Hwnd() && header->code == TBN_DROPDOWN) {
        auto* info = reinterpret_cast<NMTOOLBARW*>(header);
        if (const commands::ToolCommand* entry = commands::FindByCommand(info->iItem))
            tlbMirdal_ButtonDropDown(platform::ToolButton(tlbMirdal, entry->command, entry->key));
        return TBDDRET_DEFAULT;
    }
    return 0;
}

LRESULT frmMirdal::OnTreeNotify(NMHDR* header)
{
    switch (header->code) {
    case TVN_ITEMEXPANDINGW: {
        auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
        if (!programmaticTreeChange_ && (info->action & TVE_EXPAND))
            Reporting([&] { trvDir_Expand(info->itemNew.hItem); });
        return FALSE;
    }
    case TVN_ITEMEXPANDEDW: {
        auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
        if (!programmaticTreeChange_ && (info->action & TVE_COLLAPSE))
            Reporting([&] { trvDir_Collapse(info->itemNew.hItem); });
        return 0;
    }
    case TVN_SELCHANGEDW: {
        auto* info = reinterpret_cast<NMTREEVIEWW*>(header);
        if (!programmaticTreeChange_ && info->action != TVC_UNKNOWN)
            Reporting([&] { trvDir_NodeClick(info->itemNew.hItem); });
        return 0;
    }
    case NM_CLICK: {
        // A click on the node already selected changes no selection, yet is a click on that node.
        DWORD position = ::GetMessagePos();
        POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
        ::ScreenToClient(trvDir.Hwnd(), &point);
        HTREEITEM node = trvDir.HitTest(point);
        if (node && node == trvDir.Selected())
            Reporting([&] { trvDir_NodeClick(node); });
        return 0;
    }
    case NM_SETFOCUS:
        trvDir_GotFocus();
        return 0;
    }
    return 0;
}

LRESULT frmMirdal::OnFileListNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW:
        FillFileRowText(reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case LVN_GETINFOTIPW: return lsvFile_GetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(header));

    case LVN_ODFINDITEMW:
        return lsvFile_FindItem(*reinterpret_cast<NMLVFINDITEMW*>(header));
    case LVN_COLUMNCLICK:
        lsvFile_ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem + 1);
        return 0;
    case NM_SETFOCUS:
        lsvFile_GotFocus();
        return 0;
    }
    return 0;
}

void frmMirdal::OnInitMenuPopup(HMENU menu)
{
    if (menu == mnuFile.Handle())
        mnuFile_Click();
    else if (menu == mnuReg.Handle())
        mnuReg_Click();
}

void frmMirdal::ReportFailure(unsigned long code, const std::wstring& description) const
{
    platform::ShowFailure(hwnd_, platform::Failure(code, description));
}

bool frmMirdal::PreTranslateMessage(MSG& msg)
{
    // Ctrl+Q belongs to the File menu: while a run holds that menu disabled, it does nothing.
    if (accelerators_ && !IsBusy()
        && ::TranslateAcceleratorW(hwnd_, accelerators_, &msg))
        return true;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !tabOrder_.empty()
        && (::GetKeyState(VK_CONTROL) & 0x8000) == 0) {
        HWND focus = ::GetFocus();
        bool ours = false;
        for (HWND stop : tabOrder_)
            ours = ours || stop == focus || ::IsChild(stop, focus);
        if (!ours)
            return false;
        bool backwards = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        size_t count = tabOrder_.size();
        size_t at = 0;
        while (at < count && tabOrder_[at] != focus && !::IsChild(tabOrder_[at], focus))
            ++at;
        for (size_t step = 1; step <= count; ++step) {
            HWND next = tabOrder_[(at + (backwards ? count - step : step)) % count];
            if (::IsWindowVisible(next) && ::IsWindowEnabled(next)) {
                ::SetFocus(next);
                break;
            }
        }
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && picRes.IsVisible() && cmdClose.IsEnabled()
        && (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd))) {
        cmdClose_Click();
        return true;
    }
    return false;
}

unsigned frmMirdal::Dpi() const
{
    return platform::WindowDpi(hwnd_);
}

double frmMirdal::TwipsPerPixel() const { return 1440.0 / Dpi(); }
