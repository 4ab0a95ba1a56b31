#include "browse/pure/FileRows.h"
#include "browse/pure/FileText.h"
#include "browse/pure/FolderNodes.h"
#include "browse/pure/FolderRule.h"
#include "browse/pure/TipQueue.h"
#include "platform/pure/MessageInserts.h"
#include <gtest/gtest.h>

namespace {

std::wstring Names(const FileRows& rows)
{
    std::wstring text;
    for (const FileRow& row : rows)
        text += row.name + L" ";
    return text;
}

} // namespace

TEST(FileRows, SortByAColumnIsStableReturnsTheOldPositionsAndKeepsTheKeyIndex)
{
    FileRows rows;
    // Name, size and date orders all differ; n1 and n4 share a day, n2 and n4 a type.
    rows.Add({L"c:\\f\\n1.dll", L"n1.dll", L"       300", L"DLL", L"2015/06/01 12:00"});
    rows.Add({L"c:\\f\\n2.dll", L"n2.dll", L"         5", L"OCX", L"2020/01/01 00:00"});
    rows.Add({L"c:\\f\\n3.dll", L"n3.dll", L"      2000", L"DLL", L"2001/09/09 09:09"});
    rows.Add({L"c:\\f\\n4.dll", L"n4.dll", L"        40", L"OCX", L"2015/06/01 09:30"});
    auto compare = [](const std::wstring& a, const std::wstring& b) { return a.compare(b); };

    EXPECT_EQ(rows.SortBy(1, true, compare), (std::vector<size_t>{2, 0, 3, 1}));
    EXPECT_EQ(Names(rows), L"n3.dll n1.dll n4.dll n2.dll ");
    rows.SortBy(3, false, compare);
    EXPECT_EQ(Names(rows), L"n3.dll n4.dll n1.dll n2.dll ");
    rows.SortBy(2, true, compare); // equal types keep their order
    EXPECT_EQ(Names(rows), L"n4.dll n2.dll n3.dll n1.dll ");
    EXPECT_EQ(rows.SortBy(0, true, compare), (std::vector<size_t>{0, 2, 1, 3}));
    EXPECT_EQ(Names(rows), L"n4.dll n3.dll n2.dll n1.dll ");
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows.Find(rows[i].key), static_cast<int>(i));
    EXPECT_EQ(rows.Find(L"c:\\f\\N1.DLL"), -1); // a key is the path as listed
    rows.Clear();
    EXPECT_EQ(rows.Find(L"c:\\f\\n1.dll"), -1);
}

TEST(FolderNodes, APlaceholderIsNeverAFolderNamedAt)
{
    FolderNodes<int> nodes;
    nodes.Add(L"C:\\AT\\@\\", 1);
    nodes.Add(FolderNodes<int>::PlaceholderKey(L"C:\\AT\\"), 2);
    nodes.Add(FolderNodes<int>::PlaceholderKey(L"C:\\AT\\@\\"), 3);
    EXPECT_EQ(nodes.KeyOf(2), L"C:\\AT\\@");
    nodes.Remove(FolderNodes<int>::PlaceholderKey(L"C:\\AT\\"));
    EXPECT_EQ(nodes.Find(L"C:\\AT\\@"), 0);
    EXPECT_EQ(nodes.KeyOf(2), L"");
    EXPECT_EQ(nodes.Find(L"C:\\AT\\@\\"), 1);
    EXPECT_EQ(nodes.Find(L"C:\\AT\\@\\@"), 3);
}

// The browse test lists hidden, system and dot entries; here the names and entries it does not make.
TEST(FolderRule, ANameBeginningWithDotsIsShownAndAnUnreadableEntryIsNoFolder)
{
    EXPECT_TRUE(folder_rule::IsShownFolder(folder_rule::Directory | 0x1 | 0x20, L"..a")); // read-only, archive
    EXPECT_FALSE(folder_rule::IsFolder(folder_rule::Unreadable));
}

TEST(GetExtension, TakesTheTextAfterTheLastDotOfTheLastComponent)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"a.dll", L"dll"}, {L"x.ocx.bak", L"bak"}, {L".dll", L"dll"}, {L"name.", L""}, {L"readme", L""},
        {L"C:\\dir.ocx\\readme", L""},          // a dot in a folder name does not count
        {L"C:/dir.ocx/readme", L"ocx/readme"}}; // only "\" separates
    for (auto [path, extension] : cases)
        EXPECT_EQ(GetExtension(path), extension) << path;
}

TEST(ListedExtension, OnlyDllAndOcxInAsciiUpperCase)
{
    EXPECT_TRUE(IsListedExtension(UpperAscii(L"dLl")));
    EXPECT_TRUE(IsListedExtension(UpperAscii(L"ocx")));
    EXPECT_FALSE(IsListedExtension(UpperAscii(L"dll ")));
    EXPECT_FALSE(IsListedExtension(UpperAscii(L"\uff44\uff4c\uff4c"))); // full-width "dll"
    EXPECT_EQ(UpperAscii(L"\u00e9x\u0131"), L"\u00e9X\u0131"); // letters beyond ASCII stay as they are
}

TEST(FormatFileSize, RightAlignsInTenCharactersAndNeverCuts)
{
    EXPECT_EQ(FormatFileSize(0), L"         0");
    EXPECT_EQ(FormatFileSize(999999999), L" 999999999");
    EXPECT_EQ(FormatFileSize(4294967296ull), L"4294967296");
    EXPECT_EQ(FormatFileSize(12345678901ull), L"12345678901");
}

TEST(FormatFileDate, FixedWidthFieldsWithTheLocaleSeparators)
{
    EXPECT_EQ(FormatFileDate(2021, 3, 4, 0, 5, L"/", L":"), L"2021/03/04 00:05");
    EXPECT_EQ(FormatFileDate(999, 1, 1, 0, 0, L"/", L":"), L"0999/01/01 00:00");
    EXPECT_EQ(FormatFileDate(30827, 12, 31, 23, 59, L"/", L":"), L"30827/12/31 23:59");
    EXPECT_EQ(FormatFileDate(2024, 2, 29, 12, 0, L"\u5e74", L"\u6642\u5206"), L"2024\u5e7402\u5e7429 12\u6642\u520600");
}

TEST(FindRowByName, FirstNameFromTheStartBeginningWithTheTextIgnoringCaseAndWrapping)
{
    std::vector<FileRow> rows;
    for (const wchar_t* name : {L"alpha.dll", L"Beta.dll", L"beta2.ocx", L"\uff21\uff22.dll", L"bravo.dll"})
        rows.push_back({L"", name});
    EXPECT_EQ(FindRowByName(rows, L"B", 0, true, true), 1);
    EXPECT_EQ(FindRowByName(rows, L"b", 2, true, true), 2);
    EXPECT_EQ(FindRowByName(rows, L"BR", 0, true, true), 4);
    EXPECT_EQ(FindRowByName(rows, L"al", 1, true, true), 0);   // from the top again
    EXPECT_EQ(FindRowByName(rows, L"al", 1, true, false), -1); // unless told not to
    EXPECT_EQ(FindRowByName(rows, L"\uff41", 0, true, true), 3); // full-width letters too
    EXPECT_EQ(FindRowByName(rows, L"beta", 0, false, true), -1);
    EXPECT_EQ(FindRowByName(rows, L"BETA.DLL", 9, false, true), 1);
    EXPECT_EQ(FindRowByName({}, L"a", 0, true, true), -1);
}

TEST(MessageInserts, InsertsTakeThePathOrGoWithTheirSpacing)
{
    EXPECT_EQ(FillInserts(L"%1 is not a valid Win32 application.", L"C:\\a b.dll"), L"C:\\a b.dll is not a valid Win32 application.");
    EXPECT_EQ(FillInserts(L"%1 is not a valid Win32 application.", L""), L"is not a valid Win32 application.");
    EXPECT_EQ(FillInserts(L"Copy %1!s! to %2 at 100%", L"x"), L"Copy x to x at 100%");
    EXPECT_EQ(FillInserts(L"Drive %0 and %a stay; %12 goes", L""), L"Drive %0 and %a stay; goes");
}

// The row under the pointer first: a row asked for again moves to the front, the oldest beyond the capacity go.
TEST(TipQueue, TheNewestFirstOnceEachAndTheOldestDropped)
{
    TipQueue queue(3);
    for (const wchar_t* path : {L"a", L"b", L"c", L"b", L"d", L"e"})
        queue.Ask(path);
    std::wstring order;
    while (std::optional<std::wstring> next = queue.Next())
        order += *next;
    EXPECT_EQ(order, L"edb");
    EXPECT_TRUE(queue.Empty());
    queue.Ask(L"x");
    queue.Clear();
    EXPECT_EQ(queue.Next(), std::nullopt);
}
