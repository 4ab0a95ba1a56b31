// Commands, their enabled state, the context menus, the keyboard and dropping files, driven
// in-process on the real window (Wine keeps menus per process).
#include "TestSupport.h"
#include "app/resource.h"
#include "platform/Module.h"
#include "platform/Settings.h"
#include "platform/UniqueHandle.h"
#include "../fixtures/Fixtures.h"
#include <commctrl.h>
#include <shlobj.h>
#include <algorithm>
#include <memory>
#include <source_location>

using namespace testing_support;

namespace {

using Where = std::source_location;

::testing::ScopedTrace CalledFrom(const Where& where)
{
    return ::testing::ScopedTrace(where.file_name(), static_cast<int>(where.line()), "called from here");
}

// Records every pop-up menu opened on this thread while it lives. Once a pop-up is on screen and
// the menu loop waits, its owner gets WM_ENTERIDLE naming the pop-up window; the watch reads the
// menu then and closes it, or chooses an item by keyboard as a user would.
class PopupWatch {
public:
    struct Popup {
        HMENU menu = nullptr;
        RECT rect{};
        std::vector<std::wstring> texts;
        std::vector<bool> enabled;
    };

    explicit PopupWatch(int downs = 0) : downs(downs)
    {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~PopupWatch()
    {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    PopupWatch(const PopupWatch&) = delete;
    PopupWatch& operator=(const PopupWatch&) = delete;

    int downs; // Down presses before Enter on the next pop-up; 0 closes it without a choice
    std::vector<Popup> popups;
    std::vector<HMENU> initialised; // menus that got WM_INITMENUPOPUP, in order

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && current_) {
            if (sent->message == WM_INITMENUPOPUP)
                current_->initialised.push_back(reinterpret_cast<HMENU>(sent->wParam));
            else if (sent->message == WM_ENTERIDLE && sent->wParam == MSGF_MENU)
                current_->Seen(reinterpret_cast<HWND>(sent->lParam));
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // Wine names the pop-up window (the "#32768" one) also for a menu opened from the menu bar.
    void Seen(HWND popupWindow)
    {
        Popup popup;
        popup.menu = reinterpret_cast<HMENU>(::SendMessageW(popupWindow, MN_GETHMENU, 0, 0));
        ::GetWindowRect(popupWindow, &popup.rect);
        platform::Menu menu(popup.menu);
        for (int i = 0; popup.menu && i < menu.ItemCount(); ++i) {
            popup.texts.push_back(menu.TextAt(i));
            popup.enabled.push_back((::GetMenuState(popup.menu, i, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED)) == 0);
        }
        popups.push_back(std::move(popup));
        if (downs > 0 && popupWindow) {
            for (int i = 0; i < downs; ++i)
                ::PostMessageW(popupWindow, WM_KEYDOWN, VK_DOWN, 0);
            ::PostMessageW(popupWindow, WM_KEYDOWN, VK_RETURN, 0);
        } else {
            ::EndMenu();
        }
    }

    static inline PopupWatch* current_ = nullptr;
    HHOOK hook_ = nullptr;
};

// Holds keys down in this thread's keyboard state, as GetKeyState reads it, and lets them go again.
class KeysDown {
public:
    explicit KeysDown(std::initializer_list<BYTE> keys)
    {
        ::GetKeyboardState(saved_);
        BYTE state[256];
        std::copy(std::begin(saved_), std::end(saved_), state);
        for (BYTE key : keys)
            state[key] |= 0x80;
        ::SetKeyboardState(state);
    }
    ~KeysDown() { ::SetKeyboardState(saved_); }
    KeysDown(const KeysDown&) = delete;
    KeysDown& operator=(const KeysDown&) = delete;

private:
    BYTE saved_[256]{};
};

// Points HKEY_CLASSES_ROOT of this process at an empty scratch key, so that a scan sees only what
// a test writes there and a registration lands there.
class ScratchClassesRoot {
public:
    ScratchClassesRoot()
    {
        name_ = L"Software\\MirdalCommandsTest-" + std::to_wstring(::GetCurrentProcessId());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        platform::UniqueKey root;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.put(), nullptr);
        ::RegCreateKeyExW(root.get(), L"TypeLib", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, typeLib_.put(), nullptr);
        overridden_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, root.get()) == ERROR_SUCCESS;
    }
    ~ScratchClassesRoot()
    {
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        typeLib_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    }
    ScratchClassesRoot(const ScratchClassesRoot&) = delete;
    ScratchClassesRoot& operator=(const ScratchClassesRoot&) = delete;

    bool Active() const { return overridden_ && typeLib_; }
    // A type library registered for this build's platform at a path.
    void Library(const std::wstring& guid, const std::wstring& path) const
    {
        SetDefault(guid + L"\\1.0", L"Scratch");
        SetDefault(guid + L"\\1.0\\0\\" + fixtures::kPlatformKey, path);
    }
    void Remove(const std::wstring& guid) const { ::RegDeleteTreeW(typeLib_.get(), guid.c_str()); }

private:
    void SetDefault(const std::wstring& key, const std::wstring& value) const
    {
        ::RegSetKeyValueW(typeLib_.get(), key.c_str(), nullptr, REG_SZ, value.c_str(),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring name_;
    platform::UniqueKey typeLib_;
    bool overridden_ = false;
};

constexpr wchar_t kLibraryA[] = L"{0D5E1A7C-6A0B-4C0E-9E58-2F1B7C3D4E01}";
constexpr wchar_t kLibraryB[] = L"{0D5E1A7C-6A0B-4C0E-9E58-2F1B7C3D4E02}";

// Data as a drag source offers it: one format in global memory.
class DataObject : public IDataObject {
public:
    // A file list (format 15) of wide paths.
    static DataObject* FileList(const std::vector<std::wstring>& paths)
    {
        std::wstring text;
        for (const auto& path : paths)
            text += path + L'\0';
        HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (text.size() + 1) * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
        *drop = {sizeof(DROPFILES), {}, FALSE, TRUE};
        std::copy(text.begin(), text.end(), reinterpret_cast<wchar_t*>(drop + 1));
        ::GlobalUnlock(memory);
        return new DataObject(CF_HDROP, memory);
    }
    static DataObject* Text(const std::wstring& text)
    {
        HGLOBAL memory = ::GlobalAlloc(GHND, (text.size() + 1) * sizeof(wchar_t));
        std::copy(text.begin(), text.end(), static_cast<wchar_t*>(::GlobalLock(memory)));
        ::GlobalUnlock(memory);
        return new DataObject(CF_UNICODETEXT, memory);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = iid == IID_IUnknown || iid == IID_IDataObject ? static_cast<IDataObject*>(this) : nullptr;
        return *object ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (!left)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (HRESULT offered = QueryGetData(format); offered != S_OK)
            return offered;
        *medium = {TYMED_HGLOBAL, {.hGlobal = ::OleDuplicateData(data_, format_, 0)}, nullptr};
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        return format->cfFormat != format_ ? DV_E_FORMATETC : format->tymed & TYMED_HGLOBAL ? S_OK : DV_E_TYMED;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override { return out->ptd = nullptr, E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    DataObject(CLIPFORMAT format, HGLOBAL data) : format_(format), data_(data) {}
    virtual ~DataObject() { ::GlobalFree(data_); }
    CLIPFORMAT format_;
    HGLOBAL data_;
    ULONG references_ = 1;
};

// A drag source whose button is released over the target at once.
class DropAtOnce : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = iid == IID_IUnknown || iid == IID_IDropSource ? static_cast<IDropSource*>(this) : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override
    {
        return escape ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

class CommandsTest : public WindowTest {
protected:
    // Made before the window, so that C:\ already holds it when the tree first lists C:\.
    ScratchFolder root{L"commands"};

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

    struct State {
        bool reg, unreg, regBat, regRead;
        bool operator==(const State&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const State& s)
        {
            return out << "{" << s.reg << s.unreg << s.regBat << s.regRead << "}";
        }
    };
    static constexpr State kNone{false, false, false, false};
    static constexpr State kReadOnly{false, false, false, true};
    static constexpr State kAll{true, true, true, true};

    State Buttons() const
    {
        return {window->btnReg.Enabled(), window->btnUnreg.Enabled(), window->btnRegBat.Enabled(),
                window->btnRegRead.Enabled()};
    }
    // Opens the File and Registry menus as the menu bar does, and reads their items.
    State OpenedMenus() const
    {
        HWND hwnd = window->Hwnd();
        ::SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window->mnuFile.Handle()),
                       MAKELPARAM(frmMirdal::FileMenuPosition, FALSE));
        ::SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window->mnuReg.Handle()),
                       MAKELPARAM(frmMirdal::RegistryMenuPosition, FALSE));
        return MenuItems();
    }
    State MenuItems() const
    {
        return {window->mnuFile.IsEnabled(IDM_F0), window->mnuFile.IsEnabled(IDM_F1),
                window->mnuFile.IsEnabled(IDM_F3), window->mnuReg.IsEnabled(IDM_R0)};
    }
    void ExpectAlwaysOffered(const Where& where = Where::current()) const
    {
        auto trace = CalledFrom(where);
        EXPECT_TRUE(window->btnView.Enabled());
        EXPECT_TRUE(window->mnuFile.IsEnabled(IDM_F5));
        for (UINT item = IDM_V0; item <= IDM_V3; ++item)
            EXPECT_TRUE(window->mnuView.IsEnabled(item));
    }
    int CheckedView() const
    {
        int checked = -1;
        for (int i = 0; i < 4; ++i)
            if (window->mnuView.IsChecked(IDM_V0 + i))
                checked = checked == -1 ? i : -2; // -2: more than one
        return checked;
    }
    int Style() const { return static_cast<int>(window->lsvFile.Style()); }
    std::vector<int> Selected() const
    {
        std::vector<int> rows;
        for (int i = window->lsvFile.NextSelected(-1); i >= 0; i = window->lsvFile.NextSelected(i))
            rows.push_back(i);
        return rows;
    }
    std::vector<std::wstring> SelectedNames() const
    {
        std::vector<std::wstring> names;
        for (int row : Selected())
            names.push_back(window->lsvFile.ItemText(row));
        return Sorted(names);
    }
    static std::vector<std::wstring> Sorted(std::vector<std::wstring> names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }
    int RowOf(const std::wstring& name) const
    {
        std::vector<std::wstring> names = FileNames();
        auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }
    void Focus(const platform::Window& control) const
    {
        control.Focus();
        Pump();
    }

    // A right click at a point of the file list, as the mouse gives it.
    void RightClick(POINT point) const
    {
        ::SendMessageW(window->lsvFile.Hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(point.x, point.y));
        ::SendMessageW(window->lsvFile.Hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        Pump();
    }
    POINT RowPoint(int row) const
    {
        RECT rc = window->lsvFile.ItemRect(row);
        return {rc.left + 8, (rc.top + rc.bottom) / 2};
    }
    // A left click at a point of the toolbar.
    void ClickToolBar(POINT point) const
    {
        HWND bar = window->tlbMirdal.Hwnd();
        POINT screen = ToScreen(bar, point);
        ::SetCursorPos(screen.x, screen.y);
        ::SendMessageW(bar, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
        ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        ::SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        Pump();
    }
    static POINT ToScreen(HWND hwnd, POINT point)
    {
        ::ClientToScreen(hwnd, &point);
        return point;
    }
    // A key pressed while the focus is where it is, as the message loop hands it over.
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
        if (!target)
            return DROPEFFECT_NONE;
        target->AddRef();
        RECT rc{};
        ::GetWindowRect(window->lsvFile.Hwnd(), &rc);
        POINTL point{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        const DWORD offered = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        DWORD entered = offered, over = offered, effect = offered;
        EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, point, &entered), S_OK);
        EXPECT_EQ(target->DragOver(MK_LBUTTON, point, &over), S_OK);
        EXPECT_EQ(target->Drop(data, 0, point, &effect), S_OK);
        EXPECT_EQ(entered, effect);
        EXPECT_EQ(over, effect);
        target->Release();
        data->Release();
        Pump();
        return effect;
    }
    DWORD DropFiles(const std::vector<std::wstring>& paths) const { return Drop(DataObject::FileList(paths)); }
    // The whole way through OLE: the pointer rests over the list and the drag source lets go.
    DWORD DragAndDrop(IDataObject* data) const
    {
        RECT rc{};
        ::GetWindowRect(window->lsvFile.Hwnd(), &rc);
        ::SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        // Windows closed by earlier tests left their quit message, which would end the drag at once.
        MSG quit;
        while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        DropAtOnce source;
        DWORD effect = DROPEFFECT_NONE;
        HRESULT result = ::DoDragDrop(data, &source, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect);
        EXPECT_TRUE(result == DRAGDROP_S_DROP || result == DRAGDROP_S_CANCEL) << std::hex << result;
        data->Release();
        Pump();
        return effect;
    }

    std::unique_ptr<ScratchClassesRoot> classes;
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
    EXPECT_EQ(OpenedMenus(), kNone);
    ExpectAlwaysOffered();

    window->trvDir_NodeClick(window->FindNode(L"C:\\MIRDAL-TESTS\\COMMANDS\\THREE\\"));
    ASSERT_EQ(window->lsvFile.ItemCount(), 3);
    EXPECT_EQ(Buttons(), kReadOnly);
    EXPECT_EQ(OpenedMenus(), kReadOnly);

    // A selection alone changes nothing; the list's focus catches up with it, the tree's as well.
    Focus(window->trvDir);
    SelectRows({2});
    EXPECT_EQ(Buttons(), kReadOnly);
    Focus(window->lsvFile);
    EXPECT_EQ(Buttons(), kAll);
    SelectRows({});
    Focus(window->trvDir);
    EXPECT_EQ(Buttons(), kReadOnly);
    SelectRows({0});
    Focus(window->lsvFile);
    EXPECT_EQ(Buttons(), kAll);
    ExpectAlwaysOffered();

    // The menus refresh before they copy the buttons, here opened from the menu bar by keyboard.
    SelectRows({});
    {
        PopupWatch watch;
        ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_KEYMENU, L'f');
        Pump();
        ASSERT_FALSE(watch.popups.empty()) << "the File menu did not open";
        EXPECT_EQ(watch.popups[0].menu, window->mnuFile.Handle());
        ASSERT_EQ(watch.popups[0].enabled.size(), 6u);
        EXPECT_FALSE(watch.popups[0].enabled[0] || watch.popups[0].enabled[1] || watch.popups[0].enabled[3]);
        EXPECT_TRUE(watch.popups[0].enabled[5]);
    }
    EXPECT_EQ(Buttons(), kReadOnly);
    SelectRows({2});
    {
        PopupWatch watch;
        ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_KEYMENU, L'r');
        Pump();
        ASSERT_FALSE(watch.popups.empty()) << "the Registry menu did not open";
        EXPECT_EQ(watch.popups[0].menu, window->mnuReg.Handle());
        EXPECT_EQ(watch.popups[0].enabled, std::vector<bool>{true});
    }
    EXPECT_EQ(Buttons(), kAll);
    EXPECT_EQ(MenuItems(), (State{false, false, false, true})) << "the File menu copies only when it opens";
    EXPECT_EQ(OpenedMenus(), kAll);
    ExpectAlwaysOffered();
}

TEST_F(CommandsTest, TheViewButtonCyclesTheStylesAndItsArrowOpensTheViewMenuBelowIt)
{
    ASSERT_EQ(Style(), 3);
    RECT view = window->btnView.Rect();
    PopupWatch watch;
    window->tlbMirdal_ButtonClick(window->btnView);
    EXPECT_EQ(Style(), 0);
    EXPECT_EQ(CheckedView(), 0);
    ClickToolBar({view.left + 8, (view.top + view.bottom) / 2}); // the button's main part
    EXPECT_EQ(Style(), 1);
    EXPECT_EQ(CheckedView(), 1);
    ::SendMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_BTN_VIEW, BN_CLICKED),
                   reinterpret_cast<LPARAM>(window->tlbMirdal.Hwnd()));
    EXPECT_EQ(Style(), 2);
    EXPECT_EQ(CheckedView(), 2);
    window->tlbMirdal_ButtonClick(window->btnView);
    EXPECT_EQ(Style(), 3);
    EXPECT_EQ(CheckedView(), 3);
    EXPECT_TRUE(watch.popups.empty()) << "the main part opened a menu";

    // The arrow: the View menu, its left edge at the button's, its top at the button's bottom.
    ClickToolBar({view.right - 3, (view.top + view.bottom) / 2});
    ASSERT_EQ(watch.popups.size(), 1u);
    EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
    POINT below = ToScreen(window->tlbMirdal.Hwnd(), {view.left, view.bottom});
    EXPECT_EQ(watch.popups[0].rect.left, below.x);
    EXPECT_EQ(watch.popups[0].rect.top, below.y);
    EXPECT_EQ(Style(), 3) << "closing the menu chose nothing";

    // The arrow notification of any other button does nothing.
    for (int id : {IDC_BTN_REG, IDC_BTN_UNREG, IDC_BTN_REGREAD, IDC_BTN_REGBAT}) {
        NMTOOLBARW info{};
        info.hdr = {window->tlbMirdal.Hwnd(), IDC_TLBMIRDAL, static_cast<UINT>(TBN_DROPDOWN)};
        info.iItem = id;
        ::SendMessageW(window->Hwnd(), WM_NOTIFY, IDC_TLBMIRDAL, reinterpret_cast<LPARAM>(&info));
    }
    window->tlbMirdal_ButtonDropDown(window->btnRegBat);
    Pump();
    EXPECT_EQ(watch.popups.size(), 1u);
    EXPECT_EQ(watch.initialised.size(), 1u);
    EXPECT_EQ(Style(), 3);

    watch.downs = 2; // the second item: small icons
    ClickToolBar({view.right - 3, (view.top + view.bottom) / 2});
    ASSERT_EQ(watch.popups.size(), 2u);
    EXPECT_EQ(Style(), 1);
    EXPECT_EQ(CheckedView(), 1);
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
        const PopupWatch::Popup& popup = watch.popups[0];
        EXPECT_EQ(popup.menu, window->mnuFile.Handle());
        EXPECT_EQ(popup.texts, (std::vector<std::wstring>{L"登録(&R)", L"登録解除(&U)", L"", L"バッチ作成"}));
        ASSERT_EQ(popup.enabled.size(), 4u);
        EXPECT_TRUE(popup.enabled[0] && popup.enabled[1] && popup.enabled[3]);
        POINT at = ToScreen(window->lsvFile.Hwnd(), RowPoint(1));
        EXPECT_EQ(popup.rect.left, at.x);
        EXPECT_EQ(popup.rect.top, at.y);
    }
    EXPECT_EQ(prompter.saveRequests.size(), 1u) << "the chosen item did not run";
    ASSERT_EQ(window->mnuFile.ItemCount(), 6);
    EXPECT_WTEXT_EQ(L"終了(&Q)\tCtrl+Q", window->mnuFile.TextAt(5));
    EXPECT_EQ(window->mnuFile.CommandAt(5), static_cast<UINT>(IDM_F5));
    EXPECT_TRUE(window->mnuFile.IsEnabled(IDM_F5));
    EXPECT_TRUE(::GetMenuState(window->mnuFile.Handle(), 4, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(Selected(), std::vector<int>{1});

    // Closed without a choice, the items come back as well.
    {
        PopupWatch watch;
        RightClick(RowPoint(1));
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].texts.size(), 4u);
    }
    EXPECT_EQ(window->mnuFile.ItemCount(), 6);
    EXPECT_EQ(prompter.saveRequests.size(), 1u);

    // On a row that is not selected: no menu, and the selection stays.
    {
        PopupWatch watch;
        RightClick(RowPoint(0));
        RightClick(RowPoint(2));
        EXPECT_TRUE(watch.popups.empty());
        EXPECT_TRUE(watch.initialised.empty());
    }
    EXPECT_EQ(Selected(), std::vector<int>{1});

    // On empty space: the View menu at the pointer; its first item is chosen.
    {
        PopupWatch watch(1);
        POINT empty{20, window->lsvFile.ClientRect().bottom - 4};
        ASSERT_EQ(window->lsvFile.HitTest(empty.x, empty.y), -1);
        RightClick(empty);
        ASSERT_EQ(watch.popups.size(), 1u);
        EXPECT_EQ(watch.popups[0].menu, window->mnuView.Handle());
        POINT at = ToScreen(window->lsvFile.Hwnd(), empty);
        EXPECT_EQ(watch.popups[0].rect.left, at.x);
        EXPECT_EQ(watch.popups[0].rect.top, at.y);
    }
    EXPECT_EQ(Style(), 0);
    EXPECT_EQ(CheckedView(), 0);
    EXPECT_EQ(Selected(), std::vector<int>{1});
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
    prompter.AnswerSave(folder + L"reg.bat");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    EXPECT_FALSE(ReadBytes(folder + L"reg.bat").empty()) << "no batch written";
    EXPECT_EQ(window->lsvReg.ItemCount(), 1);
    window->cmdClose_Click();

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
    auto walk = [&](std::initializer_list<BYTE> held) {
        KeysDown keys(held);
        std::vector<HWND> visited;
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(Press(VK_TAB));
            visited.push_back(::GetFocus());
        }
        return visited;
    };
    Focus(window->trvDir);
    EXPECT_EQ(walk({}), (std::vector<HWND>{files, libraries, bar, tree, files, libraries}));
    Focus(window->trvDir);
    EXPECT_EQ(walk({VK_SHIFT}), (std::vector<HWND>{bar, libraries, files, tree, bar, libraries}));

    // The result panel's controls come between the lists, its button only while enabled.
    window->BeginReport();
    Pump();
    Focus(window->trvDir);
    EXPECT_EQ(walk({}), (std::vector<HWND>{files, log, libraries, bar, tree, files}));
    window->cmdClose.Enable(true);
    Focus(window->lsvFile);
    EXPECT_EQ(walk({}), (std::vector<HWND>{close, log, libraries, bar, tree, files}));

    // While the File menu is disabled its quit cannot be chosen, by Ctrl+Q neither.
    HWND hwnd = window->Hwnd();
    {
        KeysDown keys({VK_CONTROL});
        Press('Q');
    }
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_WTEXT_EQ(L"<none>", platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", L"View", L"<none>"));

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
    EXPECT_WTEXT_EQ(L"1", platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", L"View", L"<none>"));
    EXPECT_WTEXT_EQ(path, platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", L"Path", L"<none>"));
}

class DropTest : public CommandsTest {
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        one = root.Folder(L"one");
        two = root.Folder(L"two");
        for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.ocx", L"readme.txt"})
            root.File(L"one\\" + std::wstring(name));
        root.File(L"two\\x.dll");
        classes->Library(kLibraryA, one + L"a.dll");
        classes->Library(kLibraryB, two + L"x.dll");
    }
    // Shows a folder as the tree does, scanned and with the commands refreshed.
    void Show(const std::wstring& folder, const std::vector<std::wstring>& selected = {})
    {
        window->ShowFolder(folder);
        window->ListRegisteredLibraries();
        for (const auto& name : selected)
            window->lsvFile.SetSelected(RowOf(name), true);
        window->UpdateCommandState();
    }
    std::wstring Folder(const std::wstring& path) const { return path.substr(0, path.size() - 1); }

    std::wstring one, two;
};

TEST_F(DropTest, TheFirstFilesFolderOpensWithTheDroppedFilesSelected)
{
    Show(two);
    EXPECT_EQ(DropFiles({one + L"a.dll", one + L"b.dll"}), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), (std::vector<std::wstring>{L"a.dll", L"b.dll"}));
    ASSERT_EQ(window->lsvReg.ItemCount(), 1) << "no scan";
    EXPECT_WTEXT_EQ(one + L"a.dll", window->lsvReg.ItemText(0, 2));
    EXPECT_EQ(Buttons(), kAll);

    // Folders are passed over: the first file decides, wherever it stands.
    DropFiles({Folder(one), two + L"x.dll"});
    EXPECT_WTEXT_EQ(two, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"x.dll"});

    DropFiles({one + L"readme.txt", one + L"c.ocx"});
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"c.ocx"});

    DropFiles({two + L"x.dll", one + L"a.dll"});
    EXPECT_WTEXT_EQ(two, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"x.dll"});

    // The folder shown, written alike, is not listed again but scanned; written otherwise it is listed.
    root.File(L"two\\late.dll");
    classes->Remove(kLibraryB);
    SelectRows({});
    DropFiles({two + L"x.dll"});
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"x.dll"});
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"x.dll"});
    EXPECT_EQ(window->lsvReg.ItemCount(), 0) << "no scan";
    std::wstring upper = L"C:\\MIRDAL-TESTS\\COMMANDS\\TWO\\";
    DropFiles({upper + L"x.dll"});
    EXPECT_WTEXT_EQ(upper, window->pnlPath.Text());
    EXPECT_EQ(Sorted(FileNames()), (std::vector<std::wstring>{L"late.dll", L"x.dll"}));
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"x.dll"});
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DropTest, TheWholeWayThroughOle)
{
    Show(two);
    EXPECT_EQ(DragAndDrop(DataObject::FileList({one + L"a.dll", one + L"c.ocx"})), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), (std::vector<std::wstring>{L"a.dll", L"c.ocx"}));
    EXPECT_EQ(Buttons(), kAll);

    SelectRows({});
    EXPECT_EQ(DragAndDrop(DataObject::Text(one + L"b.dll")), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Buttons(), kAll) << "refreshed by text";
}

TEST_F(DropTest, FoldersAloneOrDataWithoutAFileListOpenNothing)
{
    Show(one, {L"a.dll"});
    ASSERT_EQ(Buttons(), kAll);
    classes->Remove(kLibraryA); // a scan would empty the library list

    DropFiles({Folder(two), Folder(one)});
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(window->lsvReg.ItemCount(), 1) << "scanned";
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Buttons(), kReadOnly);

    // Not even the command state is refreshed.
    SelectRows({RowOf(L"b.dll")});
    EXPECT_EQ(Drop(DataObject::Text(two + L"x.dll")), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"b.dll"});
    EXPECT_EQ(window->lsvReg.ItemCount(), 1);
    EXPECT_EQ(Buttons(), kReadOnly);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(DropTest, AFileTheTreeCannotReachLeavesTheListButClearsItsSelection)
{
    std::wstring hidden = root.Folder(L"hid", FILE_ATTRIBUTE_HIDDEN);
    root.File(L"hid\\h.dll");
    Show(one, {L"a.dll"});
    classes->Remove(kLibraryA);

    DropFiles({hidden + L"h.dll", one + L"b.dll"});
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_EQ(Sorted(FileNames()), (std::vector<std::wstring>{L"a.dll", L"b.dll", L"c.ocx"}));
    EXPECT_EQ(SelectedNames(), std::vector<std::wstring>{L"b.dll"}) << "rows of the list shown are still selected";
    EXPECT_EQ(window->lsvReg.ItemCount(), 0) << "no scan";
    EXPECT_EQ(Buttons(), kAll);

    DropFiles({L"Q:\\nowhere\\q.dll"});
    EXPECT_WTEXT_EQ(one, window->pnlPath.Text());
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Buttons(), kReadOnly);
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
