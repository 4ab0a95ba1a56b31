// How long start-up takes against a bare window that shows the same picture, once with a remembered
// folder just below the drive and once with one eight levels deep, and what some of its steps cost when
// run again on the window that is up.
#include "TestSupport.h"
#include "Timing.h"
#include "app/resource.h"
#include "registry/LibraryScan.h"
#include <commctrl.h>
#include <cstdio>

namespace {

constexpr int kRuns = 9;
constexpr wchar_t kBareClass[] = L"MirdalBareFrame";
constexpr wchar_t kSettingsSection[] = L"frmMirdal";

std::wstring String(UINT id)
{
    wchar_t buffer[256]{};
    ::LoadStringW(::GetModuleHandleW(nullptr), id, buffer, 256);
    return buffer;
}

HWND Child(HWND parent, const wchar_t* className, DWORD style, DWORD exStyle, int x, int y, int width, int height)
{
    return ::CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_CLIPSIBLINGS | style, x, y, width, height, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

bool IsShownFolder(const WIN32_FIND_DATAW& entry)
{
    const wchar_t* name = entry.cFileName;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
           && std::wcscmp(name, L".") != 0 && std::wcscmp(name, L"..") != 0;
}

// The shown folders of a folder ending in "\", up to the first when one is enough.
std::vector<std::wstring> SubFolders(const std::wstring& folder, bool firstOnly)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchLimitToDirectories, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (IsShownFolder(entry))
            names.emplace_back(entry.cFileName);
    } while (!(firstOnly && !names.empty()) && ::FindNextFileW(find, &entry));
    ::FindClose(find);
    return names;
}

HTREEITEM AddNode(HWND tree, HTREEITEM parent, const std::wstring& text, int image, int selected, bool children)
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selected;
    insert.item.cChildren = children ? 1 : 0;
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// The fixed drives, and the folders on the way to `folder` (ending in "\") opened down to it, which is selected.
void FillTree(HWND tree, const std::wstring& folder)
{
    constexpr int OpenFolder = 0, Drive = 1, ClosedFolder = 2;
    wchar_t drives[256]{};
    ::GetLogicalDriveStringsW(255, drives);
    HTREEITEM node = nullptr;
    for (const wchar_t* root = drives; *root; root += std::wcslen(root) + 1) {
        if (::GetDriveTypeW(root) != DRIVE_FIXED)
            continue;
        HTREEITEM drive = AddNode(tree, TVI_ROOT, std::wstring(root, 2), Drive, Drive, !SubFolders(root, true).empty());
        if (::CompareStringOrdinal(root, 3, folder.c_str(), 3, TRUE) == CSTR_EQUAL)
            node = drive;
    }
    for (size_t start = 3, slash; node && (slash = folder.find(L'\\', start)) != std::wstring::npos; start = slash + 1) {
        const std::wstring parent = folder.substr(0, start), wanted = folder.substr(start, slash - start);
        HTREEITEM next = nullptr;
        for (const std::wstring& name : SubFolders(parent, false)) {
            HTREEITEM added = AddNode(tree, node, name, ClosedFolder, OpenFolder, !SubFolders(parent + name + L"\\", true).empty());
            if (name == wanted)
                next = added;
        }
        ::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node));
        node = next;
    }
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
}

struct Column {
    UINT header;
    int width, format;
};

void AddColumns(HWND list, const std::initializer_list<Column>& columns)
{
    int index = 0;
    for (const Column& c : columns) {
        std::wstring text = String(c.header);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = c.format;
        column.cx = c.width;
        column.pszText = text.data();
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&column));
    }
}

// The eight buttons of the bar (five and three separators), captioned and pictured as the program's.
void FillToolBar(HWND bar, HIMAGELIST pictures)
{
    ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(bar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    ::SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pictures));
    struct Button {
        int command, picture;
        UINT caption;
        bool dropDown, separatorAfter;
    };
    static const Button buttons[] = {{IDC_BTN_REG, 4, IDS_BTN_REG, false, false},
                                     {IDC_BTN_UNREG, 5, IDS_BTN_UNREG, false, true},
                                     {IDC_BTN_REGREAD, 7, IDS_BTN_REGREAD, false, true},
                                     {IDC_BTN_REGBAT, 1, IDS_BTN_REGBAT, false, true},
                                     {IDC_BTN_VIEW, 0, IDS_BTN_VIEW, true, false}};
    std::vector<std::wstring> captions;
    for (const Button& b : buttons)
        captions.push_back(String(b.caption));
    std::vector<TBBUTTON> added;
    for (size_t i = 0; i < std::size(buttons); ++i) {
        const Button& b = buttons[i];
        added.push_back({b.picture, b.command, TBSTATE_ENABLED, static_cast<BYTE>(b.dropDown ? BTNS_DROPDOWN : BTNS_BUTTON), {}, 0,
                         reinterpret_cast<INT_PTR>(captions[i].c_str())});
        if (b.separatorAfter)
            added.push_back({0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, -1});
    }
    ::SendMessageW(bar, TB_ADDBUTTONSW, added.size(), reinterpret_cast<LPARAM>(added.data()));
    ::SendMessageW(bar, TB_SETPADDING, 0, MAKELPARAM(0, 0));
    ::SendMessageW(bar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(57, 57));
    ::SendMessageW(bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(57, 35));
}

struct Bare {
    HWND frame = nullptr;
    HIMAGELIST toolbar = nullptr, tree = nullptr;
    HFONT font = nullptr;
};

void Destroy(const Bare& bare)
{
    ::DestroyWindow(bare.frame);
    ::ImageList_Destroy(bare.toolbar);
    ::ImageList_Destroy(bare.tree);
    ::DeleteObject(bare.font);
}

// What the program shows as it starts, written by hand in plain calls: the frame with its menu, the captioned
// and pictured toolbar, the status bar's count and path, the tree with the fixed drives and `folder` opened, the
// lists with their columns, and the hidden result panel with its log and button.
Bare BareWindow(const std::wstring& folder)
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
    Bare bare;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    auto strip = [&](int id) {
        return ::ImageList_LoadImageW(instance, MAKEINTRESOURCEW(id), 16, 0, RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
    };
    bare.toolbar = strip(IDB_TOOLBAR);
    bare.tree = strip(IDB_DIR16);
    NONCLIENTMETRICSW metrics{sizeof metrics};
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    bare.font = ::CreateFontIndirectW(&metrics.lfMessageFont);

    bare.frame = ::CreateWindowExW(0, kBareClass, String(IDS_CAPTION).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 320, 272,
                                   640, 480, nullptr, nullptr, instance, nullptr);
    RECT client{};
    ::GetClientRect(bare.frame, &client);
    const int width = client.right, height = client.bottom, top = 37, bottom = height - 26, middle = top + (bottom - top) / 2;
    auto font = [&](HWND control) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(bare.font), FALSE);
        return control;
    };
    HWND bar = font(Child(bare.frame, TOOLBARCLASSNAMEW, WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                          0, 0, 0, width, top));
    FillToolBar(bar, bare.toolbar);
    HWND status = font(Child(bare.frame, STATUSCLASSNAMEW, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | SBARS_SIZEGRIP, 0, 0,
                             bottom, width, 26));
    int parts[] = {24, -1};
    ::SendMessageW(status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    ::SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"0"));
    ::SendMessageW(status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(folder.c_str()));
    HWND tree = font(Child(bare.frame, WC_TREEVIEWW, WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                           WS_EX_CLIENTEDGE, 0, top, width / 3, bottom - top));
    ::SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(bare.tree));
    FillTree(tree, folder);
    HWND files = font(Child(bare.frame, WC_LISTVIEWW, WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, WS_EX_CLIENTEDGE, width / 3, top,
                            width - width / 3, middle - top));
    AddColumns(files, {{IDS_COL_NAME, 133, LVCFMT_LEFT}, {IDS_COL_SIZE, 96, LVCFMT_RIGHT}, {IDS_COL_TYPE, 53, LVCFMT_LEFT},
                         {IDS_COL_DATE, 107, LVCFMT_LEFT}});
    HWND libraries = font(Child(bare.frame, WC_LISTVIEWW, WS_VISIBLE | LVS_REPORT, WS_EX_CLIENTEDGE, width / 3, middle,
                                width - width / 3, bottom - middle));
    AddColumns(libraries, {{IDS_COL_LIBNAME, 200, LVCFMT_LEFT}, {IDS_COL_VERSION, 96, LVCFMT_LEFT}, {IDS_COL_PATH, 267, LVCFMT_LEFT},
                             {IDS_COL_CLSID, 400, LVCFMT_LEFT}});
    HWND panel = Child(bare.frame, WC_STATICW, WS_CLIPCHILDREN, 0, 0, top, width, bottom - top);
    Child(panel, WC_EDITW, WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE, 0, 0, width, 200);
    Child(panel, WC_BUTTONW, WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 200, 80, 24);
    ::ShowWindow(bare.frame, SW_SHOW);
    ::UpdateWindow(bare.frame);
    return bare;
}

// Start-up ends when the picture is on screen: whatever is left to paint is painted.
void PaintPending(HWND frame)
{
    ::RedrawWindow(frame, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The remembered folder while it lives, stored where the program keeps it; what was there before comes back.
class RememberedFolder {
public:
    explicit RememberedFolder(const std::wstring& folder)
        : key_(L"Software\\" + platform::ExecutableBaseName() + L"\\" + kSettingsSection)
    {
        wchar_t old[1024]{};
        DWORD bytes = sizeof old;
        had_ = ::RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), L"Path", RRF_RT_REG_SZ, nullptr, old, &bytes) == ERROR_SUCCESS;
        old_ = old;
        Store(folder);
    }
    ~RememberedFolder()
    {
        if (had_)
            Store(old_);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Path");
    }
    RememberedFolder(const RememberedFolder&) = delete;
    RememberedFolder& operator=(const RememberedFolder&) = delete;

private:
    void Store(const std::wstring& value) const
    {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Path", REG_SZ, value.c_str(),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring key_, old_;
    bool had_ = false;
};

// The medians of start-up and the bare window with `folder` remembered, and of their ratio.
void Measure(const wchar_t* label, const std::wstring& folder)
{
    RememberedFolder remembered(folder);
    std::vector<double> startup, bare, ratios;
    for (int run = 0; run < kRuns; ++run) {
        std::unique_ptr<frmMirdal> window;
        Bare plain;
        // Which comes first turns with the run, so that a busy machine's drift falls on both.
        for (int step = 0; step < 2; ++step) {
            if ((run + step) % 2 == 0)
                startup.push_back(bench::Milliseconds([&] {
                    window = frmMirdal::Create(::GetModuleHandleW(nullptr));
                    PaintPending(window->Hwnd());
                }));
            else
                bare.push_back(bench::Milliseconds([&] {
                    plain = BareWindow(folder);
                    PaintPending(plain.frame);
                }));
        }
        ratios.push_back(startup.back() / bare.back());
        if (window->pnlPath.Text() != folder)
            std::printf("  the window shows %ls, not %ls\n", window->pnlPath.Text().c_str(), folder.c_str());
        // Steps of start-up run again on the window that is up: the scan (held, and a full walk), the
        // file list and the drive list.
        std::vector<ListedFile> none;
        double heldScan = bench::Milliseconds([&] { window->ListRegisteredLibraries(); });
        double fullWalk = bench::Milliseconds([&] { ScanRegisteredLibraries(none); });
        window->SetFileListView(L"C:\\");
        double list = bench::Milliseconds([&] { window->SetFileListView(folder); });
        std::printf("%ls: start-up %.1f ms, bare window %.1f ms, ratio %.2f (again on the window: scan %.1f, full registry "
                    "walk %.1f, list %.1f)\n",
                    label, startup.back(), bare.back(), ratios.back(), heldScan, fullWalk, list);
        ::DestroyWindow(window->Hwnd());
        Destroy(plain);
        testing_support::Pump();
    }
    std::printf("%ls, medians of %d runs: start-up %.1f ms, bare window %.1f ms, start-up/bare %.2f\n", label, kRuns,
                bench::Median(startup), bench::Median(bare), bench::Median(ratios));
}

// The folder seven below `top`, eight levels below the drive, made with those between.
std::wstring EightLevelsDown(const std::wstring& top)
{
    std::wstring deep = top;
    ::CreateDirectoryW(deep.c_str(), nullptr);
    for (int level = 2; level <= 8; ++level) {
        deep += L"level" + std::to_wstring(level) + L"\\";
        ::CreateDirectoryW(deep.c_str(), nullptr);
    }
    return deep;
}

} // namespace

int wmain()
{
    testing_support::PrepareThread();
    testing_support::ScriptedPrompter prompter;
    const std::wstring top = L"C:\\mirdal-startup\\";
    const std::wstring deep = EightLevelsDown(top);
    {
        RememberedFolder remembered(top);
        // One of each first, untimed: classes registered, code and resources paged in.
        Destroy(BareWindow(top));
        frmMirdal::Create(::GetModuleHandleW(nullptr)).reset();
        testing_support::Pump();
    }
    Measure(L"folder below the drive", top);
    Measure(L"folder eight levels deep", deep);
    testing_support::RemoveTree(top);
    return 0;
}
