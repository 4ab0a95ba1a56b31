// Commands, their enabled state, the context menus, the keyboard and dropping files, driven
// in-process on the real window (Wine keeps menus per process).
#include "TestSupport.h"
#include "app/resource.h"
#include "platform/Module.h"
#include "platform/Settings.h"
#include "../fixtures/Fixtures.h"
#include <commctrl.h>
#include <shlobj.h>
#include <algorithm>
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

// Records the pop-up menus opened on this thread while it lives. When a pop-up waits on screen its
// owner gets WM_ENTERIDLE naming the pop-up window (Wine names it for the menu bar's menus too): the
// watch reads the menu then and closes it, or presses Down `downs` times and Enter as a user would.
struct PopupWatch {
    struct Popup {
        HMENU menu;
        Corner corner;
        Names texts;
        std::vector<bool> enabled;
    };
    explicit PopupWatch(int downs = 0) : downs(downs) { current = this; }
    ~PopupWatch() { ::UnhookWindowsHookEx(hook), current = nullptr; }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && current && sent->message == WM_INITMENUPOPUP)
            current->initialised.push_back(reinterpret_cast<HMENU>(sent->wParam));
        if (code == HC_ACTION && current && sent->message == WM_ENTERIDLE && sent->wParam == MSGF_MENU)
            current->Seen(reinterpret_cast<HWND>(sent->lParam));
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Seen(HWND popupWindow)
    {
        platform::Menu menu(reinterpret_cast<HMENU>(::SendMessageW(popupWindow, MN_GETHMENU, 0, 0)));
        RECT rc{};
        ::GetWindowRect(popupWindow, &rc);
        Popup& popup = popups.emplace_back(Popup{menu.Handle(), {rc.left, rc.top}, {}, {}});
        for (int i = 0; menu.Handle() && i < menu.ItemCount(); ++i)
            popup.texts.push_back(menu.TextAt(i)), popup.enabled.push_back(menu.IsPositionEnabled(i));
        for (int i = 0; i < downs; ++i)
            ::PostMessageW(popupWindow, WM_KEYDOWN, VK_DOWN, 0);
        downs > 0 ? ::PostMessageW(popupWindow, WM_KEYDOWN, VK_RETURN, 0) : ::EndMenu();
    }

    int downs;
    std::vector<Popup> popups;
    std::vector<HMENU> initialised; // menus that got WM_INITMENUPOPUP, in order
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    static inline PopupWatch* current = nullptr;
};

// Holds keys down in this thread's keyboard state, as GetKeyState reads it, while it lives.
struct KeysDown {
    BYTE saved[256]{}, state[256]{};
    KeysDown(std::initializer_list<BYTE> keys)
    {
        ::GetKeyboardState(saved);
        std::copy(std::begin(saved), std::end(saved), state);
        for (BYTE key : keys)
            state[key] |= 0x80;
        ::SetKeyboardState(state);
    }
    ~KeysDown() { ::SetKeyboardState(saved); }
};

// Data as the system offers it: one format in global memory, put on the clipboard and taken back as
// OLE's clipboard object.
IDataObject* Offered(CLIPFORMAT format, const std::wstring& text)
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
    return data;
}

// Enabled states as "1"/"0" of register, unregister, batch and registry read.
constexpr char kNone[] = "0000", kReadOnly[] = "0001", kAll[] = "1111";

class CommandsTest : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder root{L"commands"};
    std::unique_ptr<ScratchClassesRoot> classes;

    void SetUp() override
    {
        WindowTest::SetUp();
        // Only after start-up: registering the drop target needs the real classes root.
        classes = std::make_unique<ScratchClassesRoot>();
        ASSERT_TRUE(classes->Active());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        classes.reset();
    }

    static std::string Flags(const std::vector<bool>& flags)
    {
        std::string text;
        for (bool flag : flags)
            text += "01"[flag];
        return text;
    }
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
        return watch.popups.empty() ? "no menu" : Flags(watch.popups[0].enabled);
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

    // Calls the drop target that RegisterDragDrop recorded for the list, as OLE does over a drop.
    DWORD Drop(IDataObject* data) const
    {
        auto* target = static_cast<IDropTarget*>(::GetPropW(window->lsvFile.Hwnd(), L"OleDropTargetInterface"));
        EXPECT_NE(target, nullptr) << "the file list is no registered drop target";
        DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, over = entered, effect = entered;
        if (target) {
            RECT rc = window->lsvFile.ClientRect();
            auto [x, y] = ToScreen(window->lsvFile.Hwnd(), {rc.right / 2, rc.bottom / 2});
            EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, {x, y}, &entered), S_OK);
            EXPECT_EQ(target->DragOver(MK_LBUTTON, {x, y}, &over), S_OK);
            EXPECT_EQ(target->Drop(data, 0, {x, y}, &effect), S_OK);
            EXPECT_EQ(entered, effect);
            EXPECT_EQ(over, effect);
        }
        data->Release();
        Pump();
        return target ? effect : DROPEFFECT_NONE;
    }
};

TEST_F(CommandsTest, EnablementFollowsTheListOnFocusAndWhenAMenuOpens)
{
    root.Folder(L"empty");
    root.Folder(L"three");
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.ocx"})
        root.File(std::wstring(L"three\\") + name);
    window->ShowFolder(root.Path());

    window->trvDir_NodeClick(window->FindNode(L"C:\\MIRDAL-TESTS\\COMMANDS\\EMPTY\\"));
    ASSERT_EQ(window->lsvFile.ItemCount(), 0);
    EXPECT_EQ(Buttons(), kNone);
    EXPECT_EQ(Opened(L'r'), "00000");
    // The View button, quit and the four views are always offered.
    EXPECT_TRUE(window->btnView.Enabled());
    for (UINT item = IDM_V0; item <= IDM_V3; ++item)
        EXPECT_TRUE(window->mnuView.IsEnabled(item));
    window->trvDir_NodeClick(window->FindNode(L"C:\\MIRDAL-TESTS\\COMMANDS\\THREE\\"));
    ASSERT_EQ(window->lsvFile.ItemCount(), 3);
    EXPECT_EQ(Buttons(), kReadOnly);

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
    // selection as registering does. (Wine reads separators as disabled.)
    EXPECT_EQ(Opened(L'f'), "000001");
    EXPECT_EQ(Opened(L'r'), "10000");
    SelectRows({2});
    EXPECT_EQ(Opened(L'f'), "110101");
    EXPECT_EQ(Buttons(), kAll);
    EXPECT_EQ(Opened(L'r'), "10111");
}

TEST_F(CommandsTest, TheViewButtonCyclesTheStylesAndItsArrowOpensTheViewMenuBelowIt)
{
    ASSERT_EQ(View(), "3:0001");
    RECT view = window->btnView.Rect();
    const LONG middle = (view.top + view.bottom) / 2;
    HWND bar = window->tlbMirdal.Hwnd();
    PopupWatch watch;
    std::vector<std::string> views;
    for (int i = 0; i < 4; ++i) {
        ClickAt(bar, {view.left + 8, middle}); // the button's main part
        views.push_back(View());
    }
    EXPECT_EQ(views, (std::vector<std::string>{"0:1000", "1:0100", "2:0010", "3:0001"}));
    EXPECT_TRUE(watch.popups.empty()) << "the main part opened a menu";

    // The arrow: the View menu, its left edge at the button's, its top at the button's bottom.
    ClickAt(bar, {view.right - 3, middle});
    ASSERT_EQ(watch.popups.size(), 1u);
    EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
    EXPECT_EQ(watch.popups[0].corner, ToScreen(bar, {view.left, view.bottom}));
    EXPECT_EQ(View(), "3:0001") << "closing the menu chose nothing";

    // While a run holds the View menu disabled, the arrow opens nothing, as a right click does.
    window->mnuMain.EnablePosition(frmMirdal::ViewMenuPosition, false);
    ClickAt(bar, {view.right - 3, middle});
    EXPECT_EQ(watch.popups.size(), 1u);
    window->mnuMain.EnablePosition(frmMirdal::ViewMenuPosition, true);

    watch.downs = 2; // the second item: small icons
    ClickAt(bar, {view.right - 3, middle});
    ASSERT_EQ(watch.popups.size(), 2u);
    EXPECT_EQ(View(), "1:0100");
}

TEST_F(CommandsTest, RightClicksOnTheFileListOpenTheMenuOfWhatIsUnderThePointer)
{
    std::wstring folder = root.Folder(L"ctx");
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.ocx"})
        root.File(std::wstring(L"ctx\\") + name);
    window->ShowFolder(folder);
    window->UpdateCommandState();
    SelectRows({1});

    // On a selected row: the File menu without quit and its separator; "バッチ作成" is chosen.
    {
        PopupWatch watch(3);
        RightClick(RowPoint(1));
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuFile.Handle());
        EXPECT_EQ(watch.popups[0].texts, (Names{L"登録(&R)", L"登録解除(&U)", L"", L"バッチ作成"}));
        EXPECT_EQ(Flags(watch.popups[0].enabled), "1101");
        EXPECT_EQ(watch.popups[0].corner, ToScreen(window->lsvFile.Hwnd(), RowPoint(1)));
    }
    EXPECT_EQ(prompter.saveRequests.size(), 1u) << "the chosen item did not run";
    ASSERT_EQ(window->mnuFile.ItemCount(), 6) << "quit and its separator are back";
    EXPECT_WTEXT_EQ(L"終了(&Q)\tCtrl+Q", window->mnuFile.TextAt(5));
    EXPECT_EQ(window->mnuFile.CommandAt(5), static_cast<UINT>(IDM_F5));
    EXPECT_TRUE(::GetMenuState(window->mnuFile.Handle(), 4, MF_BYPOSITION) & MF_SEPARATOR);

    // On a row that is not selected: no menu, and the selection stays.
    {
        PopupWatch watch;
        RightClick(RowPoint(0));
        RightClick(RowPoint(2));
        EXPECT_TRUE(watch.popups.empty());
        EXPECT_TRUE(watch.initialised.empty());
    }
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});

    // On empty space: the View menu at the pointer; its first item is chosen.
    {
        PopupWatch watch(1);
        POINT empty{20, window->lsvFile.ClientRect().bottom - 4};
        ASSERT_EQ(window->lsvFile.HitTest(empty.x, empty.y), -1);
        RightClick(empty);
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
        EXPECT_EQ(watch.popups[0].corner, ToScreen(window->lsvFile.Hwnd(), empty));
    }
    EXPECT_EQ(View(), "0:1000");
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}

TEST_F(CommandsTest, RegisterAndUnregisterRescanAfterTheRunAndBatchWritingDoesNot)
{
    std::wstring folder = root.Folder(L"scan");
    CopyFixture(fixtures::kFixtureNoEntry, folder + L"n.dll");
    root.File(L"scan\\m.dll");
    window->ShowFolder(folder);
    classes->Library(kLibraryA, folder + L"n.dll");
    window->ListRegisteredLibraries();
    ASSERT_EQ(window->lsvReg.ItemCount(), 1);
    SelectRows({RowOf(L"n.dll")});
    window->UpdateCommandState();

    // Each step below changes the registry first: only a scan shows the change.
    classes->Library(kLibraryB, folder + L"m.dll");
    // Toolbar clicks that arrive while the files are written start no second run.
    Focus(window->trvDir);
    for (int id : {IDC_BTN_REG, IDC_BTN_REGBAT})
        ::PostMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window->tlbMirdal.Hwnd()));
    prompter.AnswerSave(folder + L"reg.bat");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    EXPECT_FALSE(ReadBytes(folder + L"reg.bat").empty()) << "no batch written";
    EXPECT_EQ(prompter.saveRequests.size(), 1u);
    EXPECT_EQ(window->txtRes.Text().find(L"を登録"), std::wstring::npos);
    EXPECT_EQ(window->lsvReg.ItemCount(), 1);
    // The button clicked takes the focus, and hides with the panel: the focus goes back to the tree.
    Focus(window->cmdClose);
    window->cmdClose_Click();
    EXPECT_EQ(::GetFocus(), window->trvDir.Hwnd());

    // A run that fails for its only file still rescans.
    window->tlbMirdal_ButtonClick(window->btnReg);
    EXPECT_NE(window->txtRes.Text().find(L"DLLのエントリポイントがみつかりません。"), std::wstring::npos);
    EXPECT_EQ(window->lsvReg.ItemCount(), 2);
    window->cmdClose_Click();

    classes->Remove(kLibraryA);
    ::SendMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(IDM_F1, 0), 0);
    ASSERT_EQ(window->lsvReg.ItemCount(), 1);
    EXPECT_WTEXT_EQ(folder + L"m.dll", window->lsvReg.ItemText(0, 2));
    window->cmdClose_Click();

    classes->Remove(kLibraryB);
    window->tlbMirdal_ButtonClick(window->btnRegRead);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(CommandsTest, TabFollowsTheControlsAndCtrlQQuitsEvenWhileBusyUnlessTheFileMenuIsDisabled)
{
    HWND tree = window->trvDir.Hwnd(), files = window->lsvFile.Hwnd(), libraries = window->lsvReg.Hwnd();
    HWND bar = window->tlbMirdal.Hwnd(), close = window->cmdClose.Hwnd(), log = window->txtRes.Hwnd();
    auto walk = [&](const platform::Window& from, std::initializer_list<BYTE> held) {
        Focus(from);
        KeysDown keys(held);
        std::vector<HWND> visited;
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(Press(VK_TAB));
            visited.push_back(::GetFocus());
        }
        return visited;
    };
    EXPECT_EQ(walk(window->trvDir, {}), (std::vector<HWND>{files, libraries, bar, tree, files, libraries}));
    EXPECT_EQ(walk(window->trvDir, {VK_SHIFT}), (std::vector<HWND>{bar, libraries, files, tree, bar, libraries}));

    // The result panel's controls come between the lists, its button only while enabled.
    window->BeginReport();
    Pump();
    EXPECT_EQ(walk(window->trvDir, {}), (std::vector<HWND>{files, log, libraries, bar, tree, files}));
    window->cmdClose.Enable(true);
    EXPECT_EQ(walk(window->lsvFile, {}), (std::vector<HWND>{close, log, libraries, bar, tree, files}));

    // While the File menu is disabled its quit cannot be chosen, by Ctrl+Q neither.
    HWND hwnd = window->Hwnd();
    auto setting = [](const wchar_t* name) { return platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", name, L"<none>"); };
    {
        KeysDown keys({VK_CONTROL});
        Press('Q');
    }
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_WTEXT_EQ(L"<none>", setting(L"View"));

    // Otherwise Ctrl+Q is the program's own close: never refused, and the settings are saved.
    window->cmdClose_Click();
    window->mnuV_Click(1);
    std::wstring path = window->pnlPath.Text();
    window->IsBusy = true;
    {
        KeysDown keys({VK_CONTROL});
        EXPECT_TRUE(Press('Q'));
    }
    EXPECT_FALSE(::IsWindow(hwnd));
    window = nullptr;
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_WTEXT_EQ(L"1", setting(L"View"));
    EXPECT_WTEXT_EQ(path, setting(L"Path"));
}

TEST_F(CommandsTest, ADropOpensTheFirstFilesFolderWithTheDroppedFilesSelected)
{
    std::wstring one = root.Folder(L"one"), two = root.Folder(L"two"), hidden = root.Folder(L"hid", FILE_ATTRIBUTE_HIDDEN);
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.ocx", L"readme.txt"})
        root.File(L"one\\" + std::wstring(name));
    root.File(L"two\\x.dll");
    root.File(L"hid\\h.dll");
    classes->Library(kLibraryA, one + L"a.dll");
    classes->Library(kLibraryB, two + L"x.dll");
    // Shows a folder as the tree does, scanned and with the commands refreshed.
    auto show = [&](const std::wstring& folder, const Names& selected) {
        window->ShowFolder(folder);
        window->ListRegisteredLibraries();
        for (const auto& name : selected)
            window->lsvFile.SetSelected(RowOf(name), true);
        window->UpdateCommandState();
    };
    auto dropped = [&](const Names& paths) {
        std::wstring text;
        for (const auto& path : paths)
            text += path + L'\0';
        EXPECT_EQ(Drop(Offered(CF_HDROP, text)), DWORD{DROPEFFECT_COPY});
        return Shown();
    };
    // A folder as a drop names it: without the final "\".
    auto bare = [](const std::wstring& folder) { return folder.substr(0, folder.size() - 1); };

    show(two, {});
    EXPECT_EQ(dropped({one + L"a.dll", one + L"b.dll"}), Narrow(one) + "|a.dll b.dll|1|1111");
    EXPECT_WTEXT_EQ(one + L"a.dll", window->lsvReg.ItemText(0, 2));
    // Folders are passed over: the first file decides, wherever it stands.
    EXPECT_EQ(dropped({bare(one), two + L"x.dll"}), Narrow(two) + "|x.dll|1|1111");
    EXPECT_EQ(dropped({one + L"readme.txt", one + L"c.ocx"}), Narrow(one) + "|c.ocx|1|1111");
    EXPECT_EQ(dropped({two + L"x.dll", one + L"a.dll"}), Narrow(two) + "|x.dll|1|1111");

    // The folder shown, written alike, is not listed again but scanned; written otherwise it is listed.
    root.File(L"two\\late.dll");
    classes->Remove(kLibraryB);
    SelectRows({});
    EXPECT_EQ(dropped({two + L"x.dll"}), Narrow(two) + "|x.dll|0|1111");
    EXPECT_EQ(FileNames(), Names{L"x.dll"});
    std::wstring upper = L"C:\\MIRDAL-TESTS\\COMMANDS\\TWO\\";
    EXPECT_EQ(dropped({upper + L"x.dll"}), Narrow(upper) + "|x.dll|0|1111");
    EXPECT_EQ(Sorted(FileNames()), (Names{L"late.dll", L"x.dll"}));

    // Folders alone open nothing and scan nothing, but clear the selection.
    show(one, {L"a.dll"});
    classes->Remove(kLibraryA); // a scan would empty the library list
    EXPECT_EQ(dropped({bare(two), bare(one)}), Narrow(one) + "||1|0001");
    // Data without a file list: not even the command state is refreshed.
    SelectRows({RowOf(L"b.dll")});
    EXPECT_EQ(Drop(Offered(CF_UNICODETEXT, two + L"x.dll")), DWORD{DROPEFFECT_NONE});
    EXPECT_EQ(Shown(), Narrow(one) + "|b.dll|1|0001");

    // A file the tree cannot reach leaves the list: rows of the list shown are still selected; no scan.
    show(one, {L"a.dll"});
    EXPECT_EQ(dropped({hidden + L"h.dll", one + L"b.dll"}), Narrow(one) + "|b.dll|0|1111");
    EXPECT_EQ(Sorted(FileNames()), (Names{L"a.dll", L"b.dll", L"c.ocx"}));
    EXPECT_EQ(dropped({L"Q:\\nowhere\\q.dll"}), Narrow(one) + "||0|0001");
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
