#include "pe/pure/DllSearch.h"
#include "platform/pure/AsciiCase.h"

namespace pe {

using platform::EqualIgnoreAsciiCase;
using platform::StartsWithIgnoreAsciiCase;

bool IsApiSetName(std::wstring_view dll)
{
    return StartsWithIgnoreAsciiCase(dll, L"api-ms-win-") || StartsWithIgnoreAsciiCase(dll, L"ext-ms-");
}

std::vector<std::wstring> MissingDlls(const std::vector<std::wstring>& dlls, const std::vector<std::wstring>& folders,
                                      const std::function<bool(const std::wstring&)>& exists)
{
    std::vector<std::wstring> missing, seen;
    for (const std::wstring& dll : dlls) {
        if (dll.empty() || IsApiSetName(dll))
            continue;
        bool repeated = false;
        for (const std::wstring& earlier : seen)
            repeated = repeated || EqualIgnoreAsciiCase(earlier, dll);
        if (repeated)
            continue;
        seen.push_back(dll);
        bool found = false;
        for (size_t i = 0; i < folders.size() && !found; ++i) {
            const std::wstring& folder = folders[i];
            if (folder.empty())
                continue;
            bool separated = folder.back() == L'\\' || folder.back() == L'/';
            found = exists(folder + (separated ? L"" : L"\\") + dll);
        }
        if (!found)
            missing.push_back(dll);
    }
    return missing;
}

SystemFolder SystemFolderFor(Machine machine, bool process64, bool windows64)
{
    if (machine == Machine::X86)
        return windows64 ? SystemFolder::SysWow64 : SystemFolder::System32;
    // A 32-bit process sees SysWOW64 under the name System32; the 64-bit DLLs it reaches as Sysnative.
    return windows64 && !process64 ? SystemFolder::SysNative : SystemFolder::System32;
}

std::vector<std::wstring> SplitSearchPath(std::wstring_view path)
{
    std::vector<std::wstring> folders;
    std::wstring folder;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L';') {
            if (!folder.empty())
                folders.push_back(folder);
            folder.clear();
        } else if (path[i] != L'"') {
            folder += path[i];
        }
    }
    return folders;
}

} // namespace pe
