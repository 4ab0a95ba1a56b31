#pragma once
// Thin wrapper over a multi-line edit control used as a log.
#include "platform/Window.h"

namespace platform {

class Edit : public Window {
public:
    using Window::Window;

    // Adds text at the end without rebuilding the whole text.
    void Append(const std::wstring& text) const
    {
        int end = ::GetWindowTextLengthW(hwnd_);
        Send(EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
        Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Clear() const { SetText(L""); }
    void RemoveLengthLimit() const { Send(EM_SETLIMITTEXT, 0, 0); }
};

} // namespace platform
