#include "app/frmMirdal.h"
#include "platform/MessageLoop.h"
#include "platform/Prompt.h"
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES
                                                         | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    // Dropping files needs OLE on the window's thread, for the whole life of the window.
    if (FAILED(::OleInitialize(nullptr)))
        return 1;
    frmMirdal* window = nullptr;
    try {
        window = frmMirdal::Create(instance);
    } catch (...) {
        platform::Failure failure = platform::CurrentFailure();
        platform::ShowMessage(nullptr, failure.Description(), std::to_wstring(failure.Code()), MB_OK | MB_ICONSTOP);
    }
    if (!window) {
        ::OleUninitialize();
        return 1;
    }
    HWND hwnd = window->Hwnd();
    // The window object goes with its window: reach it through the handle, never a stale pointer.
    platform::SetMessageFilter([hwnd](MSG& msg) {
        auto* current = reinterpret_cast<frmMirdal*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return ::IsWindow(hwnd) && current && current->PreTranslateMessage(msg);
    });
    int code = platform::RunMessageLoop();
    platform::SetMessageFilter(nullptr);
    ::OleUninitialize();
    return code;
}
