// The typical request end to end on the real window and the real registry: open a folder, select
// two servers, register them, see them in the library list, close the panel, unregister them.
#include "TestSupport.h"
#include "app/resource.h"
#include "platform/Text.h"
#include "../fixtures/Fixtures.h"
#include <commctrl.h>
#include <oleauto.h>
#include <algorithm>

using namespace testing_support;

namespace {

std::wstring LibraryKey(const fixtures::TypeLibFixture& fixture) { return std::wstring(L"TypeLib\\") + fixture.libid; }

bool Registered(const fixtures::TypeLibFixture& fixture)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, LibraryKey(fixture).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// Whatever the test leaves registered goes with it.
class RegistrationsUndone {
public:
    RegistrationsUndone(std::initializer_list<const fixtures::TypeLibFixture*> list) : list_(list) {}
    ~RegistrationsUndone()
    {
        for (const auto* fixture : list_) {
            GUID libid{};
            if (SUCCEEDED(::CLSIDFromString(fixture->libid, &libid)))
                ::UnRegisterTypeLib(libid, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, LibraryKey(*fixture).c_str());
        }
    }
    RegistrationsUndone(const RegistrationsUndone&) = delete;
    RegistrationsUndone& operator=(const RegistrationsUndone&) = delete;

private:
    std::vector<const fixtures::TypeLibFixture*> list_;
};

class Workflow : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder folder{L"workflow"};

    void ClickAt(HWND control, POINT point) const
    {
        POINT screen = point;
        ::ClientToScreen(control, &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
        ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        ::PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        Pump();
    }
    void ClickButton(const platform::ToolButton& button) const
    {
        RECT rc = button.Rect();
        ClickAt(window->tlbMirdal.Hwnd(), {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
    }
    bool CommandsUsable() const
    {
        return window->tlbMirdal.IsEnabled() && window->mnuMain.IsPositionEnabled(frmMirdal::FileMenuPosition)
               && window->mnuMain.IsPositionEnabled(frmMirdal::ViewMenuPosition);
    }
    // The log of a run over the selected rows, in list order, every one succeeding.
    std::wstring ExpectedLog(const std::wstring& verb) const
    {
        std::wstring log;
        for (int i = window->lsvFile.NextSelected(-1); i >= 0; i = window->lsvFile.NextSelected(i))
            log += window->FileRowAt(i).key + verb + L"\r\n登録/解除に成功しました。\r\n\r\n";
        return log + L"登録/解除終了";
    }
    struct Library {
        std::wstring name, path;
        int image;
        bool operator<(const Library& other) const { return name < other.name; }
        bool operator==(const Library&) const = default;
    };
    std::vector<Library> Libraries() const
    {
        std::vector<Library> rows;
        for (int i = 0; i < window->lsvReg.ItemCount(); ++i)
            rows.push_back({window->lsvReg.ItemText(i, 0), window->lsvReg.ItemText(i, 2), window->lsvReg.ItemImage(i)});
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(Workflow, RegisterTwoFilesSeeThemRegisteredAndUnregisterThem)
{
    ASSERT_FALSE(Registered(fixtures::kFixtureA) || Registered(fixtures::kFixtureB)) << "left over from an earlier run";
    RegistrationsUndone undo{&fixtures::kFixtureA, &fixtures::kFixtureB};
    CopyFixture(fixtures::kFixtureA.file, folder.Path() + fixtures::kFixtureA.file);
    CopyFixture(fixtures::kFixtureB.file, folder.Path() + fixtures::kFixtureB.file);
    folder.File(L"other.ocx");

    // 1. The user clicks the folder in the tree.
    window->ShowFolder(L"C:\\mirdal-tests\\");
    const std::wstring key = platform::UpperCase(folder.Path());
    HTREEITEM node = window->FindNode(key);
    ASSERT_NE(node, nullptr);
    window->trvDir.EnsureVisible(node);
    RECT label{};
    ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), node, &label, TRUE));
    ClickAt(window->trvDir.Hwnd(), {(label.left + label.right) / 2, (label.top + label.bottom) / 2});
    EXPECT_EQ(window->trvDir.Selected(), node);
    ASSERT_EQ(Narrow(key), Narrow(window->pnlPath.Text()));
    std::vector<std::wstring> names = FileNames();
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (std::vector<std::wstring>{fixtures::kFixtureA.file, fixtures::kFixtureB.file, L"other.ocx"}));
    EXPECT_TRUE(Libraries().empty());
    EXPECT_FALSE(window->btnReg.Enabled());
    EXPECT_TRUE(window->btnRegRead.Enabled());

    // 2. Two rows selected; the focus on the list offers "Reg".
    SelectRows({window->FindFileRow(key + fixtures::kFixtureA.file), window->FindFileRow(key + fixtures::kFixtureB.file)});
    window->trvDir.Focus();
    EXPECT_FALSE(window->btnReg.Enabled());
    window->lsvFile.Focus();
    Pump();
    ASSERT_TRUE(window->btnReg.Enabled());

    // 3-5. "Reg" registers both through the library, logs each, and the scan shows them at their path.
    ClickButton(window->btnReg);
    EXPECT_WTEXT_EQ(ExpectedLog(L"を登録"), window->txtRes.Text());
    EXPECT_TRUE(window->IsBusy);
    EXPECT_TRUE(window->picRes.IsVisible());
    EXPECT_TRUE(window->cmdClose.IsEnabled());
    EXPECT_FALSE(CommandsUsable());
    EXPECT_TRUE(window->btnReg.Enabled()) << "the buttons keep their own recomputed state";
    const int samePath = 1; // small icon index of picture 2: the listed file itself
    std::vector<Library> expected{{fixtures::kFixtureA.name, key + fixtures::kFixtureA.file, samePath},
                                  {fixtures::kFixtureB.name, key + fixtures::kFixtureB.file, samePath}};
    EXPECT_EQ(Libraries(), expected);
    EXPECT_TRUE(Registered(fixtures::kFixtureA) && Registered(fixtures::kFixtureB));
    EXPECT_TRUE(prompter.messages.empty());

    // 6. The close box is refused until the panel is closed.
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(::IsWindow(window->Hwnd()));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"登録/解除中です。終了できません", prompter.messages[0].text);
    ::SendMessageW(window->cmdClose.Hwnd(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_FALSE(window->IsBusy);
    EXPECT_FALSE(window->picRes.IsVisible());
    EXPECT_TRUE(CommandsUsable());

    // Unregistering takes them out of the scan.
    ClickButton(window->btnUnreg);
    EXPECT_WTEXT_EQ(ExpectedLog(L"を解除"), window->txtRes.Text());
    EXPECT_TRUE(Libraries().empty());
    EXPECT_FALSE(Registered(fixtures::kFixtureA) || Registered(fixtures::kFixtureB));
    window->cmdClose_Click();
    ::SendMessageW(window->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window->Hwnd()));
    window = nullptr;
    EXPECT_EQ(prompter.messages.size(), 1u);
}

} // namespace
