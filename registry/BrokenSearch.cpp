#include "registry/BrokenSearch.h"

#include "pe/pure/DllSearch.h"
#include "platform/Module.h"
#include "platform/UniqueHandle.h"
#include "registry/RegistryReaders.h"
#include "registry/RegistryWatch.h"
#include "registry/pure/BrokenRules.h"

#include <array>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace {

using Kind = BrokenRegistration::Kind;

std::wstring SystemText(UINT (WINAPI* get)(LPWSTR, UINT))
{
    wchar_t buffer[MAX_PATH + 1]{};
    const UINT length = get(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::optional<std::wstring> Variable(const std::wstring& name)
{
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), size);
    if (length == 0 || length >= size)
        return std::nullopt;
    value.resize(length);
    return value;
}

// Each file looked at once per search: many classes name the same server.
class FileCache {
public:
    bool Exists(const std::wstring& path)
    {
        auto [at, added] = known_.try_emplace(path, false);
        if (added) {
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            at->second = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        return at->second;
    }

private:
    std::unordered_map<std::wstring, bool> known_;
};

// What the loader of each view sees, as this process must name it.
PathWorld WorldOf(bool view64, FileCache& files)
{
    PathWorld world;
    world.exists = [&files](const std::wstring& path) { return files.Exists(path); };
    world.variable = Variable;
    world.view64 = view64;
    world.systemFolder = SystemText(::GetSystemDirectoryW);
    const bool process64 = sizeof(void*) == 8;
    const bool windows64 = platform::WindowsIs64Bit();
    switch (pe::SystemFolderFor(view64 ? pe::Machine::X64 : pe::Machine::X86, process64, windows64)) {
    case pe::SystemFolder::SysWow64: world.viewFolder = SystemText(::GetSystemWow64DirectoryW); break;
    case pe::SystemFolder::SysNative: world.viewFolder = SystemText(::GetSystemWindowsDirectoryW) + L"\\Sysnative"; break;
    case pe::SystemFolder::System32: world.viewFolder = world.systemFolder; break;
    }
    world.searchFolders = {world.systemFolder, SystemText(::GetWindowsDirectoryW)};
    for (std::wstring& folder : pe::SplitSearchPath(Variable(L"PATH").value_or(L"")))
        world.searchFolders.push_back(std::move(folder));
    return world;
}

REGSAM ViewFlag(int view) { return view == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// The keys of one kind in every area, each real key once.
struct OpenedKey {
    platform::UniqueKey key;
    std::wstring name; // as the list shows it
    int view;
    // Below a key that has a Wow6432Node, a 32-bit process opens the view's own keys only by naming it.
    REGSAM flag;
};

std::vector<OpenedKey> OpenEach(const std::vector<ClassesArea>& areas, const wchar_t* sub)
{
    std::vector<OpenedKey> opened;
    std::vector<std::wstring> seen;
    for (const ClassesArea& area : areas) {
        const std::wstring path = area.path + (*sub ? L"\\" : L"") + sub;
        platform::UniqueKey key;
        if (::RegOpenKeyExW(area.root, path.c_str(), 0, KEY_READ | ViewFlag(area.view), key.put()) != ERROR_SUCCESS)
            continue;
        const std::wstring real = KeyName(key.get());
        bool again = false;
        for (const std::wstring& name : seen)
            again = again || (!real.empty() && SameKeyName(name, real));
        if (again)
            continue;
        seen.push_back(real);
        opened.push_back({std::move(key), area.rootName + L"\\" + path, area.view, ViewFlag(area.view)});
    }
    return opened;
}

std::vector<std::wstring> SubKeys(const OpenedKey& key, const std::wstring& sub)
{
    std::vector<std::wstring> names;
    const LONG count = GetEnumRegKey(key.key.get(), sub, names, key.flag);
    names.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return names;
}

// The default value of a sub-key; nullopt where the key is not there.
std::optional<std::wstring> DefaultValue(const OpenedKey& key, const std::wstring& sub)
{
    platform::UniqueKey opened;
    if (::RegOpenKeyExW(key.key.get(), sub.c_str(), 0, KEY_QUERY_VALUE | key.flag, opened.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadTextValue(opened.get(), L"");
}

bool HasSubKey(const OpenedKey& key, const std::wstring& sub)
{
    platform::UniqueKey opened;
    return ::RegOpenKeyExW(key.key.get(), sub.c_str(), 0, KEY_QUERY_VALUE | key.flag, opened.put()) == ERROR_SUCCESS;
}

class Search {
public:
    Search(const std::function<void(const BrokenRegistration&)>& found, const std::atomic<bool>& stop)
        : found_(found), stop_(stop), worlds_{WorldOf(false, files_), WorldOf(true, files_)}
    {
    }

    void Classes(const std::vector<ClassesArea>& areas)
    {
        static constexpr std::pair<const wchar_t*, ServerKind> servers[] = {
            {L"InprocServer32", ServerKind::InProc}, {L"LocalServer32", ServerKind::Local}, {L"InprocHandler32", ServerKind::InProc}};
        for (const OpenedKey& clsid : OpenEach(areas, L"CLSID"))
            for (const std::wstring& name : SubKeys(clsid, L"")) {
                if (stop_)
                    return;
                if (std::optional<std::wstring> id = ClassIdText(name))
                    classes_.insert(*id);
                std::vector<NamedPart> parts;
                for (const auto& [server, kind] : servers)
                    if (std::optional<std::wstring> value = DefaultValue(clsid, name + L"\\" + server))
                        parts.push_back({server, MissingServer(*value, kind, World(clsid.view == 64))});
                std::vector<BrokenPart> broken = BrokenParts(parts);
                // A class treated as another is served by that one.
                if (broken.empty() || HasSubKey(clsid, name + L"\\TreatAs") || HasSubKey(clsid, name + L"\\AutoTreatAs"))
                    continue;
                Report(Kind::Class, clsid, name, broken);
            }
    }

    void TypeLibs(const std::vector<ClassesArea>& areas)
    {
        static constexpr std::pair<const wchar_t*, bool> platforms[] = {{L"win32", false}, {L"win64", true}};
        for (const OpenedKey& typeLib : OpenEach(areas, L"TypeLib"))
            for (const std::wstring& guid : SubKeys(typeLib, L""))
                for (const std::wstring& version : SubKeys(typeLib, guid)) {
                    if (stop_)
                        return;
                    const std::wstring versionKey = guid + L"\\" + version;
                    std::vector<NamedPart> parts;
                    for (const std::wstring& locale : SubKeys(typeLib, versionKey)) {
                        if (locale.empty() || locale.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
                            continue;
                        // Each platform's path is read by the loader of its own bitness, whichever view holds it.
                        for (const auto& [platform, x64] : platforms) {
                            const std::wstring part = locale + L"\\" + platform;
                            if (std::optional<std::wstring> path = DefaultValue(typeLib, versionKey + L"\\" + part))
                                parts.push_back({part, MissingServer(*path, ServerKind::TypeLib, World(x64))});
                        }
                    }
                    Report(Kind::TypeLib, typeLib, versionKey, BrokenParts(parts));
                }
    }

    // After the classes: a program id is broken when its class is in no area.
    void ProgIds(const std::vector<ClassesArea>& areas)
    {
        for (const OpenedKey& root : OpenEach(areas, L""))
            for (const std::wstring& name : SubKeys(root, L"")) {
                if (stop_)
                    return;
                if (name.empty() || name.front() == L'.')
                    continue;
                std::optional<std::wstring> value = DefaultValue(root, name + L"\\CLSID");
                std::optional<std::wstring> id = value ? ClassIdText(*value) : std::nullopt;
                if (!id || classes_.count(*id))
                    continue;
                // The program id goes whole where it holds nothing else; elsewhere (a file type's key) only its class.
                bool bare = true;
                for (const std::wstring& sub : SubKeys(root, name))
                    bare = bare && (SameKeyName(sub, L"CLSID") || SameKeyName(sub, L"CurVer"));
                Report(Kind::ProgId, root, name, {{bare ? L"" : L"CLSID", *id}});
            }
    }

private:
    const PathWorld& World(bool x64) const { return worlds_[x64 ? 1 : 0]; }

    void Report(Kind kind, const OpenedKey& area, const std::wstring& name, const std::vector<BrokenPart>& broken) const
    {
        for (const BrokenPart& part : broken)
            found_({kind, area.name + L"\\" + name + (part.subKey.empty() ? L"" : L"\\" + part.subKey), part.missing, area.view});
    }

    const std::function<void(const BrokenRegistration&)>& found_;
    const std::atomic<bool>& stop_;
    FileCache files_;
    std::array<PathWorld, 2> worlds_;
    std::unordered_set<std::wstring> classes_;
};

} // namespace

std::vector<ClassesArea> SystemClassesAreas()
{
    std::vector<ClassesArea> areas;
    for (int view : platform::WindowsIs64Bit() ? std::vector<int>{64, 32} : std::vector<int>{32}) {
        areas.push_back({HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\Classes", view});
        areas.push_back({HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\Classes", view});
    }
    return areas;
}

void FindBrokenRegistrations(const std::vector<ClassesArea>& areas, const std::function<void(const BrokenRegistration&)>& found,
                             const std::atomic<bool>& stop)
{
    Search search(found, stop);
    search.Classes(areas);
    search.TypeLibs(areas);
    search.ProgIds(areas);
}
