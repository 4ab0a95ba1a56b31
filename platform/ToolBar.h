#pragma once
// Thin wrapper over a toolbar control, and a reference to one keyed button of it.
#include "platform/Window.h"
#include <commctrl.h>

namespace platform {

class ToolBar : public Window {
public:
    using Window::Window;

    int ButtonCount() const { return static_cast<int>(Send(TB_BUTTONCOUNT)); }
    TBBUTTON ButtonAt(int index) const
    {
        TBBUTTON button{};
        Send(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button));
        return button;
    }
    void EnableButton(int command, bool enabled) const { Send(TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled ? TRUE : FALSE, 0)); }
    bool IsButtonEnabled(int command) const { return Send(TB_ISBUTTONENABLED, static_cast<WPARAM>(command)) != 0; }
    RECT ButtonRect(int command) const
    {
        RECT rc{};
        Send(TB_GETRECT, static_cast<WPARAM>(command), reinterpret_cast<LPARAM>(&rc));
        return rc;
    }
};

// A button found by its key (the text its TBBUTTON::dwData points at).
class ToolButton {
public:
    ToolButton() = default;
    ToolButton(ToolBar bar, int command, const wchar_t* key) : bar_(bar), command_(command), key_(key) {}

    // The keyed button of the bar; an empty reference when no button has that key.
    static ToolButton Find(ToolBar bar, const std::wstring& key)
    {
        for (int i = 0; i < bar.ButtonCount(); ++i) {
            TBBUTTON button = bar.ButtonAt(i);
            auto buttonKey = reinterpret_cast<const wchar_t*>(button.dwData);
            if (buttonKey && key == buttonKey)
                return ToolButton(bar, button.idCommand, buttonKey);
        }
        return {};
    }

    int Command() const { return command_; }
    std::wstring Key() const { return key_ ? key_ : L""; }
    bool Enabled() const { return bar_.IsButtonEnabled(command_); }
    void SetEnabled(bool enabled) const { bar_.EnableButton(command_, enabled); }
    // Position in the bar's client coordinates.
    RECT Rect() const { return bar_.ButtonRect(command_); }

private:
    ToolBar bar_;
    int command_ = 0;
    const wchar_t* key_ = nullptr;
};

} // namespace platform
