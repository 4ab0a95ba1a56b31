#include "app/frmMirdal.h"
#include "platform/DropTarget.h"
#include <vector>

void frmMirdal::lsvFile_OLEDragDrop(IDataObject* data)
{
    if (!platform::FileDropTarget::HasFileList(data))
        return;
    std::vector<std::wstring> paths = platform::DroppedPaths(data);
    for (const std::wstring& path : paths) {
        if (IsFolder(path))
            continue;
        platform::IgnoringFailure([&] { ShowFolder(path.substr(0, path.find_last_of(L'\\') + 1)); });
        platform::IgnoringFailure([&] { ListRegisteredLibraries(); });
        break;
    }
    lsvFile.SetAllSelected(false);
    for (const std::wstring& path : paths) {
        int row = FindFileRow(path);
        if (row >= 0)
            lsvFile.SetSelected(row, true);
    }
    platform::IgnoringFailure([&] { UpdateCommandState(); });
}
