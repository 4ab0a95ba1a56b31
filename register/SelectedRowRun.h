#pragma once
// The run that registration and batch writing share: the selected rows of the file list, one after the
// other, with the window answering between them, ended through the caller's final steps whatever happens.
#include "platform/Failure.h"
#include "platform/ListView.h"
#include "register/LogWriter.h"
#include <functional>

// Each selected row in list order, the log shown and the window's events processed before each; a row
// gone meanwhile ends the run as a failure.
void ForEachSelectedFile(const platform::ListView& rows, LogWriter& log, const std::function<void(int)>& visit);

// Items 0 to count - 1 in order, the log shown and the window's events processed before each.
void ForEachRunItem(int count, LogWriter& log, const std::function<void(int)>& visit);

// The work under the hourglass; whatever it throws, the log is flushed first, so that the line of the
// file that failed stands in it, and the failure is reported. The final steps run either way.
void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps);
