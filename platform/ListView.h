#pragma once
// Thin wrapper over a list-view control's messages.
#include "platform/Window.h"
#include <commctrl.h>
#include <initializer_list>
#include <utility>

namespace platform {

// The four view styles, numbered as the program stores them.
enum class ListViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Report = 3 };

class ListView : public Window {
public:
    using Window::Window;

    int ItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    // For an owner-data list: the control asks for texts as it needs them.
    void SetVirtualCount(int count) const { Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0); }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }

    void AddColumn(int index, const std::wstring& header, int width, int format) const
    {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = format;
        column.cx = width;
        column.pszText = const_cast<wchar_t*>(header.c_str());
        column.iSubItem = index;
        Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
    // Left-aligned columns that share the list's width, each header with its percentage of it.
    void AddSharingColumns(std::initializer_list<std::pair<std::wstring, int>> columns) const
    {
        RECT area{};
        ::GetClientRect(hwnd_, &area);
        int index = 0;
        for (const auto& [header, percent] : columns)
            AddColumn(index++, header, (area.right - area.left) * percent / 100, LVCFMT_LEFT);
    }
    int ColumnCount() const { return static_cast<int>(Header_GetItemCount(ListView_GetHeader(hwnd_))); }
    int ColumnWidth(int index) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index))); }
    std::wstring ColumnHeader(int index) const;
    int ColumnFormat(int index) const
    {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT;
        Send(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
        return column.fmt & LVCFMT_JUSTIFYMASK;
    }

    // Appends a row; returns its position, or -1 when the control refuses it.
    int AddItem(const std::wstring& text, int image) const
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = ItemCount();
        item.iImage = image;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    void SetItemText(int index, int subItem, const std::wstring& text) const
    {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    std::wstring ItemText(int index, int subItem = 0) const;
    int ItemImage(int index) const
    {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }

    bool IsSelected(int index) const
    {
        return (Send(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }
    void SetSelected(int index, bool selected) const
    {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = selected ? LVIS_SELECTED : 0;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    // -1 selects or clears every row at once.
    void SetAllSelected(bool selected) const { SetSelected(-1, selected); }
    int NextSelected(int after) const
    {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(LVNI_SELECTED, 0)));
    }
    int SelectedCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }
    // The check box of a list with LVS_EX_CHECKBOXES; -1 sets every row's.
    bool IsChecked(int index) const
    {
        return (Send(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    }
    void SetChecked(int index, bool checked) const
    {
        LVITEMW item{};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    int FocusedRow() const { return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)); }
    void EnsureVisible(int index) const { Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE); }

    // The row under a point in the list's client coordinates, or -1.
    int HitTest(int x, int y) const
    {
        LVHITTESTINFO info{};
        info.pt = {x, y};
        int index = static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
        return (info.flags & LVHT_ONITEM) ? index : -1;
    }
    RECT ItemRect(int index) const
    {
        RECT rc{};
        rc.left = LVIR_BOUNDS;
        Send(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        return rc;
    }

    ListViewStyle Style() const;
    void SetStyle(ListViewStyle style) const;

    void SetImageList(HIMAGELIST list, int which) const
    {
        Send(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list));
    }
    void SetExtendedStyle(DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, style, style); }
    void RedrawItems(int first, int last) const
    {
        Send(LVM_REDRAWITEMS, static_cast<WPARAM>(first), static_cast<LPARAM>(last));
    }
};

inline std::wstring ListView::ItemText(int index, int subItem) const
{
    // The control reports how much it copied; grow until the text fits.
    std::wstring text(260, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        int copied = static_cast<int>(Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
        if (copied < static_cast<int>(text.size()) - 1) {
            text.resize(static_cast<size_t>(copied));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

inline std::wstring ListView::ColumnHeader(int index) const
{
    wchar_t buffer[256]{};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = buffer;
    column.cchTextMax = 256;
    Send(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    return buffer;
}

inline ListViewStyle ListView::Style() const
{
    switch (Send(LVM_GETVIEW)) {
    case LV_VIEW_ICON: return ListViewStyle::LargeIcons;
    case LV_VIEW_SMALLICON: return ListViewStyle::SmallIcons;
    case LV_VIEW_LIST: return ListViewStyle::List;
    default: return ListViewStyle::Report;
    }
}

inline void ListView::SetStyle(ListViewStyle style) const
{
    static constexpr DWORD views[] = {LV_VIEW_ICON, LV_VIEW_SMALLICON, LV_VIEW_LIST, LV_VIEW_DETAILS};
    Send(LVM_SETVIEW, views[static_cast<int>(style)]);
}

} // namespace platform
