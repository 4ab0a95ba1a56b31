#include "app/pure/PaneLayout.h"
#include "app/pure/StoredView.h"
#include <gtest/gtest.h>

using namespace layout;

TEST(PaneLayout, RoundsHalvesToEvenAndDividesTowardZero)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(CentredOrigin(15, 0), 7);
    EXPECT_EQ(TwipsToPixels(2615, 144), 262);
}

// The window test places the panes of an even height; here the odd and the too small ones.
TEST(PaneLayout, AnOddHeightLeavesOneTwipAndNegativeSizesAreRefusedButThePanelStillMoves)
{
    EXPECT_EQ(ComputePaneLayout(7845, 600 + 390 + 4531, 555, 390).H2, 2265);
    PaneLayout p = ComputePaneLayout(3000, 600 + 390 - 4, 555, 390);
    EXPECT_FALSE(p.tree.valid);
    EXPECT_TRUE(p.result.valid);
    EXPECT_FALSE(ComputePaneLayout(3000, 600 + 390 - 3, 555, 390).tree.valid) << "-3 \\ 2 is -1";
    EXPECT_TRUE(ComputePaneLayout(3000, 600 + 390 - 1, 555, 390).tree.valid) << "-1 \\ 2 is 0";
    EXPECT_FALSE(ComputeResultPanel(1000, 200, 1300, 315).log.valid);
}

TEST(PaneLayout, BarSizesScaleWithTheDpiAndTheBarGrowsWithItsButtons)
{
    EXPECT_EQ(ScalePixels(ToolButtonWidth, 144), 86); // 85.5: a half goes up, as MulDiv
    EXPECT_EQ(ScalePixels(-3, 144), -5);              // -4.5: away from zero
    EXPECT_EQ(ToolBarHeight(192, 40), 74);
}

TEST(ParseViewStyle, NearestWholeNumberFromZeroToThreeElseNone)
{
    EXPECT_EQ(ParseViewStyle(L"2.4"), 2);
    EXPECT_EQ(ParseViewStyle(L"3.5"), std::nullopt); // halves go to even: 4
    EXPECT_EQ(ParseViewStyle(L"-0.5 "), 0);
    for (const wchar_t* bad : {L"", L"abc", L"7", L"-7", L"nan", L"inf", L"-inf", L"1e300", L"-1e300", L"1x"})
        EXPECT_EQ(ParseViewStyle(bad), std::nullopt) << bad;
}
