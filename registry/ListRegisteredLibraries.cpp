#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Prompt.h"
#include "platform/WaitCursor.h"
#include "registry/LibraryScan.h"

namespace {

// Small pictures of the library list: 2 for the listed file itself, 3 for a same-named file elsewhere.
constexpr int PictureSameFile = 1;
constexpr int PictureOtherFile = 2;

} // namespace

void frmMirdal::PartDeleter::operator()(LibraryScan* scan) const noexcept { delete scan; }

void frmMirdal::ListRegisteredLibraries()
{
    platform::WaitCursor wait;
    std::vector<ListedFile> files;
    files.reserve(fileRows_.size());
    for (const FileRow& row : fileRows_)
        files.push_back({row.name, row.key});
    if (!libraryScan_)
        libraryScan_.reset(new LibraryScan());
    std::optional<std::vector<RegisteredLibrary>> libraries = libraryScan_->Scan(files);
    // Emptying a list, even an empty one, and turning its drawing back on each cost the list a relayout
    // and a redraw: an empty list that stays empty is left alone.
    if (lsvReg.ItemCount() > 0 || (libraries && !libraries->empty())) {
        ::SendMessageW(lsvReg.Hwnd(), WM_SETREDRAW, FALSE, 0);
        lsvReg.DeleteAllItems();
        for (const RegisteredLibrary& library : libraries.value_or(std::vector<RegisteredLibrary>{})) {
            int row = lsvReg.AddItem(library.name, library.sameFile ? PictureSameFile : PictureOtherFile);
            lsvReg.SetItemText(row, 1, library.versions);
            lsvReg.SetItemText(row, 2, library.path);
            lsvReg.SetItemText(row, 3, library.guid);
        }
        ::SendMessageW(lsvReg.Hwnd(), WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(lsvReg.Hwnd(), nullptr, TRUE);
    }
    if (!libraries)
        platform::ShowMessage(hwnd_, Text(IDS_MSG_REGISTRY_FAILED), Text(IDS_TITLE), MB_OK | MB_ICONSTOP);
}
