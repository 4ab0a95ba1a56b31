// How much the registered-library scan costs beyond the registry reads it cannot avoid.
// Registers N fake type libraries, lists N fake files (half of them registered) and times the scan
// against the same registry reads done bare. Writes to the registry: run it only in a prefix of its
// own, e.g. MIRDAL_TEST_PREFIX=/tmp/mirdal-bench tests/wine-run.sh build/bin/scan_bench.exe
#include "platform/UniqueHandle.h"
#include "registry/LibraryScan.h"
#include "Timing.h"
#include "../fixtures/Fixtures.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kBenchPrefix[] = L"{B5CA9000-0000-0000-0000-";
constexpr int kRounds = 11;

std::wstring Guid(int i)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"%ls%012d}", kBenchPrefix, i);
    return text;
}

std::vector<std::wstring> SubKeys(HKEY key)
{
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0, length = 256; ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    return names;
}

std::wstring ReadDefault(HKEY parent, const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD bytes = sizeof buffer;
    return ::RegGetValueW(parent, path.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &bytes) ==
                   ERROR_SUCCESS ? buffer : L"";
}

// User classes show in HKEY_CLASSES_ROOT on Windows; Wine 8 shows only the machine's. Opens the
// TypeLib key of whichever the scan will see, removing the libraries of an earlier run.
bool OpenTypeLib(platform::UniqueKey& typeLib)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        platform::UniqueKey seen;
        if (::RegCreateKeyExW(root, L"Software\\Classes\\TypeLib\\{B5CA9000-PROBE}", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              typeLib.put(), nullptr) != ERROR_SUCCESS)
            continue;
        bool visible = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib\\{B5CA9000-PROBE}", 0, KEY_READ, seen.put()) == ERROR_SUCCESS;
        ::RegOpenKeyExW(root, L"Software\\Classes\\TypeLib", 0, KEY_ALL_ACCESS, typeLib.put());
        for (const std::wstring& guid : SubKeys(typeLib.get()))
            if (guid.starts_with(L"{B5CA9000-"))
                ::RegDeleteTreeW(typeLib.get(), guid.c_str());
        if (visible) {
            std::printf("Libraries under %s\\Software\\Classes\\TypeLib\n", root == HKEY_CURRENT_USER ? "HKCU" : "HKLM");
            return true;
        }
    }
    return false;
}

// The scan's registry reads alone: every library's versions listed and its path read, its name read
// where the scan makes a row (the libraries below n/2 name a listed file).
std::size_t BareWalk(int n)
{
    platform::UniqueKey typeLib, library;
    ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_ENUMERATE_SUB_KEYS, typeLib.put());
    std::size_t characters = 0;
    for (const std::wstring& guid : SubKeys(typeLib.get())) {
        ::RegOpenKeyExW(typeLib.get(), guid.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, library.put());
        std::vector<std::wstring> versions = SubKeys(library.get());
        if (versions.empty())
            continue;
        const std::wstring version = guid + L"\\" + versions.back();
        characters += ReadDefault(typeLib.get(), version + L"\\0\\" + fixtures::kPlatformKey).size();
        if (guid.starts_with(kBenchPrefix) && guid < Guid(n / 2))
            characters += ReadDefault(typeLib.get(), version).size();
    }
    return characters;
}

double Now()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter), ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

using bench::Median;

// Libraries i < n/2 name a listed file, the even ones at the listed path itself; half the files are registered.
void Measure(HKEY typeLib, int n)
{
    std::vector<ListedFile> files;
    for (int i = 0; i < n; ++i) {
        std::wstring lib = (i < n / 2 ? L"lib" : L"unlisted") + std::to_wstring(i) + L".dll";
        std::wstring path = (i % 2 == 0 ? L"C:\\bench\\" : L"C:\\elsewhere\\") + lib, name = L"Bench " + std::to_wstring(i);
        ::RegSetKeyValueW(typeLib, (Guid(i) + L"\\1.0").c_str(), nullptr, REG_SZ, name.c_str(), static_cast<DWORD>((name.size() + 1) * 2));
        ::RegSetKeyValueW(typeLib, (Guid(i) + L"\\1.0\\0\\" + fixtures::kPlatformKey).c_str(), nullptr, REG_SZ, path.c_str(),
                          static_cast<DWORD>((path.size() + 1) * 2));
        std::wstring file = (i % 2 == 0 ? L"lib" + std::to_wstring(i / 2) : L"fake" + std::to_wstring(i)) + L".dll";
        files.push_back({file, L"C:\\bench\\" + file});
    }
    // One untimed scan warms the caches. Each round alternates which walk comes first, and the ratio
    // compares the two of one round, which keeps a busy machine's drift out of it.
    const std::size_t rows = ScanRegisteredLibraries(files).value_or(std::vector<RegisteredLibrary>{}).size();
    std::vector<double> scan, bare, ratios;
    for (int round = 0; round < kRounds; ++round) {
        for (int step = 0; step < 2; ++step) {
            const double t0 = Now();
            if ((round + step) % 2 == 0) {
                if (ScanRegisteredLibraries(files).value_or(std::vector<RegisteredLibrary>{}).size() != rows)
                    std::printf("  round %d: the scan found another number of rows\n", round);
                scan.push_back(Now() - t0);
            } else {
                BareWalk(n);
                bare.push_back(Now() - t0);
            }
        }
        ratios.push_back(scan.back() / bare.back());
    }
    std::printf("N = %d: %zu rows (expected %d); medians of %d rounds: scan %.1f ms, bare registry reads %.1f ms, "
                "scan/bare %.2f (ratio of medians %.2f)\n",
                n, rows, n / 2, kRounds, Median(scan), Median(bare), Median(ratios), Median(scan) / Median(bare));
    for (int i = 0; i < n; ++i)
        ::RegDeleteTreeW(typeLib, Guid(i).c_str());
}

} // namespace

int wmain()
{
    // The libraries go into the registry of whatever prefix runs this: never the tests' own.
    wchar_t prefix[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"MIRDAL_TEST_PREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || std::wstring(prefix, length).ends_with(L"/wineprefix"))
        return std::printf("Set MIRDAL_TEST_PREFIX to a prefix of the benchmark's own.\n"), 2;
    platform::UniqueKey typeLib;
    if (!OpenTypeLib(typeLib))
        return std::printf("No classes key whose libraries HKEY_CLASSES_ROOT shows can be written.\n"), 1;
    for (int n : {1000, 5000})
        Measure(typeLib.get(), n);
    return 0;
}
