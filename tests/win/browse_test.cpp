// The folder tree and the file list on the real window, over folders built under C:\mirdal-tests.
#include "TestSupport.h"
#include "platform/Failure.h"
#include "platform/Module.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"
#include "app/Texts.h"
#include "app/resource.h"
#include <commctrl.h>
#include "platform/UniqueHandle.h"

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

// Pictures of the tree's image list.
constexpr int FLD2 = 0, DRV = 1, FLD1 = 2;

// Sets the time of last change to a local time, as the user would read it.
void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0}, utc{};
    FILETIME time{};
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && ::SystemTimeToFileTime(&utc, &time));
    platform::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
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
    // The row's size and type as the control shows them; its key, and the row found by the key, checked too.
    std::wstring Row(const std::wstring& folder, const std::wstring& name) const
    {
        int row = RowOf(name);
        if (row < 0)
            return name + L" is not listed";
        EXPECT_WTEXT_EQ(folder + name, window->FileRowAt(row).key);
        EXPECT_EQ(window->FindFileRow(folder + name), row);
        return window->lsvFile.ItemText(row, 1) + L"|" + window->lsvFile.ItemText(row, 2);
    }
    // The rows' names, then the selected ones; every row is found again by its key.
    std::wstring Order() const
    {
        std::wstring text;
        for (const auto& name : FileNames())
            text += name + L" ";
        text += L"/";
        for (int row : SelectedRows())
            text += L" " + FileNames()[static_cast<size_t>(row)];
        for (int i = 0; i < window->lsvFile.ItemCount(); ++i)
            EXPECT_EQ(window->FindFileRow(window->FileRowAt(i).key), i);
        return text;
    }
    // Clicks the node's label or expander (TVHT_ONITEMLABEL, TVHT_ONITEMBUTTON) as the mouse would, the pointer included.
    void Click(HTREEITEM node, UINT part) const
    {
        HWND tree = window->trvDir.Hwnd();
        window->trvDir.EnsureVisible(node);
        RECT rc{};
        ASSERT_TRUE(TreeView_GetItemRect(tree, node, &rc, FALSE));
        TVHITTESTINFO hit{};
        for (hit.pt = {rc.left, (rc.top + rc.bottom) / 2}; hit.pt.x < rc.right; ++hit.pt.x) {
            if (TreeView_HitTest(tree, &hit) != node || !(hit.flags & part))
                continue;
            POINT screen = hit.pt;
            ::ClientToScreen(tree, &screen);
            ::SetCursorPos(screen.x, screen.y);
            ::PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
            ::PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
            return Pump();
        }
        FAIL() << "the node shows no such part";
    }
};

TEST_F(BrowseTest, ListsDllAndOcxFilesOfAnyCaseAndAttributeWithSizeTypeAndDate)
{
    for (const wchar_t* name : {L"B.Dll", L"c.OCX", L".dll", L"x.ocx.bak", L"readme", L"d.dll.txt"})
        root.File(name);
    root.File(L"h.dll", 1, FILE_ATTRIBUTE_HIDDEN);
    root.File(L"s.ocx", 2, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    root.Folder(L"lib.dll");
    SetLocalWriteTime(root.File(L"a.dll", 512), 2009, 12, 31, 23, 59, 59);
    SetLocalWriteTime(root.File(L"e.ocx", 1234567), 2021, 3, 4, 5, 6, 0);
    window->SetFileListView(root.Path());

    EXPECT_EQ(Sorted(FileNames()), Sorted({L"a.dll", L"B.Dll", L"c.OCX", L".dll", L"h.dll", L"s.ocx", L"e.ocx"}));
    for (const auto& [name, row] : {std::pair{L"a.dll", L"       512|DLL"}, {L"B.Dll", L"         0|DLL"}, {L"c.OCX", L"         0|OCX"},
                                    {L".dll", L"         0|DLL"}, {L"h.dll", L"         1|DLL"}, {L"s.ocx", L"         2|OCX"},
                                    {L"e.ocx", L"   1234567|OCX"}})
        EXPECT_WTEXT_EQ(row, Row(root.Path(), name));
    wchar_t separators[2][16]{};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDATE, separators[0], 16);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, separators[1], 16);
    const std::wstring date = separators[0], time = separators[1];
    EXPECT_WTEXT_EQ(L"2009" + date + L"12" + date + L"31 23" + time + L"59", window->lsvFile.ItemText(RowOf(L"a.dll"), 3));
    EXPECT_WTEXT_EQ(L"2021" + date + L"03" + date + L"04 05" + time + L"06", window->lsvFile.ItemText(RowOf(L"e.ocx"), 3));
    EXPECT_WTEXT_EQ(root.Path() + L"|7", Status());
    EXPECT_TRUE(window->trvDir.IsEnabled());
    EXPECT_FALSE(platform::WaitCursor::Active());
}

TEST_F(BrowseTest, ColumnClickSortsBySizeOrDateFlippingTheOrderAndKeepsTheSelection)
{
    // Name, size and date orders all differ.
    SetLocalWriteTime(root.File(L"n1.dll", 300), 2015, 6, 1, 12, 0, 0);
    SetLocalWriteTime(root.File(L"n2.dll", 5), 2020, 1, 1, 0, 0, 0);
    SetLocalWriteTime(root.File(L"n3.dll", 2000), 2001, 9, 9, 9, 9, 0);
    SetLocalWriteTime(root.File(L"n4.dll", 40), 2015, 6, 1, 9, 30, 0);
    window->SetFileListView(root.Path());
    SelectRows({RowOf(L"n2.dll"), RowOf(L"n3.dll")});

    for (const auto& [column, order] : {std::pair{2, L"n3.dll n1.dll n4.dll n2.dll / n3.dll n2.dll"},
                                        {2, L"n2.dll n4.dll n1.dll n3.dll / n2.dll n3.dll"},
                                        {4, L"n2.dll n1.dll n4.dll n3.dll / n2.dll n3.dll"},
                                        {4, L"n3.dll n4.dll n1.dll n2.dll / n3.dll n2.dll"},
                                        {1, L"n4.dll n3.dll n2.dll n1.dll / n3.dll n2.dll"}}) {
        window->lsvFile_ColumnClick(column);
        EXPECT_WTEXT_EQ(order, Order()) << "after a click on column " << column;
    }

    // A later listing keeps the order in which the folder lists, whatever was sorted before.
    ScratchFolder other{L"browse-other"};
    for (const wchar_t* name : {L"p.dll", L"q.dll", L"r.dll", L"s.dll", L"t.dll"})
        other.File(name, 1);
    std::wstring listed;
    WIN32_FIND_DATAW entry;
    platform::UniqueFind find(::FindFirstFileW((other.Path() + L"*.dll").c_str(), &entry));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &entry))
        listed += entry.cFileName + std::wstring(L" ");
    window->SetFileListView(other.Path());
    EXPECT_WTEXT_EQ(listed + L"/", Order());
}

TEST_F(BrowseTest, TheCurrentFolderIsListedAgainOnlyWhenWrittenDifferently)
{
    root.File(L"one.dll");
    window->SetFileListView(root.Path());
    root.File(L"two.dll");
    window->SetFileListView(root.Path());
    EXPECT_EQ(FileNames(), Names{L"one.dll"});
    EXPECT_WTEXT_EQ(root.Path() + L"|1", Status());

    std::wstring upper = platform::UpperCase(root.Path());
    window->SetFileListView(upper);
    EXPECT_EQ(Sorted(FileNames()), Sorted({L"one.dll", L"two.dll"}));
    EXPECT_WTEXT_EQ(L"         0|DLL", Row(upper, L"two.dll"));
    EXPECT_WTEXT_EQ(upper + L"|2", Status());

    ScratchFolder empty{L"browse-empty"};
    empty.File(L"notes.txt");
    window->SetFileListView(empty.Path());
    EXPECT_TRUE(FileNames().empty());
    EXPECT_WTEXT_EQ(empty.Path() + L"|0", Status());
}

TEST_F(BrowseTest, AFolderNamedAtIsNoPlaceholder)
{
    std::wstring at = root.Folder(L"at");
    root.Folder(L"at\\@"), root.Folder(L"at\\@\\inner");
    window->ShowFolder(at);

    HTREEITEM folder = Node(at + L"@\\");
    ASSERT_NE(folder, nullptr);
    EXPECT_WTEXT_EQ(L"@", window->trvDir.ItemText(folder));
    EXPECT_EQ(Node(at + L"@"), nullptr);
    ASSERT_NE(Node(at + L"@\\@"), nullptr);
    EXPECT_EQ(window->trvDir.FirstChild(folder), Node(at + L"@\\@"));

    window->trvDir_Expand(folder);
    EXPECT_EQ(Node(at + L"@\\@"), nullptr);
    EXPECT_EQ(ChildTexts(folder), Names{L"inner"});
    EXPECT_NE(Node(at + L"@\\inner\\"), nullptr);
}

TEST_F(BrowseTest, HiddenAndSystemFoldersNeverShow)
{
    std::wstring only = root.Folder(L"only"), mixed = root.Folder(L"mixed");
    for (const auto& [name, attributes] : {std::pair{L"only\\h", FILE_ATTRIBUTE_HIDDEN}, {L"only\\s", FILE_ATTRIBUTE_SYSTEM},
                                           {L"mixed\\h", FILE_ATTRIBUTE_HIDDEN}, {L"mixed\\v", 0ul}})
        root.Folder(name, attributes);
    root.File(L"only\\file.dll");
    window->ShowFolder(root.Path());

    HTREEITEM onlyNode = Node(only);
    ASSERT_NE(onlyNode, nullptr);
    EXPECT_TRUE(ChildTexts(onlyNode).empty());
    EXPECT_EQ(ChildTexts(Node(mixed)), Names{L"@"});
    window->trvDir_Expand(onlyNode);
    window->trvDir_Expand(Node(mixed));
    EXPECT_TRUE(ChildTexts(onlyNode).empty());
    EXPECT_EQ(ChildTexts(Node(mixed)), Names{L"v"});
    EXPECT_EQ(Node(only + L"h\\"), nullptr);
    EXPECT_THROW(window->ShowFolder(only + L"h\\"), platform::Failure);
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());
}

TEST_F(BrowseTest, ShowFolderOpensEachFolderOnThePathAndListsThePathAsWritten)
{
    std::wstring deep = root.Folder(L"Deep");
    for (const wchar_t* name : {L"Deep\\Er", L"Deep\\Er\\Folder", L"Deep\\Other"})
        root.Folder(name);
    root.File(L"Deep\\Er\\Folder\\m.Dll");
    std::wstring path = L"c:\\MIRDAL-tests\\Browse\\dEEP\\eR\\folder\\";
    window->ShowFolder(path);

    Names texts;
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        std::wstring prefix = path.substr(0, slash + 1);
        HTREEITEM node = Node(prefix);
        ASSERT_NE(node, nullptr) << Narrow(prefix);
        EXPECT_EQ(Node(prefix + L"@"), nullptr) << Narrow(prefix) << " is not filled";
        texts.push_back(window->trvDir.ItemText(node));
    }
    EXPECT_EQ(texts, (Names{L"C:", L"mirdal-tests", L"browse", L"Deep", L"Er", L"Folder"}));
    HTREEITEM last = Node(path);
    EXPECT_EQ(window->trvDir.Selected(), last);
    RECT shown{}, client = window->trvDir.ClientRect();
    ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), last, &shown, TRUE));
    EXPECT_TRUE(shown.top >= 0 && shown.bottom <= client.bottom) << "the selected node is out of sight";
    EXPECT_WTEXT_EQ(path, window->pnlPath.Text());
    EXPECT_WTEXT_EQ(L"         0|DLL", Row(path, L"m.Dll"));

    // A folder that is not there stops the walk; the list stays as it was.
    EXPECT_THROW(window->ShowFolder(L"C:\\mirdal-tests\\browse\\Deep\\Missing\\Er\\"), platform::Failure);
    EXPECT_EQ(window->trvDir.Selected(), Node(deep));
    EXPECT_WTEXT_EQ(path, window->pnlPath.Text());
    EXPECT_EQ(FileNames(), Names{L"m.Dll"});
    EXPECT_THROW(window->ShowFolder(L"Q:\\"), platform::Failure);
}

TEST_F(BrowseTest, NamesOutsideTheJapaneseCodePageListAndKey)
{
    std::wstring korean = root.Folder(L"\ud55c\uad6d"); // 한국
    root.Folder(L"\ud55c\uad6d\\\ud3f4\ub354");      // 폴더
    const std::wstring hangul = L"\ud55c\uae00.dll", emoji = L"\U0001F600.ocx";
    root.File(L"\ud55c\uad6d\\" + hangul), root.File(L"\ud55c\uad6d\\" + emoji);
    window->ShowFolder(korean);

    HTREEITEM node = Node(korean);
    ASSERT_NE(node, nullptr);
    EXPECT_WTEXT_EQ(L"\ud55c\uad6d", window->trvDir.ItemText(node));
    EXPECT_EQ(ChildTexts(node), Names{L"\ud3f4\ub354"});
    EXPECT_NE(Node(korean + L"\ud3f4\ub354\\"), nullptr);
    EXPECT_EQ(Sorted(FileNames()), Sorted({hangul, emoji}));
    EXPECT_WTEXT_EQ(L"         0|DLL", Row(korean, hangul));
    EXPECT_WTEXT_EQ(L"         0|OCX", Row(korean, emoji));
}

TEST_F(BrowseTest, AFolderThatCannotBeListedIsReportedOnceAndLeavesTheListEmpty)
{
    root.File(L"k.dll");
    std::wstring gone = root.Folder(L"gone");
    window->ShowFolder(root.Path());
    ASSERT_EQ(window->lsvFile.ItemCount(), 1);
    RemoveTree(gone);

    Click(Node(gone), TVHT_ONITEMLABEL);
    ASSERT_EQ(prompter.messages.size(), 1u);
    const ShownMessage& shown = prompter.messages[0];
    EXPECT_EQ(shown.style & (MB_ICONMASK | MB_TYPEMASK), static_cast<UINT>(MB_ICONSTOP | MB_OK));
    EXPECT_FALSE(shown.text.empty());
    EXPECT_TRUE(!shown.title.empty() && shown.title.find_first_not_of(L"0123456789") == std::wstring::npos && shown.title != L"0")
        << "the title is no error code: " << Narrow(shown.title);
    EXPECT_EQ(window->trvDir.Selected(), Node(gone));
    EXPECT_TRUE(window->trvDir.IsEnabled());
    EXPECT_FALSE(platform::WaitCursor::Active());
    EXPECT_EQ(window->lsvFile.ItemCount(), 0);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());
    // A listing cut short leaves no current folder: the folder named in the panel lists again when chosen.
    window->ShowFolder(root.Path());
    EXPECT_EQ(window->lsvFile.ItemCount(), 1);
}

TEST_F(BrowseTest, UserExpansionFillsSortsAndPicturesTheNodesOnce)
{
    std::wstring folder = root.Folder(L"exp");
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"Delta", L"gamma\\sub"})
        root.Folder(std::wstring(L"exp\\") + name);
    window->ShowFolder(root.Path());
    HTREEITEM node = Node(folder);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ChildTexts(node), Names{L"@"});

    int image = -1, selected = -1;
    window->trvDir.ItemImages(Node(L"C:\\"), image, selected);
    EXPECT_EQ(image, DRV);
    EXPECT_WTEXT_EQ(L"C:", window->trvDir.ItemText(Node(L"C:\\")));

    Click(node, TVHT_ONITEMBUTTON);
    EXPECT_TRUE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(ChildTexts(node), (Names{L"Alpha", L"beta", L"Delta", L"gamma"}));
    EXPECT_EQ(Node(folder + L"@"), nullptr);
    for (HTREEITEM child = window->trvDir.FirstChild(node); child; child = window->trvDir.NextSibling(child)) {
        window->trvDir.ItemImages(child, image, selected);
        EXPECT_EQ(std::pair(image, selected), std::pair(FLD1, FLD2));
    }
    EXPECT_EQ(ChildTexts(Node(folder + L"gamma\\")), Names{L"@"});
    EXPECT_TRUE(ChildTexts(Node(folder + L"beta\\")).empty());
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());

    // Collapsing chooses the node; its folder is listed under the node's key.
    root.Folder(L"exp\\late");
    Click(node, TVHT_ONITEMBUTTON);
    EXPECT_FALSE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(window->trvDir.Selected(), node);
    EXPECT_WTEXT_EQ(platform::UpperCase(folder), window->pnlPath.Text());
    // Filled is final: a folder made since does not appear.
    Click(node, TVHT_ONITEMBUTTON);
    EXPECT_EQ(ChildTexts(node), (Names{L"Alpha", L"beta", L"Delta", L"gamma"}));
    EXPECT_TRUE(prompter.messages.empty());
}

// The tip of a row says what the file is without running it, and fits the buffer it is given.
TEST_F(BrowseTest, InfoTipTellsMachineEntriesTypeLibraryAndMissingDlls)
{
    CopyFixture(fixtures::kFixtureA.file, root.Path() + L"a.dll");
    std::string bytes = ReadBytes(root.Path() + L"a.dll");
    size_t name = bytes.find("OLEAUT32.dll");
    ASSERT_NE(name, std::string::npos);
    bytes.replace(name, 8, "OLEAUT99");
    platform::UniqueFile file(::CreateFileW((root.Path() + L"broken.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    file.reset();
    root.File(L"junk.ocx", 300);
    window->SetFileListView(root.Path());

    auto tip = [&](const wchar_t* row, int size) {
        std::wstring buffer(static_cast<size_t>(size) + 1, L'#');
        NMLVGETINFOTIPW info{{window->lsvFile.Hwnd(), IDC_LSVFILE, LVN_GETINFOTIPW}, LVGIT_UNFOLDED, buffer.data(), size, RowOf(row)};
        ::SendMessageW(window->Hwnd(), WM_NOTIFY, IDC_LSVFILE, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(buffer.back(), L'#');
        return std::wstring(buffer.c_str());
    };
    std::wstring yes = Text(IDS_TIP_YES), server = Text(IDS_TIP_MACHINE) + L"x64\r\nDllRegisterServer: " + yes +
        L"\r\nDllUnregisterServer: " + yes + L"\r\n" + Text(IDS_TIP_TYPELIB) + yes + L"\r\n" + Text(IDS_TIP_MISSING);
    EXPECT_WTEXT_EQ(server + Text(IDS_TIP_NO), tip(L"a.dll", INFOTIPSIZE));
    EXPECT_WTEXT_EQ(server + L"OLEAUT99.dll", tip(L"broken.dll", INFOTIPSIZE));
    EXPECT_WTEXT_EQ(Text(IDS_TIP_MACHINE) + Text(IDS_TIP_NOT_PE), tip(L"junk.ocx", INFOTIPSIZE));
    EXPECT_WTEXT_EQ(server.substr(0, 9), tip(L"a.dll", 10));
}

} // namespace

namespace {

TEST_F(BrowseTest, KeysMoveThroughTheTreeListingEachFolderAndTheFocusStays)
{
    std::wstring keys = root.Folder(L"keys");
    for (const wchar_t* name : {L"k1", L"k2", L"k3"})
        root.Folder(std::wstring(L"keys\\") + name);
    window->ShowFolder(keys);
    Names children = ChildTexts(Node(keys));
    ASSERT_EQ(children.size(), 3u);
    Click(Node(keys + children[0] + L"\\"), TVHT_ONITEMLABEL);
    EXPECT_WTEXT_EQ(platform::UpperCase(keys + children[0] + L"\\"), window->pnlPath.Text());
    // Each key goes where the focus is, as the keyboard's would.
    for (auto [key, child] : {std::pair{VK_DOWN, 1}, {VK_DOWN, 2}, {VK_UP, 1}}) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 1);
        Pump();
        EXPECT_WTEXT_EQ(platform::UpperCase(keys + children[static_cast<size_t>(child)] + L"\\"), window->pnlPath.Text());
    }
    EXPECT_EQ(::GetFocus(), window->trvDir.Hwnd());
}

TEST_F(BrowseTest, TypingTheFirstLettersOfANameSelectsItsRow)
{
    for (const wchar_t* name : {L"alpha.dll", L"Beta.dll", L"bravo.ocx", L"charlie.dll"})
        root.File(name);
    window->ShowFolder(root.Path());
    window->lsvFile.Focus();
    for (wchar_t c : std::wstring(L"bR"))
        ::PostMessageW(window->lsvFile.Hwnd(), WM_CHAR, c, 1);
    Pump();
    EXPECT_EQ(SelectedRows(), std::vector<int>{RowOf(L"bravo.ocx")});
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
    ::DestroyWindow(window->Hwnd());
    Pump();
    platform::SaveSetting(platform::ExecutableBaseName(), L"frmMirdal", L"Path", parent);
    window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(prompter.messages.empty()) << Narrow(prompter.messages.front().text);
    EXPECT_WTEXT_EQ(parent, window->pnlPath.Text());
    ASSERT_NE(Node(locked), nullptr);
    EXPECT_TRUE(ChildTexts(Node(locked)).empty());

    Click(Node(locked), TVHT_ONITEMLABEL);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"5", prompter.messages[0].title); // access denied
}

} // namespace
