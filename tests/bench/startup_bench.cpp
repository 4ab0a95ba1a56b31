// How long start-up takes against a bare window of the same frame and child controls, and what some
// of its steps cost when run again on the window that is up.
#include "TestSupport.h"
#include "Timing.h"
#include "app/resource.h"
#include "registry/LibraryScan.h"
#include <commctrl.h>
#include <cstdio>

namespace {

constexpr int kRuns = 9;
constexpr wchar_t kBareClass[] = L"MirdalBareFrame";

HWND Child(HWND parent, const wchar_t* className, DWORD style, DWORD exStyle, int x, int y, int width, int height)
{
    return ::CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_CLIPSIBLINGS | style, x, y, width, height, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

// The frame with its menu, the toolbar, status bar, tree, both lists and the hidden result panel with
// its log and button, placed where the program puts them: nothing in them, no settings, no registry.
HWND BareWindow()
{
    static ATOM atom = [] {
        WNDCLASSEXW wc{sizeof wc};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
        wc.lpszClassName = kBareClass;
        return ::RegisterClassExW(&wc);
    }();
    (void)atom;
    HWND frame = ::CreateWindowExW(0, kBareClass, L"Mirdal", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 320, 272, 640, 480, nullptr,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
    RECT client{};
    ::GetClientRect(frame, &client);
    const int width = client.right, height = client.bottom, top = 37, bottom = height - 26, middle = top + (bottom - top) / 2;
    Child(frame, TOOLBARCLASSNAMEW, WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, 0, 0, width, top);
    Child(frame, STATUSCLASSNAMEW, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | SBARS_SIZEGRIP, 0, 0, bottom, width, 26);
    Child(frame, WC_TREEVIEWW, WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, WS_EX_CLIENTEDGE, 0, top, width / 4,
          bottom - top);
    Child(frame, WC_LISTVIEWW, WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, WS_EX_CLIENTEDGE, width / 4, top, width - width / 4, middle - top);
    Child(frame, WC_LISTVIEWW, WS_VISIBLE | LVS_REPORT, WS_EX_CLIENTEDGE, width / 4, middle, width - width / 4, bottom - middle);
    HWND panel = Child(frame, WC_STATICW, WS_CLIPCHILDREN, 0, 0, top, width, bottom - top);
    Child(panel, WC_EDITW, WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE, 0, 0, width, 200);
    Child(panel, WC_BUTTONW, WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 200, 80, 24);
    ::ShowWindow(frame, SW_SHOW);
    ::UpdateWindow(frame);
    return frame;
}

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    // One of each first, untimed: classes registered, code and resources paged in.
    ::DestroyWindow(BareWindow());
    frmMirdal::Create(::GetModuleHandleW(nullptr)).reset();
    testing_support::Pump();

    std::vector<double> startup, bare, ratios;
    for (int run = 0; run < kRuns; ++run) {
        std::unique_ptr<frmMirdal> window;
        HWND plain = nullptr;
        // Which comes first turns with the run, so that a busy machine's drift falls on both.
        for (int step = 0; step < 2; ++step) {
            if ((run + step) % 2 == 0)
                startup.push_back(bench::Milliseconds([&] { window = frmMirdal::Create(::GetModuleHandleW(nullptr)); }));
            else
                bare.push_back(bench::Milliseconds([&] { plain = BareWindow(); }));
        }
        ratios.push_back(startup.back() / bare.back());
        // Steps of start-up run again on the window that is up: the scan (held, and a full walk), the
        // file list and the drive list.
        std::vector<ListedFile> none;
        double heldScan = bench::Milliseconds([&] { window->ListRegisteredLibraries(); });
        double fullWalk = bench::Milliseconds([&] { ScanRegisteredLibraries(none); });
        std::wstring path = window->pnlPath.Text();
        window->SetFileListView(L"C:\\");
        double list = bench::Milliseconds([&] { window->SetFileListView(path); });
        double tree = bench::Milliseconds([&] { window->SetDriveTree(); });
        std::printf("start-up %.1f ms, bare window %.1f ms, ratio %.2f (again on the window: scan %.1f, full registry walk %.1f, "
                    "list %.1f, drive tree %.1f)\n",
                    startup.back(), bare.back(), ratios.back(), heldScan, fullWalk, list, tree);
        ::DestroyWindow(window->Hwnd());
        ::DestroyWindow(plain);
        testing_support::Pump();
    }
    std::printf("medians of %d runs: start-up %.1f ms, bare window %.1f ms, start-up/bare %.2f\n", kRuns, bench::Median(startup),
                bench::Median(bare), bench::Median(ratios));
    return 0;
}
