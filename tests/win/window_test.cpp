// The main window under Wine: its controls and menus, start-up settings, closing, and layout.
#include "TestSupport.h"
#include "app/resource.h"
#include "platform/Module.h"
#include "platform/Settings.h"
#include <algorithm>
#include <cmath>

using namespace testing_support;

namespace {

std::wstring MenuCaption(const platform::Menu& menu, int position)
{
    std::wstring text = menu.TextAt(position);
    return text.substr(0, text.find(L'\t'));
}

RECT Place(const platform::Window& control) { return control.Bounds(); }

void ExpectPlace(const char* file, int line, const platform::Window& control, int left, int top, int width, int height)
{
    SCOPED_TRACE(::testing::Message() << file << ":" << line);
    RECT rc = Place(control);
    EXPECT_EQ(rc.left, left);
    EXPECT_EQ(rc.top, top);
    EXPECT_EQ(rc.right - rc.left, width);
    EXPECT_EQ(rc.bottom - rc.top, height);
}
#define EXPECT_PLACE(control, l, t, w, h) ExpectPlace(__FILE__, __LINE__, control, l, t, w, h)

class WindowLayout : public WindowTest {
protected:
    void SetClientSize(int width, int height) const
    {
        RECT rc{0, 0, width, height};
        ::AdjustWindowRectEx(&rc, ::GetWindowLongW(window->Hwnd(), GWL_STYLE), TRUE, 0);
        ::SetWindowPos(window->Hwnd(), nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
        RECT client = window->lsvFile.ClientRect();
        (void)client;
        Pump();
    }
};

class Settings : public WindowTest {
protected:
    // Starts the window again, with the given settings stored beforehand.
    void Restart(const std::wstring& view, const std::wstring& path = L"")
    {
        ::DestroyWindow(window->Hwnd());
        Pump();
        ClearSettings();
        if (!view.empty())
            platform::SaveSetting(platform::ExecutableBaseName(), L"frmMirdal", L"View", view);
        if (!path.empty())
            platform::SaveSetting(platform::ExecutableBaseName(), L"frmMirdal", L"Path", path);
        window = frmMirdal::Create(::GetModuleHandleW(nullptr));
        ASSERT_NE(window, nullptr);
    }
    int CheckedView() const
    {
        int checked = -1;
        for (int i = 0; i < 4; ++i)
            if (window->mnuView.IsChecked(IDM_V0 + i))
                checked = checked == -1 ? i : -2; // -2: more than one
        return checked;
    }
    std::wstring Stored(const std::wstring& key) const
    {
        return platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", key, L"<none>");
    }
};

} // namespace

TEST_F(WindowTest, OpensCentredAtItsSizeWithTheCaptionReadFromTheFile)
{
    RECT rc{};
    ::GetWindowRect(window->Hwnd(), &rc);
    EXPECT_EQ(rc.right - rc.left, 640);
    EXPECT_EQ(rc.bottom - rc.top, 480);
    EXPECT_EQ(rc.left, (::GetSystemMetrics(SM_CXSCREEN) - 640) / 2);
    EXPECT_EQ(rc.top, (::GetSystemMetrics(SM_CYSCREEN) - 480) / 2);
    EXPECT_TRUE(::IsWindowVisible(window->Hwnd()));
    EXPECT_FALSE(window->picRes.IsVisible());

    platform::FileVersion version = platform::ReadFileVersion(platform::ExecutablePath());
    EXPECT_EQ(version.major, 1u);
    std::wstring expected = L"DLL/OCX登録・解除 - " + platform::ExecutableBaseName() + std::to_wstring(version.major) + L"."
                            + std::to_wstring(version.minor) + L"." + std::to_wstring(version.revision);
    EXPECT_WTEXT_EQ(expected, platform::Window(window->Hwnd()).Text());
}

TEST_F(WindowTest, HasItsToolbarMenusColumnsAndPanels)
{
    const platform::ToolBar& bar = window->tlbMirdal;
    ASSERT_EQ(bar.ButtonCount(), 8);
    const wchar_t* keys[] = {L"Reg", L"Unreg", nullptr, L"RegRead", nullptr, L"RegBat", nullptr, L"View"};
    for (int i = 0; i < 8; ++i) {
        TBBUTTON button = bar.ButtonAt(i);
        auto key = reinterpret_cast<const wchar_t*>(button.dwData);
        if (!keys[i]) {
            EXPECT_TRUE(button.fsStyle & BTNS_SEP) << i;
            continue;
        }
        ASSERT_NE(key, nullptr) << i;
        EXPECT_WTEXT_EQ(keys[i], key);
    }
    EXPECT_TRUE(bar.ButtonAt(7).fsStyle & BTNS_DROPDOWN);
    EXPECT_EQ(window->btnView.Key(), L"View");
    EXPECT_EQ(platform::ToolButton::Find(bar, L"reg").Command(), 0) << "keys are case-sensitive";
    RECT reg = window->btnReg.Rect();
    EXPECT_EQ(reg.right - reg.left, 57);
    // 35 high even with the tall lines of Wine's CJK fonts, once the padding is taken out.
    int buttonHeight = reg.bottom - reg.top;
    EXPECT_EQ(buttonHeight, 35);
    EXPECT_EQ(bar.ClientRect().bottom, std::max(37, buttonHeight + 2));
    EXPECT_EQ(window->stbMirdal.ClientRect().bottom, 26);

    const wchar_t* fileMenu[] = {L"登録(&R)", L"登録解除(&U)", L"", L"バッチ作成", L"", L"終了(&Q)"};
    ASSERT_EQ(window->mnuFile.ItemCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_WTEXT_EQ(fileMenu[i], MenuCaption(window->mnuFile, i));
    const wchar_t* registryMenu[] = {L"読込み", L"", L"現在のユーザーに登録(&U)", L"現在のユーザーから解除(&N)", L"登録内容を書き出す(&E)..."};
    ASSERT_EQ(window->mnuReg.ItemCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_WTEXT_EQ(registryMenu[i], MenuCaption(window->mnuReg, i));
    const wchar_t* viewMenu[] = {L"大きいアイコン(&G)", L"小さいアイコン(&M)", L"一覧(&L)", L"詳細(&D)"};
    for (int i = 0; i < 4; ++i)
        EXPECT_WTEXT_EQ(viewMenu[i], MenuCaption(window->mnuView, i));
    EXPECT_WTEXT_EQ(L"ファイル(&F)", MenuCaption(window->mnuMain, 0));
    EXPECT_WTEXT_EQ(L"レジストリ(&R)", MenuCaption(window->mnuMain, 1));
    EXPECT_WTEXT_EQ(L"表示(&V)", MenuCaption(window->mnuMain, 2));

    const wchar_t* fileColumns[] = {L"名前", L"サイズ", L"種類", L"更新日付"};
    const int fileWidths[] = {133, 96, 53, 107};
    const wchar_t* libraryColumns[] = {L"ライブラリ名", L"バージョン", L"パス", L"クラスID"};
    const int libraryWidths[] = {200, 96, 267, 400};
    for (int i = 0; i < 4; ++i) {
        EXPECT_WTEXT_EQ(fileColumns[i], window->lsvFile.ColumnHeader(i));
        EXPECT_EQ(window->lsvFile.ColumnWidth(i), fileWidths[i]);
        EXPECT_WTEXT_EQ(libraryColumns[i], window->lsvReg.ColumnHeader(i));
        EXPECT_EQ(window->lsvReg.ColumnWidth(i), libraryWidths[i]);
        EXPECT_EQ(window->lsvReg.ColumnFormat(i), LVCFMT_LEFT);
    }
    EXPECT_EQ(window->lsvFile.ColumnFormat(1), LVCFMT_RIGHT);
    EXPECT_EQ(window->lsvFile.ColumnFormat(0), LVCFMT_LEFT);
    EXPECT_WTEXT_EQ(L"閉じる", window->cmdClose.Text());

    EXPECT_EQ(ImageList_GetImageCount(window->imlMirdal.get()), 8);
    EXPECT_EQ(ImageList_GetImageCount(window->imlFileS.get()), 3);
    EXPECT_EQ(ImageList_GetImageCount(window->imlFileL.get()), 1);
    EXPECT_EQ(ImageList_GetImageCount(window->imlDir.get()), 3);
}

TEST_F(Settings, FirstStartUsesReportViewAndTheCurrentDirectory)
{
    EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::Report);
    EXPECT_EQ(CheckedView(), 3);
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = current;
    if (expected.back() != L'\\')
        expected += L'\\';
    EXPECT_WTEXT_EQ(expected, window->pnlPath.Text());
}

TEST_F(Settings, RestoresAStoredViewAndFallsBackOnNonsense)
{
    Restart(L"1");
    EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::SmallIcons);
    EXPECT_EQ(CheckedView(), 1);
    for (const wchar_t* bad : {L"abc", L"7", L"-1", L"nan", L"1e300"}) {
        Restart(bad);
        EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::Report) << Narrow(bad);
        EXPECT_EQ(CheckedView(), 3) << Narrow(bad);
    }
    Restart(L"2.4"); // The nearest whole number.
    EXPECT_EQ(window->lsvFile.Style(), platform::ListViewStyle::List);
    // A stored path of any length or form starts the window all the same.
    for (const std::wstring& path : {std::wstring(40000, L'a') + L"\\", std::wstring(300, L'\\'), std::wstring(L"C:\\?*<|\\")}) {
        Restart(L"", path);
        EXPECT_TRUE(::IsWindowVisible(window->Hwnd())) << path.size();
    }
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Settings, QuitAndAnAcceptedCloseSaveBothValues)
{
    window->mnuV_Click(2);
    std::wstring path = window->pnlPath.Text();
    window->IsBusy = true; // Quit is never refused, not even while busy.
    window->mnuF_Click(5);
    EXPECT_FALSE(::IsWindow(window->Hwnd()));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_WTEXT_EQ(L"2", Stored(L"View"));
    EXPECT_WTEXT_EQ(path, Stored(L"Path"));

    Restart(L"");
    ClearSettings();
    window->mnuV_Click(0);
    ::SendMessageW(window->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window->Hwnd()));
    EXPECT_WTEXT_EQ(L"0", Stored(L"View"));
    window = nullptr;
}

TEST_F(Settings, TheCloseBoxIsRefusedWhileBusyUntilThePanelIsClosed)
{
    window->IsBusy = true;
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(::IsWindow(window->Hwnd()));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"登録/解除中です。終了できません", prompter.messages[0].text);
    EXPECT_WTEXT_EQ(L"Mirdal", prompter.messages[0].title);
    EXPECT_EQ(prompter.messages[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_WTEXT_EQ(L"<none>", Stored(L"View")) << "a refused close saves nothing";

    window->cmdClose_Click();
    EXPECT_FALSE(window->IsBusy);
    ::SendMessageW(window->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window->Hwnd()));
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"3", Stored(L"View"));
    window = nullptr;
}

TEST_F(WindowLayout, PanesKeepTheirProportions)
{
    // 523 x 368 pixels are 7845 x 5520 twips: W3 = 2615, T = 600, H2 = 2265.
    SetClientSize(523, 368);
    int bar = window->tlbMirdal.ClientRect().bottom;
    long T = bar * 15 + 45;               // 600 with a bar of 37 pixels
    long H2 = (5520 - T - 390) / 2;       // 2265 then
    auto px = [](long twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    EXPECT_PLACE(window->trvDir, 0, px(T), 174, px(2 * H2));
    EXPECT_PLACE(window->lsvFile, 174, px(T), 349, px(H2));
    EXPECT_PLACE(window->lsvReg, 174, px(T + H2), 349, px(H2));
    EXPECT_PLACE(window->picRes, 0, 4, 523, 342);
    EXPECT_PLACE(window->tlbMirdal, 0, 0, 523, bar);
    EXPECT_PLACE(window->stbMirdal, 0, 342, 523, 26);
}

TEST_F(WindowLayout, ATooSmallWindowLeavesThePanesButMovesThePanel)
{
    SetClientSize(523, 368);
    RECT tree = Place(window->trvDir);
    SetClientSize(300, 60); // Less than toolbar and status bar: H2 is negative.
    RECT after = Place(window->trvDir);
    EXPECT_EQ(after.bottom - after.top, tree.bottom - tree.top);
    EXPECT_EQ(after.right - after.left, tree.right - tree.left);
    EXPECT_PLACE(window->picRes, 0, 4, 300, 34);
}

TEST_F(WindowLayout, TheResultPanelLiesOverEverythingWithItsButtonInTheCorner)
{
    SetClientSize(523, 368);
    window->BeginReport();
    Pump();
    EXPECT_TRUE(window->picRes.IsVisible());
    EXPECT_EQ(::GetWindow(window->Hwnd(), GW_CHILD), window->picRes.Hwnd()) << "first in z-order";
    RECT button = Place(window->cmdClose);
    EXPECT_EQ(button.right, 523);
    EXPECT_EQ(button.top, 0);
    EXPECT_EQ(button.right - button.left, 87);
    EXPECT_EQ(button.bottom - button.top, 21);
    EXPECT_PLACE(window->txtRes, 0, 21, 523, 321);
    EXPECT_FALSE(window->mnuMain.IsPositionEnabled(frmMirdal::FileMenuPosition));

    SetClientSize(400, 300);
    EXPECT_EQ(Place(window->cmdClose).right, 400);
    window->tlbMirdal.Enable(false);
    window->cmdClose_Click();
    EXPECT_FALSE(window->picRes.IsVisible());
    EXPECT_TRUE(window->tlbMirdal.IsEnabled());
    EXPECT_TRUE(window->mnuMain.IsPositionEnabled(frmMirdal::FileMenuPosition));
    EXPECT_TRUE(window->mnuMain.IsPositionEnabled(frmMirdal::ViewMenuPosition));
    EXPECT_FALSE(window->IsBusy);
}
