#pragma once
// A dialog procedure that nothing escapes: a failure is shown in the critical box and ends the dialog as
// "閉じる" would, before anything of it was acted on.
#include "platform/Failure.h"
#include "platform/Prompt.h"
#include <windows.h>

namespace platform {

template <INT_PTR (*Handle)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Handle(dialog, message, wParam, lParam);
    } catch (...) {
        ShowFailure(dialog, CurrentFailure());
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

} // namespace platform
