#include "app/frmMirdal.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"

namespace {

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback)
{
    wchar_t buffer[16]{};
    return ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16) > 0 ? buffer : fallback;
}

// Empty for a time the system cannot convert: one odd file must not cut the listing short.
std::wstring LocalDateText(const FILETIME& written, const TIME_ZONE_INFORMATION* zone,
                          const std::wstring& dateSeparator, const std::wstring& timeSeparator)
{
    SYSTEMTIME utc{}, local{};
    if (!::FileTimeToSystemTime(&written, &utc) || !::SystemTimeToTzSpecificLocalTime(zone, &utc, &local))
        return std::wstring();
    return FormatFileDate(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, dateSeparator, timeSeparator);
}

// While the list is filled the tree is disabled; it comes back whatever happens, and so does the focus
// that disabling took from it, so that the keys go on moving through the tree.
class TreeDisabled {
public:
    explicit TreeDisabled(const platform::Window& tree) : tree_(tree), focus_(::GetFocus()) { tree_.Enable(false); }
    ~TreeDisabled()
    {
        tree_.Enable(true);
        if (focus_ && !::GetFocus() && ::IsWindow(focus_) && ::IsWindowVisible(focus_) && ::IsWindowEnabled(focus_))
            ::SetFocus(focus_);
    }
    TreeDisabled(const TreeDisabled&) = delete;
    TreeDisabled& operator=(const TreeDisabled&) = delete;

private:
    const platform::Window& tree_;
    HWND focus_;
};

} // namespace

void frmMirdal::SetFileListView(std::wstring o_Path)
{
    // A listing cut short by a failure is no current folder: the same folder may be tried again.
    if (listingComplete_ && o_Path == pnlPath.Text())
        return;
    listingComplete_ = false;
    platform::WaitCursor wait;
    TreeDisabled treeDisabled(trvDir);
    // A list that shows nothing already is left alone. An emptied one is painted empty only once the
    // listing takes long enough to show a count: a quick listing would paint it again at once.
    if (lsvReg.ItemCount() > 0)
        lsvReg.DeleteAllItems();
    if (lsvFile.ItemCount() > 0)
        lsvFile.DeleteAllItems();
    fileRows_.Clear();
    fileTips_.clear();

    // Set before the listing starts: a folder that cannot be listed shows as itself, with no files.
    pnlPath.SetText(o_Path);
    pnlFCount.SetText(L"0");
    platform::FolderListing listing(o_Path + L"*.*");
    shownFolder_ = o_Path;
    std::wstring dateSeparator = LocaleText(LOCALE_SDATE, L"/");
    std::wstring timeSeparator = LocaleText(LOCALE_STIME, L":");
    // The active time zone, read once: left to itself the conversion reads it again for every file.
    TIME_ZONE_INFORMATION zoneInformation{};
    const TIME_ZONE_INFORMATION* zone =
        ::GetTimeZoneInformation(&zoneInformation) == TIME_ZONE_ID_INVALID ? nullptr : &zoneInformation;
    // Each count shown repaints the status bar at once; a few per second keep it counting at little cost.
    ULONGLONG countShown = ::GetTickCount64();
    try {
        WIN32_FIND_DATAW entry;
        while (listing.Next(entry)) {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            std::wstring type = UpperAscii(GetExtension(entry.cFileName));
            if (!IsListedExtension(type))
                continue;
            // Length and date come with the listing itself: no second look at a file that may have gone.
            unsigned long long length =
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            fileRows_.Add({o_Path + entry.cFileName, entry.cFileName, FormatFileSize(length), type,
                           LocalDateText(entry.ftLastWriteTime, zone, dateSeparator, timeSeparator)});
            if (ULONGLONG now = ::GetTickCount64(); now - countShown >= 100) {
                ::UpdateWindow(lsvReg.Hwnd());
                ::UpdateWindow(lsvFile.Hwnd());
                pnlFCount.SetText(std::to_wstring(fileRows_.size()));
                countShown = now;
            }
        }
    } catch (...) {
        // The rows read before a failure stay, and the list shows exactly those.
        lsvFile.SetVirtualCount(static_cast<int>(fileRows_.size()));
        throw;
    }
    // With its drawing off, the list takes its new count without laying out its scroll bars and
    // header for it on the spot; it does that once as drawing comes back.
    ::SendMessageW(lsvFile.Hwnd(), WM_SETREDRAW, FALSE, 0);
    lsvFile.SetVirtualCount(static_cast<int>(fileRows_.size()));
    ::SendMessageW(lsvFile.Hwnd(), WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(lsvFile.Hwnd(), nullptr, TRUE);
    pnlFCount.SetText(std::to_wstring(fileRows_.size()));
    SizeStatusPanels();
    listingComplete_ = true;
}

void frmMirdal::FillFileRowText(NMLVDISPINFOW* info) const
{
    LVITEMW& item = info->item;
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= fileRows_.size())
        return;
    const FileRow& row = fileRows_[static_cast<size_t>(item.iItem)];
    if (item.mask & LVIF_TEXT) {
        const std::wstring* texts[] = {&row.name, &row.size, &row.type, &row.date};
        if (item.iSubItem >= 0 && item.iSubItem < 4 && item.cchTextMax > 0)
            lstrcpynW(item.pszText, texts[item.iSubItem]->c_str(), item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = 0;
}

int frmMirdal::lsvFile_FindItem(const NMLVFINDITEMW& find) const
{
    const LVFINDINFOW& info = find.lvfi;
    if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz)
        return -1;
    return FindRowByName(fileRows_.Rows(), info.psz, find.iStart, (info.flags & LVFI_PARTIAL) != 0, (info.flags & LVFI_WRAP) != 0);
}

int frmMirdal::FindFileRow(const std::wstring& key) const
{
    return fileRows_.Find(key);
}

void frmMirdal::lsvFile_ColumnClick(int column)
{
    sortDescending_ = !sortDescending_;
    if (column < 1 || column > 4)
        return;
    // The selection belongs to the rows, not to their positions.
    std::vector<bool> selected(fileRows_.size());
    for (int i = lsvFile.NextSelected(-1); i >= 0; i = lsvFile.NextSelected(i))
        selected[static_cast<size_t>(i)] = true;
    std::vector<size_t> order = fileRows_.SortBy(column - 1, sortDescending_, platform::CompareIgnoreCase);
    lsvFile.SetAllSelected(false);
    for (size_t i = 0; i < order.size(); ++i)
        if (selected[order[i]])
            lsvFile.SetSelected(static_cast<int>(i), true);
    lsvFile.RedrawItems(0, static_cast<int>(fileRows_.size()) - 1);
    ::InvalidateRect(lsvFile.Hwnd(), nullptr, TRUE);
}
