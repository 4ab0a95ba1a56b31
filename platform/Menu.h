#pragma once
// Non-owning wrapper over a menu handle; items are named by command or by position.
#include <windows.h>
#include <string>

namespace platform {

class Menu {
public:
    Menu() = default;
    explicit Menu(HMENU menu) : menu_(menu) {}
    HMENU Handle() const { return menu_; }

    Menu SubMenu(int position) const { return Menu(::GetSubMenu(menu_, position)); }
    int ItemCount() const { return ::GetMenuItemCount(menu_); }

    void Check(UINT command, bool checked) const
    {
        ::CheckMenuItem(menu_, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
    bool IsChecked(UINT command) const { return (::GetMenuState(menu_, command, MF_BYCOMMAND) & MF_CHECKED) != 0; }
    void Enable(UINT command, bool enabled) const
    {
        ::EnableMenuItem(menu_, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    bool IsEnabled(UINT command) const
    {
        return (::GetMenuState(menu_, command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
    }
    // Enables a whole submenu as an item of this menu bar.
    void EnablePosition(int position, bool enabled) const
    {
        ::EnableMenuItem(menu_, static_cast<UINT>(position), MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    bool IsPositionEnabled(int position) const
    {
        return (::GetMenuState(menu_, static_cast<UINT>(position), MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED)) == 0;
    }
    // The picture beside an item's text; the caller keeps it alive while the menu lives.
    void SetBitmap(UINT command, HBITMAP bitmap) const
    {
        MENUITEMINFOW info{sizeof info};
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = bitmap;
        ::SetMenuItemInfoW(menu_, command, FALSE, &info);
    }
    UINT CommandAt(int position) const { return ::GetMenuItemID(menu_, position); }
    std::wstring TextAt(int position) const
    {
        wchar_t buffer[256]{};
        ::GetMenuStringW(menu_, static_cast<UINT>(position), buffer, 256, MF_BYPOSITION);
        return buffer;
    }

    // Shows the menu as a pop-up, its top-left corner at a point of the screen, until it closes. With
    // `returnCommand` the chosen command is returned rather than sent to the owner.
    UINT TrackPopup(HWND owner, POINT screen, bool returnCommand = false) const
    {
        UINT flags = TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | (returnCommand ? TPM_RETURNCMD : 0);
        return static_cast<UINT>(::TrackPopupMenu(menu_, flags, screen.x, screen.y, 0, owner, nullptr));
    }

    // Menus have no hidden items: hiding removes the item, keeping what is needed to put it back.
    struct RemovedItem {
        UINT type = 0;
        UINT state = 0;
        UINT command = 0;
        std::wstring text;
    };
    RemovedItem RemoveAt(int position) const;
    void InsertAt(int position, const RemovedItem& item) const;

private:
    HMENU menu_ = nullptr;
};

inline Menu::RemovedItem Menu::RemoveAt(int position) const
{
    RemovedItem removed;
    wchar_t buffer[256]{};
    MENUITEMINFOW info{sizeof info};
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.dwTypeData = buffer;
    info.cch = 256;
    if (::GetMenuItemInfoW(menu_, static_cast<UINT>(position), TRUE, &info)) {
        removed = {info.fType, info.fState, info.wID, buffer};
        ::RemoveMenu(menu_, static_cast<UINT>(position), MF_BYPOSITION);
    }
    return removed;
}

inline void Menu::InsertAt(int position, const RemovedItem& item) const
{
    MENUITEMINFOW info{sizeof info};
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.fType = item.type;
    info.fState = item.state;
    info.wID = item.command;
    info.dwTypeData = const_cast<wchar_t*>(item.text.c_str());
    if (item.type & MFT_SEPARATOR)
        info.fMask &= ~MIIM_STRING;
    ::InsertMenuItemW(menu_, static_cast<UINT>(position), TRUE, &info);
}

} // namespace platform
