#pragma once
// The one seam through which the program asks the user: message boxes and the save dialog.
// Tests install their own Prompter to answer without a person.
#include "platform/Failure.h"
#include <windows.h>
#include <optional>
#include <string>

namespace platform {

struct SaveFileRequest {
    std::wstring filter;        // "description|pattern" pairs joined by "|".
    DWORD flags = 0;
    std::wstring initialFolder;
    std::wstring defaultExtension; // without the dot; added to a name typed without one
    std::wstring fileName;         // proposed in the name box
};

struct SaveFileAnswer {
    std::wstring path;          // The full path chosen.
    size_t fileNameLength = 0;  // Length of its file name part, as the dialog reports it.
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) = 0;
    // Empty when the user cancelled or the dialog could not be shown.
    virtual std::optional<SaveFileAnswer> AskSaveFile(HWND owner, const SaveFileRequest& request) = 0;
};

// Installs a prompter for the tests; nullptr restores the system's dialogs.
void SetPrompter(Prompter* prompter);

int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style);
std::optional<SaveFileAnswer> AskSaveFile(HWND owner, const SaveFileRequest& request);
// The critical box: the failure's text, its code as the title.
void ShowFailure(HWND owner, const Failure& failure);

} // namespace platform
