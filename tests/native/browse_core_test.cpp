#include "browse/pure/FileRows.h"
#include "browse/pure/FolderNodes.h"
#include "browse/pure/FolderRule.h"
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

TEST(FolderRule, AShownFolderIsADirectoryNeitherHiddenNorSystemNorADotEntry)
{
    using namespace folder_rule;
    EXPECT_TRUE(IsShownFolder(Directory, L"a"));
    EXPECT_TRUE(IsShownFolder(Directory | 0x1 | 0x20, L"..a")); // read-only, archive
    EXPECT_FALSE(IsShownFolder(Directory | Hidden, L"a"));
    EXPECT_FALSE(IsShownFolder(Directory | System, L"a"));
    EXPECT_FALSE(IsShownFolder(Directory, L"."));
    EXPECT_FALSE(IsShownFolder(Directory, L".."));
    EXPECT_FALSE(IsShownFolder(0x20, L"a.dll"));
    EXPECT_FALSE(IsFolder(Unreadable)); // counts as a file
}
