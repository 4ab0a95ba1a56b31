#include "platform/Elevation.h"
#include "platform/DeviceContext.h"
#include <shellapi.h>

namespace platform {
namespace {

Elevation systemElevation;
Elevation* current = &systemElevation;

} // namespace

bool Elevation::ProcessIsElevated()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD bytes = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &bytes)
           && elevation.TokenIsElevated != 0;
}

DWORD Elevation::StartElevated(HWND owner, const std::wstring& executable, const std::wstring& parameters,
                               UniqueHandle& process)
{
    SHELLEXECUTEINFOW info{sizeof info};
    // Errors come back to the caller, which logs them, rather than in the shell's own message boxes.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = executable.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    // The elevated program starts where a program this process starts would, not in the system folder.
    std::wstring directory(MAX_PATH, L'\0');
    DWORD length = ::GetCurrentDirectoryW(MAX_PATH, directory.data());
    directory.resize(length < MAX_PATH ? length : 0);
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    if (!::ShellExecuteExW(&info)) {
        DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    process.reset(info.hProcess);
    return process ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD CurrentUserOnly::Build()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return ::GetLastError();
    DWORD bytes = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    if (bytes < sizeof(TOKEN_USER))
        return ERROR_INVALID_DATA;
    user_.resize(bytes);
    if (!::GetTokenInformation(token.get(), TokenUser, user_.data(), bytes, &bytes))
        return ::GetLastError();
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    list_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* list = reinterpret_cast<ACL*>(list_.data());
    if (!::InitializeAcl(list, static_cast<DWORD>(list_.size()), ACL_REVISION)
        || !::AddAccessAllowedAce(list, ACL_REVISION, GENERIC_READ | GENERIC_WRITE, sid)
        || !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorDacl(&descriptor_, TRUE, list, FALSE))
        return ::GetLastError();
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return ERROR_SUCCESS;
}

void SetElevation(Elevation* elevation) { current = elevation ? elevation : &systemElevation; }

Elevation& CurrentElevation() { return *current; }

UniqueBitmap ShieldBitmap(int size)
{
    SHSTOCKICONINFO stock{sizeof stock};
    if (FAILED(::SHGetStockIconInfo(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &stock)))
        return {};
    UniqueIcon icon(stock.hIcon);
    // A menu draws a 32-bit bitmap with its alpha channel, which DrawIconEx fills from the icon's.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size, -size, 1, 32, BI_RGB};
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    if (!bitmap || !dc)
        return {};
    BOOL drawn = FALSE;
    {
        SelectedObject selected(dc.get(), bitmap.get());
        drawn = ::DrawIconEx(dc.get(), 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL);
    }
    return drawn ? std::move(bitmap) : UniqueBitmap();
}

} // namespace platform
