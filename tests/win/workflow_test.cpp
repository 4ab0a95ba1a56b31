// The typical request end to end on the real window and the real registry: open a folder, select
// two servers, register them, see them in the library list, close the panel, unregister them.
#include "TestSupport.h"
#include "platform/Text.h"
#include <commctrl.h>

using namespace testing_support;
using fixtures::kFixtureA, fixtures::kFixtureB;

namespace {

class Workflow : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder folder{L"workflow"};
};

POINT Middle(RECT rc) { return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

TEST_F(Workflow, RegisterTwoFilesSeeThemRegisteredAndUnregisterThem)
{
    TypeLibsCleared cleared{&kFixtureA, &kFixtureB};
    CopyFixture(kFixtureA.file, folder.Path() + kFixtureA.file);
    CopyFixture(kFixtureB.file, folder.Path() + kFixtureB.file);
    folder.File(L"other.ocx");

    // 1. The user clicks the folder in the tree.
    window->ShowFolder(L"C:\\mirdal-tests\\");
    const std::wstring key = platform::UpperCase(folder.Path());
    HTREEITEM node = window->FindNode(key);
    ASSERT_NE(node, nullptr);
    window->trvDir.EnsureVisible(node);
    RECT label{};
    ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), node, &label, TRUE));
    ClickAt(window->trvDir.Hwnd(), Middle(label));
    ASSERT_EQ(Narrow(key), Narrow(window->pnlPath.Text()));
    ASSERT_EQ(Sorted(FileNames()), (std::vector<std::wstring>{kFixtureA.file, kFixtureB.file, L"other.ocx"}));
    EXPECT_TRUE(LibraryRows().empty());

    // 2. Two rows selected; the focus on the list offers "Reg".
    SelectRows({RowOf(kFixtureA.file), RowOf(kFixtureB.file)});
    window->lsvFile.Focus();
    Pump();
    ASSERT_TRUE(window->btnReg.Enabled());

    // 3-5. "Reg" registers both through the library, logs each, and the scan shows them at their path.
    ClickAt(window->tlbMirdal.Hwnd(), Middle(window->btnReg.Rect()));
    EXPECT_WTEXT_EQ(RunLog(L"を登録"), window->txtRes.Text());
    // Image 1, the small icon of picture 2: the listed file itself.
    EXPECT_EQ(LibraryRows(), (std::vector<std::wstring>{kFixtureA.name + (L"|" + key) + kFixtureA.file + L"|1",
                                                        kFixtureB.name + (L"|" + key) + kFixtureB.file + L"|1"}));
    EXPECT_WTEXT_EQ(key + kFixtureA.file + L"|" + key + kFixtureB.file, RegisteredFile(kFixtureA) + L"|" + RegisteredFile(kFixtureB));

    // 6. The panel is closed.
    ::SendMessageW(window->cmdClose.Hwnd(), BM_CLICK, 0, 0);
    Pump();

    // Unregistering takes them out of the scan.
    ClickAt(window->tlbMirdal.Hwnd(), Middle(window->btnUnreg.Rect()));
    EXPECT_WTEXT_EQ(RunLog(L"を解除"), window->txtRes.Text());
    EXPECT_TRUE(LibraryRows().empty());
    EXPECT_WTEXT_EQ(L"|", RegisteredFile(kFixtureA) + L"|" + RegisteredFile(kFixtureB));
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
