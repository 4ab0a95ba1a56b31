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
    std::unique_ptr<frmMirdal> window;
    try {
        window = frmMirdal::Create(instance);
    } catch (...) {
        platform::ShowFailure(nullptr, platform::CurrentFailure());
    }
    if (!window) {
        ::OleUninitialize();
        return 1;
    }
    platform::SetMessageFilter([&window](MSG& msg) { return window->Hwnd() && window->PreTranslateMessage(msg); });
    int code = platform::RunMessageLoop();
    platform::SetMessageFilter(nullptr);
    window.reset();
    ::OleUninitialize();
    return code;
}
