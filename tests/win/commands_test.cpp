// Commands, their enabled state, the context menus, the keyboard and dropping files, driven
// in-process on the real window (Wine keeps menus per process).
#include "TestSupport.h"
#include <shlobj.h>
#include <memory>

using namespace testing_support;
using Names = std::vector<std::wstring>;
using Corner = std::pair<LONG, LONG>;

namespace {

constexpr wchar_t kLibraryA[] = L"{0D5E1A7C-6A0B-4C0E-9E58-2F1B7C3D4E01}";
constexpr wchar_t kLibraryB[] = L"{0D5E1A7C-6A0B-4C0E-9E58-2F1B7C3D4E02}";

Corner ToScreen(HWND hwnd, POINT point)
{
    ::ClientToScreen(hwnd, &point);
    return {point.x, point.y};
}

std::string Flags(const std::vector<bool>& flags)
{
    std::string text;
    for (bool flag : flags)
        text += "01"[flag];
    return text;
}

// Records the pop-up menus opened on this thread while it lives. When a pop-up waits on screen its
// owner gets WM_ENTERIDLE naming the pop-up window (Wine names it for the menu bar's menus too): the
// watch reads the menu then and closes it, or presses Down `downs` times and Enter as a user would.
struct PopupWatch {
    struct Popup { HMENU menu; Corner corner; std::string enabled; };
    explicit PopupWatch(int downs = 0) : downs(downs) { current = this; }
    ~PopupWatch() { ::UnhookWindowsHookEx(hook), current = nullptr; }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && current && sent->message == WM_ENTERIDLE && sent->wParam == MSGF_MENU)
            current->Seen(reinterpret_cast<HWND>(sent->lParam));
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Seen(HWND popupWindow)
    {
        platform::Menu menu(reinterpret_cast<HMENU>(::SendMessageW(popupWindow, MN_GETHMENU, 0, 0)));
        RECT rc{};
        ::GetWindowRect(popupWindow, &rc);
        std::vector<bool> enabled;
        for (int i = 0; menu.Handle() && i < menu.ItemCount(); ++i)
            enabled.push_back(menu.IsPositionEnabled(i));
        popups.push_back({menu.Handle(), {rc.left, rc.top}, Flags(enabled)});
        for (int i = 0; i < downs; ++i)
            ::PostMessageW(popupWindow, WM_KEYDOWN, VK_DOWN, 0);
        downs > 0 ? ::PostMessageW(popupWindow, WM_KEYDOWN, VK_RETURN, 0) : ::EndMenu();
    }

    int downs;
    std::vector<Popup> popups;
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    static inline PopupWatch* current = nullptr;
};

// Puts a key down or up in this thread's keyboard state, as GetKeyState reads it.
void Hold(BYTE key, bool down)
{
    BYTE state[256]{};
    ::GetKeyboardState(state);
    state[key] = down ? 0x80 : 0;
    ::SetKeyboardState(state);
}

// Data as the system offers it (one format in global memory, put on the clipboard and taken back as
// OLE's clipboard object), dropped on the target that RegisterDragDrop recorded for the list as OLE does.
DWORD Drop(HWND list, CLIPFORMAT format, const std::wstring& text)
{
    const size_t header = format == CF_HDROP ? sizeof(DROPFILES) : 0;
    HGLOBAL memory = ::GlobalAlloc(GHND, header + (text.size() + 1) * sizeof(wchar_t));
    auto* bytes = static_cast<BYTE*>(::GlobalLock(memory));
    if (header)
        *reinterpret_cast<DROPFILES*>(bytes) = {sizeof(DROPFILES), {}, FALSE, TRUE};
    std::copy(text.begin(), text.end(), reinterpret_cast<wchar_t*>(bytes + header));
    ::GlobalUnlock(memory);
    EXPECT_TRUE(::OpenClipboard(nullptr) && ::EmptyClipboard() && ::SetClipboardData(format, memory) && ::CloseClipboard());
    IDataObject* data = nullptr;
    EXPECT_EQ(::OleGetClipboard(&data), S_OK);
    auto* target = static_cast<IDropTarget*>(::GetPropW(list, L"OleDropTargetInterface"));
    EXPECT_NE(target, nullptr) << "the file list is no registered drop target";
    RECT rc{};
    ::GetClientRect(list, &rc);
    auto [x, y] = ToScreen(list, {rc.right / 2, rc.bottom / 2});
    DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, over = entered, effect = entered;
    // The effect shown while dragging is the one the drop answers.
    EXPECT_TRUE(target && target->DragEnter(data, MK_LBUTTON, {x, y}, &entered) == S_OK && target->DragOver(MK_LBUTTON, {x, y}, &over) == S_OK
                && target->Drop(data, 0, {x, y}, &effect) == S_OK && entered == effect && over == effect)
        << entered << " " << over << " " << effect;
    data->Release();
    Pump();
    return effect;
}

// Enabled states as "1"/"0" of register, unregister, batch and registry read.
constexpr char kNone[] = "0000", kReadOnly[] = "0001", kAll[] = "1111";

class CommandsTest : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder root{L"commands"};
    std::unique_ptr<ScratchClassesRoot> classes;

    // Only after start-up: registering the drop target needs the real classes root.
    void SetUp() override
    {
        WindowTest::SetUp();
        classes = std::make_unique<ScratchClassesRoot>();
        ASSERT_TRUE(classes->Active());
    }
    void TearDown() override { WindowTest::TearDown(), classes.reset(); }

    std::string Buttons() const
    {
        return Flags({window->btnReg.Enabled(), window->btnUnreg.Enabled(), window->btnRegBat.Enabled(), window->btnRegRead.Enabled()});
    }
    // Opens a menu of the bar by its access key, as the keyboard does, and reads its items' states.
    std::string Opened(wchar_t accessKey) const
    {
        PopupWatch watch;
        ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_KEYMENU, accessKey);
        Pump();
        return watch.popups.empty() ? "no menu" : watch.popups[0].enabled;
    }
    // The list's style and which of the four views is checked.
    std::string View() const
    {
        return std::to_string(static_cast<int>(window->lsvFile.Style())) + ":" +
               Flags({window->mnuView.IsChecked(IDM_V0), window->mnuView.IsChecked(IDM_V1), window->mnuView.IsChecked(IDM_V2),
                      window->mnuView.IsChecked(IDM_V3)});
    }
    // The folder shown, the selected names, the number of library rows and the buttons.
    std::string Shown() const
    {
        std::string text = Narrow(window->pnlPath.Text()) + "|", separator;
        Names names;
        for (int row : SelectedRows())
            names.push_back(window->lsvFile.ItemText(row));
        for (const auto& name : Sorted(names))
            text += std::exchange(separator, " ") + Narrow(name);
        return text + "|" + std::to_string(window->lsvReg.ItemCount()) + "|" + Buttons();
    }
    void Focus(const platform::Window& control) const { control.Focus(), Pump(); }
    void RightClick(POINT at) const
    {
        ::SendMessageW(window->lsvFile.Hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        ::SendMessageW(window->lsvFile.Hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        Pump();
    }
    POINT RowPoint(int row) const
    {
        RECT rc = window->lsvFile.ItemRect(row);
        return {rc.left + 8, (rc.top + rc.bottom) / 2};
    }
    // A key pressed where the focus is, as the message loop hands it over.
    bool Press(WPARAM key) const
    {
        MSG msg{::GetFocus(), WM_KEYDOWN, key, 1};
        bool handled = window->PreTranslateMessage(msg);
        Pump();
        return handled;
    }
};

TEST_F(CommandsTest, EnablementFollowsTheListOnFocusAndWhenAMenuOpens)
{
    root.Folder(L"empty");
    root.Folder(L"three");
    for (const wchar_t* name : {L"three\\a.dll", L"three\\b.dll", L"three\\c.ocx"})
        root.File(name);
    window->ShowFolder(root.Path());

    window->trvDir_NodeClick(window->FindNode(L"C:\\MIRDAL-TESTS\\COMMANDS\\EMPTY\\"));
    EXPECT_EQ(Buttons(), kNone);
    EXPECT_EQ(Opened(L'r'), "00000000101");
    // The scratch classes root holds no TypeLib key yet: the scan fails. The next click scans again.
    ASSERT_FALSE(prompter.messages.empty());
    const ShownMessage failed = prompter.messages.back();
    EXPECT_WTEXT_EQ(L"Mirdal|レジストリ読込みに失敗しました", failed.title + L"|" + failed.text);
    EXPECT_EQ(failed.style, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    classes->Library(kLibraryA, root.Path() + L"three\\a.dll");
    window->trvDir_NodeClick(window->FindNode(L"C:\\MIRDAL-TESTS\\COMMANDS\\THREE\\"));
    EXPECT_EQ(Buttons(), kReadOnly);
    EXPECT_EQ(window->lsvReg.ItemCount(), 1);

    // A selection alone changes nothing; the list's focus catches up with it, the tree's as well.
    Focus(window->trvDir);
    SelectRows({2});
    EXPECT_EQ(Buttons(), kReadOnly);
    Focus(window->lsvFile);
    EXPECT_EQ(Buttons(), kAll);
    SelectRows({});
    Focus(window->trvDir);
    EXPECT_EQ(Buttons(), kReadOnly);

    // The menus refresh before they copy the buttons; the Registry menu's own items take the
    // selection as registering does, but undo and the search for broken registrations need none. (Wine
    // reads separators as disabled.)
    EXPECT_EQ(Opened(L'f'), "000001");
    EXPECT_EQ(Opened(L'r'), "10000000101");
    SelectRows({2});
    EXPECT_EQ(Opened(L'f'), "110101");
    EXPECT_EQ(Opened(L'r'), "10111111101");
}

TEST_F(CommandsTest, TheViewButtonCyclesTheStylesRoundInFourClicksAndItsArrowOpensTheViewMenuBelowItWhileThatIsEnabled)
{
    RECT view = window->btnView.Rect();
    const POINT main{view.left + 8, (view.top + view.bottom) / 2}, arrow{view.right - 3, main.y};
    HWND bar = window->tlbMirdal.Hwnd();
    PopupWatch watch;
    // From the report view, the last style, to the first, and on back to the report view.
    for (const char* next : {"0:1000", "1:0100", "2:0010", "3:0001"}) {
        ClickAt(bar, main);
        EXPECT_EQ(View(), next);
    }
    EXPECT_TRUE(watch.popups.empty()) << "the main part opened a menu";

    // The arrow: the View menu, its left edge at the button's, its top at the button's bottom.
    ClickAt(bar, arrow);
    ASSERT_EQ(watch.popups.size(), 1u);
    EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
    EXPECT_EQ(watch.popups[0].corner, ToScreen(bar, {view.left, view.bottom}));

    // While a run holds the View menu disabled, the arrow opens nothing, as a right click does.
    window->runState = frmMirdal::RunState::Running;
    ClickAt(bar, arrow);
    EXPECT_EQ(watch.popups.size(), 1u);
}

TEST_F(CommandsTest, RightClicksOnTheFileListOpenTheMenuOfWhatIsUnderThePointer)
{
    std::wstring folder = root.Folder(L"ctx");
    for (const wchar_t* name : {L"ctx\\a.dll", L"ctx\\b.dll", L"ctx\\c.ocx"})
        root.File(name);
    window->ShowFolder(folder);
    window->UpdateCommandState();
    SelectRows({1});

    // On a selected row: the File menu without quit and its separator; "バッチ作成" is chosen.
    {
        PopupWatch watch(3);
        RightClick(RowPoint(1));
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuFile.Handle());
        EXPECT_EQ(watch.popups[0].enabled, "1101");
        EXPECT_EQ(watch.popups[0].corner, ToScreen(window->lsvFile.Hwnd(), RowPoint(1)));
    }
    EXPECT_EQ(prompter.saveRequests.size(), 1u) << "the chosen item did not run";
    ASSERT_EQ(window->mnuFile.ItemCount(), 6) << "quit and its separator are back";
    EXPECT_EQ(window->mnuFile.CommandAt(5), static_cast<UINT>(IDM_F5));

    // On a row that is not selected: no menu, and the selection stays. On empty space: the View menu
    // at the pointer; its first item is chosen.
    POINT empty{20, window->lsvFile.ClientRect().bottom - 4};
    {
        PopupWatch watch(1);
        RightClick(RowPoint(0));
        RightClick(RowPoint(2));
        RightClick(empty);
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
        EXPECT_EQ(watch.popups[0].corner, ToScreen(window->lsvFile.Hwnd(), empty));
    }
    EXPECT_EQ(View(), "0:1000");
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});

    // Shift+F10 or the Menu key: the selected row's menu at that row; with none selected, the View menu.
    RECT row = window->lsvFile.ItemRect(1);
    int half = (row.bottom - row.top) / 2;
    POINT origin{0, 0};
    {
        PopupWatch watch;
        ::SendMessageW(window->lsvFile.Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window->lsvFile.Hwnd()), -1);
        SelectRows({});
        ::SendMessageW(window->lsvFile.Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window->lsvFile.Hwnd()), -1);
        ASSERT_EQ(watch.popups.size(), 2u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuFile.Handle());
        EXPECT_EQ(watch.popups[0].corner, ToScreen(window->lsvFile.Hwnd(), {row.left + half, row.top + half}));
        EXPECT_EQ(watch.popups[1].menu, window->mnuView.Handle());
        EXPECT_EQ(watch.popups[1].corner, ToScreen(window->lsvFile.Hwnd(), origin));
    }
}

TEST_F(CommandsTest, RegisterAndUnregisterRescanAfterTheRunAndBatchWritingDoesNot)
{
    std::wstring folder = root.Folder(L"scan");
    CopyFixture(fixtures::kFixtureNoEntry, folder + L"n.dll");
    window->ShowFolder(folder);
    SelectRows({RowOf(L"n.dll")});
    window->UpdateCommandState();

    // Each step below changes the registry first: only a scan shows the change.
    classes->Library(kLibraryA, folder + L"n.dll");
    // Toolbar clicks that arrive while the files are written start no second run.
    Focus(window->trvDir);
    for (int id : {IDC_BTN_REG, IDC_BTN_REGBAT})
        ::PostMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window->tlbMirdal.Hwnd()));
    prompter.AnswerSave(folder + L"reg.bat");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    EXPECT_FALSE(ReadBytes(folder + L"reg.bat").empty()) << "no batch written";
    EXPECT_EQ(prompter.saveRequests.size(), 1u);
    EXPECT_EQ(window->txtRes.Text().find(L"を登録"), std::wstring::npos);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    // The button clicked takes the focus, and hides with the panel: the focus goes back to the tree.
    Focus(window->cmdClose);
    window->cmdClose_Click();
    EXPECT_EQ(::GetFocus(), window->trvDir.Hwnd());

    // A run that fails for its only file still rescans.
    window->tlbMirdal_ButtonClick(window->btnReg);
    EXPECT_NE(window->txtRes.Text().find(L"DLLのエントリポイントがみつかりません。"), std::wstring::npos);
    EXPECT_EQ(window->lsvReg.ItemCount(), 1);
    window->cmdClose_Click();

    classes->Remove(kLibraryA);
    window->tlbMirdal_ButtonClick(window->btnRegRead);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(CommandsTest, TabFollowsTheControlsAndCtrlQQuitsOnlyOnceThePanelIsClosed)
{
    HWND tree = window->trvDir.Hwnd(), files = window->lsvFile.Hwnd(), libraries = window->lsvReg.Hwnd();
    HWND bar = window->tlbMirdal.Hwnd(), close = window->cmdClose.Hwnd(), log = window->txtRes.Hwnd();
    auto walk = [&](const platform::Window& from, bool shift = false) {
        Focus(from);
        Hold(VK_SHIFT, shift);
        std::vector<HWND> visited;
        for (int i = 0; i < 5; ++i)
            visited.push_back(Press(VK_TAB) ? ::GetFocus() : nullptr);
        Hold(VK_SHIFT, false);
        return visited;
    };
    EXPECT_EQ(walk(window->trvDir), (std::vector<HWND>{files, libraries, bar, tree, files}));
    EXPECT_EQ(walk(window->trvDir, true), (std::vector<HWND>{bar, libraries, files, tree, bar}));

    // While the result panel is up (here over batch writing, which keeps the toolbar), the focus is in its
    // log and the panes it covers are passed over; its button comes in only once enabled.
    window->SetRunState(frmMirdal::RunState::WritingBatchFiles);
    Pump();
    EXPECT_EQ(::GetFocus(), log);
    EXPECT_EQ(walk(window->txtRes), (std::vector<HWND>{bar, log, bar, log, bar}));
    window->cmdClose.Enable(true);
    EXPECT_EQ(walk(window->txtRes), (std::vector<HWND>{bar, close, log, bar, close}));

    // While the File menu is disabled its quit cannot be chosen, by Ctrl+Q neither.
    HWND hwnd = window->Hwnd();
    auto ctrlQ = [&] { Hold(VK_CONTROL, true); const bool handled = Press('Q'); return Hold(VK_CONTROL, false), handled; };
    ctrlQ();
    ASSERT_TRUE(::IsWindow(hwnd));

    // Once the panel is closed, Ctrl+Q closes and the settings are saved.
    window->cmdClose_Click();
    window->mnuV_Click(1);
    std::wstring path = window->pnlPath.Text();
    EXPECT_TRUE(ctrlQ());
    EXPECT_FALSE(::IsWindow(hwnd));
    window = nullptr;
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_WTEXT_EQ(L"1|" + path, StoredSetting(L"View") + L"|" + StoredSetting(L"Path"));
}

TEST_F(CommandsTest, ADropOpensTheFirstFilesFolderWithTheDroppedFilesSelected)
{
    std::wstring one = root.Folder(L"one"), two = root.Folder(L"two"), hidden = root.Folder(L"hid", FILE_ATTRIBUTE_HIDDEN);
    for (const wchar_t* name : {L"one\\a.dll", L"one\\b.dll", L"one\\c.ocx", L"one\\readme.txt", L"two\\x.dll", L"hid\\h.dll"})
        root.File(name);
    const std::wstring upper = L"C:\\MIRDAL-TESTS\\COMMANDS\\TWO\\";
    // A folder as a drop names it: without the final "\".
    auto bare = [](const std::wstring& folder) { return folder.substr(0, folder.size() - 1); };
    const auto late = [&] { root.File(L"two\\late.dll"), classes->Remove(kLibraryB), SelectRows({}); };
    const auto showOne = [&] { window->ShowFolder(one), window->ListRegisteredLibraries(), SelectRows({RowOf(L"a.dll")}), window->UpdateCommandState(); };
    const struct {
        std::function<void()> before; // how the window stands before the drop
        Names dropped;                // empty: data without a file list
        std::wstring folder;          // the folder shown after it, then the selection, library rows and buttons
        const char* shown;
        Names listed;                 // the file list after it, where it matters
    } drops[] = {
        {[&] { window->ShowFolder(two), window->UpdateCommandState(); }, {one + L"a.dll", one + L"b.dll"}, one, "|a.dll b.dll|1|1111", {}},
        // Folders are passed over: the first file decides, wherever it stands.
        {{}, {bare(one), two + L"x.dll"}, two, "|x.dll|1|1111", {}}, {{}, {one + L"readme.txt", one + L"c.ocx"}, one, "|c.ocx|1|1111", {}},
        {{}, {two + L"x.dll", one + L"a.dll"}, two, "|x.dll|1|1111", {}},
        // The folder shown, written alike, is not listed again but scanned; written otherwise it is listed.
        {late, {two + L"x.dll"}, two, "|x.dll|0|1111", {L"x.dll"}},
        {{}, {upper + L"x.dll"}, upper, "|x.dll|0|1111", {L"late.dll", L"x.dll"}},
        // Folders alone open nothing and scan nothing (a scan would empty the library list), but clear the selection.
        {[&] { showOne(), classes->Remove(kLibraryA); }, {bare(two), bare(one)}, one, "||1|0001", {}},
        // Data without a file list: not even the command state is refreshed.
        {[&] { SelectRows({RowOf(L"b.dll")}); }, {}, one, "|b.dll|1|0001", {}},
        // A file the tree cannot reach leaves the list: rows of the list shown are still selected; no scan.
        {showOne, {hidden + L"h.dll", one + L"b.dll"}, one, "|b.dll|0|1111", {L"a.dll", L"b.dll", L"c.ocx"}},
        {{}, {L"Q:\\nowhere\\q.dll"}, one, "||0|0001", {}}};
    classes->Library(kLibraryA, one + L"a.dll");
    classes->Library(kLibraryB, two + L"x.dll");
    for (const auto& drop : drops) {
        if (drop.before)
            drop.before();
        std::wstring text;
        for (const auto& path : drop.dropped)
            text += path + L'\0';
        const bool files = !drop.dropped.empty();
        EXPECT_EQ(Drop(window->lsvFile.Hwnd(), files ? CF_HDROP : CF_UNICODETEXT, files ? text : two + L"x.dll"),
                  DWORD(files ? DROPEFFECT_COPY : DROPEFFECT_NONE));
        EXPECT_EQ(Shown(), Narrow(drop.folder) + drop.shown) << Narrow(drop.dropped.empty() ? L"" : drop.dropped[0]);
        if (!drop.listed.empty())
            EXPECT_EQ(Sorted(FileNames()), drop.listed);
    }
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
