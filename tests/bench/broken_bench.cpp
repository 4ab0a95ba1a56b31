// What the search for broken registrations costs beyond the registry reads it cannot avoid: 5,000 classes
// and 1,000 type libraries in a scratch layout of their own, half their files missing, searched and then read
// bare, key for key. Writes to the registry: run it only in a prefix of its own, e.g.
// MIRDAL_TEST_PREFIX=/tmp/mirdal-bench tests/wine-run.sh build/x64/bin/broken_bench.exe
#include "platform/UniqueHandle.h"
#include "registry/BrokenSearch.h"
#include "Timing.h"

#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kLayout[] = L"Software\\MirdalBrokenBench\\Classes";
constexpr int kClasses = 5000, kLibraries = 1000, kFiles = 50, kRounds = 5;

std::wstring Guid(int i)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"{B27BE000-0000-4000-8000-%012d}", i);
    return text;
}

void Put(const std::wstring& key, const std::wstring& text)
{
    platform::UniqueKey opened;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kLayout) + L"\\" + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      opened.put(), nullptr);
    ::RegSetValueExW(opened.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> SubKeys(HKEY parent, const std::wstring& path)
{
    std::vector<std::wstring> names;
    platform::UniqueKey key;
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0, length = 256; ::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    return names;
}

size_t ReadDefault(HKEY parent, const std::wstring& path)
{
    platform::UniqueKey key;
    if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return 0;
    wchar_t buffer[MAX_PATH + 1];
    DWORD bytes = sizeof buffer;
    return ::RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) == ERROR_SUCCESS ? bytes : 0;
}

// The same keys the search reads, read bare.
size_t BareReads()
{
    platform::UniqueKey root;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kLayout, 0, KEY_READ, root.put());
    size_t bytes = 0;
    for (const std::wstring& name : SubKeys(root.get(), L"CLSID"))
        for (const wchar_t* server : {L"InprocServer32", L"LocalServer32", L"InprocHandler32"})
            bytes += ReadDefault(root.get(), L"CLSID\\" + name + L"\\" + server);
    for (const std::wstring& guid : SubKeys(root.get(), L"TypeLib"))
        for (const std::wstring& version : SubKeys(root.get(), L"TypeLib\\" + guid))
            for (const std::wstring& locale : SubKeys(root.get(), L"TypeLib\\" + guid + L"\\" + version))
                for (const wchar_t* platform : {L"win32", L"win64"})
                    bytes += ReadDefault(root.get(), L"TypeLib\\" + guid + L"\\" + version + L"\\" + locale + L"\\" + platform);
    for (const std::wstring& name : SubKeys(root.get(), L""))
        bytes += ReadDefault(root.get(), name + L"\\CLSID");
    return bytes;
}

} // namespace

int wmain()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"mirdal-broken-bench\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kLayout);
    // Many classes to a server, as real servers register them; every other file is missing.
    auto file = [&](int i, const wchar_t* extension) { return folder + L"server" + std::to_wstring(i % kFiles) + extension; };
    for (int i = 0; i < kFiles; i += 2)
        ::CloseHandle(::CreateFileW(file(i, L".dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (int i = 0; i < kClasses; ++i)
        Put(L"CLSID\\" + Guid(i) + L"\\InprocServer32", file(i, L".dll"));
    for (int i = 0; i < kLibraries; ++i)
        for (const wchar_t* platform : {L"win32", L"win64"})
            Put(L"TypeLib\\" + Guid(i) + L"\\1.0\\0\\" + platform, file(i + (platform[3] == L'6'), L".dll"));
    for (int i = 0; i < 100; ++i)
        Put(L"MirdalBench.Prog" + std::to_wstring(i) + L"\\CLSID", Guid(i * 97));

    const std::vector<ClassesArea> areas{{HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kLayout, 64}};
    std::vector<double> search, bare;
    size_t found = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<bool> stop{false};
        found = 0;
        search.push_back(bench::Milliseconds([&] { FindBrokenRegistrations(areas, [&](const BrokenRegistration&) { ++found; }, stop); }));
        bare.push_back(bench::Milliseconds([&] { BareReads(); }));
    }
    std::printf("broken registrations: %zu found; search %.0f ms, bare reads %.0f ms, ratio %.2f (target 1.5)\n", found,
                bench::Median(search), bench::Median(bare), bench::Median(search) / bench::Median(bare));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\MirdalBrokenBench");
    for (int i = 0; i < kFiles; i += 2)
        ::DeleteFileW(file(i, L".dll").c_str());
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
