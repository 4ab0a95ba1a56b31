#include "app/frmMirdal.h"
#include "app/pure/PaneLayout.h"
#include "platform/DeviceContext.h"

void frmMirdal::OnSize()
{
    DockBars();
    Form_Resize();
}

// The toolbar along the top and the status bar along the bottom, over the full width.
void frmMirdal::DockBars()
{
    RECT client = platform::Window(hwnd_).ClientRect();
    unsigned dpi = Dpi();
    int toolbarHeight = layout::ToolBarHeight(dpi, HIWORD(tlbMirdal.Send(TB_GETBUTTONSIZE)));
    int statusHeight = layout::ScalePixels(layout::StatusBarHeight, dpi);
    tlbMirdal.Move(0, 0, client.right, toolbarHeight);
    stbMirdal.Move(0, client.bottom - statusHeight, client.right, statusHeight);
    SizeStatusPanels();
}

void frmMirdal::SizeStatusPanels()
{
    // The count panel is as wide as its text; the path panel takes the rest.
    std::wstring count = stbMirdal.PanelText(0);
    SIZE extent{};
    {
        platform::WindowDC dc(stbMirdal.Hwnd());
        platform::SelectedObject font(dc.get(), font_ ? font_.get() : ::GetStockObject(DEFAULT_GUI_FONT));
        ::GetTextExtentPoint32W(dc.get(), count.c_str(), static_cast<int>(count.size()), &extent);
    }
    int padding = ::MulDiv(12, static_cast<int>(Dpi()), 96);
    stbMirdal.SetParts({extent.cx + padding, -1});
}

void frmMirdal::MoveTwips(const platform::Window& control, long left, long top, long width, long height) const
{
    unsigned dpi = Dpi();
    control.Move(layout::TwipsToPixels(left, dpi), layout::TwipsToPixels(top, dpi), layout::TwipsToPixels(width, dpi),
                 layout::TwipsToPixels(height, dpi));
}

void frmMirdal::Form_Resize()
{
    if (!tlbMirdal || !stbMirdal)
        return;
    double tpp = TwipsPerPixel();
    RECT client = platform::Window(hwnd_).ClientRect();
    RECT toolbar = tlbMirdal.ClientRect();
    RECT status = stbMirdal.ClientRect();
    layout::PaneLayout p = layout::ComputePaneLayout(client.right * tpp, client.bottom * tpp, toolbar.bottom * tpp,
                                                     status.bottom * tpp);
    // A pane whose size would be negative keeps its last place and size.
    auto place = [&](const platform::Window& control, const layout::Box& box) {
        if (box.valid)
            MoveTwips(control, box.left, box.top, box.width, box.height);
    };
    place(trvDir, p.tree);
    place(lsvFile, p.files);
    place(lsvReg, p.libraries);
    place(picRes, p.result);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void frmMirdal::Form_Paint(HDC dc)
{
    double tpp = TwipsPerPixel();
    RECT toolbar = tlbMirdal.ClientRect();
    RECT window{};
    ::GetWindowRect(hwnd_, &window);
    unsigned dpi = Dpi();
    long h = layout::RoundHalfEven(toolbar.bottom * tpp);
    int width = window.right - window.left;
    platform::UniquePen shadow(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
    platform::UniquePen highlight(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
    auto line = [&](const platform::UniquePen& pen, long twips) {
        platform::SelectedObject selected(dc, pen.get());
        int y = layout::TwipsToPixels(twips, dpi);
        ::MoveToEx(dc, 0, y, nullptr);
        ::LineTo(dc, width, y);
    };
    line(shadow, h);
    line(highlight, h + 15);
}

void frmMirdal::picRes_Resize()
{
    if (!cmdClose || !txtRes)
        return;
    double tpp = TwipsPerPixel();
    RECT panel = picRes.ClientRect();
    layout::ChildBox c = layout::ComputeResultPanel(panel.right * tpp, panel.bottom * tpp, 1300, 315);
    MoveTwips(cmdClose, c.button.left, c.button.top, c.button.width, c.button.height);
    if (c.log.valid)
        MoveTwips(txtRes, c.log.left, c.log.top, c.log.width, c.log.height);
}

void frmMirdal::cmdClose_Click() { SetRunState(RunState::Idle); }

void frmMirdal::OnDpiChanged(const RECT& suggested)
{
    ApplyFonts();
    SizeColumns();
    ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}
