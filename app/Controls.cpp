#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/pure/CommandTable.h"
#include "app/pure/PaneLayout.h"
#include "app/resource.h"
#include "platform/Dpi.h"
#include <array>
#include <iterator>
#include <vector>
#include <windowsx.h>

namespace {

constexpr DWORD ChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr UINT_PTR SubclassId = 1;

struct Column {
    unsigned header;
    int twips;
    int format;
};
constexpr Column FileColumns[] = {{IDS_COL_NAME, 2000, LVCFMT_LEFT},
                                  {IDS_COL_SIZE, 1440, LVCFMT_RIGHT},
                                  {IDS_COL_TYPE, 800, LVCFMT_LEFT},
                                  {IDS_COL_DATE, 1600, LVCFMT_LEFT}};
constexpr Column LibraryColumns[] = {{IDS_COL_LIBNAME, 3000, LVCFMT_LEFT},
                                     {IDS_COL_VERSION, 1440, LVCFMT_LEFT},
                                     {IDS_COL_PATH, 4000, LVCFMT_LEFT},
                                     {IDS_COL_CLSID, 6000, LVCFMT_LEFT}};

HWND CreateChild(HWND parent, const wchar_t* className, DWORD style, DWORD exStyle, int id, const wchar_t* text = L"")
{
    return ::CreateWindowExW(exStyle, className, text, style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

HIMAGELIST LoadStrip(int id, int size)
{
    return ::ImageList_LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), size, 0, RGB(255, 0, 255),
                                  IMAGE_BITMAP, LR_CREATEDIBSECTION);
}

} // namespace

void frmMirdal::CreateControls()
{
    LoadImageLists();
    CreateToolBar();
    CreateStatusBar();
    trvDir.Attach(CreateChild(hwnd_, WC_TREEVIEWW,
                              ChildStyle | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                              WS_EX_CLIENTEDGE, IDC_TRVDIR));
    trvDir.SetImageList(imlDir.get());
    CreateLists();
    CreateResultPanel();
    ApplyFonts();
    // Keyboard order: tree, file list, the panel's button and log, library list, toolbar.
    tabOrder_ = {trvDir.Hwnd(), lsvFile.Hwnd(), cmdClose.Hwnd(), txtRes.Hwnd(), lsvReg.Hwnd(), tlbMirdal.Hwnd()};
}

void frmMirdal::LoadImageLists()
{
    imlMirdal.reset(LoadStrip(IDB_TOOLBAR, 16));
    imlFileS.reset(LoadStrip(IDB_FILE16, 16));
    imlFileL.reset(LoadStrip(IDB_FILE32, 32));
    imlDir.reset(LoadStrip(IDB_DIR16, 16));
}

void frmMirdal::CreateToolBar()
{
    // The bar is placed by the window (DockBars), which gives it its height.
    tlbMirdal.Attach(CreateChild(hwnd_, TOOLBARCLASSNAMEW,
                                 ChildStyle | WS_TABSTOP | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE
                                     | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                                 0, IDC_TLBMIRDAL));
    tlbMirdal.Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    tlbMirdal.Send(TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    tlbMirdal.Send(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imlMirdal.get()));

    using commands::ToolCommands;
    static const auto captions = [] {
        std::array<std::wstring, std::size(ToolCommands)> texts;
        for (size_t i = 0; i < texts.size(); ++i)
            texts[i] = Text(ToolCommands[i].caption);
        return texts;
    }();
    std::vector<TBBUTTON> buttons;
    for (size_t i = 0; i < std::size(ToolCommands); ++i) {
        const commands::ToolCommand& entry = ToolCommands[i];
        TBBUTTON& b = buttons.emplace_back();
        b.iBitmap = entry.picture;
        b.idCommand = entry.command;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = entry.dropDown ? BTNS_DROPDOWN : BTNS_BUTTON;
        b.dwData = reinterpret_cast<DWORD_PTR>(entry.key);
        b.iString = reinterpret_cast<INT_PTR>(captions[i].c_str());
        if (entry.separatorAfter) {
            TBBUTTON& separator = buttons.emplace_back();
            separator.fsState = TBSTATE_ENABLED;
            separator.fsStyle = BTNS_SEP;
            separator.iString = -1;
        }
    }
    tlbMirdal.Send(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
}

void frmMirdal::CreateStatusBar()
{
    stbMirdal.Attach(CreateChild(hwnd_, STATUSCLASSNAMEW, ChildStyle | CCS_NORESIZE | CCS_NOPARENTALIGN | SBARS_SIZEGRIP,
                                 0, IDC_STBMIRDAL));
    stbMirdal.SetParts({100, -1});
    stbMirdal.SetPanelText(0, Text(IDS_PANEL_FCOUNT));
    stbMirdal.SetPanelText(1, Text(IDS_PANEL_PATH));
}

void frmMirdal::CreateLists()
{
    DWORD listStyle = ChildStyle | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS;
    // The file list is owner-data: its rows live in fileRows_ and the control asks for their texts.
    lsvFile.Attach(CreateChild(hwnd_, WC_LISTVIEWW, listStyle | LVS_OWNERDATA, WS_EX_CLIENTEDGE, IDC_LSVFILE));
    lsvReg.Attach(CreateChild(hwnd_, WC_LISTVIEWW, listStyle, WS_EX_CLIENTEDGE, IDC_LSVREG));
    for (const auto* list : {&lsvFile, &lsvReg})
        list->SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    lsvFile.SetExtendedStyle(LVS_EX_INFOTIP);
    lsvFile.SetImageList(imlFileL.get(), LVSIL_NORMAL);
    lsvFile.SetImageList(imlFileS.get(), LVSIL_SMALL);
    lsvReg.SetImageList(imlFileS.get(), LVSIL_SMALL);
    ::SetWindowSubclass(lsvFile.Hwnd(), FileListProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));

    for (int i = 0; i < 4; ++i) {
        const Column& f = FileColumns[i];
        lsvFile.AddColumn(i, Text(f.header), layout::TwipsToPixels(f.twips, Dpi()), f.format);
        const Column& r = LibraryColumns[i];
        lsvReg.AddColumn(i, Text(r.header), layout::TwipsToPixels(r.twips, Dpi()), r.format);
    }
}

// Column widths are physical sizes: a move to a monitor of another DPI gives them new pixels.
void frmMirdal::SizeColumns()
{
    for (int i = 0; i < 4; ++i) {
        lsvFile.Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), layout::TwipsToPixels(FileColumns[i].twips, Dpi()));
        lsvReg.Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), layout::TwipsToPixels(LibraryColumns[i].twips, Dpi()));
    }
}

void frmMirdal::CreateResultPanel()
{
    // A plain container; its subclass reports its size changes and passes its button's clicks on.
    picRes.Attach(CreateChild(hwnd_, WC_STATICW, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | SS_NOTIFY, 0, IDC_PICRES));
    ::SetWindowSubclass(picRes.Hwnd(), PanelProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    txtRes.Attach(CreateChild(picRes.Hwnd(), WC_EDITW,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE
                                  | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL,
                              WS_EX_CLIENTEDGE, IDC_TXTRES));
    txtRes.RemoveLengthLimit();
    cmdClose.Attach(CreateChild(picRes.Hwnd(), WC_BUTTONW, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0,
                                IDC_CMDCLOSE, Text(IDS_CLOSE).c_str()));
}

void frmMirdal::ApplyFonts()
{
    NONCLIENTMETRICSW metrics{};
    platform::NonClientMetrics(metrics, Dpi());
    font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
    for (HWND control : {tlbMirdal.Hwnd(), stbMirdal.Hwnd(), trvDir.Hwnd(), lsvFile.Hwnd(), lsvReg.Hwnd(), txtRes.Hwnd(),
                         cmdClose.Hwnd()})
        platform::Window(control).SetFont(font_.get());
    SizeToolBarButtons();
    SizeStatusPanels();
}

// The caption goes under the picture; the padding is taken out so that the tall line spacing of
// CJK fonts does not grow the buttons.
void frmMirdal::SizeToolBarButtons()
{
    int width = layout::ScalePixels(layout::ToolButtonWidth, Dpi());
    tlbMirdal.Send(TB_SETPADDING, 0, MAKELPARAM(0, 0));
    tlbMirdal.Send(TB_SETBUTTONWIDTH, 0, MAKELPARAM(width, width));
    tlbMirdal.Send(TB_SETBUTTONSIZE, 0, MAKELPARAM(width, layout::ScalePixels(layout::ToolButtonHeight, Dpi())));
}

LRESULT CALLBACK frmMirdal::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* window = reinterpret_cast<frmMirdal*>(data);
    switch (message) {
    case WM_SIZE:
        window->Reporting([&] { window->picRes_Resize(); });
        break;
    case WM_COMMAND:
        return ::SendMessageW(window->hwnd_, message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        return ::SendMessageW(window->hwnd_, message, wParam, lParam);
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, PanelProc, SubclassId);
        break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK frmMirdal::FileListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* window = reinterpret_cast<frmMirdal*>(data);
    switch (message) {
    case WM_RBUTTONDOWN:
        // Handled instead of the control's own right click, which would change the selection.
        ::SetFocus(hwnd);
        window->Reporting([&] {
            window->lsvFile_MouseDown(2, static_cast<int>(wParam & (MK_SHIFT | MK_CONTROL)), GET_X_LPARAM(lParam),
                                      GET_Y_LPARAM(lParam));
        });
        return 0;
    case WM_CONTEXTMENU:
        // The right button was answered as it went down; this one comes from Shift+F10 or the Menu key.
        if (lParam == -1)
            window->Reporting([&] { window->lsvFile_ContextMenuKey(); });
        return 0;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, FileListProc, SubclassId);
        break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}
