// Shows the window after a registration run of two fixtures, long enough for a screenshot, then
// with the result panel closed (the libraries found registered), then unregisters them again.
#include "TestSupport.h"
#include <chrono>
#include <thread>

int wmain(int argc, wchar_t** argv)
{
    testing_support::PrepareThread();
    int seconds = argc > 1 ? _wtoi(argv[1]) : 10;
    testing_support::ScratchFolder folder(L"demo");
    for (const wchar_t* name : {L"FixtureA.dll", L"FixtureB.dll", L"Fixture Space.dll"})
        ::CopyFileW(testing_support::FixturePath(name).c_str(), (folder.Path() + name).c_str(), FALSE);
    std::unique_ptr<frmMirdal> window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    window->ShowFolder(folder.Path());
    window->ListRegisteredLibraries();
    window->lsvFile.SetSelected(0, true);
    window->lsvFile.SetSelected(1, true);
    window->UpdateCommandState();
    window->tlbMirdal_ButtonClick(window->btnReg);
    auto wait = [](int seconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            testing_support::Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    wait(seconds);
    window->cmdClose_Click();
    wait(seconds);
    window->tlbMirdal_ButtonClick(window->btnUnreg);
    window->runState = frmMirdal::RunState::Idle;
    ::DestroyWindow(window->Hwnd());
    return 0;
}
