#pragma once
// The application-wide hourglass: shown while any WaitCursor lives, on every window of the program.
#include <windows.h>

namespace platform {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    static bool Active();
    // For WM_SETCURSOR of the top-level window: true when it set the hourglass.
    static bool Apply();
};

} // namespace platform
