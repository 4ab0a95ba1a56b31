#pragma once
// The run that registration, batch writing and undo share: the items taken as it starts (the files
// selected then, or a journal's entries), one after the other, with the window answering between them,
// ended through the caller's final steps whatever happens.
#include "browse/pure/FileText.h"
#include "platform/Failure.h"
#include "platform/MessageLoop.h"
#include "register/LogWriter.h"
#include "register/pure/Journal.h"
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Thrown when the user declined the prompt for administrator rights: the run stops at the file that
// asked for them, and ForEachItem says which of its files that leaves as they were.
struct ElevationDeclined {
    bool midway = false;            // files before it were handled
    std::vector<std::wstring> left; // the paths of those left, the one that asked first
};

inline const std::wstring& ItemPath(const FileRow& row) { return row.key; }
inline const std::wstring& ItemPath(const JournalEntry& entry) { return entry.file; }

// How a run keeps the window answering: the log shown and the pending events processed while a host
// is waited on, and between two items only after one that waited on none. So the painting goes on
// while a host works rather than between its files.
class RunPump {
public:
    explicit RunPump(LogWriter& log) : log_(log), whileWaiting_([this] { Answer(); }) {}
    RunPump(const RunPump&) = delete;
    RunPump& operator=(const RunPump&) = delete;

    const std::function<void()>& WhileWaiting() const { return whileWaiting_; }
    void BetweenItems()
    {
        if (!answered_)
            Answer();
        answered_ = false;
    }

private:
    void Answer()
    {
        log_.Show();
        platform::ProcessPendingEvents();
        answered_ = true;
    }

    LogWriter& log_;
    std::function<void()> whileWaiting_;
    bool answered_ = false;
};

// Each item in turn, the window answering before each.
template <class Item, class Visit>
void ForEachItem(const std::vector<Item>& items, RunPump& pump, Visit&& visit)
{
    for (size_t i = 0; i < items.size(); ++i) {
        pump.BetweenItems();
        try {
            visit(items[i]);
        } catch (ElevationDeclined& declined) {
            declined.midway = i > 0;
            for (size_t left = i; left < items.size(); ++left)
                declined.left.push_back(ItemPath(items[left]));
            throw;
        }
    }
}

// The run's last lines after a declined prompt, without a line end: that nothing was done, or from
// which file on, with a line for each file left.
std::wstring DeclinedLines(const ElevationDeclined& declined);

// The log's line for a file that is no longer where it was listed (deleted or renamed since), without
// its line end; nothing while it is there.
std::optional<std::wstring> GoneFileLine(const std::wstring& path);

// The work; whatever it throws, the log is flushed first, so that the line of the file that failed
// stands in it, and the failure is reported. The final steps run either way.
void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps);

// The bytes as the whole of an export's file, or the log's line naming the file not written, then the
// failure thrown on. Throws platform::Failure.
void WriteExport(LogWriter& log, const std::wstring& path, const std::vector<std::uint8_t>& bytes);
