#include "register/SelectedRowRun.h"
#include "platform/MessageLoop.h"
#include "platform/WaitCursor.h"
#include "register/pure/SelectedRows.h"

void ForEachSelectedFile(const platform::ListView& rows, LogWriter& log, const std::function<void(int)>& visit)
{
    auto pump = [&] {
        log.Show();
        platform::ProcessPendingEvents();
    };
    if (ForEachSelectedRow(rows, pump, visit) == RowWalk::RowGone)
        platform::ThrowFailure(ERROR_INVALID_INDEX);
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
