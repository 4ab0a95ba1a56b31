#include "app/pure/PaneLayout.h"
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

TEST(PaneLayout, SplitsTheClientAreaAsTheWindowPromises)
{
    PaneLayout p = ComputePaneLayout(7845, 5520, 555, 390);
    EXPECT_EQ(p.T, 600);
    EXPECT_EQ(p.tree.top + p.tree.height, 5130);
    EXPECT_EQ(p.files.left, 2615);
    EXPECT_EQ(p.files.width, 5230);
    EXPECT_EQ(p.libraries.top, 2865);
    EXPECT_EQ(p.result.top, 60);
    EXPECT_EQ(p.result.height, 5130);

    PaneLayout odd = ComputePaneLayout(7845, 600 + 390 + 4531, 555, 390);
    EXPECT_EQ(odd.H2, 2265) << "an odd height leaves one twip";
}

TEST(PaneLayout, NegativeSizesAreRefusedButThePanelStillMoves)
{
    PaneLayout p = ComputePaneLayout(3000, 600 + 390 - 4, 555, 390);
    EXPECT_FALSE(p.tree.valid);
    EXPECT_TRUE(p.result.valid);
    EXPECT_FALSE(ComputePaneLayout(3000, 600 + 390 - 3, 555, 390).tree.valid) << "-3 \\ 2 is -1";
    EXPECT_TRUE(ComputePaneLayout(3000, 600 + 390 - 1, 555, 390).tree.valid) << "-1 \\ 2 is 0";
}

TEST(PaneLayout, KeepsTheCloseButtonInTheTopRightCorner)
{
    ChildBox c = ComputeResultPanel(7845, 5130, 1300, 315);
    EXPECT_EQ(c.button.left, 6545);
    EXPECT_EQ(c.button.top, 0);
    EXPECT_EQ(c.log.top, 315);
    EXPECT_EQ(c.log.height, 4815);
    EXPECT_FALSE(ComputeResultPanel(1000, 200, 1300, 315).log.valid);
}

TEST(PaneLayout, BarSizesScaleWithTheDpiAndTheBarGrowsWithItsButtons)
{
    EXPECT_EQ(ScalePixels(ToolButtonWidth, 144), 86); // 85.5: a half goes up, as MulDiv
    EXPECT_EQ(ScalePixels(-3, 144), -5);              // -4.5: away from zero
    EXPECT_EQ(ToolBarHeight(192, 40), 74);
}
