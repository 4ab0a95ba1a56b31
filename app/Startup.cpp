#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "app/pure/CommandTable.h"
#include "app/pure/PaneLayout.h"
#include "app/pure/StoredView.h"
#include "app/resource.h"
#include "browse/pure/FolderRule.h"
#include "platform/FileSystem.h"
#include "platform/Dpi.h"
#include "platform/Module.h"
#include "platform/Prompt.h"
#include "platform/Settings.h"
#include "platform/Text.h"

namespace {

constexpr wchar_t SettingsSection[] = L"frmMirdal";

std::wstring CurrentDirectoryWithSlash()
{
    std::wstring path(::GetCurrentDirectoryW(0, nullptr), L'\0');
    DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    path.resize(length);
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path;
}

} // namespace

void frmMirdal::Form_Load()
{
    double tpp = TwipsPerPixel();
    unsigned dpi = Dpi();
    double width = 640 * tpp;
    double height = 480 * tpp;
    double screenWidth = platform::SystemMetric(SM_CXSCREEN, dpi) * tpp;
    double screenHeight = platform::SystemMetric(SM_CYSCREEN, dpi) * tpp;
    long left = layout::CentredOrigin(screenWidth, width);
    long top = layout::CentredOrigin(screenHeight, height);
    ::SetWindowPos(hwnd_, nullptr, layout::TwipsToPixels(left, dpi), layout::TwipsToPixels(top, dpi),
                   layout::TwipsToPixels(width, dpi), layout::TwipsToPixels(height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    // The system sends a window its first WM_SIZE only as it shows it; the panes placed then, while
    // visible, cost a relayout of each list on screen. Placed now, that WM_SIZE finds them in place.
    OnSize();

    auto find = [&](int command) { return platform::ToolButton::Find(tlbMirdal, commands::FindByCommand(command)->key); };
    btnReg = find(IDC_BTN_REG);
    btnUnreg = find(IDC_BTN_UNREG);
    btnRegRead = find(IDC_BTN_REGREAD);
    btnRegBat = find(IDC_BTN_REGBAT);
    btnView = find(IDC_BTN_VIEW);
    pnlFCount = platform::StatusPanel(stbMirdal, 0);
    pnlPath = platform::StatusPanel(stbMirdal, 1);

    platform::FileVersion version = platform::ReadFileVersion(platform::ExecutablePath());
    ::SetWindowTextW(hwnd_, (Text(IDS_CAPTION) + L" - " + platform::ExecutableBaseName() + std::to_wstring(version.major)
                             + L"." + std::to_wstring(version.minor) + L"." + std::to_wstring(version.revision))
                                .c_str());

    picRes.Show(false);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);

    SetDriveTree();

    // Steps after the window is on screen each stand alone: one that fails is skipped.
    platform::IgnoringFailure([&] {
        if (std::optional<int> style = ParseViewStyle(platform::GetSetting(appName_, SettingsSection, L"View", L"3")))
            lsvFile.SetStyle(static_cast<platform::ListViewStyle>(*style));
    });
    std::wstring path;
    platform::IgnoringFailure(
        [&] { path = platform::GetSetting(appName_, SettingsSection, L"Path", CurrentDirectoryWithSlash()); });
    platform::IgnoringFailure([&] { ShowRememberedPath(path); });
    platform::IgnoringFailure([&] { ListRegisteredLibraries(); });
    platform::IgnoringFailure([&] { UpdateCommandState(); });
    platform::IgnoringFailure([&] { mnuV_Click(static_cast<short>(lsvFile.Style())); });
}

// A remembered folder opens with or without its final "\"; a remembered file opens its folder with the
// file selected. A path that names nothing goes to ShowFolder as it is.
void frmMirdal::ShowRememberedPath(const std::wstring& path)
{
    DWORD attributes = platform::Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || path.ends_with(L'\\'))
        return ShowRememberedFolder(path);
    if (folder_rule::IsFolder(attributes))
        return ShowRememberedFolder(path + L'\\');
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return ShowRememberedFolder(path);
    ShowRememberedFolder(path.substr(0, slash + 1));
    const std::wstring name = path.substr(slash + 1);
    for (int row = 0; row < lsvFile.ItemCount(); ++row) {
        if (platform::EqualsIgnoreCase(FileRowAt(row).name, name)) {
            lsvFile.SetSelected(row, true);
            lsvFile.Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
            break;
        }
    }
}

// A folder out of the tree's reach (a share, a device's name, a path too long for it) shows as any
// folder that cannot be listed: its path and no files.
void frmMirdal::ShowRememberedFolder(const std::wstring& folder)
{
    try {
        ShowFolder(folder);
    } catch (const platform::Failure&) {
        if (pnlPath.Text() == folder)
            throw;
        SetFileListView(folder);
    }
}

bool frmMirdal::Form_QueryUnload(int unloadMode)
{
    if (unloadMode != 0 || !IsBusy())
        return false;
    platform::ShowMessage(hwnd_, Text(IDS_MSG_BUSY), Text(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void frmMirdal::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    platform::SaveSetting(appName_, SettingsSection, L"View", std::to_wstring(static_cast<int>(lsvFile.Style())));
    // The folder the window really showed: one that could not be shown, at start-up or since, is no
    // reason to forget the one remembered.
    if (!shownFolder_.empty())
        platform::SaveSetting(appName_, SettingsSection, L"Path", shownFolder_);
}
