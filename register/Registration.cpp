#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/MessageLoop.h"
#include "platform/Module.h"
#include "platform/WaitCursor.h"
#include "register/LogWriter.h"
#include "register/RegistrationLibrary.h"
#include <cwchar>
#include <memory>

namespace {

constexpr wchar_t CrLf[] = L"\r\n";

} // namespace

void frmMirdal::BeginReport()
{
    IsBusy = true;
    txtRes.Clear();
    // In front of everything, the toolbar and status bar included, so that "close" can be reached.
    ::SetWindowPos(picRes.Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    cmdClose.Enable(false);
    mnuMain.EnablePosition(FileMenuPosition, false);
    mnuMain.EnablePosition(ViewMenuPosition, false);
    ::DrawMenuBar(hwnd_);
}

std::wstring frmMirdal::OutcomeText(long code) const
{
    switch (code) {
    case 0: return Text(IDS_LOG_SUCCEEDED);
    case -1: return Text(IDS_LOG_OLE_FAILED);
    case -2: return Text(IDS_LOG_LOAD_FAILED);
    case -3: return Text(IDS_LOG_NO_ENTRY);
    }
    // A server that refused (access denied, for one) must not pass in silence.
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%08lX", static_cast<unsigned long>(code));
    return Text(IDS_LOG_FAILED_CODE) + hex + L")" + platform::SystemMessage(static_cast<DWORD>(code));
}

void frmMirdal::RunRegistration(bool o_Register)
{
    if (lsvFile.ItemCount() == 0)
        return;
    BeginReport();
    tlbMirdal.Enable(false);
    LogWriter log(txtRes);
    try {
        platform::WaitCursor wait;
        platform::ThrowIfFalse(::SetCurrentDirectoryW(platform::ExecutableFolder().c_str()));
        std::unique_ptr<RegistrationLibrary> library;
        int count = lsvFile.ItemCount();
        for (int i = 0; i < count; ++i) {
            log.Show();
            platform::ProcessPendingEvents();
            // Another folder may have been opened meanwhile: a position that has gone ends the run.
            if (i >= lsvFile.ItemCount())
                platform::ThrowFailure(ERROR_INVALID_INDEX);
            if (!lsvFile.IsSelected(i))
                continue;
            std::wstring key = FileRowAt(i).key;
            log.Append(key + Text(o_Register ? IDS_LOG_REGISTER : IDS_LOG_UNREGISTER) + CrLf);
            if (!library)
                library = std::make_unique<RegistrationLibrary>();
            log.Append(OutcomeText(library->Call(o_Register, key)) + CrLf + CrLf);
        }
        log.Append(Text(IDS_LOG_RUN_DONE));
        log.Flush();
    } catch (const platform::Failure& failure) {
        // The line of the file that failed stands in the log before the message shows.
        log.Flush();
        ReportFailure(failure.Code(), failure.Description());
    }
    lsvReg.DeleteAllItems();
    cmdClose.Enable(true);
}
