#include "app/pure/CommandTable.h"
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
