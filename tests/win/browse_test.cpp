// The main window under Wine (its size and caption, its bars, start-up settings, closing, and layout), then
// the folder tree and the file list on it, over folders built under C:\mirdal-tests. Sorting, the key index
// and the node maps are tested natively (browse_core_test).
#include "TestSupport.h"
#include "platform/Failure.h"
#include "app/Texts.h"
#include <filesystem>
#include <fstream>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

std::string Place(const platform::Window& control)
{
    RECT rc = control.Bounds();
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + " " + std::to_string(rc.right - rc.left) + "x" +
           std::to_string(rc.bottom - rc.top);
}

TEST_F(WindowTest, OpensCentredWithItsCaptionBarsAndFirstStartSettingsAndAStoredViewIsRestored)
{
    RECT rc{};
    ::GetWindowRect(window->Hwnd(), &rc);
    EXPECT_EQ(std::pair(rc.right - rc.left, rc.bottom - rc.top), std::pair(640L, 480L));
    EXPECT_EQ(std::pair(rc.left, rc.top), std::pair(LONG((::GetSystemMetrics(SM_CXSCREEN) - 640) / 2), LONG((::GetSystemMetrics(SM_CYSCREEN) - 480) / 2)));
    EXPECT_FALSE(window->picRes.IsVisible());
    platform::FileVersion version = platform::ReadFileVersion(platform::ExecutablePath());
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
    EXPECT_EQ(std::vector<int>({ImageList_GetImageCount(window->imlMirdal.get()), ImageList_GetImageCount(window->imlFileS.get()),
                                ImageList_GetImageCount(window->imlFileL.get()), ImageList_GetImageCount(window->imlDir.get())}),
              (std::vector<int>{8, 3, 1, 3}));

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
    // A stored path of any length or form starts the window all the same, and one that cannot be shown
    // shows as a folder that cannot be listed: its path, no files.
    for (const std::wstring& path : {std::wstring(40000, L'a') + L"\\", std::wstring(300, L'\\'), std::wstring(L"C:\\?*<|\\"),
                                     std::wstring(L"\\\\nosuchserver\\share\\"), std::wstring(L"C:\\CON\\"), L"C:\\" + std::wstring(32000, L'b') + L"\\"}) {
        Restart(L"", path);
        EXPECT_TRUE(::IsWindowVisible(window->Hwnd())) << path.size();
        EXPECT_WTEXT_EQ(path + L"|0|0", window->pnlPath.Text() + L"|" + window->pnlFCount.Text() + L"|" +
                                           std::to_wstring(window->lsvFile.ItemCount()));
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
    // The end of the Windows session, never refused, saves the view; a folder not shown stays remembered.
    Restart(L"", folder.Path() + L"gone\\");
    EXPECT_TRUE(::SendMessageW(window->Hwnd(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    ::SendMessageW(window->Hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_WTEXT_EQ(L"3|" + folder.Path() + L"gone\\", StoredSetting(L"View") + L"|" + StoredSetting(L"Path"));
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

    window->SetRunState(frmMirdal::RunState::Running);
    Pump();
    EXPECT_EQ(::GetWindow(window->Hwnd(), GW_CHILD), window->picRes.Hwnd()) << "first in z-order";
    EXPECT_EQ(Place(window->picRes), "0,4 523x342");
    EXPECT_EQ(Place(window->cmdClose), "436,0 87x21");
    EXPECT_EQ(Place(window->txtRes), "0,21 523x321");
}

// Clicks a tree node's part (TVHT_ONITEMLABEL, TVHT_ONITEMBUTTON) as the mouse would, the pointer included.
void ClickTreeNode(const platform::TreeView& tree, HTREEITEM node, UINT part)
{
    tree.EnsureVisible(node);
    RECT rc{};
    ASSERT_TRUE(TreeView_GetItemRect(tree.Hwnd(), node, &rc, FALSE));
    TVHITTESTINFO hit{};
    for (hit.pt = {rc.left, (rc.top + rc.bottom) / 2}; hit.pt.x < rc.right; ++hit.pt.x) {
        if (TreeView_HitTest(tree.Hwnd(), &hit) != node || !(hit.flags & part))
            continue;
        return ClickAt(tree.Hwnd(), hit.pt);
    }
    FAIL() << "the node shows no such part";
}

class BrowseTest : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder root{L"browse"};

    // The folder shown and the count of its files.
    std::wstring Status() const { return window->pnlPath.Text() + L"|" + window->pnlFCount.Text(); }
    HTREEITEM Node(const std::wstring& path) const { return window->FindNode(platform::UpperCase(path)); }
    Names ChildTexts(HTREEITEM node) const
    {
        Names texts;
        for (HTREEITEM child = window->trvDir.FirstChild(node); child; child = window->trvDir.NextSibling(child))
            texts.push_back(window->trvDir.ItemText(child));
        return texts;
    }
};

// Typing the first letters of a name selects its row.
TEST_F(BrowseTest, ListsDllAndOcxFilesOfAnyCaseAndAttributeWithSizeTypeAndDateFindsTypedNamesAndSorts)
{
    for (const wchar_t* name : {L"B.Dll", L"bravo.ocx", L".dll", L"x.ocx.bak", L"readme", L"d.dll.txt"})
        root.File(name);
    root.File(L"s.ocx", 2, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    root.Folder(L"lib.dll");
    SYSTEMTIME local{2009, 12, 0, 31, 23, 59, 59, 0}, utc{};
    FILETIME written{};
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && ::SystemTimeToFileTime(&utc, &written));
    EXPECT_TRUE(::SetFileTime(platform::UniqueFile(::CreateFileW(root.File(L"a.dll", 512).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                                 OPEN_EXISTING, 0, nullptr)).get(), nullptr, nullptr, &written));
    window->SetFileListView(root.Path());

    EXPECT_EQ(Sorted(FileNames()), Sorted({L"a.dll", L"B.Dll", L"bravo.ocx", L".dll", L"s.ocx"}));
    wchar_t date[16]{}, time[16]{};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDATE, date, 16);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, time, 16);
    const std::wstring d = date, t = time;
    const int a = RowOf(L"a.dll");
    EXPECT_WTEXT_EQ(L"       512|DLL|2009" + d + L"12" + d + L"31 23" + t + L"59",
                    window->lsvFile.ItemText(a, 1) + L"|" + window->lsvFile.ItemText(a, 2) + L"|" + window->lsvFile.ItemText(a, 3));
    EXPECT_WTEXT_EQ(root.Path() + L"|5", Status());
    window->lsvFile.Focus();
    for (wchar_t c : std::wstring(L"bR"))
        ::PostMessageW(window->lsvFile.Hwnd(), WM_CHAR, c, 1);
    Pump();
    EXPECT_EQ(SelectedRows(), std::vector<int>{RowOf(L"bravo.ocx")});

    // Sorting keeps the selection; a folder lists again only when written differently, in its own order.
    const std::wstring sort = root.Folder(L"sort");
    root.File(L"sort\\n1.dll", 300), root.File(L"sort\\n2.dll", 5), root.File(L"sort\\n3.dll", 2000);
    window->SetFileListView(sort);
    Names listed = FileNames();
    SelectRows({RowOf(L"n2.dll"), RowOf(L"n3.dll")});
    window->lsvFile_ColumnClick(2);
    EXPECT_EQ(FileNames(), (Names{L"n3.dll", L"n1.dll", L"n2.dll"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 2}));
    window->lsvFile_ColumnClick(1);
    EXPECT_EQ(FileNames(), (Names{L"n1.dll", L"n2.dll", L"n3.dll"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 2}));

    ASSERT_TRUE(::DeleteFileW((sort + L"n2.dll").c_str()));
    window->SetFileListView(sort);
    EXPECT_EQ(FileNames().size(), 3u);
    std::erase(listed, L"n2.dll");
    window->SetFileListView(platform::UpperCase(sort));
    EXPECT_EQ(FileNames(), listed);
    EXPECT_WTEXT_EQ(platform::UpperCase(sort) + L"|2", Status());
}

// Names outside code page 932 (한국, 폴더, an emoji) as nodes, rows and keys. Then what the user does in the
// tree: expand, click, move with the keys, collapse; a folder gone since the tree showed it is reported once,
// and the folder before it lists again when chosen.
TEST_F(BrowseTest, ShowFolderOpensEachFolderOnThePathAndClicksAndKeysFillSortAndListTheShownFoldersOnce)
{
    std::wstring folder = root.Folder(L"exp");
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"Delta", L"gamma\\sub"})
        root.Folder(std::wstring(L"exp\\") + name);
    root.Folder(L"exp\\hidden", FILE_ATTRIBUTE_HIDDEN), root.Folder(L"exp\\system", FILE_ATTRIBUTE_SYSTEM);
    root.Folder(L"exp\\beta\\h", FILE_ATTRIBUTE_HIDDEN), root.File(L"exp\\beta\\k.dll");
    const std::wstring korea = L"\ud55c\uad6d", inner = L"\ud3f4\ub354 with a name too long for the pane", hangul = L"\ud55c\uae00.dll", emoji = L"\U0001F600.ocx";
    std::wstring deep = root.Folder(L"Deep");
    root.Folder(L"Deep\\" + korea), root.Folder(L"Deep\\" + korea + L"\\" + inner);
    root.File(L"Deep\\" + korea + L"\\" + inner + L"\\" + hangul), root.File(L"Deep\\" + korea + L"\\" + inner + L"\\" + emoji);
    std::wstring path = L"c:\\MIRDAL-tests\\Browse\\dEEP\\" + korea + L"\\" + inner + L"\\";
    window->ShowFolder(path);

    Names texts;
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        std::wstring prefix = path.substr(0, slash + 1);
        ASSERT_NE(Node(prefix), nullptr) << Narrow(prefix);
        EXPECT_EQ(Node(prefix + L"@"), nullptr) << Narrow(prefix) << " is not filled";
        texts.push_back(window->trvDir.ItemText(Node(prefix)));
    }
    EXPECT_EQ(texts, (Names{L"C:", L"mirdal-tests", L"browse", L"Deep", korea, inner}));
    EXPECT_EQ(window->trvDir.Selected(), Node(path));
    RECT shown{}, client = window->trvDir.ClientRect();
    ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), Node(path), &shown, TRUE));
    EXPECT_TRUE(shown.top >= 0 && shown.bottom <= client.bottom) << "the selected node is out of sight";
    EXPECT_EQ(::GetScrollPos(window->trvDir.Hwnd(), SB_HORZ), 0) << "the upper folders are cut off at the left";
    EXPECT_EQ(Sorted(FileNames()), Sorted({hangul, emoji}));
    EXPECT_EQ(window->FindFileRow(path + emoji), RowOf(emoji));
    EXPECT_WTEXT_EQ(path + L"|2", Status());

    // A folder that is not there stops the walk; the list stays as it was.
    EXPECT_THROW(window->ShowFolder(L"C:\\mirdal-tests\\browse\\Deep\\Missing\\Er\\"), platform::Failure);
    EXPECT_EQ(window->trvDir.Selected(), Node(deep));
    EXPECT_WTEXT_EQ(path + L"|2", Status());

    // Back to the top, the tree as the user sees it.
    window->ShowFolder(root.Path());
    HTREEITEM node = Node(folder);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ChildTexts(node), Names{L"@"});

    ClickTreeNode(window->trvDir, node, TVHT_ONITEMBUTTON);
    EXPECT_TRUE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(ChildTexts(node), (Names{L"Alpha", L"beta", L"Delta", L"gamma"}));
    EXPECT_EQ(ChildTexts(Node(folder + L"gamma\\")), Names{L"@"});
    EXPECT_TRUE(ChildTexts(Node(folder + L"beta\\")).empty()) << "a hidden folder needs no placeholder";

    // Each key goes where the focus is, as the keyboard's would. The list and the status bar agree on a
    // folder that cannot be listed.
    ClickTreeNode(window->trvDir, Node(folder + L"Alpha\\"), TVHT_ONITEMLABEL);
    RemoveTree(folder + L"Delta");
    for (auto [key, name, rows] : {std::tuple{VK_F24, L"Alpha", 0}, {VK_DOWN, L"beta", 1}, {VK_DOWN, L"Delta", 0}, {VK_UP, L"beta", 1}}) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 1);
        Pump();
        EXPECT_WTEXT_EQ(platform::UpperCase(folder + name + L"\\") + L"|" + std::to_wstring(rows), Status()) << "after " << Narrow(name);
        EXPECT_EQ(window->lsvFile.ItemCount(), rows);
    }
    EXPECT_EQ(::GetFocus(), window->trvDir.Hwnd());
    ASSERT_EQ(prompter.messages.size(), 1u) << "Delta cannot be listed";
    EXPECT_EQ(prompter.messages[0].title.find_first_not_of(L"0123456789"), std::wstring::npos) << "no error code as the title";

    // Collapsing chooses the node; its folder is listed under the node's key.
    root.Folder(L"exp\\late");
    ClickTreeNode(window->trvDir, node, TVHT_ONITEMBUTTON);
    EXPECT_FALSE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(window->trvDir.Selected(), node);
    EXPECT_WTEXT_EQ(platform::UpperCase(folder), window->pnlPath.Text());
    // Filled is final: a folder made since does not appear.
    ClickTreeNode(window->trvDir, node, TVHT_ONITEMBUTTON);
    EXPECT_EQ(ChildTexts(node), (Names{L"Alpha", L"beta", L"Delta", L"gamma"}));
}

// The tip of a row says what the file is without running it, and fits the buffer it is given.
TEST_F(BrowseTest, InfoTipIsReadAwayFromTheWindowAndTellsMachineEntriesTypeLibraryAndMissingLinks)
{
    CopyFixture(fixtures::kFixtureA.file, root.Path() + L"a.dll");
    CopyFixture(fixtures::kFixtureMissing, root.Path() + L"broken.dll");
    CopyFixture(fixtures::kFixtureChain, root.Path() + L"chain.dll");
    CopyFixture(fixtures::kFixtureMiddle, root.Path() + fixtures::kFixtureMiddle);
    CopyFixture(fixtures::kFixtureSxs, root.Path() + L"sxs.dll");
    CopyFixture(fixtures::kSxsDep, root.Path() + fixtures::kSxsDep);
    root.File(L"junk.ocx", 300);
    std::ofstream(std::filesystem::path(root.Path() + L"cut.dll"), std::ios::binary) << ReadBytes(FixturePath(fixtures::kFixtureA.file)).substr(0, 40960);
    window->SetFileListView(root.Path());

    // Read away from the window: until the facts are there the row's tip is its name and "調べています…".
    auto ask = [&](const wchar_t* row, int size) {
        std::wstring buffer(static_cast<size_t>(size) + 1, L'#');
        NMLVGETINFOTIPW info{{window->lsvFile.Hwnd(), IDC_LSVFILE, LVN_GETINFOTIPW}, LVGIT_UNFOLDED, buffer.data(), size, RowOf(row)};
        ::SendMessageW(window->Hwnd(), WM_NOTIFY, IDC_LSVFILE, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(buffer.back(), L'#');
        return std::wstring(buffer.c_str());
    };
    EXPECT_WTEXT_EQ(L"a.dll\r\n調べています…", ask(L"a.dll", INFOTIPSIZE));
    auto tip = [&](const wchar_t* row, int size) {
        std::wstring text = ask(row, size);
        for (int wait = 0; wait < 1000 && text.find(L"調べています…") != std::wstring::npos; ++wait)
            ::Sleep(10), Pump(), text = ask(row, size);
        return text;
    };
    const std::wstring machine = sizeof(void*) == 8 ? L"x64" : L"x86";
    std::wstring yes = Text(IDS_TIP_YES), server = Text(IDS_TIP_MACHINE) + machine + L"\r\nDllRegisterServer: " + yes +
        L"\r\nDllUnregisterServer: " + yes + L"\r\n" + Text(IDS_TIP_TYPELIB) + yes + L"\r\n" + Text(IDS_TIP_MISSING);
    EXPECT_WTEXT_EQ(server + Text(IDS_TIP_NO), tip(L"a.dll", INFOTIPSIZE));
    std::wstring missing = tip(L"broken.dll", INFOTIPSIZE);
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MISSING) + fixtures::kMissingDll, missing.substr(missing.rfind(Text(IDS_TIP_MISSING))));
    std::wstring chain = tip(L"chain.dll", INFOTIPSIZE);
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MISSING) + Text(IDS_TIP_NO) +
                        L"\r\n見つからない依存DLL: MirdalMissing.dll (chain.dll → FixtureMiddle.dll → MirdalMissing.dll)",
                    chain.substr(chain.rfind(Text(IDS_TIP_MISSING))));
    // The assembly its manifest asks for is missing; the older DLL beside it is not blamed.
    std::wstring sxs = tip(L"sxs.dll", INFOTIPSIZE);
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MISSING) + Text(IDS_TIP_NO) + L"\r\n見つからないアセンブリ: MirdalSxs 1.0.0.0",
                    sxs.substr(sxs.rfind(Text(IDS_TIP_MISSING))));
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MACHINE) + Text(IDS_TIP_NOT_PE), tip(L"junk.ocx", INFOTIPSIZE));
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MACHINE) + machine + L"\r\nファイルが壊れているか、途中で切れています。", tip(L"cut.dll", INFOTIPSIZE));
    EXPECT_WTEXT_EQ(server.substr(0, 9), tip(L"a.dll", 10));
}

// tests/unreadable-folder.sh runs this as a user who may not list the folder "locked" under the folder it
// names, as a normal user may not open some folders of System32; skipped when no such folder is named.
TEST_F(BrowseTest, AFolderThatCannotBeListedHoldsNoSubFoldersButChoosingItReportsTheFailure)
{
    wchar_t parent[MAX_PATH]{};
    if (!::GetEnvironmentVariableW(L"MIRDAL_UNREADABLE_PARENT", parent, MAX_PATH))
        GTEST_SKIP() << "no folder that cannot be listed";
    std::wstring locked = std::wstring(parent) + L"locked\\";
    // Started with the parent remembered: the tree fills its way there and looks into each sub-folder.
    Restart(L"", parent);
    EXPECT_TRUE(prompter.messages.empty()) << Narrow(prompter.messages.front().text);
    EXPECT_WTEXT_EQ(parent, window->pnlPath.Text());
    ASSERT_NE(Node(locked), nullptr);
    EXPECT_TRUE(ChildTexts(Node(locked)).empty());

    ClickTreeNode(window->trvDir, Node(locked), TVHT_ONITEMLABEL);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"5", prompter.messages[0].title); // access denied
}

} // namespace
