#include "app/pure/CommandTable.h"
#include "app/pure/PaneLayout.h"
#include <gtest/gtest.h>

using namespace commands;

TEST(CommandTable, FindsEachButtonByKeyAndByCommand)
{
    for (const ToolCommand& entry : ToolCommands) {
        EXPECT_EQ(FindByKey(entry.key), &entry);
        EXPECT_EQ(FindByCommand(entry.command), &entry);
    }
    EXPECT_EQ(FindByKey(L"reg"), nullptr) << "keys are case-sensitive";
    EXPECT_EQ(FindByCommand(IDM_F0), nullptr);
}

TEST(CommandTable, TheViewButtonCyclesTheFourStyles)
{
    EXPECT_EQ(NextViewStyle(3), 0);
    EXPECT_EQ(NextViewStyle(0), 1);
    EXPECT_EQ(NextViewStyle(4), std::nullopt);
    EXPECT_EQ(NextViewStyle(-1), std::nullopt);
}

TEST(PaneLayout, BarSizesScaleWithTheDpiAndTheBarGrowsWithItsButtons)
{
    EXPECT_EQ(layout::ScalePixels(layout::ToolButtonWidth, 144), 86); // 85.5: a half goes up, as MulDiv
    EXPECT_EQ(layout::ScalePixels(-3, 144), -5);                      // -4.5: away from zero
    EXPECT_EQ(layout::ToolBarHeight(192, 40), 74);
}
