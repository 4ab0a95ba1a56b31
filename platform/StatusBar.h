#pragma once
// Thin wrapper over a status bar, and a reference to one of its panels.
#include "platform/Window.h"
#include <commctrl.h>
#include <vector>

namespace platform {

class StatusBar : public Window {
public:
    using Window::Window;

    void SetParts(const std::vector<int>& rightEdges) const
    {
        Send(SB_SETPARTS, rightEdges.size(), reinterpret_cast<LPARAM>(rightEdges.data()));
    }
    void SetPanelText(int index, const std::wstring& text) const
    {
        Send(SB_SETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring PanelText(int index) const
    {
        std::wstring text(LOWORD(Send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(index))) + 1u, L'\0');
        Send(SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcslen(text.c_str()));
        return text;
    }
};

class StatusPanel {
public:
    StatusPanel() = default;
    StatusPanel(StatusBar bar, int index) : bar_(bar), index_(index) {}

    std::wstring Text() const { return bar_.PanelText(index_); }
    void SetText(const std::wstring& text) const { bar_.SetPanelText(index_, text); }
    int Index() const { return index_; }

private:
    StatusBar bar_;
    int index_ = 0;
};

} // namespace platform
