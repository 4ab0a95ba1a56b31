#include "platform/WaitCursor.h"

namespace platform {
namespace {
int depth = 0;
}

WaitCursor::WaitCursor()
{
    ++depth;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

WaitCursor::~WaitCursor()
{
    if (--depth == 0) {
        // Let the window under the pointer choose its own pointer again.
        POINT point{};
        ::GetCursorPos(&point);
        ::SetCursorPos(point.x, point.y);
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    }
}

bool WaitCursor::Active() { return depth > 0; }

bool WaitCursor::Apply()
{
    if (depth == 0)
        return false;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

} // namespace platform
