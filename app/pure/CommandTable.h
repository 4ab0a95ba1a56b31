#pragma once
// The toolbar's commands, each written once: its button, its key and what it runs.
#include "app/resource.h"
#include <optional>
#include <string_view>

namespace commands {

// What a button does: choose an item of the File or Registry menu, or move the view to the next style.
enum class Handler { FileItem, RegistryItem, NextView };

struct ToolCommand {
    int command;         // the button's command id
    const wchar_t* key;  // its key; TBBUTTON::dwData points at it
    Handler handler;
    short item;          // the menu item chosen, for FileItem and RegistryItem
    int picture;         // position in the toolbar strip
    unsigned caption;    // string id
    bool dropDown;       // a main part and an arrow
    bool separatorAfter; // a separator follows it in the bar
};

// In the bar's order. The strip holds View, RegBat, UnregBat, BatPath, Reg, Unreg, (none), RegRead.
inline constexpr ToolCommand ToolCommands[] = {
    {IDC_BTN_REG, L"Reg", Handler::FileItem, 0, 4, IDS_BTN_REG, false, false},
    {IDC_BTN_UNREG, L"Unreg", Handler::FileItem, 1, 5, IDS_BTN_UNREG, false, true},
    {IDC_BTN_REGREAD, L"RegRead", Handler::RegistryItem, 0, 7, IDS_BTN_REGREAD, false, true},
    {IDC_BTN_REGBAT, L"RegBat", Handler::FileItem, 3, 1, IDS_BTN_REGBAT, false, true},
    {IDC_BTN_VIEW, L"View", Handler::NextView, 0, 0, IDS_BTN_VIEW, true, false},
};

// The command of a key (compared case-sensitively) or of a command id; nullptr when none has it.
const ToolCommand* FindByKey(std::wstring_view key);
const ToolCommand* FindByCommand(int command);

// The view style after `style` in the cycle 0 → 1 → 2 → 3 → 0; none for a style outside it.
std::optional<short> NextViewStyle(int style);

} // namespace commands
