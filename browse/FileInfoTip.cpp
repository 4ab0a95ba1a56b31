#include "app/frmMirdal.h"
#include "app/Texts.h"
#include "browse/pure/FileTip.h"
#include "register/ImageFile.h"
#include <algorithm>
#include <cwchar>

namespace {

// A string of the version resource, or empty; VerQueryValueW's length is not trusted to hold a NUL.
std::wstring VersionString(const std::vector<BYTE>& data, WORD language, WORD codePage, const wchar_t* name)
{
    wchar_t query[64];
    std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), query, &value, &length) || !value)
        return std::wstring();
    const wchar_t* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, std::wcslen(text) < length ? std::wcslen(text) : length);
}

void ReadVersionResource(const std::wstring& path, FileTipFacts& facts)
{
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (!size || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return;
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(data.data(), L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        facts.version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
                        L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    }
    // The translation table names the string blocks the file has; the usual ones stand in when it is missing.
    std::vector<std::pair<WORD, WORD>> translations;
    if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) && value)
        for (UINT i = 0; i < std::min(length / 4u, 16u); ++i)
            translations.emplace_back(static_cast<const WORD*>(value)[2 * i], static_cast<const WORD*>(value)[2 * i + 1]);
    translations.insert(translations.end(), {{0x0411, 1200}, {0x0409, 1200}, {0x0409, 1252}, {0x0411, 932}});
    for (auto [language, codePage] : translations) {
        if (facts.version.empty())
            facts.version = VersionString(data, language, codePage, L"FileVersion");
        if (facts.description.empty())
            facts.description = VersionString(data, language, codePage, L"FileDescription");
    }
}

std::wstring FileTipText(const std::wstring& path)
{
    FileTipFacts facts;
    if (std::optional<pe::ImageFacts> image = ReadImageFile(path)) {
        facts.readable = true;
        facts.machine = image->machine;
        facts.machineCode = image->machineCode;
        facts.exportsRegister = image->Exports("DllRegisterServer");
        facts.exportsUnregister = image->Exports("DllUnregisterServer");
        facts.hasTypeLib = image->hasTypeLib;
        if (image->machine != pe::Machine::NotPe) {
            ReadVersionResource(path, facts);
            facts.missingDlls = MissingDependencies(path, *image);
        }
    }
    return ComposeFileTip(facts, Text);
}

} // namespace

// Read when first hovered, not when listed: listing a folder of many servers stays as fast as before.
LRESULT frmMirdal::lsvFile_GetInfoTip(NMLVGETINFOTIPW* info)
{
    if (info->iItem < 0 || static_cast<size_t>(info->iItem) >= fileRows_.size())
        return 0;
    const std::wstring& key = fileRows_[static_cast<size_t>(info->iItem)].key;
    auto tip = fileTips_.find(key);
    if (tip == fileTips_.end())
        tip = fileTips_.emplace(key, FileTipText(key)).first;
    // Without LVGIT_UNFOLDED the control has put the row's cut-off name in the buffer already.
    WriteFileTip(tip->second, info->pszText, info->cchTextMax, !(info->dwFlags & LVGIT_UNFOLDED));
    return 0;
}
