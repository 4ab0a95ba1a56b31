#pragma once
// Dots per inch and the metrics that depend on them. The per-monitor functions came with Windows 10;
// on older systems these fall back to the system DPI and the plain metrics.
#include <windows.h>

namespace platform {

// The DPI a window is drawn at; the system DPI where windows have none of their own.
unsigned WindowDpi(HWND window);
// A system metric at a DPI.
int SystemMetric(int index, unsigned dpi);
// The non-client metrics (fonts of captions, menus and messages) at a DPI; false when unknown.
bool NonClientMetrics(NONCLIENTMETRICSW& metrics, unsigned dpi);

} // namespace platform
