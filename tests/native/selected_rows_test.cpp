#include "register/pure/SelectedRows.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Rows {
    std::vector<bool> selected;
    int ItemCount() const { return static_cast<int>(selected.size()); }
    bool IsSelected(int row) const { return selected[static_cast<size_t>(row)]; }
};

} // namespace

TEST(ForEachSelectedRow, SelectedRowsInListOrderAsTheyStandWhenReached)
{
    Rows rows{{true, false, false, true}};
    std::vector<int> visited;
    int pumped = 0;
    // Events between rows select row 2 and unselect row 3 before either is reached.
    auto pump = [&] {
        if (++pumped == 2)
            rows.selected = {true, false, true, false};
    };
    EXPECT_EQ(ForEachSelectedRow(rows, pump, [&](int row) { visited.push_back(row); }), RowWalk::Finished);
    EXPECT_EQ(visited, (std::vector<int>{0, 2}));
    EXPECT_EQ(pumped, 4);

    // Another folder with fewer rows opened during the walk: it stops at the first position gone.
    visited.clear();
    rows.selected = {true, true, true};
    EXPECT_EQ(ForEachSelectedRow(rows, [&] { if (visited.size() == 1) rows.selected = {true}; },
                                 [&](int row) { visited.push_back(row); }),
              RowWalk::RowGone);
    EXPECT_EQ(visited, std::vector<int>{0});
}
