#pragma once
#include "platform/Edit.h"
#include <string>

// Hands the log to its text box where the window's events are processed, at most four times a
// second, and at the end: under Wine every change of the text box redraws its themed scroll bars
// at once, which costs more than registering a file.
class LogWriter {
public:
    explicit LogWriter(const platform::Edit& log) : log_(log) {}
    ~LogWriter() { Flush(); }
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    void Append(const std::wstring& text) { pending_ += text; }
    // Called before the pending events are processed, so that a repaint shows the log.
    void Show()
    {
        if (::GetTickCount64() - shown_ >= 250)
            Flush();
    }
    void Flush()
    {
        if (!pending_.empty())
            log_.Append(pending_);
        pending_.clear();
        shown_ = ::GetTickCount64();
    }

private:
    const platform::Edit& log_;
    std::wstring pending_;
    ULONGLONG shown_ = 0;
};
