// The main window under Wine: its size and caption, its bars, start-up settings, closing, and layout.
#include "TestSupport.h"
#include "app/resource.h"
#include "platform/Module.h"
#include "platform/Settings.h"
#include <commctrl.h>

using namespace testing_support;

namespace {

std::string Place(const platform::Window& control)
{
    RECT rc = control.Bounds();
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + " " + std::to_string(rc.right - rc.left) + "x" +
           std::to_string(rc.bottom - rc.top);
}


} // namespace

TEST_F(WindowTest, OpensCentredWithItsCaptionBarsAndFirstStartSettingsAndAStoredViewIsRestored)
{
    RECT rc{};
    ::GetWindowRect(window->Hwnd(), &rc);
    EXPECT_EQ(rc.right - rc.left, 640);
    EXPECT_EQ(rc.bottom - rc.top, 480);
    EXPECT_EQ(rc.left, (::GetSystemMetrics(SM_CXSCREEN) - 640) / 2);
    EXPECT_EQ(rc.top, (::GetSystemMetrics(SM_CYSCREEN) - 480) / 2);
    EXPECT_FALSE(window->picRes.IsVisible());
    platform::FileVersion version = platform::ReadFileVersion(platform::ExecutablePath());
    EXPECT_EQ(version.major, 1u);
    std::wstring expected = L"DLL/OCX登録・解除 - " + platform::ExecutableBaseName() + std::to_wstring(version.major) + L"."
                            + std::to_wstring(version.minor) + L"." + std::to_wstring(version.revision);
    EXPECT_WTEXT_EQ(expected, platform::Window(window->Hwnd()).Text());

    // 57 x 35 even with the tall lines of Wine's CJK fonts, once the padding is taken out.
    RECT reg = window->btnReg.Rect();
    EXPECT_EQ(reg.right - reg.left, 57);
    EXPECT_EQ(reg.bottom - reg.top, 35);
    EXPECT_EQ(window->tlbMirdal.ClientRect().bottom, 37);
    EXPECT_EQ(window->stbMirdal.ClientRect().bottom, 26);
    // The bitmap strips were cut into their pictures.
    EXPECT_EQ(ImageList_GetImageCount(window->imlMirdal.get()), 8);
    EXPECT_EQ(ImageList_GetImageCount(window->imlFileS.get()), 3);
    EXPECT_EQ(ImageList_GetImageCount(window->imlFileL.get()), 1);
    EXPECT_EQ(ImageList_GetImageCount(window->imlDir.get()), 3);

    // The first start: the report view and the current directory.
    EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::Report);
    EXPECT_TRUE(window->mnuView.IsChecked(IDM_V3));
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring start = current;
    if (start.back() != L'\\')
        start += L'\\';
    EXPECT_WTEXT_EQ(start, window->pnlPath.Text());

    Restart(L"1");
    EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::SmallIcons);
    EXPECT_TRUE(window->mnuView.IsChecked(IDM_V1) && !window->mnuView.IsChecked(IDM_V3));
    // A stored path of any length or form starts the window all the same.
    for (const std::wstring& path : {std::wstring(40000, L'a') + L"\\", std::wstring(300, L'\\'), std::wstring(L"C:\\?*<|\\")}) {
        Restart(L"", path);
        EXPECT_TRUE(::IsWindowVisible(window->Hwnd())) << path.size();
    }
    EXPECT_TRUE(prompter.messages.empty());

    // A stored file opens its folder with the file selected; a folder without its final "\" opens as the
    // folder; one that cannot be shown at the start stays remembered.
    ScratchFolder folder{L"window"};
    folder.File(L"a.dll"), folder.File(L"b.dll");
    Restart(L"", folder.Path() + L"B.DLL");
    EXPECT_EQ(SelectedRows(), std::vector<int>{RowOf(L"b.dll")}) << Narrow(window->pnlPath.Text());
    Restart(L"", folder.Path().substr(0, folder.Path().size() - 1));
    EXPECT_WTEXT_EQ(folder.Path() + L"|2", window->pnlPath.Text() + L"|" + window->pnlFCount.Text());
    Restart(L"", folder.Path() + L"gone\\");
    ::SendMessageW(window->Hwnd(), WM_CLOSE, 0, 0), window = nullptr;
    EXPECT_WTEXT_EQ(folder.Path() + L"gone\\", platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", L"Path", L""));
}

TEST_F(WindowTest, PanesKeepTheirProportionsAndTheResultPanelLiesOverEverythingWithItsButtonInTheCorner)
{
    // 523 x 368 pixels are 7845 x 5520 twips: W3 = 2615, T = 600, H2 = 2265.
    RECT rc{0, 0, 523, 368};
    ::AdjustWindowRectEx(&rc, ::GetWindowLongW(window->Hwnd(), GWL_STYLE), TRUE, 0);
    ::SetWindowPos(window->Hwnd(), nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(Place(window->trvDir), "0,40 174x302");
    EXPECT_EQ(Place(window->lsvFile), "174,40 349x151");
    EXPECT_EQ(Place(window->lsvReg), "174,191 349x151");
    EXPECT_EQ(Place(window->stbMirdal), "0,342 523x26");

    window->BeginReport();
    Pump();
    EXPECT_EQ(::GetWindow(window->Hwnd(), GW_CHILD), window->picRes.Hwnd()) << "first in z-order";
    EXPECT_EQ(Place(window->picRes), "0,4 523x342");
    EXPECT_EQ(Place(window->cmdClose), "436,0 87x21");
    EXPECT_EQ(Place(window->txtRes), "0,21 523x321");
}
