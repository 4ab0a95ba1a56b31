#include "app/frmMirdal.h"
#include "browse/DropTarget.h"
#include "platform/FileSystem.h"
#include <shellapi.h>
#include <vector>

namespace {

// The dropped paths, in the order the drag source gives them.
std::vector<std::wstring> DroppedPaths(IDataObject* data)
{
    std::vector<std::wstring> paths;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return paths;
    auto drop = static_cast<HDROP>(medium.hGlobal);
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1u, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(std::move(path));
    }
    ::ReleaseStgMedium(&medium);
    return paths;
}

} // namespace

void frmMirdal::lsvFile_OLEDragDrop(IDataObject* data)
{
    if (!FileDropTarget::HasFileList(data))
        return;
    std::vector<std::wstring> paths = DroppedPaths(data);
    for (const std::wstring& path : paths) {
        DWORD attributes = platform::Attributes(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
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
