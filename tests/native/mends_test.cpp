// Stored view texts, type-to-find in the file list and the batch files' code page conversion.
#include "app/pure/StoredView.h"
#include "browse/pure/FileText.h"
#include "register/pure/BatchText.h"
#include <gtest/gtest.h>

TEST(ParseViewStyle, NearestWholeNumberFromZeroToThreeElseNone)
{
    EXPECT_EQ(ParseViewStyle(L"1"), 1);
    EXPECT_EQ(ParseViewStyle(L"2.4"), 2);
    EXPECT_EQ(ParseViewStyle(L"3.5"), std::nullopt); // halves go to even: 4
    EXPECT_EQ(ParseViewStyle(L"-0.5 "), 0);
    for (const wchar_t* bad : {L"", L"abc", L"7", L"-7", L"nan", L"inf", L"-inf", L"1e300", L"-1e300", L"1x"})
        EXPECT_EQ(ParseViewStyle(bad), std::nullopt) << bad;
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

TEST(ExactConversion, UnderUtf8NoBestFitFlagNorDefaultCharQuestion)
{
    for (unsigned codePage : {932u, 1252u})
        EXPECT_EQ(std::pair(ExactConversion(codePage).flags, ExactConversion(codePage).askDefaultCharUsed),
                  std::pair(0x400ul, true)); // WC_NO_BEST_FIT_CHARS
    EXPECT_EQ(std::pair(ExactConversion(65001).flags, ExactConversion(65001).askDefaultCharUsed),
              std::pair(0x80ul, false)); // WC_ERR_INVALID_CHARS
}
