#pragma once
// Non-owning wrapper over a window handle: the operations every control shares.
#include <windows.h>
#include <string>

namespace platform {

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    HWND Hwnd() const { return hwnd_; }
    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    explicit operator bool() const { return hwnd_ != nullptr; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(hwnd_, message, wParam, lParam);
    }

    void Move(int x, int y, int width, int height) const { ::MoveWindow(hwnd_, x, y, width, height, TRUE); }
    RECT Bounds() const; // In the parent's client coordinates.
    RECT ClientRect() const
    {
        RECT rc{};
        ::GetClientRect(hwnd_, &rc);
        return rc;
    }

    void Show(bool visible) const { ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }
    bool IsVisible() const { return ::IsWindowVisible(hwnd_) != FALSE; }
    void Enable(bool enabled) const { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
    bool IsEnabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
    void Focus() const { ::SetFocus(hwnd_); }
    // Paints pending invalid areas now, as a caller that blocks the message loop needs.
    void Refresh() const
    {
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        ::UpdateWindow(hwnd_);
    }

    // The menu bar repainted after its items were enabled or disabled. DrawMenuBar would recompute the
    // whole frame, and under Wine lay out every child again with it.
    void RedrawMenuBar() const { ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE); }

    void SetText(const std::wstring& text) const { ::SetWindowTextW(hwnd_, text.c_str()); }
    std::wstring Text() const;
    void SetFont(HFONT font) const { Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

protected:
    HWND hwnd_ = nullptr;
};

inline RECT Window::Bounds() const
{
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

inline std::wstring Window::Text() const
{
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    int copied = ::GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

} // namespace platform
