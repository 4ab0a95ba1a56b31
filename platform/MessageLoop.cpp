#include "platform/MessageLoop.h"

namespace platform {
namespace {

std::function<bool(MSG&)> messageFilter;

void Dispatch(MSG& msg)
{
    if (messageFilter && messageFilter(msg))
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

} // namespace

void SetMessageFilter(std::function<bool(MSG&)> filter) { messageFilter = std::move(filter); }

int RunMessageLoop()
{
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

void ProcessPendingEvents()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The outer loop must still see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

} // namespace platform
