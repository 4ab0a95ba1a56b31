#include "register/SelectedRowRun.h"
#include "platform/MessageLoop.h"
#include "platform/WaitCursor.h"
#include "register/pure/SelectedRows.h"

namespace {

template <class Rows>
void ForEachSelected(const Rows& rows, LogWriter& log, const std::function<void(int)>& visit)
{
    auto pump = [&] {
        log.Show();
        platform::ProcessPendingEvents();
    };
    if (ForEachSelectedRow(rows, pump, visit) == RowWalk::RowGone)
        platform::ThrowFailure(ERROR_INVALID_INDEX);
}

// A fixed number of items, every one chosen.
struct AllItems {
    int count;
    int ItemCount() const { return count; }
    bool IsSelected(int) const { return true; }
};

} // namespace

void ForEachSelectedFile(const platform::ListView& rows, LogWriter& log, const std::function<void(int)>& visit)
{
    ForEachSelected(rows, log, visit);
}

void ForEachRunItem(int count, LogWriter& log, const std::function<void(int)>& visit)
{
    ForEachSelected(AllItems{count}, log, visit);
}

void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps)
{
    try {
        platform::WaitCursor wait;
        work();
        log.Flush();
    } catch (...) {
        // Whatever went wrong, the run ends through its final steps, or the window could not be closed.
        platform::Failure failure = platform::CurrentFailure();
        platform::IgnoringFailure([&] { log.Flush(); });
        report(failure);
    }
    finalSteps();
}
