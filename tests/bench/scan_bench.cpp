// How much the registered-library scan costs beyond the registry reads it cannot avoid.
// Registers N fake type libraries, lists N fake files (half of them registered) and times the scan
// against the same registry walk done bare. Writes to the registry: run it only in a prefix of its
// own, e.g. MIRDAL_TEST_PREFIX=/tmp/mirdal-bench tests/wine-run.sh build/bin/scan_bench.exe
#include "platform/UniqueHandle.h"
#include "registry/LibraryScan.h"
#include "registry/RegistryReaders.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kBenchPrefix[] = L"{B5CA9000-0000-0000-0000-";
#ifdef _WIN64
constexpr wchar_t kPlatformKey[] = L"\\0\\win64";
#else
constexpr wchar_t kPlatformKey[] = L"\\0\\win32";
#endif
constexpr int kRounds = 11;

std::wstring Guid(int i)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"%ls%012d}", kBenchPrefix, i);
    return text;
}

// Libraries i < n/2 name a listed file; the even ones of them at the listed path itself.
std::wstring RegisteredPath(int i, int n)
{
    std::wstring name = (i < n / 2 ? L"lib" : L"unlisted") + std::to_wstring(i) + L".dll";
    return (i % 2 == 0 ? L"C:\\bench\\" : L"C:\\elsewhere\\") + name;
}

bool Check(LSTATUS status, const char* what)
{
    if (status != ERROR_SUCCESS)
        std::printf("%s failed: %ld\n", what, static_cast<long>(status));
    return status == ERROR_SUCCESS;
}

// User classes show in HKEY_CLASSES_ROOT on Windows; Wine 8 shows only the machine's. The libraries
// go where the scan will see them.
bool OpenClassesForWriting(platform::UniqueKey& classes, const wchar_t*& where)
{
    const std::pair<HKEY, const wchar_t*> candidates[] = {
        {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER\\Software\\Classes"},
        {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE\\Software\\Classes"},
    };
    for (const auto& [root, name] : candidates) {
        if (::RegCreateKeyExW(root, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, classes.put(), nullptr) !=
            ERROR_SUCCESS)
            continue;
        platform::UniqueKey probe, seen;
        ::RegCreateKeyExW(classes.get(), L"MirdalBenchProbe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, probe.put(), nullptr);
        bool visible = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"MirdalBenchProbe", 0, KEY_READ, seen.put()) == ERROR_SUCCESS;
        probe.reset();
        seen.reset();
        ::RegDeleteKeyW(classes.get(), L"MirdalBenchProbe");
        if (visible) {
            where = name;
            return true;
        }
    }
    return false;
}

void RemoveBenchLibraries(HKEY classes)
{
    platform::UniqueKey typeLib;
    if (::RegOpenKeyExW(classes, L"TypeLib", 0, KEY_ALL_ACCESS, typeLib.put()) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> ours;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(typeLib.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (std::wcsncmp(name, kBenchPrefix, std::wcslen(kBenchPrefix)) == 0)
            ours.emplace_back(name, length);
    }
    for (const std::wstring& guid : ours)
        ::RegDeleteTreeW(typeLib.get(), guid.c_str());
}

bool AddBenchLibraries(HKEY classes, int n)
{
    for (int i = 0; i < n; ++i) {
        const std::wstring version = L"TypeLib\\" + Guid(i) + L"\\1.0";
        const std::wstring name = L"Bench library " + std::to_wstring(i);
        const std::wstring path = RegisteredPath(i, n);
        platform::UniqueKey key;
        if (!Check(::RegCreateKeyExW(classes, (version + kPlatformKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     key.put(), nullptr), "RegCreateKeyExW") ||
            !Check(::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                    static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))), "RegSetValueExW") ||
            !Check(::RegSetKeyValueW(classes, version.c_str(), nullptr, REG_SZ, name.c_str(),
                                     static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))), "RegSetKeyValueW"))
            return false;
    }
    return true;
}

std::wstring ReadDefault(HKEY parent, const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD bytes = sizeof buffer;
    if (::RegGetValueW(parent, path.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                       &bytes) != ERROR_SUCCESS)
        return {};
    return buffer;
}

// The registry walk alone: every library's versions listed and its path read; its name read for
// every library, or (nameOnlyForRows) only where the scan makes a row.
std::size_t BareWalk(int n, bool nameOnlyForRows)
{
    platform::UniqueKey typeLib;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_ENUMERATE_SUB_KEYS, typeLib.put()) != ERROR_SUCCESS)
        return 0;
    std::vector<std::wstring> guids;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(typeLib.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        guids.emplace_back(name, length);
    }
    const std::wstring firstUnlisted = Guid(n / 2);
    std::size_t characters = 0;
    for (const std::wstring& guid : guids) {
        platform::UniqueKey library;
        if (::RegOpenKeyExW(typeLib.get(), guid.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, library.put()) != ERROR_SUCCESS)
            continue;
        std::wstring last;
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (::RegEnumKeyExW(library.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            last.assign(name, length);
        }
        library.reset();
        if (last.empty())
            continue;
        const std::wstring version = guid + L"\\" + last;
        characters += ReadDefault(typeLib.get(), version + kPlatformKey).size();
        const bool row = guid.starts_with(kBenchPrefix) && guid < firstUnlisted;
        if (!nameOnlyForRows || row)
            characters += ReadDefault(typeLib.get(), version).size();
    }
    return characters;
}

// The scan's own registry work through the readers it is built from, without list or matching.
std::size_t ReadersWalk(int n)
{
    platform::UniqueKey typeLib;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_ENUMERATE_SUB_KEYS, typeLib.put()) != ERROR_SUCCESS)
        return 0;
    std::vector<std::wstring> guids, versions;
    const LONG count = GetEnumRegKey(typeLib.get(), L"", guids);
    const std::wstring firstUnlisted = Guid(n / 2);
    std::size_t characters = 0;
    for (LONG i = 0; i < count; ++i) {
        const std::wstring& guid = guids[static_cast<std::size_t>(i)];
        const LONG found = GetEnumRegKey(typeLib.get(), guid, versions);
        if (found <= 0)
            continue;
        const std::wstring version = guid + L"\\" + versions[static_cast<std::size_t>(found - 1)];
        characters += GetRegData(typeLib.get(), version + kPlatformKey, L"").size();
        if (guid.starts_with(kBenchPrefix) && guid < firstUnlisted)
            characters += GetRegData(typeLib.get(), version, L"").size();
    }
    return characters;
}

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Measure(HKEY classes, int n)
{
    RemoveBenchLibraries(classes);
    double started = Now();
    if (!AddBenchLibraries(classes, n))
        return false;
    std::printf("N = %d: %d libraries registered in %.0f ms\n", n, n, Now() - started);

    std::vector<ListedFile> files;
    for (int i = 0; i < n; ++i) {
        std::wstring name = (i % 2 == 0 ? L"lib" + std::to_wstring(i / 2) : L"fake" + std::to_wstring(i)) + L".dll";
        files.push_back({name, L"C:\\bench\\" + name});
    }

    // One untimed scan warms the caches and gives the row count every round must find again.
    const std::size_t rows = ScanRegisteredLibraries(files).value_or(std::vector<RegisteredLibrary>{}).size();
    // Each round runs the four walks in another order, so none always comes first; a walk is compared
    // with the scan of its own round, which keeps a busy machine's drift out of the ratio.
    enum { Scan, Bare, BareSame, Readers, Walks };
    std::vector<double> times[Walks];
    for (int round = 0; round < kRounds; ++round) {
        for (int step = 0; step < Walks; ++step) {
            const int walk = (round + step) % Walks;
            const double t0 = Now();
            if (walk == Scan) {
                auto result = ScanRegisteredLibraries(files);
                if (!result || result->size() != rows)
                    std::printf("  round %d: the scan found %zu rows, not %zu\n", round, result ? result->size() : 0, rows);
            } else if (walk == Readers) {
                ReadersWalk(n);
            } else {
                BareWalk(n, walk == BareSame);
            }
            times[walk].push_back(Now() - t0);
        }
    }
    auto report = [&](int walk, const char* what) {
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round)
            ratios.push_back(times[Scan][round] / times[walk][round]);
        std::printf("  %-46s %8.1f ms   scan/this %.2f (ratio of medians %.2f)\n", what, Median(times[walk]),
                    Median(ratios), Median(times[Scan]) / Median(times[walk]));
    };
    std::printf("  %zu rows (expected %d); medians of %d rounds\n", rows, n / 2, kRounds);
    std::printf("  %-46s %8.1f ms\n", "scan", Median(times[Scan]));
    report(Bare, "bare walk: name and path of every library");
    report(BareSame, "bare walk: the scan's own reads");
    report(Readers, "readers walk: the scan's reads, no matching");

    started = Now();
    RemoveBenchLibraries(classes);
    std::printf("  removed again in %.0f ms\n", Now() - started);
    return true;
}

} // namespace

int wmain()
{
    // The libraries go into the registry of whatever prefix runs this: never the tests' own.
    wchar_t prefix[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"MIRDAL_TEST_PREFIX", prefix, MAX_PATH);
    const std::wstring testsOwn = L"/wineprefix"; // the prefix tests/wine-run.sh gives the tests
    if (length == 0 || length >= MAX_PATH ||
        (length >= testsOwn.size() && std::wstring(prefix + length - testsOwn.size()) == testsOwn)) {
        std::printf("Set MIRDAL_TEST_PREFIX to a prefix of the benchmark's own.\n");
        return 2;
    }
    platform::UniqueKey classes;
    const wchar_t* where = nullptr;
    if (!OpenClassesForWriting(classes, where)) {
        std::printf("No classes key whose libraries HKEY_CLASSES_ROOT shows can be written.\n");
        return 1;
    }
    std::printf("Libraries under %ls\\TypeLib\n", where);
    for (int n : {1000, 5000})
        if (!Measure(classes.get(), n)) {
            RemoveBenchLibraries(classes.get());
            return 1;
        }
    return 0;
}
