#include "register/RegistryRedirect.h"
#include "platform/Failure.h"
#include <algorithm>
#include <cwchar>

namespace {

constexpr wchar_t kCaptureKey[] = L"Software\\Mirdal\\Capture";
constexpr wchar_t kProgramKey[] = L"Software\\Mirdal";
constexpr DWORD kLongestValueName = 16383;

struct CaptureRoot {
    HKEY predefined;
    const wchar_t* name;
};
const CaptureRoot kCaptureRoots[] = {{HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},
                                     {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},
                                     {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
                                     {HKEY_USERS, L"HKEY_USERS"}};

platform::UniqueKey CreateKey(HKEY parent, const wchar_t* path, DWORD* disposition = nullptr)
{
    platform::UniqueKey key;
    platform::ThrowIfError(::RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), disposition));
    return key;
}

struct KeyInfo {
    DWORD subKeys = 0, longestSubKey = 0, values = 0, longestValueName = 0, longestData = 0;
};

KeyInfo QueryInfo(HKEY key)
{
    KeyInfo info;
    platform::ThrowIfError(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info.subKeys, &info.longestSubKey, nullptr,
                                              &info.values, &info.longestValueName, &info.longestData, nullptr, nullptr));
    return info;
}

std::vector<RegValue> ReadValues(HKEY key, KeyInfo info)
{
    std::vector<RegValue> values;
    std::wstring name;
    std::vector<std::uint8_t> data;
    for (DWORD index = 0; index < info.values;) {
        name.resize(info.longestValueName + 1);
        // Never empty: with no buffer the call reports a size without reading the data.
        data.resize(std::max<DWORD>(info.longestData, 1));
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0, bytes = static_cast<DWORD>(data.size());
        LSTATUS status = ::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &bytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA) {
            // Written to since it was measured: measure again and read the same value, with room
            // for the longest name there can be, since the call does not tell the name's length.
            DWORD needed = bytes;
            info = QueryInfo(key);
            info.longestValueName = std::max<DWORD>(info.longestValueName, kLongestValueName);
            info.longestData = std::max(info.longestData, needed);
            continue;
        }
        platform::ThrowIfError(status);
        values.push_back({name.substr(0, nameLength), type, {data.begin(), data.begin() + std::min<size_t>(bytes, data.size())}});
        ++index;
    }
    return values;
}

std::vector<std::wstring> SubKeyNames(HKEY key, const KeyInfo& info)
{
    std::vector<std::wstring> names;
    // Key names are at most 255 characters.
    std::wstring name(std::max<DWORD>(info.longestSubKey, 255) + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS status = ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return names;
        platform::ThrowIfError(status);
        names.push_back(name.substr(0, length));
    }
}

// keepBare: whether the key is recorded when it holds neither values nor sub-keys; view: the registry
// view its sub-keys are opened in.
void ReadKey(HKEY key, const std::wstring& path, bool keepBare, std::vector<RegKeyRecord>& records, REGSAM view = 0)
{
    KeyInfo info = QueryInfo(key);
    std::vector<RegValue> values = ReadValues(key, info);
    std::vector<std::wstring> names = SubKeyNames(key, info);
    if (!values.empty() || (keepBare && names.empty()))
        records.push_back({path, std::move(values)});
    for (const std::wstring& name : names) {
        platform::UniqueKey child;
        platform::ThrowIfError(::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | view, child.put()));
        ReadKey(child.get(), path + L"\\" + name, true, records, view);
    }
}

void DeleteIfEmpty(const wchar_t* path)
{
    platform::UniqueKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    DWORD subKeys = 1, values = 1;
    ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    key.reset();
    if (subKeys == 0 && values == 0)
        ::RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

void RemoveEmptyCaptureKeys()
{
    DeleteIfEmpty(kCaptureKey);
    DeleteIfEmpty(kProgramKey);
}

// Since Windows Vista SP1, RegisterTypeLib ignores a redirected HKEY_CLASSES_ROOT unless this
// switch is on. It cannot be switched off again, and needs none: without a redirection it changes
// nothing. Wine 8 and older systems have no such switch and honour the redirection anyway.
void LetTypeLibrariesFollowTheRedirection()
{
    HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
    // Kept loaded for good once loaded here: the switch lives in the module.
    if (!oleaut)
        oleaut = ::LoadLibraryW(L"oleaut32.dll");
    auto enable = reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void (*)()>(
        oleaut ? ::GetProcAddress(oleaut, "OaEnablePerUserTLibRegistration") : nullptr));
    if (enable)
        enable();
}

} // namespace

std::vector<RegKeyRecord> ReadRegistryTree(HKEY key, const std::wstring& displayPath, REGSAM view)
{
    std::vector<RegKeyRecord> records;
    ReadKey(key, displayPath, true, records, view);
    return records;
}

PredefinedKeyOverrides::~PredefinedKeyOverrides()
{
    for (auto key = redirected_.rbegin(); key != redirected_.rend(); ++key)
        ::RegOverridePredefKey(*key, nullptr);
}

void PredefinedKeyOverrides::Redirect(HKEY predefined, HKEY target)
{
    redirected_.reserve(redirected_.size() + 1);
    platform::ThrowIfError(::RegOverridePredefKey(predefined, target));
    redirected_.push_back(predefined);
}

PerUserRedirect::PerUserRedirect() : classes_(CreateKey(HKEY_CURRENT_USER, L"Software\\Classes"))
{
    // A key of its own: a predefined key cannot stand in for another.
    platform::ThrowIfError(::RegOpenCurrentUser(KEY_ALL_ACCESS, user_.put()));
    LetTypeLibrariesFollowTheRedirection();
    overrides_.Redirect(HKEY_CLASSES_ROOT, classes_.get());
    overrides_.Redirect(HKEY_LOCAL_MACHINE, user_.get());
}

RegistryCapture::ScratchKey::ScratchKey()
    : parent_(CreateKey(HKEY_CURRENT_USER, kCaptureKey)),
      name_(std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()))
{
    try {
        DWORD disposition = 0;
        key_ = CreateKey(parent_.get(), name_.c_str(), &disposition);
        if (disposition == REG_OPENED_EXISTING_KEY)
            platform::ThrowIfError(::RegDeleteTreeW(key_.get(), nullptr));
    } catch (const platform::Failure&) {
        key_.reset();
        ::RegDeleteTreeW(parent_.get(), name_.c_str());
        parent_.reset();
        RemoveEmptyCaptureKeys();
        throw;
    }
}

RegistryCapture::ScratchKey::~ScratchKey()
{
    key_.reset();
    ::RegDeleteTreeW(parent_.get(), name_.c_str());
    parent_.reset();
    RemoveEmptyCaptureKeys();
}

RegistryCapture::RegistryCapture()
{
    // Every target is opened through the scratch key before HKEY_CURRENT_USER is pointed elsewhere.
    for (size_t i = 0; i < std::size(kCaptureRoots); ++i)
        roots_[i] = CreateKey(scratch_.Get(), kCaptureRoots[i].name);
    LetTypeLibrariesFollowTheRedirection();
    for (size_t i = 0; i < std::size(kCaptureRoots); ++i)
        overrides_.Redirect(kCaptureRoots[i].predefined, roots_[i].get());
}

std::vector<RegKeyRecord> RegistryCapture::Read() const
{
    std::vector<RegKeyRecord> records;
    for (size_t i = 0; i < std::size(kCaptureRoots); ++i)
        ReadKey(roots_[i].get(), kCaptureRoots[i].name, false, records);
    return records;
}

void RegistryCapture::RemoveLeftovers()
{
    platform::UniqueKey captures;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCaptureKey, 0, KEY_READ | KEY_SET_VALUE, captures.put()) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> names;
    try {
        names = SubKeyNames(captures.get(), QueryInfo(captures.get()));
    } catch (const platform::Failure&) {
    }
    for (const std::wstring& name : names) {
        // Named after the host that made it: a host still running is still capturing.
        platform::UniqueHandle host(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(name.c_str(), nullptr, 10))));
        if (!host || ::WaitForSingleObject(host.get(), 0) != WAIT_TIMEOUT)
            ::RegDeleteTreeW(captures.get(), name.c_str());
    }
    captures.reset();
    RemoveEmptyCaptureKeys();
}
