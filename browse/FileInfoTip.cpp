#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/resource.h"
#include "browse/TipReader.h"
#include "browse/pure/FileTip.h"

void frmMirdal::PartDeleter::operator()(TipReader* reader) const noexcept { delete reader; }

void frmMirdal::lsvFile_TipReady()
{
    if (!tipReader_)
        return;
    for (auto& [path, tip] : tipReader_->TakeDone())
        fileTips_[path] = std::move(tip);
    // The tip on show asks for its text again, and now gets the facts.
    if (HWND tooltip = ListView_GetToolTips(lsvFile.Hwnd()))
        ::SendMessageW(tooltip, TTM_UPDATE, 0, 0);
}

// Read when first hovered, not when listed: listing a folder of many servers stays as fast as before.
LRESULT frmMirdal::lsvFile_GetInfoTip(NMLVGETINFOTIPW* info)
{
    if (info->iItem < 0 || static_cast<size_t>(info->iItem) >= fileRows_.size())
        return 0;
    const FileRow& row = fileRows_[static_cast<size_t>(info->iItem)];
    // Without LVGIT_UNFOLDED the control has put the row's cut-off name in the buffer already.
    const bool append = !(info->dwFlags & LVGIT_UNFOLDED);
    if (auto tip = fileTips_.find(row.key); tip != fileTips_.end()) {
        WriteFileTip(tip->second, info->pszText, info->cchTextMax, append);
        return 0;
    }
    if (!tipReader_)
        tipReader_.reset(new TipReader(hwnd_));
    tipReader_->Ask(row.key);
    WriteFileTip((append ? L"" : row.name + L"\r\n") + Text(IDS_TIP_READING), info->pszText, info->cchTextMax, append);
    return 0;
}
