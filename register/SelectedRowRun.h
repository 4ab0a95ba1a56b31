#pragma once
// The run that registration, batch writing and undo share: the items taken as it starts (the files
// selected then, or a journal's entries), one after the other, with the window answering between them,
// ended through the caller's final steps whatever happens.
#include "platform/Failure.h"
#include "platform/MessageLoop.h"
#include "register/LogWriter.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Each item in turn, the log shown and the window's events processed before each.
template <class Item, class Visit>
void ForEachItem(const std::vector<Item>& items, LogWriter& log, Visit&& visit)
{
    for (const Item& item : items) {
        log.Show();
        platform::ProcessPendingEvents();
        visit(item);
    }
}

// The log's line for a file that is no longer where it was listed (deleted or renamed since), without
// its line end; nothing while it is there.
std::optional<std::wstring> GoneFileLine(const std::wstring& path);

// The work under the hourglass; whatever it throws, the log is flushed first, so that the line of the
// file that failed stands in it, and the failure is reported. The final steps run either way.
void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps);
