#pragma once
// The run that registration and batch writing share: the files selected as it starts, one after the
// other, with the window answering between them, ended through the caller's final steps whatever happens.
#include "browse/pure/FileText.h"
#include "platform/Failure.h"
#include "register/LogWriter.h"
#include <functional>
#include <optional>
#include <vector>

// Each file in turn, the log shown and the window's events processed before each.
void ForEachFile(const std::vector<FileRow>& files, LogWriter& log, const std::function<void(const FileRow&)>& visit);

// The log's line for a file that is no longer where it was listed (deleted or renamed since), without
// its line end; nothing while it is there.
std::optional<std::wstring> GoneFileLine(const std::wstring& path);

// The work under the hourglass; whatever it throws, the log is flushed first, so that the line of the
// file that failed stands in it, and the failure is reported. The final steps run either way.
void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps);
