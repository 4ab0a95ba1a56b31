#pragma once
// The rows of a list that are selected when each is reached, in list order. Pending events run before
// each row and may replace the list (another folder opened): a position that has gone stops the walk.

enum class RowWalk { Finished, RowGone };

// Rows: ItemCount() and IsSelected(row); pump() before each row; visit(row) for each selected one.
template <class Rows, class Pump, class Visit>
RowWalk ForEachSelectedRow(const Rows& rows, Pump&& pump, Visit&& visit)
{
    const int count = rows.ItemCount();
    for (int i = 0; i < count; ++i) {
        pump();
        if (i >= rows.ItemCount())
            return RowWalk::RowGone;
        if (rows.IsSelected(i))
            visit(i);
    }
    return RowWalk::Finished;
}
