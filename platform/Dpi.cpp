#include "platform/Dpi.h"
#include "platform/DeviceContext.h"

namespace platform {
namespace {

// Looked up once: a missing function stays null and its fallback is used.
template <class F>
F User32Function(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

unsigned SystemDpi()
{
    WindowDC screen(nullptr);
    int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

} // namespace

unsigned WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = forWindow ? forWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

int SystemMetric(int index, unsigned dpi)
{
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : ::GetSystemMetrics(index);
}

bool NonClientMetrics(NONCLIENTMETRICSW& metrics, unsigned dpi)
{
    static const auto forDpi = User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    metrics.cbSize = sizeof metrics;
    if (forDpi)
        return forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE;
    return ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
}

} // namespace platform
