#pragma once
// Reads tips on a thread of its own: a file on a share that does not answer, or a PATH folder there,
// holds up that thread, never the window. The thread is never waited for; what it shares with the
// window lives as long as either of them.
#include "browse/pure/TipQueue.h"
#include <windows.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TipReader {
public:
    explicit TipReader(HWND window);
    ~TipReader();

    // The row asked for last is read next; a path read now or waiting to be taken is not read again.
    void Ask(const std::wstring& path);
    std::vector<std::pair<std::wstring, std::wstring>> TakeDone();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        // A sweep of the pointer over a long list asks for many rows; only the last few are still wanted.
        TipQueue queue{16};
        std::wstring reading;
        unsigned long asks = 0; // requests so far: one since a read began means the pointer has moved on
        std::vector<std::pair<std::wstring, std::wstring>> done;
        HWND window = nullptr; // none once the window has gone
        bool running = false;
    };

    // Nothing escapes the thread: a failure it cannot tell in a tip ends it, and the next request starts another.
    static void Work(std::shared_ptr<Shared> shared);
    static void Serve(Shared& shared);

    std::shared_ptr<Shared> shared_;
};
