// How much the registered-library scan costs beyond the registry reads it cannot avoid, and what a
// repeat scan costs with the registry unchanged. Registers N fake type libraries, lists N fake files
// (half of them registered) and times the first and a repeat scan against the same registry reads done bare. Writes to the registry: run it only in a prefix of its
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
constexpr int kRounds = 7;

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

// The scan's registry reads alone: every library's versions listed and its path read under both
// platforms, its name read where the scan makes a row (the libraries below n/2 name a listed file).
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
        for (const wchar_t* platform : {L"\\0\\win64", L"\\0\\win32"})
            characters += ReadDefault(typeLib.get(), version + platform).size();
        if (guid.starts_with(kBenchPrefix) && guid < Guid(n / 2))
            characters += ReadDefault(typeLib.get(), version).size();
    }
    return characters;
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
    // One untimed walk warms the caches. Each round times a first scan (a scan object of its own), a
    // repeat scan with nothing changed and the bare reads, the bare reads first or last by turns, and
    // the ratios compare the walks of one round, which keeps a busy machine's drift out of them.
    const std::size_t rows = ScanRegisteredLibraries(files).value_or(std::vector<RegisteredLibrary>{}).size();
    std::vector<double> first, repeat, bare, firstRatios, repeatRatios;
    bool held = true;
    const auto timedScan = [&](LibraryScan& scan, std::vector<double>& times) {
        times.push_back(bench::Milliseconds([&] {
            if (scan.Scan(files).value_or(std::vector<RegisteredLibrary>{}).size() != rows)
                std::printf("  a scan found another number of rows\n");
        }));
    };
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2 == 0)
            bare.push_back(bench::Milliseconds([&] { BareWalk(n); }));
        LibraryScan scan;
        timedScan(scan, first);
        timedScan(scan, repeat);
        held = held && scan.Holding();
        if (round % 2 == 1)
            bare.push_back(bench::Milliseconds([&] { BareWalk(n); }));
        firstRatios.push_back(first.back() / bare.back());
        repeatRatios.push_back(repeat.back() / bare.back());
    }
    std::printf("R = F = %d: %zu rows (expected %d); medians of %d rounds: bare registry reads %.1f ms; first scan %.1f ms, "
                "first/bare %.2f; repeat scan %.2f ms, repeat/bare %.4f%s\n",
                n, rows, n / 2, kRounds, Median(bare), Median(first), Median(firstRatios), Median(repeat), Median(repeatRatios),
                held ? "" : " (results not held: a watch could not be set)");
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
    Measure(typeLib.get(), 5000);
    return 0;
}
