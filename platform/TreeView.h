#pragma once
// Thin wrapper over a tree-view control's messages.
#include "platform/Window.h"
#include <commctrl.h>

namespace platform {

class TreeView : public Window {
public:
    using Window::Window;

    // Appends a child of parent (TVI_ROOT for the top level); nullptr when the control refuses it.
    HTREEITEM AddItem(HTREEITEM parent, const std::wstring& text, int image, int selectedImage) const
    {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = const_cast<wchar_t*>(text.c_str());
        insert.item.iImage = image;
        insert.item.iSelectedImage = selectedImage;
        return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    bool DeleteItem(HTREEITEM item) const { return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0; }
    void Select(HTREEITEM item) const { Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)); }
    HTREEITEM Selected() const { return Next(nullptr, TVGN_CARET); }
    void EnsureVisible(HTREEITEM item) const { Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)); }
    void ScrollFullyLeft() const { Send(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0); }
    void Expand(HTREEITEM item, UINT action = TVE_EXPAND) const
    {
        Send(TVM_EXPAND, action, reinterpret_cast<LPARAM>(item));
    }
    bool IsExpanded(HTREEITEM item) const
    {
        return (Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    }
    void SortChildren(HTREEITEM item) const { Send(TVM_SORTCHILDREN, FALSE, reinterpret_cast<LPARAM>(item)); }

    HTREEITEM Next(HTREEITEM item, UINT relation) const
    {
        return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM FirstChild(HTREEITEM item) const { return Next(item, TVGN_CHILD); }
    HTREEITEM NextSibling(HTREEITEM item) const { return Next(item, TVGN_NEXT); }
    HTREEITEM Root() const { return Next(nullptr, TVGN_ROOT); }

    std::wstring ItemText(HTREEITEM item) const
    {
        wchar_t buffer[MAX_PATH * 2]{};
        TVITEMW data{};
        data.mask = TVIF_TEXT;
        data.hItem = item;
        data.pszText = buffer;
        data.cchTextMax = static_cast<int>(std::size(buffer));
        Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
        return buffer;
    }
    void ItemImages(HTREEITEM item, int& image, int& selectedImage) const
    {
        TVITEMW data{};
        data.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        data.hItem = item;
        Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
        image = data.iImage;
        selectedImage = data.iSelectedImage;
    }
    // The item under a point in client coordinates, when the point is on its label or picture.
    HTREEITEM HitTest(POINT point) const
    {
        TVHITTESTINFO info{};
        info.pt = point;
        auto item = reinterpret_cast<HTREEITEM>(Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
        return (info.flags & TVHT_ONITEM) ? item : nullptr;
    }
    void SetImageList(HIMAGELIST list) const { Send(TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(list)); }
};

} // namespace platform
