#include "registry/LibraryScan.h"

#include "platform/UniqueHandle.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"

#include <windows.h>
#include <string_view>
#include <unordered_map>

namespace {

// A 64-bit build reads the registrations a 64-bit process can load.
#ifdef _WIN64
constexpr wchar_t kPlatformKey[] = L"\\0\\win64";
#else
constexpr wchar_t kPlatformKey[] = L"\\0\\win32";
#endif

constexpr DWORD kCompareFlags = NORM_IGNORECASE;

bool SameText(std::wstring_view left, std::wstring_view right)
{
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, kCompareFlags, left.data(), static_cast<int>(left.size()),
                             right.data(), static_cast<int>(right.size()), nullptr, nullptr, 0) == CSTR_EQUAL;
}

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

    const ListedFile* Find(const std::wstring& name) const
    {
        if (complete_) {
            std::string key = SortKey(name);
            if (!key.empty()) {
                auto hit = first_.find(key);
                if (hit == first_.end())
                    return nullptr;
                if (SameText(files_[hit->second].text, name))
                    return &files_[hit->second];
            }
        }
        for (const ListedFile& file : files_)
            if (SameText(file.text, name))
                return &file;
        return nullptr;
    }

private:
    const std::vector<ListedFile>& files_;
    std::unordered_map<std::string, std::size_t> first_;
    bool complete_ = true; // every listed name has a sort key (an empty one has none)
};

} // namespace

std::optional<std::vector<RegisteredLibrary>> ScanRegisteredLibraries(const std::vector<ListedFile>& o_Files)
{
    // Every library is read through the readers relative to one open TypeLib key: the same calls as
    // full paths below HKEY_CLASSES_ROOT, with shorter paths for the registry to resolve.
    platform::UniqueKey typeLib;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_ENUMERATE_SUB_KEYS, typeLib.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::wstring> guids;
    LONG libraries = GetEnumRegKey(typeLib.get(), L"", guids);
    if (libraries < 0)
        return std::nullopt;

    const ListedNames listed(o_Files);
    std::vector<RegisteredLibrary> rows;
    std::vector<std::wstring> versions;
    for (LONG i = 0; i < libraries; ++i) {
        const std::wstring& guid = guids[static_cast<std::size_t>(i)];
        LONG count = GetEnumRegKey(typeLib.get(), guid, versions);
        if (count <= 0)
            continue;
        const std::wstring versionKey = guid + L'\\' + versions[static_cast<std::size_t>(count - 1)];
        std::wstring path = GetRegData(typeLib.get(), versionKey + kPlatformKey, L"");
        // A missing path leaves no file name to match.
        std::wstring fileName = RegisteredFileName(path);
        if (fileName.empty())
            continue;
        const ListedFile* file = listed.Find(fileName);
        if (!file)
            continue;
        // The name is only wanted for a row: a library that matches nothing costs one value read.
        RegisteredLibrary row;
        row.name = GetRegData(typeLib.get(), versionKey, L"");
        row.versions = GetVersionList(versions);
        row.sameFile = SameText(path, file->key);
        row.path = std::move(path);
        row.guid = guid;
        rows.push_back(std::move(row));
    }
    return rows;
}
