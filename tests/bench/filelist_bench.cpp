// Listing a folder of N DLL files into the visible window, against a bare loop that reads the same
// names, lengths and dates. The goal: the window's listing takes at most twice the bare loop.
#include "TestSupport.h"
#include "Timing.h"
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using bench::Median;
constexpr auto Time = [](auto&& step) { return bench::Milliseconds(step); };

void MakeFolder(const std::wstring& path, int files)
{
    testing_support::RemoveTree(path);
    ::CreateDirectoryW(path.c_str(), nullptr);
    for (int i = 0; i < files; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"lib%05d.dll", i);
        ::CloseHandle(::CreateFileW((path + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
}

// What any listing must do at least: walk the folder, keep each name, length and local time of change.
size_t BareListing(const std::wstring& folder)
{
    struct Entry {
        std::wstring name;
        unsigned long long length;
        SYSTEMTIME local;
    };
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((folder + L"*.*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        SYSTEMTIME utc{}, local{};
        ::FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
        ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
        unsigned long long length = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back({data.cFileName, length, local});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return entries.size();
}

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    const std::wstring base = L"C:\\mirdal-bench\\";
    ::CreateDirectoryW(base.c_str(), nullptr);
    const std::wstring other = base + L"other\\";
    MakeFolder(other, 1);

    std::unique_ptr<frmMirdal> window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    if (!window || !::IsWindowVisible(window->Hwnd())) {
        std::printf("the window could not be shown\n");
        return 1;
    }
    testing_support::Pump();
    constexpr int Runs = 15;
    int result = 0;
    for (int files : {500, 5000}) {
        const std::wstring folder = base + L"n" + std::to_wstring(files) + L"\\";
        MakeFolder(folder, files);
        // The three are taken in turn, so that a busy machine weighs on each alike.
        std::vector<double> list, bare, back;
        size_t bareCount = 0;
        int rows = 0;
        for (int run = 0; run < Runs; ++run) {
            // Another folder first, so that each call really lists.
            back.push_back(Time([&] { window->SetFileListView(other); }));
            testing_support::Pump();
            list.push_back(Time([&] { window->SetFileListView(folder); }));
            rows = window->lsvFile.ItemCount();
            testing_support::Pump();
            bare.push_back(Time([&] { bareCount = BareListing(folder); }));
        }
        std::printf("N=%5d  SetFileListView %8.2f ms  bare loop %8.2f ms  ratio %.2f"
                    "  (back to a 1-file folder %.2f ms)\n",
                    files, Median(list), Median(bare), Median(list) / Median(bare), Median(back));
        if (rows != files || bareCount != static_cast<size_t>(files)) {
            std::printf("  listed %d rows, bare loop %zu names\n", rows, bareCount);
            result = 1;
        }
        testing_support::RemoveTree(folder);
    }
    ::DestroyWindow(window->Hwnd());
    testing_support::Pump();
    testing_support::RemoveTree(base);
    return result;
}
