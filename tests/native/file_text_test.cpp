#include "browse/pure/FileText.h"
#include "platform/pure/MessageInserts.h"

#include <gtest/gtest.h>

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
