// The folder tree and the file list on the real window, over folders built under C:\mirdal-tests.
#include "TestSupport.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"
#include <commctrl.h>
#include <algorithm>
#include <source_location>

using namespace testing_support;

namespace {

using Where = std::source_location;

// Pictures of the tree's image list.
constexpr int FLD2 = 0, DRV = 1, FLD1 = 2;

::testing::ScopedTrace CalledFrom(const Where& where)
{
    return ::testing::ScopedTrace(where.file_name(), static_cast<int>(where.line()), "called from here");
}

std::wstring LocaleText(LCTYPE type)
{
    wchar_t buffer[16]{};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16);
    return buffer;
}

// Sets the time of last change to a local time, as the user would read it.
void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0}, utc{};
    FILETIME time{};
    ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && ::SystemTimeToFileTime(&utc, &time));
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
    ::CloseHandle(file);
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> texts)
{
    std::sort(texts.begin(), texts.end());
    return texts;
}

class BrowseTest : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder root{L"browse"};

    // ShowFolder, its failure told as such rather than as an unknown exception.
    void Show(const std::wstring& path, const Where& where = Where::current()) const
    {
        try {
            window->ShowFolder(path);
        } catch (const platform::Failure& failure) {
            auto trace = CalledFrom(where);
            ADD_FAILURE() << "ShowFolder failed: " << failure.Code() << " " << Narrow(failure.Description());
        }
    }
    HTREEITEM Node(const std::wstring& path) const { return window->FindNode(platform::UpperCase(path)); }
    std::vector<std::wstring> ChildTexts(HTREEITEM node) const
    {
        std::vector<std::wstring> texts;
        for (HTREEITEM child = window->trvDir.FirstChild(node); child; child = window->trvDir.NextSibling(child))
            texts.push_back(window->trvDir.ItemText(child));
        return texts;
    }
    int RowOf(const std::wstring& name) const
    {
        std::vector<std::wstring> names = FileNames();
        auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }
    // The row's texts as the control shows them, and its key.
    void ExpectRow(const std::wstring& folder, const std::wstring& name, const std::wstring& size,
                   const std::wstring& type, const Where& where = Where::current()) const
    {
        auto trace = CalledFrom(where);
        int row = RowOf(name);
        ASSERT_GE(row, 0) << Narrow(name) << " is not listed";
        EXPECT_WTEXT_EQ(size, window->lsvFile.ItemText(row, 1));
        EXPECT_WTEXT_EQ(type, window->lsvFile.ItemText(row, 2));
        EXPECT_WTEXT_EQ(folder + name, window->FileRowAt(row).key);
        EXPECT_EQ(window->FindFileRow(folder + name), row);
    }
    void ExpectOrder(const std::vector<std::wstring>& names, const std::vector<std::wstring>& selected,
                     const Where& where = Where::current()) const
    {
        auto trace = CalledFrom(where);
        std::wstring want, got, gotSelected, wantSelected;
        for (const auto& name : names)
            want += name + L" ";
        for (const auto& name : FileNames())
            got += name + L" ";
        for (int i = window->lsvFile.NextSelected(-1); i >= 0; i = window->lsvFile.NextSelected(i))
            gotSelected += FileNames()[static_cast<size_t>(i)] + L" ";
        for (const auto& name : selected)
            wantSelected += name + L" ";
        EXPECT_WTEXT_EQ(want, got);
        EXPECT_WTEXT_EQ(wantSelected, gotSelected);
        for (int i = 0; i < window->lsvFile.ItemCount(); ++i)
            EXPECT_EQ(window->FindFileRow(window->FileRowAt(i).key), i);
    }

    // Clicks at a point of the tree as the mouse would, the pointer included.
    void ClickTree(POINT point) const
    {
        POINT screen = point;
        ::ClientToScreen(window->trvDir.Hwnd(), &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(window->trvDir.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        ::PostMessageW(window->trvDir.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        Pump();
    }
    void ClickLabel(HTREEITEM node, const Where& where = Where::current()) const
    {
        auto trace = CalledFrom(where);
        window->trvDir.EnsureVisible(node);
        RECT rc{};
        ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), node, &rc, TRUE));
        ClickTree({(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
    }
    void ClickExpander(HTREEITEM node, const Where& where = Where::current()) const
    {
        auto trace = CalledFrom(where);
        window->trvDir.EnsureVisible(node);
        RECT rc{};
        ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), node, &rc, FALSE));
        TVHITTESTINFO hit{};
        for (hit.pt = {rc.left, (rc.top + rc.bottom) / 2}; hit.pt.x < rc.right; ++hit.pt.x) {
            if (TreeView_HitTest(window->trvDir.Hwnd(), &hit) == node && (hit.flags & TVHT_ONITEMBUTTON)) {
                ClickTree(hit.pt);
                return;
            }
        }
        FAIL() << "the node shows no expander";
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
    ExpectRow(root.Path(), L"a.dll", L"       512", L"DLL");
    ExpectRow(root.Path(), L"B.Dll", L"         0", L"DLL");
    ExpectRow(root.Path(), L"c.OCX", L"         0", L"OCX");
    ExpectRow(root.Path(), L".dll", L"         0", L"DLL");
    ExpectRow(root.Path(), L"h.dll", L"         1", L"DLL");
    ExpectRow(root.Path(), L"s.ocx", L"         2", L"OCX");
    ExpectRow(root.Path(), L"e.ocx", L"   1234567", L"OCX");
    std::wstring date = LocaleText(LOCALE_SDATE), time = LocaleText(LOCALE_STIME);
    EXPECT_WTEXT_EQ(L"2009" + date + L"12" + date + L"31 23" + time + L"59",
                    window->lsvFile.ItemText(RowOf(L"a.dll"), 3));
    EXPECT_WTEXT_EQ(L"2021" + date + L"03" + date + L"04 05" + time + L"06",
                    window->lsvFile.ItemText(RowOf(L"e.ocx"), 3));
    EXPECT_WTEXT_EQ(L"7", window->pnlFCount.Text());
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());
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

    window->lsvFile_ColumnClick(2);
    ExpectOrder({L"n3.dll", L"n1.dll", L"n4.dll", L"n2.dll"}, {L"n3.dll", L"n2.dll"});
    window->lsvFile_ColumnClick(2);
    ExpectOrder({L"n2.dll", L"n4.dll", L"n1.dll", L"n3.dll"}, {L"n2.dll", L"n3.dll"});
    window->lsvFile_ColumnClick(4);
    ExpectOrder({L"n2.dll", L"n1.dll", L"n4.dll", L"n3.dll"}, {L"n2.dll", L"n3.dll"});
    window->lsvFile_ColumnClick(4);
    ExpectOrder({L"n3.dll", L"n4.dll", L"n1.dll", L"n2.dll"}, {L"n3.dll", L"n2.dll"});
    window->lsvFile_ColumnClick(1);
    ExpectOrder({L"n4.dll", L"n3.dll", L"n2.dll", L"n1.dll"}, {L"n3.dll", L"n2.dll"});

    // A later listing keeps the order in which the folder lists, whatever was sorted before.
    ScratchFolder other{L"browse-other"};
    std::vector<std::wstring> listed;
    for (const wchar_t* name : {L"p.dll", L"q.dll", L"r.dll", L"s.dll", L"t.dll"})
        other.File(name, 1);
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((other.Path() + L"*.dll").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &entry))
        listed.push_back(entry.cFileName);
    ::FindClose(find);
    window->SetFileListView(other.Path());
    ExpectOrder(listed, {});
}

TEST_F(BrowseTest, TheCurrentFolderIsListedAgainOnlyWhenWrittenDifferently)
{
    root.File(L"one.dll");
    window->SetFileListView(root.Path());
    root.File(L"two.dll");
    window->SetFileListView(root.Path());
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"one.dll"});
    EXPECT_WTEXT_EQ(L"1", window->pnlFCount.Text());

    std::wstring upper = platform::UpperCase(root.Path());
    window->SetFileListView(upper);
    EXPECT_EQ(Sorted(FileNames()), Sorted({L"one.dll", L"two.dll"}));
    ExpectRow(upper, L"two.dll", L"         0", L"DLL");
    EXPECT_WTEXT_EQ(upper, window->pnlPath.Text());
    EXPECT_WTEXT_EQ(L"2", window->pnlFCount.Text());

    ScratchFolder empty{L"browse-empty"};
    empty.File(L"notes.txt");
    window->SetFileListView(empty.Path());
    EXPECT_TRUE(FileNames().empty());
    EXPECT_WTEXT_EQ(L"0", window->pnlFCount.Text());
    EXPECT_WTEXT_EQ(empty.Path(), window->pnlPath.Text());
}

TEST_F(BrowseTest, AFolderNamedAtIsNoPlaceholder)
{
    std::wstring at = root.Folder(L"at");
    root.Folder(L"at\\@");
    root.Folder(L"at\\@\\inner");
    Show(at);

    HTREEITEM folder = Node(at + L"@\\");
    ASSERT_NE(folder, nullptr);
    EXPECT_WTEXT_EQ(L"@", window->trvDir.ItemText(folder));
    EXPECT_EQ(Node(at + L"@"), nullptr);
    HTREEITEM placeholder = Node(at + L"@\\@");
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(window->trvDir.FirstChild(folder), placeholder);

    window->trvDir_Expand(folder);
    EXPECT_EQ(Node(at + L"@\\@"), nullptr);
    EXPECT_EQ(ChildTexts(folder), std::vector<std::wstring>{L"inner"});
    EXPECT_NE(Node(at + L"@\\inner\\"), nullptr);
}

TEST_F(BrowseTest, HiddenAndSystemFoldersNeverShow)
{
    std::wstring only = root.Folder(L"only");
    root.Folder(L"only\\h", FILE_ATTRIBUTE_HIDDEN);
    root.Folder(L"only\\s", FILE_ATTRIBUTE_SYSTEM);
    root.File(L"only\\file.dll");
    std::wstring mixed = root.Folder(L"mixed");
    root.Folder(L"mixed\\h", FILE_ATTRIBUTE_HIDDEN);
    root.Folder(L"mixed\\v");
    Show(root.Path());

    HTREEITEM onlyNode = Node(only);
    ASSERT_NE(onlyNode, nullptr);
    EXPECT_TRUE(ChildTexts(onlyNode).empty());
    EXPECT_EQ(ChildTexts(Node(mixed)), std::vector<std::wstring>{L"@"});
    window->trvDir_Expand(onlyNode);
    window->trvDir_Expand(Node(mixed));
    EXPECT_TRUE(ChildTexts(onlyNode).empty());
    EXPECT_EQ(ChildTexts(Node(mixed)), std::vector<std::wstring>{L"v"});
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
    Show(path);

    std::vector<std::wstring> texts;
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        std::wstring prefix = path.substr(0, slash + 1);
        HTREEITEM node = Node(prefix);
        ASSERT_NE(node, nullptr) << Narrow(prefix);
        EXPECT_EQ(Node(prefix + L"@"), nullptr) << Narrow(prefix) << " is not filled";
        texts.push_back(window->trvDir.ItemText(node));
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"C:", L"mirdal-tests", L"browse", L"Deep", L"Er", L"Folder"}));
    HTREEITEM last = Node(path);
    EXPECT_EQ(window->trvDir.Selected(), last);
    RECT shown{}, client = window->trvDir.ClientRect();
    ASSERT_TRUE(TreeView_GetItemRect(window->trvDir.Hwnd(), last, &shown, TRUE));
    EXPECT_TRUE(shown.top >= 0 && shown.bottom <= client.bottom) << "the selected node is out of sight";
    EXPECT_WTEXT_EQ(path, window->pnlPath.Text());
    ExpectRow(path, L"m.Dll", L"         0", L"DLL");

    // A folder that is not there stops the walk; the list stays as it was.
    EXPECT_THROW(window->ShowFolder(L"C:\\mirdal-tests\\browse\\Deep\\Missing\\Er\\"), platform::Failure);
    EXPECT_EQ(window->trvDir.Selected(), Node(deep));
    EXPECT_WTEXT_EQ(path, window->pnlPath.Text());
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"m.Dll"});
    EXPECT_THROW(window->ShowFolder(L"Q:\\"), platform::Failure);
}

TEST_F(BrowseTest, NamesOutsideTheJapaneseCodePageListAndKey)
{
    std::wstring korean = root.Folder(L"\ud55c\uad6d"); // 한국
    root.Folder(L"\ud55c\uad6d\\\ud3f4\ub354");      // 폴더
    const std::wstring hangul = L"\ud55c\uae00.dll", emoji = L"\U0001F600.ocx";
    root.File(L"\ud55c\uad6d\\" + hangul);
    root.File(L"\ud55c\uad6d\\" + emoji);
    Show(korean);

    HTREEITEM node = Node(korean);
    ASSERT_NE(node, nullptr);
    EXPECT_WTEXT_EQ(L"\ud55c\uad6d", window->trvDir.ItemText(node));
    EXPECT_EQ(ChildTexts(node), std::vector<std::wstring>{L"\ud3f4\ub354"});
    EXPECT_NE(Node(korean + L"\ud3f4\ub354\\"), nullptr);
    EXPECT_EQ(Sorted(FileNames()), Sorted({hangul, emoji}));
    ExpectRow(korean, hangul, L"         0", L"DLL");
    ExpectRow(korean, emoji, L"         0", L"OCX");
}

TEST_F(BrowseTest, AFolderThatCannotBeListedIsReportedOnceAndLeavesTheListEmpty)
{
    root.File(L"k.dll");
    std::wstring gone = root.Folder(L"gone");
    Show(root.Path());
    ASSERT_EQ(window->lsvFile.ItemCount(), 1);
    RemoveTree(gone);

    ClickLabel(Node(gone));
    ASSERT_EQ(prompter.messages.size(), 1u);
    const ShownMessage& shown = prompter.messages[0];
    EXPECT_EQ(shown.style & (MB_ICONMASK | MB_TYPEMASK), static_cast<UINT>(MB_ICONSTOP | MB_OK));
    EXPECT_FALSE(shown.text.empty());
    EXPECT_FALSE(shown.title.empty());
    EXPECT_EQ(shown.title.find_first_not_of(L"0123456789"), std::wstring::npos) << Narrow(shown.title);
    EXPECT_NE(shown.title, L"0");
    EXPECT_EQ(window->trvDir.Selected(), Node(gone));
    EXPECT_TRUE(window->trvDir.IsEnabled());
    EXPECT_FALSE(platform::WaitCursor::Active());
    EXPECT_EQ(window->lsvFile.ItemCount(), 0);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());
}

TEST_F(BrowseTest, UserExpansionFillsSortsAndPicturesTheNodesOnce)
{
    std::wstring folder = root.Folder(L"exp");
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"Delta", L"gamma\\sub"})
        root.Folder(std::wstring(L"exp\\") + name);
    Show(root.Path());
    HTREEITEM node = Node(folder);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ChildTexts(node), std::vector<std::wstring>{L"@"});

    int image = -1, selected = -1;
    window->trvDir.ItemImages(Node(L"C:\\"), image, selected);
    EXPECT_EQ(image, DRV);
    EXPECT_WTEXT_EQ(L"C:", window->trvDir.ItemText(Node(L"C:\\")));

    ClickExpander(node);
    EXPECT_TRUE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(ChildTexts(node), (std::vector<std::wstring>{L"Alpha", L"beta", L"Delta", L"gamma"}));
    EXPECT_EQ(Node(folder + L"@"), nullptr);
    for (HTREEITEM child = window->trvDir.FirstChild(node); child; child = window->trvDir.NextSibling(child)) {
        window->trvDir.ItemImages(child, image, selected);
        EXPECT_EQ(image, FLD1);
        EXPECT_EQ(selected, FLD2);
    }
    EXPECT_EQ(ChildTexts(Node(folder + L"gamma\\")), std::vector<std::wstring>{L"@"});
    EXPECT_TRUE(ChildTexts(Node(folder + L"beta\\")).empty());
    EXPECT_WTEXT_EQ(root.Path(), window->pnlPath.Text());

    // Collapsing chooses the node; its folder is listed under the node's key.
    root.Folder(L"exp\\late");
    ClickExpander(node);
    EXPECT_FALSE(window->trvDir.IsExpanded(node));
    EXPECT_EQ(window->trvDir.Selected(), node);
    EXPECT_WTEXT_EQ(platform::UpperCase(folder), window->pnlPath.Text());
    // Filled is final: a folder made since does not appear.
    ClickExpander(node);
    EXPECT_EQ(ChildTexts(node), (std::vector<std::wstring>{L"Alpha", L"beta", L"Delta", L"gamma"}));
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
