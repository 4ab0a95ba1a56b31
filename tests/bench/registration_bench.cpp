// How much faster one registration run over 50 files, each written in the journal, is than 50 regsvr32
// processes on the same files (goal: at least 15 times, with the registration host kept from run to run;
// the first run, which starts the host, is reported apart), and how far it stays from the bare loop of
// the same calls in one process (goal: within 1.5 times). Writes to the registry: run it in a prefix of its own, e.g.
// MIRDAL_TEST_PREFIX=/tmp/regbench-prefix tests/wine-run.sh build/bin/registration_bench.exe
#include "TestSupport.h"
#include "Timing.h"
#include "platform/UniqueHandle.h"
#include "../fixtures/Fixtures.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kFiles = 50;
constexpr int kRounds = 5;

using bench::Median;
double Seconds(const std::function<void()>& work) { return bench::Milliseconds(work) / 1000.0; }

// Exit code of a program run to its end; ~0 when it could not start. Wine under load now and then
// fails a start with ERROR_INTERNAL_ERROR; a second try goes through.
DWORD Run(const std::wstring& commandLine)
{
    for (int attempt = 1;; ++attempt) {
        DWORD error = ERROR_SUCCESS;
        DWORD code = testing_support::RunProgram(commandLine, {}, &error);
        if (error == ERROR_SUCCESS || attempt == 3)
            return code;
        std::printf("cannot start %ls: error %lu\n", commandLine.c_str(), error);
    }
}

bool Registered()
{
    platform::UniqueKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"TypeLib\\") + fixtures::kFixtureA.libid).c_str(), 0,
                           KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool Check(bool passed, const char* what)
{
    if (!passed)
        std::printf("failed: %s\n", what);
    return passed;
}

size_t Count(const std::wstring& text, const std::wstring& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The limit: the same calls in this one process, with no host, pipe, capture or journal between them.
double BareLoop(const std::vector<std::wstring>& paths, bool registering, int& succeeded)
{
    const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
    return Seconds([&] {
        for (const std::wstring& path : paths) {
            HMODULE module = ::LoadLibraryW(path.c_str());
            if (!module)
                continue;
            auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module, entry));
            succeeded += call && SUCCEEDED(call());
            ::FreeLibrary(module);
        }
    });
}

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    if (Registered()) {
        std::printf("%ls is registered already; run in a prefix of its own\n", fixtures::kFixtureA.libid);
        return 1;
    }
    // Fifty copies of one server: distinct files, one type library between them.
    testing_support::ScratchFolder folder(L"registration-bench");
    std::vector<std::wstring> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(folder.Path() + L"Server" + std::to_wstring(i) + L".dll");
        if (!::CopyFileW(testing_support::FixturePath(fixtures::kFixtureA.file).c_str(), paths.back().c_str(), FALSE)) {
            std::printf("cannot copy the fixture\n");
            return 1;
        }
    }
    std::unique_ptr<frmMirdal> window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    window->SetFileListView(folder.Path());
    window->lsvFile.SetAllSelected(true);

    // The run alone, not the command: the registry scan after it is no part of registering.
    // Every file handled, or the time means nothing. The copies share one library, so only the first
    // of them unregisters it; the others find it gone and report a failure.
    bool ok = Check(window->lsvFile.SelectedCount() == kFiles, "all files listed and selected");
    std::vector<double> runRegister, runUnregister, toolRegister, toolUnregister, bareRegister, bareUnregister;
    for (int round = 0; round < kRounds && ok; ++round) {
        for (bool registering : {true, false}) {
            double seconds = Seconds([&] { window->RunRegistration(registering); });
            (registering ? runRegister : runUnregister).push_back(seconds);
            std::wstring log = window->txtRes.Text();
            ok = ok && Check(Count(log, registering ? L"を登録\r\n" : L"を解除\r\n") == kFiles, "a line per file")
                 && Check(!registering || Count(log, L"登録/解除に成功しました。") == kFiles, "every file registered")
                 && Check(Registered() == registering, "the registry after the run");
            window->cmdClose_Click();
            // The painting that closing the panel owes is done before the next run, as a user's window is idle between runs.
            testing_support::Pump();
        }
        for (bool registering : {true, false}) {
            int started = 0, succeeded = 0;
            double seconds = Seconds([&] {
                for (const std::wstring& path : paths) {
                    DWORD code = Run(std::wstring(L"regsvr32.exe ") + (registering ? L"/s" : L"/u /s") + L" \"" + path + L"\"");
                    started += code != ~0u;
                    succeeded += code == 0;
                    if (code != 0 && code != ~0u && registering)
                        std::printf("regsvr32 /s %ls: exit code 0x%lx\n", path.c_str(), code);
                }
            });
            (registering ? toolRegister : toolUnregister).push_back(seconds);
            ok = ok && Check(started == kFiles, "regsvr32 started for every file")
                 && Check(!registering || succeeded == kFiles, "regsvr32 registered every file")
                 && Check(Registered() == registering, "the registry after regsvr32");
        }
        for (bool registering : {true, false}) {
            int succeeded = 0;
            (registering ? bareRegister : bareUnregister).push_back(BareLoop(paths, registering, succeeded));
            ok = ok && Check(!registering || succeeded == kFiles, "the bare loop registered every file")
                 && Check(Registered() == registering, "the registry after the bare loop");
        }
    }
    ::DestroyWindow(window->Hwnd());
    testing_support::Pump();
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"TypeLib\\") + fixtures::kFixtureA.libid).c_str());
    if (!ok) {
        std::printf("no figures\n");
        return 1;
    }

    for (int round = 0; round < kRounds; ++round)
        std::printf("round %d: run %.3f + %.3f s, regsvr32 %.3f + %.3f s\n", round + 1, runRegister[round],
                    runUnregister[round], toolRegister[round], toolUnregister[round]);
    // The first run starts the host; the later ones find it running.
    const double coldRegister = runRegister[0], coldUnregister = runUnregister[0];
    runRegister.erase(runRegister.begin());
    runUnregister.erase(runUnregister.begin());
    double run = Median(runRegister) + Median(runUnregister), tool = Median(toolRegister) + Median(toolUnregister);
    std::printf("%d files; host kept running: median of rounds 2-%d; regsvr32: median of %d rounds\n", kFiles, kRounds,
                kRounds);
    std::printf("RunRegistration: register %.3f s, unregister %.3f s\n", Median(runRegister), Median(runUnregister));
    std::printf("regsvr32 /s:     register %.3f s, unregister %.3f s\n", Median(toolRegister), Median(toolUnregister));
    std::printf("ratio %.1fx (register %.1fx, unregister %.1fx); goal 15x with the journal: %s\n", tool / run,
                Median(toolRegister) / Median(runRegister), Median(toolUnregister) / Median(runUnregister),
                tool / run >= 15 ? "met" : "NOT met");
    const double bare = Median(bareRegister) + Median(bareUnregister);
    std::printf("bare loop in one process (LoadLibrary, the entry, FreeLibrary): register %.3f s, unregister %.3f s; "
                "the run takes %.2fx its time; goal 1.5x: %s\n",
                Median(bareRegister), Median(bareUnregister), run / bare, run / bare <= 1.5 ? "met" : "NOT met");
    std::printf("cold first run (host started): register %.3f s, unregister %.3f s, %.1fx regsvr32\n", coldRegister,
                coldUnregister, tool / (coldRegister + coldUnregister));
    return 0;
}
