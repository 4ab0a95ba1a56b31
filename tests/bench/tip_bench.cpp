// The tip of the row the pointer rests on, alone and after a sweep of the pointer over 800 rows that
// asked for each of their tips on the way. The goal: after the sweep it comes within twice its time alone.
#include "TestSupport.h"
#include "Timing.h"
#include <cstdio>

namespace {

constexpr int Rows = 800;

// What the list control asks as the pointer crosses a row; true when the tip holds the file's facts.
bool AskTip(frmMirdal& window, int row)
{
    wchar_t buffer[INFOTIPSIZE] = {};
    NMLVGETINFOTIPW info{{window.lsvFile.Hwnd(), IDC_LSVFILE, LVN_GETINFOTIPW}, LVGIT_UNFOLDED, buffer, INFOTIPSIZE, row};
    ::SendMessageW(window.Hwnd(), WM_NOTIFY, IDC_LSVFILE, reinterpret_cast<LPARAM>(&info));
    return std::wstring_view(buffer).find(L"調べています") == std::wstring_view::npos;
}

// From the last request to the tip, the window answering meanwhile as it does while the pointer rests.
double UntilTip(frmMirdal& window, int row)
{
    return bench::Milliseconds([&] {
        while (!AskTip(window, row))
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT), testing_support::Pump();
    });
}

// Lets the reader finish what it still holds, so that one run does not weigh on the next.
void Settle()
{
    for (ULONGLONG end = ::GetTickCount64() + 400; ::GetTickCount64() < end;)
        ::Sleep(10), testing_support::Pump();
}

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    const std::wstring base = L"C:\\mirdal-bench-tips\\", folder = base + L"servers\\", other = base + L"other\\";
    testing_support::RemoveTree(base);
    for (const std::wstring& path : {base, folder, other})
        ::CreateDirectoryW(path.c_str(), nullptr);
    for (int i = 0; i < Rows; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"srv%04d.dll", i);
        testing_support::CopyFixture(fixtures::kFixtureDenied, folder + name);
    }
    std::unique_ptr<frmMirdal> window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    if (!window || !::IsWindowVisible(window->Hwnd())) {
        std::printf("the window could not be shown\n");
        return 1;
    }
    auto relist = [&] {
        window->SetFileListView(other);
        window->SetFileListView(folder);
    };
    relist();
    if (window->lsvFile.ItemCount() != Rows) {
        std::printf("listed %d rows of %d\n", window->lsvFile.ItemCount(), Rows);
        return 1;
    }
    // The first tip reads the system's DLLs into the session's cache; every later one finds them there.
    UntilTip(*window, 0);
    constexpr int Runs = 15;
    std::vector<double> alone, swept;
    for (int run = 0; run < Runs; ++run) {
        const int resting = Rows / 2 + run;
        relist();
        alone.push_back(UntilTip(*window, resting));
        Settle();
        relist();
        for (int row = 0; row < Rows; ++row)
            AskTip(*window, row);
        swept.push_back(UntilTip(*window, resting));
        Settle();
    }
    const double ratio = bench::Median(swept) / bench::Median(alone);
    std::printf("resting row's tip: alone %.1f ms, after a sweep over %d rows %.1f ms, ratio %.2f (goal at most 2)\n",
                bench::Median(alone), Rows, bench::Median(swept), ratio);
    ::DestroyWindow(window->Hwnd());
    testing_support::Pump();
    testing_support::RemoveTree(base);
    return ratio <= 2 ? 0 : 1;
}
