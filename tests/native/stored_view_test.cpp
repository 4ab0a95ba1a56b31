#include "app/pure/StoredView.h"
#include <gtest/gtest.h>

TEST(ParseViewStyle, NearestWholeNumberFromZeroToThreeElseNone)
{
    EXPECT_EQ(ParseViewStyle(L"2.4"), 2);
    EXPECT_EQ(ParseViewStyle(L"3.5"), std::nullopt); // halves go to even: 4
    EXPECT_EQ(ParseViewStyle(L"-0.5 "), 0);
    for (const wchar_t* bad : {L"", L"abc", L"7", L"-7", L"nan", L"inf", L"-inf", L"1e300", L"-1e300", L"1x"})
        EXPECT_EQ(ParseViewStyle(bad), std::nullopt) << bad;
}
