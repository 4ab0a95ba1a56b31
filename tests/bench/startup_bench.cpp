// How long start-up takes, and which of its steps the time goes to.
#include "TestSupport.h"
#include "Timing.h"
#include <chrono>
#include <cstdio>

namespace {

constexpr auto Time = [](auto&& step) { return bench::Milliseconds(step); };

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    for (int run = 0; run < 7; ++run) {
        frmMirdal* window = nullptr;
        double create = Time([&] { window = frmMirdal::Create(::GetModuleHandleW(nullptr)); });
        double scan = Time([&] { window->ListRegisteredLibraries(); });
        std::wstring path = window->pnlPath.Text();
        window->SetFileListView(L"C:\\");
        double list = Time([&] { window->SetFileListView(path); });
        double tree = Time([&] { window->SetDriveTree(); });
        std::printf("start-up %.1f ms (scan %.1f, list %.1f, drive tree %.1f)\n", create, scan, list, tree);
        ::DestroyWindow(window->Hwnd());
        testing_support::Pump();
    }
    return 0;
}
