#include "pe/ImageFile.h"
#include "platform/Module.h"
#include "pe/pure/DllSearch.h"
#include "pe/pure/SideBySide.h"
#include "platform/UniqueHandle.h"
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

// Headers, export names, import names and resource types of any real server lie well within this.
constexpr unsigned long long MaxImageRead = 256ull << 20;

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

template <class F>
std::wstring SystemText(F&& get)
{
    wchar_t buffer[MAX_PATH + 1]{};
    UINT length = get(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring SystemFolderOf(pe::Machine machine)
{
    bool process64 = sizeof(void*) == 8;
    switch (pe::SystemFolderFor(machine, process64, platform::WindowsIs64Bit())) {
    case pe::SystemFolder::SysWow64: return SystemText(::GetSystemWow64DirectoryW);
    case pe::SystemFolder::SysNative: {
        std::wstring windows = SystemText(::GetSystemWindowsDirectoryW);
        return windows.empty() ? windows : windows + L"\\Sysnative";
    }
    default: return SystemText(::GetSystemDirectoryW);
    }
}

std::wstring PathVariable()
{
    DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring value(size, L'\0');
    DWORD length = size ? ::GetEnvironmentVariableW(L"PATH", value.data(), size) : 0;
    value.resize(length < size ? length : 0);
    return value;
}

// The loader's order: the file's folder, the system folder, the Windows folder, PATH.
std::vector<std::wstring> SearchFolders(const std::wstring& path, pe::Machine machine)
{
    std::vector<std::wstring> folders{FolderOf(path), SystemFolderOf(machine), SystemText(::GetWindowsDirectoryW)};
    for (std::wstring& folder : pe::SplitSearchPath(PathVariable()))
        folders.push_back(std::move(folder));
    return folders;
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name)
{
    bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    return folder + (separated ? L"" : L"\\") + name;
}

bool FileThere(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The modules read this session, by lower-case path; an entry stands while the file's time of last
// change does. Shared by the registration run and the info tip's worker.
class ModuleCache {
public:
    std::shared_ptr<const pe::Module> Get(const std::wstring& path, const FILETIME& written, bool system)
    {
        std::wstring key = path;
        ::CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
        {
            std::lock_guard lock(mutex_);
            auto entry = entries_.find(key);
            if (entry != entries_.end() && ::CompareFileTime(&entry->second.written, &written) == 0)
                return entry->second.module;
        }
        std::optional<pe::ImageFacts> facts = ReadImageFile(path);
        auto module = std::make_shared<const pe::Module>(facts ? *facts : pe::ImageFacts(), system);
        std::lock_guard lock(mutex_);
        entries_[key] = {written, module};
        return module;
    }

    // Where a DLL name led from a list of folders when last looked for; false when never looked for.
    bool Found(const std::wstring& lookup, std::shared_ptr<const pe::Module>& module)
    {
        std::lock_guard lock(mutex_);
        auto entry = found_.find(lookup);
        if (entry == found_.end())
            return false;
        module = entry->second;
        return true;
    }
    void Remember(const std::wstring& lookup, const std::shared_ptr<const pe::Module>& module)
    {
        std::lock_guard lock(mutex_);
        found_[lookup] = module;
    }

private:
    struct Entry {
        FILETIME written;
        std::shared_ptr<const pe::Module> module;
    };
    std::mutex mutex_;
    std::unordered_map<std::wstring, Entry> entries_;
    std::unordered_map<std::wstring, std::shared_ptr<const pe::Module>> found_;
};

// Never destroyed: a tip's worker may still be reading when the program ends.
ModuleCache& Modules()
{
    static ModuleCache& cache = *new ModuleCache;
    return cache;
}

// The DLLs the loader always takes from the system folder, whatever copy lies beside the file; the
// values' data are their file names, in lower case. Read once.
const std::unordered_set<std::string>& KnownDlls()
{
    static const std::unordered_set<std::string> known = [] {
        std::unordered_set<std::string> names;
        platform::UniqueKey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                            KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            return names;
        char name[256], data[MAX_PATH];
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = sizeof name, dataLength = sizeof data - 1, type = 0;
            LONG status = ::RegEnumValueA(key.get(), i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataLength);
            if (status == ERROR_MORE_DATA)
                continue;
            if (status != ERROR_SUCCESS)
                break;
            if (type == REG_SZ)
                names.insert(LowerAscii(std::string(data, ::strnlen(data, dataLength))));
        }
        return names;
    }();
    return known;
}

class MappedView {
public:
    explicit MappedView(const std::wstring& path)
    {
        // Without write sharing nobody can shorten the file under the view, which would fault on access;
        // a file that a writer holds open is mapped all the same, since a mapped file cannot be
        // shortened on this machine either.
        for (DWORD share : {FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}) {
            file_.reset(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
            if (file_ || ::GetLastError() != ERROR_SHARING_VIOLATION)
                break;
        }
        LARGE_INTEGER size{};
        if (!file_ || !::GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0)
            return;
        readable_ = true;
        if (size.QuadPart == 0)
            return; // an empty file cannot be mapped
        whole_ = static_cast<unsigned long long>(size.QuadPart) <= MaxImageRead;
        size_ = static_cast<size_t>(std::min<unsigned long long>(static_cast<unsigned long long>(size.QuadPart), MaxImageRead));
        mapping_.reset(::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (mapping_)
            view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, size_));
        readable_ = static_cast<bool>(view_);
    }
    bool Readable() const { return readable_; }
    // Whether the view holds the whole file, and so whether its sections can be told to fit in it.
    bool Whole() const { return whole_; }
    std::span<const std::uint8_t> Bytes() const
    {
        return view_ ? std::span(static_cast<const std::uint8_t*>(view_.get()), size_) : std::span<const std::uint8_t>();
    }

private:
    platform::UniqueFile file_;
    platform::UniqueHandle mapping_;
    platform::UniqueView view_;
    size_t size_ = 0;
    bool readable_ = false, whole_ = true;
};

} // namespace

std::wstring WideName(const std::string& name)
{
    int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
    return wide;
}

std::optional<pe::ImageFacts> ReadImageFile(const std::wstring& path)
{
    MappedView view(path);
    if (!view.Readable())
        return std::nullopt;
    pe::ImageFacts facts = pe::ReadImage(view.Bytes());
    facts.damaged = facts.damaged && view.Whole();
    return facts;
}

std::vector<std::wstring> MissingDependencies(const std::wstring& path, const pe::ImageFacts& facts)
{
    std::vector<std::wstring> dlls;
    for (const pe::ImportedDll& dll : pe::SearchPathImports(facts))
        dlls.push_back(WideName(dll.name));
    return pe::MissingDlls(dlls, SearchFolders(path, facts.machine), [](const std::wstring& candidate) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        return FileThere(candidate, data);
    });
}

std::optional<pe::AssemblyReference> MissingAssembly(const std::wstring& path, const pe::ImageFacts& facts)
{
    const std::wstring store = SystemText(::GetSystemWindowsDirectoryW) + L"\\WinSxS\\Manifests\\";
    for (const pe::AssemblyReference& assembly : facts.dependentAssemblies) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        bool found = false;
        for (const std::wstring& probe : pe::PrivateAssemblyProbes(assembly, FolderOf(path)))
            found = found || FileThere(probe, data);
        const std::wstring pattern = pe::SharedAssemblyPattern(assembly, facts.machine);
        WIN32_FIND_DATAW entry;
        found = found || (!pattern.empty() && platform::UniqueFind(::FindFirstFileW((store + pattern).c_str(), &entry)));
        if (!found)
            return assembly;
    }
    return std::nullopt;
}

DependencySearch::DependencySearch(const std::wstring& path, pe::Machine machine, bool remembered)
    : folders_(SearchFolders(path, machine)), remembered_(remembered)
{
    for (const std::wstring& folder : folders_)
        lookupPrefix_ += folder + L"|";
}

const pe::Module* DependencySearch::Find(const std::string& dll)
{
    std::string key = LowerAscii(dll);
    if (auto known = found_.find(key); known != found_.end())
        return known->second.get();
    std::shared_ptr<const pe::Module>& module = found_[key];
    std::wstring name = WideName(dll), lookup = lookupPrefix_ + WideName(key);
    if (remembered_ && Modules().Found(lookup, module))
        return module.get();
    WIN32_FILE_ATTRIBUTE_DATA data;
    auto look = [&](size_t folder) {
        std::wstring candidate = InFolder(folders_[folder], name);
        if (!module && !folders_[folder].empty() && FileThere(candidate, data))
            module = Modules().Get(candidate, data.ftLastWriteTime, folder == 1 || folder == 2);
    };
    if (KnownDlls().count(key))
        look(1);
    for (size_t i = 0; i < folders_.size(); ++i)
        look(i);
    Modules().Remember(lookup, module);
    return module.get();
}
