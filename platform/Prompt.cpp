#include "platform/Prompt.h"
#include <commdlg.h>
#include <algorithm>
#include <vector>

namespace platform {
namespace {

class SystemPrompter : public Prompter {
public:
    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) override
    {
        return ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
    }

    std::optional<SaveFileAnswer> AskSaveFile(HWND owner, const SaveFileRequest& request) override
    {
        // The dialog wants NUL-separated pairs ending in two NULs.
        std::wstring filter = request.filter;
        std::replace(filter.begin(), filter.end(), L'|', L'\0');
        filter.append(2, L'\0');
        std::vector<wchar_t> path(32768, L'\0');
        request.fileName.copy(path.data(), std::min<size_t>(request.fileName.size(), path.size() - 1));

        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner;
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
        dialog.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
        dialog.Flags = request.flags | OFN_EXPLORER;
        if (!::GetSaveFileNameW(&dialog))
            return std::nullopt;
        SaveFileAnswer answer;
        answer.path = path.data();
        answer.fileNameLength = answer.path.size() - std::min<size_t>(dialog.nFileOffset, answer.path.size());
        return answer;
    }
};

SystemPrompter systemPrompter;
Prompter* current = &systemPrompter;

} // namespace

void SetPrompter(Prompter* prompter) { current = prompter ? prompter : &systemPrompter; }

void ShowFailure(HWND owner, const Failure& failure)
{
    ShowMessage(owner, failure.Description(), std::to_wstring(failure.Code()), MB_OK | MB_ICONSTOP);
}

int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style)
{
    return current->ShowMessage(owner, text, title, style);
}

std::optional<SaveFileAnswer> AskSaveFile(HWND owner, const SaveFileRequest& request)
{
    return current->AskSaveFile(owner, request);
}

} // namespace platform
