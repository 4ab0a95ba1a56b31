#include "registry/LibraryScan.h"

#include "platform/Text.h"
#include "platform/UniqueHandle.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"

#include <windows.h>
#include <system_error>
#include <unordered_map>

namespace {

#ifdef _WIN64
constexpr bool kWin64 = true;
#else
constexpr bool kWin64 = false;
#endif

constexpr DWORD kCompareFlags = platform::IgnoreCaseFlags;

// Two texts compare equal exactly when their sort keys (same locale, same flags) are equal, so the
// sort key can stand for a name in a hash map. Empty when the text has none.
std::string SortKey(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    char buffer[512]; // a file name's key fits; a longer one is asked for its size
    int bytes = ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | kCompareFlags, text.data(), length,
                                reinterpret_cast<LPWSTR>(buffer), sizeof buffer, nullptr, nullptr, 0);
    if (bytes > 0)
        return std::string(buffer, static_cast<std::size_t>(bytes));
    bytes = ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | kCompareFlags, text.data(), length, nullptr, 0,
                            nullptr, nullptr, 0);
    if (bytes <= 0)
        return {};
    std::string key(static_cast<std::size_t>(bytes), '\0');
    bytes = ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | kCompareFlags, text.data(), length,
                            reinterpret_cast<LPWSTR>(key.data()), bytes, nullptr, nullptr, 0);
    if (bytes <= 0)
        return {};
    key.resize(static_cast<std::size_t>(bytes));
    return key;
}

// Finds the first listed file of a name without walking the list for every library. Should the
// index not confirm a hit (a name without sort key, or a hit the comparison rejects), the list is
// walked, so the answer is always that of a walk from the first row.
class ListedNames {
public:
    explicit ListedNames(const std::vector<ListedFile>& files) : files_(files)
    {
        first_.reserve(files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::string key = SortKey(files[i].text);
            if (key.empty())
                complete_ = false;
            else
                first_.try_emplace(std::move(key), i);
        }
    }

    // The name's sort key is passed in: a held library's is made once per walk, not once per scan.
    const ListedFile* Find(const std::wstring& name, const std::string& key) const
    {
        if (complete_) {
            if (!key.empty()) {
                auto hit = first_.find(key);
                if (hit == first_.end())
                    return nullptr;
                if (platform::EqualsIgnoreCase(files_[hit->second].text, name))
                    return &files_[hit->second];
            }
        }
        for (const ListedFile& file : files_)
            if (platform::EqualsIgnoreCase(file.text, name))
                return &file;
        return nullptr;
    }

private:
    const std::vector<ListedFile>& files_;
    std::unordered_map<std::string, std::size_t> first_;
    bool complete_ = true; // every listed name has a sort key (an empty one has none)
};

// Opens the user's own TypeLib key and lists its libraries when HKEY_CLASSES_ROOT does not already show
// them. Windows merges HKCU\Software\Classes into HKEY_CLASSES_ROOT, the user's key winning, so there a
// user's library opened through the classes root is the user's key itself and nothing is added; Wine 8
// does not merge, and there the two lists are merged here the way Windows would.
std::vector<std::wstring> UnmergedUserLibraries(HKEY classes, platform::UniqueKey& user)
{
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\TypeLib", 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, user.put())
        != ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> guids;
    const LONG count = GetEnumRegKey(user.get(), L"", guids);
    if (count <= 0)
        return {};
    guids.resize(static_cast<std::size_t>(count));
    platform::UniqueKey throughClasses, own;
    if (::RegOpenKeyExW(classes, guids[0].c_str(), 0, KEY_QUERY_VALUE, throughClasses.put()) == ERROR_SUCCESS
        && ::RegOpenKeyExW(user.get(), guids[0].c_str(), 0, KEY_QUERY_VALUE, own.put()) == ERROR_SUCCESS) {
        const std::wstring name = KeyName(own.get());
        if (!name.empty() && SameKeyName(KeyName(throughClasses.get()), name))
            return {};
    }
    return guids;
}

// Reads one library from its key below parent; false when no path of it names a file.
bool ReadLibrary(HKEY parent, const std::wstring& guid, std::vector<std::wstring>& versions, HeldLibrary& library)
{
    const LONG count = GetEnumRegKey(parent, guid, versions);
    if (count <= 0)
        return false;
    versions.resize(static_cast<std::size_t>(count));
    // The name and the paths come from the last listed version, read through one open key; should it
    // not open for reading, its sub-keys may still, and they are read by their whole paths.
    const std::wstring versionKey = guid + L'\\' + versions.back();
    platform::UniqueKey version;
    const bool opened = ::RegOpenKeyExW(parent, versionKey.c_str(), 0, KEY_QUERY_VALUE, version.put()) == ERROR_SUCCESS;
    const HKEY base = opened ? version.get() : parent;
    const std::wstring prefix = opened ? L"" : versionKey + L'\\';
    bool named = false;
    const auto platforms = PlatformKeys(kWin64);
    for (std::size_t i = 0; i < platforms.size(); ++i) {
        library.paths[i] = GetRegData(base, prefix + L"0\\" + platforms[i], L"");
        library.fileNames[i] = RegisteredFileName(library.paths[i]);
        library.fileKeys[i] = SortKey(library.fileNames[i]);
        named = named || !library.fileNames[i].empty();
    }
    if (!named)
        return false;
    library.guid = guid;
    library.name = opened ? ReadTextValue(version.get(), L"") : GetRegData(parent, versionKey, L"");
    library.versions = GetVersionList(versions);
    return true;
}

// The name of the key HKEY_CLASSES_ROOT\TypeLib opens: another when the root is mapped elsewhere.
std::wstring ClassesTypeLibName()
{
    platform::UniqueKey typeLib;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_QUERY_VALUE, typeLib.put()) != ERROR_SUCCESS)
        return {};
    return KeyName(typeLib.get());
}

} // namespace

std::optional<std::vector<HeldLibrary>> ReadRegisteredLibraries()
{
    platform::UniqueKey classes;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, classes.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::wstring> guids;
    const LONG count = GetEnumRegKey(classes.get(), L"", guids);
    if (count < 0)
        return std::nullopt;
    guids.resize(static_cast<std::size_t>(count));
    platform::UniqueKey user;
    const std::vector<std::wstring> userGuids = UnmergedUserLibraries(classes.get(), user);

    std::vector<HeldLibrary> libraries;
    std::vector<std::wstring> versions;
    for (const LibraryKey& key : MergeLibraryKeys(guids, userGuids)) {
        HeldLibrary library;
        if (ReadLibrary(key.user ? user.get() : classes.get(), key.guid, versions, library))
            libraries.push_back(std::move(library));
    }
    return libraries;
}

std::vector<RegisteredLibrary> MatchListedFiles(const std::vector<HeldLibrary>& o_Libraries, const std::vector<ListedFile>& o_Files)
{
    std::vector<RegisteredLibrary> rows;
    if (o_Files.empty())
        return rows;
    const ListedNames listed(o_Files);
    for (const HeldLibrary& library : o_Libraries) {
        for (std::size_t i = 0; i < library.paths.size(); ++i) {
            if (library.fileNames[i].empty())
                continue;
            const ListedFile* file = listed.Find(library.fileNames[i], library.fileKeys[i]);
            if (!file)
                continue;
            // A path with a resource index names the listed file itself when the path without it does.
            const std::wstring& path = library.paths[i];
            const bool sameFile = platform::EqualsIgnoreCase(RegisteredFilePath(path), file->key);
            rows.push_back({library.name, library.versions, path, library.guid, sameFile});
            break;
        }
    }
    return rows;
}

std::optional<std::vector<RegisteredLibrary>> ScanRegisteredLibraries(const std::vector<ListedFile>& o_Files)
{
    std::optional<std::vector<HeldLibrary>> libraries = ReadRegisteredLibraries();
    if (!libraries)
        return std::nullopt;
    return MatchListedFiles(*libraries, o_Files);
}

std::optional<std::vector<RegisteredLibrary>> LibraryScan::Scan(const std::vector<ListedFile>& o_Files)
{
    // Mapping HKEY_CLASSES_ROOT elsewhere (RegOverridePredefKey) changes what it shows without any
    // change a watch could see.
    if (held_ && !watches_.Fired() && SameKeyName(ClassesTypeLibName(), classesName_))
        return MatchListedFiles(*held_, o_Files);
    // A walk started ahead serves unless the classes key has moved since; else one is made now.
    if (!walking_.valid() || !SameKeyName(ClassesTypeLibName(), classesName_))
        StartWalk(std::launch::deferred);
    const bool watched = walkWatched_;
    std::optional<std::vector<HeldLibrary>> libraries = walking_.get();
    if (!libraries)
        return std::nullopt;
    std::vector<RegisteredLibrary> rows = MatchListedFiles(*libraries, o_Files);
    if (watched)
        held_ = std::move(libraries);
    return rows;
}

void LibraryScan::StartWalk(std::launch policy)
{
    held_.reset();
    // Set before the walk: a change while it runs makes the next scan walk again.
    walkWatched_ = Watch();
    walking_ = std::async(policy, ReadRegisteredLibraries);
}

void LibraryScan::WalkAhead()
{
    try {
        StartWalk(std::launch::async);
    } catch (const std::system_error&) {
        // Without a thread of its own the next scan walks by itself.
    }
}

// The keys the merged view is made of, each in every view of it that is a key of its own: a 32-bit
// program on 64-bit Windows before 7 sees another TypeLib key than a 64-bit one. The user's TypeLib
// key may not exist yet; its nearest parent is watched so that its creation is seen.
bool LibraryScan::Watch()
{
    watches_.Clear();
    classesName_ = ClassesTypeLibName();
    if (classesName_.empty())
        return false;
    constexpr wchar_t machine[] = L"Software\\Classes\\TypeLib";
    return watches_.Add(HKEY_CLASSES_ROOT, L"TypeLib") && watches_.Add(HKEY_LOCAL_MACHINE, machine)
           && watches_.Add(HKEY_LOCAL_MACHINE, machine, KEY_WOW64_32KEY) && watches_.Add(HKEY_LOCAL_MACHINE, machine, KEY_WOW64_64KEY)
           && watches_.Add(HKEY_CURRENT_USER, L"Software\\Classes\\TypeLib");
}
