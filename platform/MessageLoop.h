#pragma once
// The program's message loop, and the pending-events pump that long work runs between items.
#include <windows.h>
#include <functional>

namespace platform {

// A filter sees every message first (keyboard navigation, accelerators); true means it was handled.
void SetMessageFilter(std::function<bool(MSG&)> filter);

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Dispatches everything already queued, repaints included, and returns.
void ProcessPendingEvents();

} // namespace platform
