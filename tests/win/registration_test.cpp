// Registration runs (for the machine, for the current user, into a .reg file) and batch files on the
// real window under Wine; its cmd.exe runs the batch files written, its reg.exe and regsvr32.exe check
// an export. Servers run in the registration hosts, never in the window's process; the misbehaving
// ones take only their host with them.
#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Elevation.h"
#include "register/RegistrationHost.h"
#include "register/RegistryRedirect.h"
#include "register/RunJournal.h"
#include <sddl.h>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <regex>

using namespace testing_support;
using fixtures::kFixtureA, fixtures::kFixtureB, fixtures::kFixtureSpace;

namespace {

// Moves Pemrix32.dll beside the test program aside while it lives; a copy a dead run left aside is put back first.
struct LibraryAway {
    std::wstring home = platform::ExecutableFolder() + L"Pemrix32.dll", away = home + L".registration-test";
    bool moved = (::MoveFileW(away.c_str(), home.c_str()), ::MoveFileW(home.c_str(), away.c_str()));
    ~LibraryAway() { EXPECT_TRUE(!moved || ::MoveFileW(away.c_str(), home.c_str())) << "Pemrix32.dll not restored"; }
};

// A step that a timer runs on this thread while it lives, every tenth of a second at most: during a
// run, whenever the window processes its events.
class EveryTick {
public:
    explicit EveryTick(std::function<void()> step) { step_ = std::move(step); }
    ~EveryTick() { ::KillTimer(nullptr, timer_), step_ = nullptr; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { step_(); }
    static inline std::function<void()> step_;
    UINT_PTR timer_ = ::SetTimer(nullptr, 0, 100, Tick);
};

// Started by the test of hosts and the window's process as that process (during static initialisation,
// before any test): a host on a server that hangs, its process id written to the file named, until
// this process is ended.
const bool kHostChild = [] {
    wchar_t idFile[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"MIRDAL_HOST_CHILD", idFile, MAX_PATH))
        return false;
    RegistrationHost host(platform::ExecutableFolder() + L"MirdalHost.exe");
    host.Call({host_protocol::Operation::Register, FixturePath(fixtures::kFixtureHang)}, [&] {
        const std::string id = std::to_string(host.ProcessId());
        DWORD written = 0;
        ::WriteFile(platform::UniqueFile(::CreateFileW(idFile, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)).get(), id.data(),
                    static_cast<DWORD>(id.size()), &written, nullptr);
    });
    ::ExitProcess(0);
}();

// A type library's keys and values in HKEY_CLASSES_ROOT as .reg text, key paths upper-cased: a server's
// "Typelib" stays so in an empty tree but opens "TypeLib" in the real one. Also counts keys and values.
std::wstring RegisteredTree(const fixtures::TypeLibFixture& fixture, size_t* keys = nullptr, size_t* values = nullptr)
{
    platform::UniqueKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, TypeLibKey(fixture).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"<none>";
    std::vector<RegKeyRecord> records = ReadRegistryTree(key.get(), L"HKEY_CLASSES_ROOT\\" + TypeLibKey(fixture));
    size_t valueCount = 0;
    for (RegKeyRecord& record : records)
        ::CharUpperBuffW(record.path.data(), static_cast<DWORD>(record.path.size())), valueCount += record.values.size();
    if (keys && values)
        *keys = records.size(), *values = valueCount;
    return RegKeysText(records);
}

// Answers the undo dialogs of one undo: records the rows of the last ("kind|files|first file", "*"
// before the selected one), their times, its buttons and the line under the list; the first dialog,
// once `meanwhile` has run, has the row chosen undone, and any later one (after a refusal) is closed.
struct UndoDialog {
    static inline std::vector<std::wstring> rows, times;
    static inline std::wstring buttons, where;
    static inline int choose = 0, dialogs = 0;
    static inline std::function<void()> meanwhile;
    static inline HWND answered = nullptr;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        HWND dialog = ::FindWindowW(L"#32770", L"元に戻す");
        if (!dialog || dialog == answered)
            return;
        answered = dialog;
        platform::ListView list(::GetDlgItem(dialog, IDC_UNDO_LIST));
        rows.clear(), times.clear();
        for (int row = 0; row < list.ItemCount(); ++row) {
            rows.push_back((list.IsSelected(row) ? L"*" : L"") + list.ItemText(row, 1) + L"|" + list.ItemText(row, 2) + L"|" +
                           list.ItemText(row, 3));
            times.push_back(list.ItemText(row, 0));
        }
        buttons = DialogText(dialog, IDOK) + L"|" + DialogText(dialog, IDCANCEL) + L"|" + std::to_wstring(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)));
        where = DialogText(dialog, IDC_UNDO_WHERE);
        if (dialogs++ > 0) {
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (meanwhile)
            std::exchange(meanwhile, nullptr)();
        list.SetAllSelected(false);
        list.SetSelected(choose, true);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
};

// Both journal folders emptied now and when this goes.
struct JournalsCleared {
    static std::wstring Folder(const wchar_t* variable)
    {
        wchar_t root[MAX_PATH] = {};
        ::GetEnvironmentVariableW(variable, root, MAX_PATH);
        return root + std::wstring(L"\\Mirdal\\Journal\\");
    }
    const std::wstring user = Folder(L"LOCALAPPDATA"), administrators = Folder(L"ProgramData");
    JournalsCleared() { RemoveTree(user), RemoveTree(administrators); }
    ~JournalsCleared() { RemoveTree(user), RemoveTree(administrators); }
};

std::wstring ClassesValue(const std::wstring& key) { return KeyText(HKEY_CLASSES_ROOT, key); }
void SetClassesValue(const std::wstring& key, const std::wstring& text) { SetKeyText(HKEY_CLASSES_ROOT, key, text); }

// Acts a window without administrator rights, where every Wine process holds them, until told otherwise.
// The prompt for them is declined or, as the shell's "runas" does here, passes at once; it is counted.
// The prompt for the host of the other bitness may be declined alone.
struct LimitedWindow : platform::Elevation {
    bool limited = true, declines = false, declinesOtherBitness = false;
    int prompts = 0;
    LimitedWindow() { platform::SetElevation(this); }
    ~LimitedWindow() override { platform::SetElevation(nullptr); }
    bool ProcessIsElevated() override { return !limited; }
    DWORD StartElevated(HWND owner, const std::wstring& executable, const std::wstring& parameters,
                        platform::UniqueHandle& process) override
    {
        ++prompts;
        const bool other = executable != platform::ExecutableFolder() + L"MirdalHost.exe";
        return declines || (declinesOtherBitness && other) ? ERROR_CANCELLED : Elevation::StartElevated(owner, executable, parameters, process);
    }
};

POINT Middle(RECT rc) { return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

class RegistrationTest : public WindowTest {
protected:
    // Named after the process, so that runs side by side never share a folder; made before the window, so
    // that the tree's first listing of C:\mirdal-tests holds it.
    ScratchFolder folder{L"registration-" + std::to_wstring(::GetCurrentProcessId())};

    void Show() const { window->SetFileListView(folder.Path()); }
    void Copy(const std::wstring& fixture, std::wstring name = {}) const
    {
        CopyFixture(fixture, folder.Path() + (name.empty() ? fixture : name));
    }
    void Select(std::initializer_list<std::wstring> names) const
    {
        std::vector<int> rows;
        for (const std::wstring& name : names)
            rows.push_back(RowOf(name));
        SelectRows(rows);
    }
    std::wstring Log() const { return window->txtRes.Text(); }
    // The server's own refusal: its code, then the system's text for it.
    const std::wstring denied = L"登録/解除に失敗しました。(コード 0x80070005)" + platform::SystemMessage(0x80070005u);
    // Chooses a menu item as the user does.
    void Choose(UINT item) const { ::SendMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(item, 0), 0); }
    std::wstring Registered() const
    {
        return RegisteredFile(kFixtureA) + L"|" + RegisteredFile(kFixtureB) + L"|" + RegisteredFile(kFixtureSpace);
    }
    // Chooses "登録を元に戻す(&Z)..." and, in its dialog, the run at this row.
    void Undo(int row) const
    {
        UndoDialog::choose = row;
        UndoDialog::rows.clear();
        UndoDialog::dialogs = 0;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, UndoDialog::Tick);
        Choose(IDM_R9);
        ::KillTimer(nullptr, timer);
    }
};

TEST_F(RegistrationTest, TheTypicalRequestRegisterTheSelectedFilesInListOrderSeeThemRegisteredAndUnregisterThem)
{
    TypeLibsCleared cleared{&kFixtureA, &kFixtureB};
    Copy(kFixtureA.file), Copy(kFixtureB.file), Copy(fixtures::kFixtureNoEntry);
    folder.File(L"other.ocx");

    // 1. The user clicks the folder in the tree.
    window->ShowFolder(L"C:\\mirdal-tests\\");
    const std::wstring key = platform::UpperCase(folder.Path());
    HTREEITEM node = window->FindNode(key);
    window->trvDir.EnsureVisible(node);
    RECT label{};
    ASSERT_TRUE(node && TreeView_GetItemRect(window->trvDir.Hwnd(), node, &label, TRUE));
    ClickAt(window->trvDir.Hwnd(), Middle(label));
    ASSERT_EQ(Narrow(key), Narrow(window->pnlPath.Text()));
    ASSERT_EQ(Sorted(FileNames()), (std::vector<std::wstring>{kFixtureA.file, kFixtureB.file, fixtures::kFixtureNoEntry, L"other.ocx"}));
    EXPECT_TRUE(LibraryRows().empty());

    // 2. Two rows selected against list order; sorted by name either way, FixtureB lies between them. The
    // focus on the list offers "Reg".
    window->lsvFile_ColumnClick(1);
    Select({fixtures::kFixtureNoEntry, kFixtureA.file});
    const int rowB = RowOf(kFixtureB.file);
    ASSERT_TRUE(SelectedRows().size() == 2 && rowB > SelectedRows().front() && rowB < SelectedRows().back());
    window->lsvFile.Focus(), Pump();
    ASSERT_TRUE(window->btnReg.Enabled());

    // 3-5. "Reg" calls the library for each in list order, logs its outcome, and the scan shows the one registered.
    const std::map<std::wstring, std::wstring> outcomes{{fixtures::kFixtureNoEntry, L"DLLのエントリポイントがみつかりません。"}};
    ClickAt(window->tlbMirdal.Hwnd(), Middle(window->btnReg.Rect()));
    EXPECT_WTEXT_EQ(RunLog(L"を登録", outcomes), Log());
    // Image 1, the small icon of picture 2: the listed file itself.
    EXPECT_EQ(LibraryRows(), std::vector<std::wstring>{kFixtureA.name + (L"|" + key) + kFixtureA.file + L"|1"});
    EXPECT_WTEXT_EQ(key + kFixtureA.file + L"||", Registered()) << "only the selected server registers";

    // 6. The panel is closed. A run itself empties the library list that the command's scan fills.
    ::SendMessageW(window->cmdClose.Hwnd(), BM_CLICK, 0, 0), Pump();
    window->RunRegistration(true);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    window->cmdClose_Click();

    // Unregistering takes them out of the scan.
    window->lsvFile.Focus(), Pump();
    ClickAt(window->tlbMirdal.Hwnd(), Middle(window->btnUnreg.Rect()));
    EXPECT_WTEXT_EQ(RunLog(L"を解除", outcomes), Log());
    EXPECT_TRUE(LibraryRows().empty());
    EXPECT_WTEXT_EQ(L"||", Registered());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(RegistrationTest, ServersThatCrashExitHangOrCannotLoadAndHostsThatEndEarlyGetTheirLinesAndTheRunGoesOnWhileTheWindowWorks)
{
    TypeLibsCleared cleared{&kFixtureA};
    using namespace fixtures;
    for (const wchar_t* name : {kFixtureCrash, kFixtureExit, kFixtureDenied, kFixtureHang, kFixtureMissing, kFixtureThrow, kFixtureStub,
                                kFixtureNoFunction, kFixtureRefuse, kFixtureChain, kFixtureMiddle, kFixtureDelayed, kChain[0], kChain[1], kChain[2]})
        Copy(name);
    // A class library with a CLR header and no registration entries, as the .NET compilers make them.
    std::string dotNet = ReadBytes(FixturePath(kFixtureNoEntry));
    size_t clrDirectory = *reinterpret_cast<const std::uint32_t*>(dotNet.data() + 0x3C) + 24 + (sizeof(void*) == 8 ? 112 : 96) + 14 * 8;
    ASSERT_LT(clrDirectory + 8, dotNet.size());
    dotNet[clrDirectory] = dotNet[clrDirectory + 4] = 0x48;
    std::ofstream(std::filesystem::path(folder.Path() + L"DotNet.dll"), std::ios::binary) << dotNet;
    // A good server after the misbehaving ones, in list order: it registers in a fresh host.
    Copy(kFixtureA.file, L"FixtureZ.dll");
    if (::GetFileAttributesW(FixturePath(kFixtureX86).c_str()) != INVALID_FILE_ATTRIBUTES)
        Copy(kFixtureX86);
    folder.File(L"random.dll", 4096);
    std::ofstream(std::filesystem::path(folder.Path() + L"cut.dll"), std::ios::binary) << ReadBytes(FixturePath(kFixtureA.file)).substr(0, 40960);
    // A file deleted since the listing, and a name whose right-to-left override would turn its line around.
    Copy(kFixtureA.file, L"gone.dll");
    const std::wstring bidi = L"evil\u202Eexe.dll";
    folder.File(bidi, 64);
    Show();
    ASSERT_TRUE(::DeleteFileW((folder.Path() + L"gone.dll").c_str()));

    const std::wstring loadFailed = L"OCX/DLLのロードに失敗\r\n";
    std::map<std::wstring, std::wstring> outcomes{
        {kFixtureCrash, L"サーバーが例外 0xC0000005 を起こし、登録ホストが異常終了しました (FixtureCrash.dll+0x…)。"},
        {kFixtureThrow, L"サーバーが例外 0xE06D7363 を起こし、登録ホストが異常終了しました (kernelbase.dll+0x…)。"},
        {kFixtureStub, L"サーバーが例外 0x80000100 を起こし、登録ホストが異常終了しました (kernelbase.dll+0x…)。"}, {kFixtureExit, L"サーバーが登録ホストを終了させました (終了コード 7)。"},
        {kFixtureHang, L"2秒以内に応答がないため、登録ホストを終了させました。"}, {kFixtureDenied, denied},
        {kFixtureMissing, loadFailed + L"見つからない依存DLL: " + kMissingDll}, {kFixtureMiddle, loadFailed + L"見つからない依存DLL: " + kMissingDll},
        {kFixtureChain, loadFailed + L"見つからない依存DLL: MirdalMissing.dll (FixtureChain.dll → FixtureMiddle.dll → MirdalMissing.dll)"},
        {kFixtureNoFunction, loadFailed + L"見つからない関数: kernel32.dll の MirdalNoSuchFunction"},
        {kFixtureRefuse, loadFailed + L"DllMain が読み込みを拒否しました (エラー 1114)"},
        {L"DotNet.dll", L"DLLのエントリポイントがみつかりません。\r\nこれは .NET のアセンブリです。RegAsm.exe で登録します "
                        L"(32ビットは Framework、64ビットは Framework64 の RegAsm)"}, {L"random.dll", loadFailed + L"PE形式のファイルではないため、読み込んでいません。"},
        {bidi, loadFailed + L"PE形式のファイルではないため、読み込んでいません。"}, {L"gone.dll", L"ファイルが見つかりません: " + folder.Path() + L"gone.dll"},
        {L"cut.dll", loadFailed + L"ファイルが壊れているか、途中で切れています。"},
        // A function missing two links down is bound under Wine to a stub that raises when called. The i686
        // toolchain's late-load thunks jump to address zero before its helper runs: that crash has no place.
        {kChain[0], L"サーバーが例外 0x80000100 を起こし、登録ホストが異常終了しました (ntdll.dll+0x…)。\r\n"
                    L"見つからない関数: chain3.dll の Missing (chain1.dll → chain2.dll → chain3.dll)"},
        {kFixtureDelayed, sizeof(void*) == 8 ? L"サーバーが例外 0xC06D007E を起こし、登録ホストが異常終了しました (kernelbase.dll+0x…)。\r\n"
                                               L"遅延読み込みの DLL が見つかりません: MirdalMissing.dll"
                                             : L"サーバーが例外 0xC0000005 を起こし、登録ホストが異常終了しました。"}};
    // Where 32-bit programs cannot run (Wine without its 32-bit half), the file says why: the host could
    // not start, or ended before it was ready. Without its pipe a working host ends with code 87.
    DWORD error = 0;
    DWORD code = RunProgram(L"\"" + platform::ExecutableFolder() + L"x86\\MirdalHost.exe\"", {}, &error);
    if (code == ~0u && error)
        outcomes[kFixtureX86] = loadFailed + L"32ビットの登録ホストを起動できません: " + platform::SystemMessage(error) + L" (エラー " +
                                std::to_wstring(error) + L")";
    else if (code != ERROR_INVALID_PARAMETER)
        outcomes[kFixtureX86] = loadFailed + L"32ビットの登録ホストを起動できません (終了コード " + std::to_wstring(code) + L")。";
    else
        outcomes[kFixtureX86] = outcomes[kFixtureDenied];
    window->lsvFile.SetAllSelected(true);
    // The links below chain1.dll are no servers of their own.
    window->lsvFile.SetSelected(RowOf(kChain[1]), false), window->lsvFile.SetSelected(RowOf(kChain[2]), false);

    const DWORD timeout = RegistrationHost::Timeout();
    RegistrationHost::SetTimeout(2000);
    // The timer's ticks prove that the window kept processing its events while the hosts worked.
    int ticks = 0;
    bool serverLoaded = false;
    EveryTick tick([&, hang = folder.Path() + kFixtureHang] {
        ++ticks, serverLoaded = serverLoaded || ::GetModuleHandleW(hang.c_str()) || ::GetModuleHandleW(L"Pemrix32.dll");
    });
    for (bool registering : {true, false}) {
        window->mnuF_Click(registering ? 0 : 1);
        // Where in its module an exception struck depends on the build.
        std::wstring log = std::regex_replace(Log(), std::wregex(L"\\+0x[0-9A-F]+\\)"), L"+0x…)");
        EXPECT_WTEXT_EQ(RunLog(registering ? L"を登録" : L"を解除", outcomes), log);
        EXPECT_NE(Log().find(L"\u2068" + folder.Path() + bidi + L"\u2069" + (registering ? L"を登録" : L"を解除")), std::wstring::npos);
        EXPECT_WTEXT_EQ(registering ? folder.Path() + L"FixtureZ.dll" : L"", RegisteredFile(kFixtureA));
        window->cmdClose_Click();
    }
    RegistrationHost::SetTimeout(timeout);
    // A host that ends before it is ready is the host's failure, never the server's; the run goes on. A new
    // window, whose hosts have not started yet.
    Restart(L""), Show();
    Select({L"FixtureZ.dll", kFixtureDenied});
    RegistrationHosts::SetStandIn(FixturePath(kQuitHost));
    window->mnuF_Click(0);
    RegistrationHosts::SetStandIn({});
    const std::wstring quit = loadFailed + (sizeof(void*) == 8 ? L"64" : L"32") + L"ビットの登録ホストを起動できません (終了コード 3)。";
    EXPECT_WTEXT_EQ(RunLog(L"を登録", {{L"FixtureZ.dll", quit}, {kFixtureDenied, quit}}), Log());
    // Error 193's system text names the file rather than showing "%1".
    EXPECT_EQ(platform::SystemMessage(ERROR_BAD_EXE_FORMAT, L"C:\\x.dll").find(L"%1"), std::wstring::npos);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_GE(ticks, 5) << "the window stopped processing events while the host worked";
    EXPECT_FALSE(serverLoaded) << "a server or Pemrix32.dll in the window's own process";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Mirdal\\Capture")) << "the scratch keys of the crashed captures";
}

// tests/unwritable-export.sh runs this over a file it made immutable; skipped when no such file is named.
TEST_F(RegistrationTest, AnExportOntoAFileThatCannotBeWrittenSaysSoAndLeavesTheFileAsItWas)
{
    wchar_t locked[MAX_PATH]{};
    if (!::GetEnvironmentVariableW(L"MIRDAL_UNWRITABLE_FILE", locked, MAX_PATH))
        GTEST_SKIP() << "no file that cannot be written";
    Copy(kFixtureA.file);
    Show();
    Select({kFixtureA.file});
    prompter.AnswerSave(locked);
    Choose(IDM_R6);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"5", prompter.messages[0].title);
    EXPECT_EQ(ReadBytes(locked), "kept as it was");
    std::wstring beside = locked;
    beside.resize(beside.rfind(L'\\') + 1);
    WIN32_FIND_DATAW entry;
    EXPECT_FALSE(platform::FolderListing(beside + L"*.tmp").Next(entry)) << "the new file written beside it was left behind";
}

TEST_F(RegistrationTest, ARunLeavesTheWindowBusyWithToolbarAndMenusDisabledUntilThePanelCloses)
{
    // An empty list: nothing at all happens.
    Show();
    window->txtRes.SetText(L"earlier");
    window->mnuF_Click(0);
    window->mnuF_Click(3);
    EXPECT_WTEXT_EQ(L"earlier", Log());
    EXPECT_TRUE(prompter.saveRequests.empty()) << "no dialog for an empty list";

    // Files listed, none selected: only the closing line.
    folder.File(L"x.dll", 64);
    window->SetFileListView(L"C:\\");
    Show();
    SelectRows({});
    window->mnuF_Click(0);
    EXPECT_WTEXT_EQ(L"登録/解除終了", Log());
    EXPECT_EQ(RunState(), "busy panel close !toolbar !file !view");
    window->cmdClose_Click();
    EXPECT_EQ(RunState(), "!busy !panel close toolbar file view");

    // Without the registration library the run ends at the first file with one critical message.
    TypeLibsCleared cleared{&kFixtureA, &kFixtureB};
    Copy(kFixtureA.file), Copy(kFixtureB.file);
    window->SetFileListView(L"C:\\"), Show();
    Select({kFixtureA.file, kFixtureB.file});
    prompter.note = [this] { return Log(); };
    {
        LibraryAway away;
        ASSERT_TRUE(away.moved) << "cannot move Pemrix32.dll aside";
        window->mnuF_Click(0);
    }
    const std::wstring firstLine = window->FileRowAt(SelectedRows().at(0)).key + L"を登録\r\n";
    EXPECT_WTEXT_EQ(firstLine, Log());
    ASSERT_EQ(prompter.messages.size(), 1u);
    const ShownMessage& shown = prompter.messages[0];
    EXPECT_WTEXT_EQ(std::to_wstring(ERROR_MOD_NOT_FOUND) + L"|" + platform::SystemMessage(ERROR_MOD_NOT_FOUND) + L"|" + firstLine,
                    shown.title + L"|" + shown.text + L"|" + shown.note) << "title|text|log as the message showed";
    EXPECT_EQ(shown.style, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_WTEXT_EQ(L"||", Registered());

    // Three slow servers. Keys pressed during the run go to the log: the tree and the lists under the
    // panel take no input, and the run handles the files selected as it started, all three. A close
    // from the close box arrives during the run and is refused.
    window->cmdClose_Click();
    for (const wchar_t* name : {L"slow1.dll", L"slow2.dll", L"slow3.dll"})
        Copy(fixtures::kFixtureSlow, name);
    window->SetFileListView(L"C:\\"), Show();
    Select({L"slow1.dll", L"slow2.dll", L"slow3.dll"});
    const std::vector<int> slow = SelectedRows();
    window->lsvFile.Focus();
    bool pressed = false;
    {
        // Once the first file is under way: Down twice where the focus is, and the selection cleared.
        EveryTick press([&] {
            if (pressed || Log().empty())
                return;
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_DOWN, 1), ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_DOWN, 1);
            pressed = true, window->lsvFile.SetAllSelected(false);
        });
        ::PostMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        window->mnuF_Click(0);
    }
    EXPECT_TRUE(pressed && SelectedRows().empty()) << "a key reached the file list";
    SelectRows(slow);
    EXPECT_WTEXT_EQ(RunLog(L"を登録"), Log());
    ASSERT_EQ(prompter.messages.size(), 2u) << "the close was not offered during the run";
    EXPECT_WTEXT_EQ(L"Mirdal|登録/解除中です。終了できません", prompter.messages[1].title + L"|" + prompter.messages[1].text);
    EXPECT_EQ(prompter.messages[1].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_WTEXT_EQ(L"<none>", StoredSetting(L"View")) << "a refused close saved";

    // Once the panel is closed, the same close goes ahead and saves both settings.
    window->cmdClose_Click();
    window->mnuV_Click(2);
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(::IsWindow(window->Hwnd()));
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_WTEXT_EQ(L"2|" + folder.Path(), StoredSetting(L"View") + L"|" + StoredSetting(L"Path"));
}

TEST_F(RegistrationTest, AServerWaitingOnAWindowIsToldAndBroughtToTheFrontAndHostsEndWithTheWindowsProcess)
{
    Copy(fixtures::kFixtureBox);
    Show();
    Select({fixtures::kFixtureBox});
    // The one box of the one call is answered once the log tells of it, or after ten seconds.
    ULONGLONG shown = 0;
    HWND answered = nullptr;
    int boxes = 0;
    bool inFront = true;
    const std::wstring waiting = L"サーバーがウィンドウを表示して応答を待っています: 「" + std::wstring(fixtures::kFixtureBoxTitle) + L"」\r\n";
    {
        EveryTick answer([&] {
            HWND box = ::FindWindowW(nullptr, fixtures::kFixtureBoxTitle);
            if (!box || box == answered)
                return;
            const ULONGLONG now = ::GetTickCount64();
            shown = shown ? shown : now;
            size_t lines = 0;
            for (size_t at = Log().find(waiting); at != std::wstring::npos; at = Log().find(waiting, at + 1))
                ++lines;
            if (lines <= static_cast<size_t>(boxes) && now - shown < 10000)
                return;
            shown = 0;
            inFront = inFront && ::GetForegroundWindow() == box;
            answered = box, ++boxes;
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        window->mnuF_Click(0);
    }
    EXPECT_WTEXT_EQ(folder.Path() + fixtures::kFixtureBox + L"を登録\r\n" + waiting + L"登録/解除に成功しました。\r\n\r\n登録/解除終了", Log());
    EXPECT_TRUE(inFront);
    EXPECT_EQ(boxes, 1);

    // Another window's process, ended the hard way while its host works on a server that hangs.
    const std::wstring idFile = folder.Path() + L"host.id";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION started{};
    ::SetEnvironmentVariableW(L"MIRDAL_HOST_CHILD", idFile.c_str());
    ASSERT_TRUE(::CreateProcessW(platform::ExecutablePath().c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    ::SetEnvironmentVariableW(L"MIRDAL_HOST_CHILD", nullptr);
    platform::UniqueHandle child(started.hProcess), childThread(started.hThread);
    DWORD hostId = 0;
    for (int i = 0; i < 300 && !hostId; ++i, ::Sleep(100))
        hostId = std::strtoul(ReadBytes(idFile).c_str(), nullptr, 10);
    platform::UniqueHandle host(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, hostId));
    ASSERT_TRUE(host) << "no host started";
    ::TerminateProcess(child.get(), 1);
    EXPECT_EQ(::WaitForSingleObject(host.get(), 10000), WAIT_OBJECT_0) << "the host outlived the window's process";
    ::TerminateProcess(host.get(), 1);
}

TEST_F(RegistrationTest, BatchFilesInCodePage932RegisterAndUnregisterThroughCmd)
{
    TypeLibsCleared cleared{&kFixtureSpace, &kFixtureA, &kFixtureB};
    // Japanese needs code page 932; elsewhere the name stays in ASCII.
    const bool japanese = ::GetACP() == 932;
    const std::wstring special = japanese ? L"登録&100%.dll" : L"a&100%.dll", accented = L"café.dll";
    Copy(kFixtureSpace.file);
    Copy(kFixtureA.file, special);
    Copy(kFixtureB.file, accented);
    Copy(fixtures::kFixtureNoEntry);
    Show();

    // A cancelled dialog changes nothing.
    prompter.AnswerSave(L"");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    ASSERT_EQ(prompter.saveRequests.size(), 1u);
    const platform::SaveFileRequest& request = prompter.saveRequests[0];
    EXPECT_WTEXT_EQ(L"*.bat(ﾊﾞｯﾁﾌｧｲﾙ)|*.bat|" + folder.Path(), request.filter + L"|" + request.initialFolder);
    EXPECT_EQ(request.flags, 0x806u) << "overwrite prompt, no read-only box, an existing folder";
    EXPECT_EQ(RunState(), "!busy !panel close toolbar file view");

    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW((folder.Path() + accented).c_str(), shortPath, MAX_PATH), 0u);
    const std::wstring shortName = std::wcsrchr(shortPath, L'\\') + 1;
    ASSERT_NE(shortName.find(L'~'), std::wstring::npos) << Narrow(shortName);
    const std::map<std::wstring, std::wstring> argument{
        {kFixtureSpace.file, L"\"Fixture Space.dll\""}, {special, japanese ? L"\"登録&100%%.dll\"" : L"\"a&100%%.dll\""},
        // Code page 932 has no "é": the file goes by its short name there, whose "~" is quoted.
        {accented, japanese ? L"\"" + shortName + L"\"" : accented}};
    Select({accented, special, kFixtureSpace.file});
    const std::wstring reg = folder.Path() + L"REG.BAT", unreg = folder.Path() + L"UnREG.BAT";
    prompter.AnswerSave(reg);
    window->mnuF_Click(3);
    EXPECT_TRUE(prompter.messages.empty()) << Narrow(prompter.messages.empty() ? L"" : prompter.messages[0].text);

    std::wstring regLines, unregLines;
    for (int row : SelectedRows()) {
        regLines += L"REGSVR32.EXE /s " + argument.at(window->lsvFile.ItemText(row)) + L"\r\n";
        unregLines += L"REGSVR32.EXE /u /s " + argument.at(window->lsvFile.ItemText(row)) + L"\r\n";
    }
    EXPECT_WTEXT_EQ(L"登録バッチ " + reg + L"\r\n" + regLines + L"\r\n解除バッチ " + unreg + L"\r\n" + unregLines + L"バッチ作成終了", Log());
    const UINT codePage = japanese ? 932 : CP_ACP;
    EXPECT_EQ(InCodePage(regLines + L"PAUSE\r\n", codePage), ReadBytes(reg));
    EXPECT_EQ(InCodePage(unregLines + L"PAUSE\r\n", codePage), ReadBytes(unreg));
    window->cmdClose_Click();

    // Through Wine's cmd.exe with no input: PAUSE returns at once.
    RunProgram(L"cmd.exe /c REG.BAT >reg.log 2>&1", folder.Path());
    SCOPED_TRACE("cmd: " + ReadBytes(folder.Path() + L"reg.log"));
    wchar_t longPath[MAX_PATH] = {};
    ::GetLongPathNameW(RegisteredFile(kFixtureB).c_str(), longPath, MAX_PATH);
    EXPECT_WTEXT_EQ(folder.Path() + special + L"|" + folder.Path() + accented + L"|" + folder.Path() + kFixtureSpace.file,
                    RegisteredFile(kFixtureA) + L"|" + longPath + L"|" + RegisteredFile(kFixtureSpace));
    RunProgram(L"cmd.exe /c UnREG.BAT >unreg.log 2>&1", folder.Path());
    SCOPED_TRACE("cmd: " + ReadBytes(folder.Path() + L"unreg.log"));
    EXPECT_WTEXT_EQ(L"||", Registered());
}

// A name typed without an extension gets none; the unregistration file already there is replaced without
// a question, and one that cannot be created ends the writing with the critical box.
TEST_F(RegistrationTest, BatchFilesOfNoRowHoldPauseAloneAndAFileThatCannotBeCreatedEndsTheWriting)
{
    folder.File(L"x.dll", 64);
    Show();
    const std::wstring reg = folder.Path() + L"reg", unreg = folder.Path() + L"Unreg";
    std::ofstream(std::filesystem::path(unreg), std::ios::binary) << "REGSVR32.EXE /u /s old.dll\r\nPAUSE\r\n";
    prompter.AnswerSave(reg);
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    EXPECT_WTEXT_EQ(L"", prompter.saveRequests.at(0).defaultExtension);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(ReadBytes(reg) + "|" + ReadBytes(unreg), "PAUSE\r\n|PAUSE\r\n");
    EXPECT_WTEXT_EQ(L"登録バッチ " + reg + L"\r\n\r\n解除バッチ " + unreg + L"\r\nバッチ作成終了", Log());
    EXPECT_EQ(RunState(), "busy panel close toolbar !file !view");
    window->cmdClose_Click();

    // Held open by another program.
    const std::wstring fail = folder.Path() + L"fail.bat", locked = folder.File(L"Unfail.bat", 4);
    platform::UniqueFile held(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Select({L"x.dll"});
    prompter.AnswerSave(fail);
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    ASSERT_EQ(prompter.messages.size(), 1u);
    const ShownMessage& shown = prompter.messages[0];
    EXPECT_WTEXT_EQ(std::to_wstring(ERROR_SHARING_VIOLATION) + L"|" + platform::SystemMessage(ERROR_SHARING_VIOLATION), shown.title + L"|" + shown.text);
    EXPECT_EQ(shown.style, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    held.reset();
    EXPECT_EQ(ReadBytes(fail) + "|" + ReadBytes(locked), "REGSVR32.EXE /s x.dll\r\nPAUSE\r\n|xxxx");
    EXPECT_WTEXT_EQ(L"登録バッチ " + fail + L"\r\nREGSVR32.EXE /s x.dll\r\n\r\n", Log());
    EXPECT_EQ(RunState(), "busy panel close toolbar !file !view");
}

// Neither run touches the machine's HKEY_CLASSES_ROOT: one registers for the current user, the other exports.
TEST_F(RegistrationTest, ForTheCurrentUserUnderHkcuOnlyAndAnExportAsRegsvr32WouldRegister)
{
    const std::wstring classesKey = L"Software\\Classes\\" + TypeLibKey(kFixtureB);
    KeyRemoved removed{HKEY_CURRENT_USER, classesKey};
    TypeLibsCleared cleared{&kFixtureA, &kFixtureB};
    Copy(kFixtureA.file);
    Copy(kFixtureB.file);
    folder.File(L"x.dll", 64);
    Show();
    Select({kFixtureB.file});
    const std::wstring row = kFixtureB.name + (L"|" + folder.Path()) + kFixtureB.file + L"|1";

    Choose(IDM_R2);
    EXPECT_WTEXT_EQ(RunLog(L"を現在のユーザーに登録"), Log());
    // Listed with its path, and not the machine's: the user's.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, classesKey));
    EXPECT_EQ(std::ranges::count(LibraryRows(), row), 1) << "the scan after the run shows the user's library";
    // While the panel is up, the item starts no run.
    Choose(IDM_R3);
    EXPECT_WTEXT_EQ(RunLog(L"を現在のユーザーに登録"), Log());
    window->cmdClose_Click();
    Choose(IDM_R3);
    EXPECT_WTEXT_EQ(RunLog(L"を現在のユーザーから解除"), Log());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classesKey));
    EXPECT_EQ(std::ranges::count(LibraryRows(), row), 0);
    window->cmdClose_Click();

    const fixtures::TypeLibFixture& fixture = kFixtureA;
    Select({fixture.file, L"x.dll"});
    const std::wstring path = folder.Path() + fixture.file, regFile = folder.Path() + L"登録 A.reg";
    prompter.AnswerSave(regFile);
    Choose(IDM_R6);
    EXPECT_WTEXT_EQ(L"<none>", RegisteredTree(fixture));
    const std::wstring exportLog = Log();
    window->cmdClose_Click();

    // The file, imported by Wine's reg.exe, gives what regsvr32 registers.
    ASSERT_EQ(RunProgram(L"reg.exe import \"" + regFile + L"\""), 0u);
    const std::wstring imported = RegisteredTree(fixture);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, TypeLibKey(fixture).c_str());
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s \"" + path + L"\""), 0u);
    size_t keys = 0, values = 0;
    EXPECT_WTEXT_EQ(RegisteredTree(fixture, &keys, &values), imported);
    const std::map<std::wstring, std::wstring> outcomes{
        {fixture.file, L"登録/解除に成功しました。\r\nキー " + std::to_wstring(keys) + L" 個、値 " + std::to_wstring(values) + L" 個を取り込みました。"},
        {L"x.dll", L"OCX/DLLのロードに失敗\r\nPE形式のファイルではないため、読み込んでいません。"}};
    EXPECT_WTEXT_EQ(RunLog(L"の登録内容を書き出し", outcomes, L"書き出し先 " + regFile + L"\r\n書き出し終了"), exportLog);
    EXPECT_TRUE(prompter.messages.empty());

    // A file that cannot be written: the system's text in the critical message.
    prompter.AnswerSave(folder.Path() + L"gone\\x.reg");
    Choose(IDM_R6);
    EXPECT_NE(Log().find(L"\r\n書き出せませんでした: " + folder.Path() + L"gone\\x.reg (" + platform::SystemMessage(ERROR_PATH_NOT_FOUND) + L")"),
              std::wstring::npos);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(std::to_wstring(ERROR_PATH_NOT_FOUND) + L"|" + platform::SystemMessage(ERROR_PATH_NOT_FOUND),
                    prompter.messages[0].title + L"|" + prompter.messages[0].text);
}

// Through the window's command, as the user does it; the client program then uses the class and its type
// library through the manifest written, with nothing registered at any time.
TEST_F(RegistrationTest, AManifestOfTheSelectedServersLetsAProgramUseThemWithNothingRegistered)
{
    const fixtures::ClassFixture& server = fixtures::kFixtureClass;
    auto registered = [&] {
        std::wstring found;
        for (const std::wstring& key : {L"CLSID\\" + std::wstring(server.clsid), std::wstring(server.progid), std::wstring(server.independent),
                                        L"TypeLib\\" + std::wstring(server.libid), L"Interface\\" + std::wstring(server.iid),
                                        L"AppID\\" + std::wstring(server.clsid)})
            found += KeyExists(HKEY_CLASSES_ROOT, key) ? key + L" " : L"";
        return found;
    };
    ASSERT_EQ(Narrow(registered()), "");
    Copy(server.file), Copy(fixtures::kManifestClient), Copy(fixtures::kFixtureDenied);
    Show();
    Select({fixtures::kFixtureDenied});

    // A cancel and a name the loader cannot take start no run; a run that finds nothing to carry writes nothing.
    Choose(IDM_R7);
    ASSERT_EQ(prompter.saveRequests.size(), 1u);
    const platform::SaveFileRequest& request = prompter.saveRequests[0];
    EXPECT_WTEXT_EQ(L"マニフェスト (*.manifest)|*.manifest|manifest|" + folder.Path() + L"|registration-" + std::to_wstring(::GetCurrentProcessId()) + L".manifest",
                    request.filter + L"|" + request.defaultExtension + L"|" + request.initialFolder + L"|" + request.fileName);
    prompter.AnswerSave(folder.Path() + L"My Servers.manifest");
    Choose(IDM_R7);
    EXPECT_FALSE(window->IsBusy());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"「My Servers」はアセンブリ名に使えません。マニフェストの名前には空白と \\ / : * ? \" < > | を使えません。", prompter.messages[0].text);
    const std::wstring manifest = folder.Path() + L"MirdalServers.manifest";
    prompter.AnswerSave(manifest);
    Choose(IDM_R7);
    EXPECT_WTEXT_EQ(RunLog(L"のマニフェストを書き出し", {{fixtures::kFixtureDenied, denied}}, L"登録せずに使える内容がありません。\r\n書き出し終了"), Log());
    EXPECT_EQ(::GetFileAttributesW(manifest.c_str()), INVALID_FILE_ATTRIBUTES);
    window->cmdClose_Click();

    Select({server.file, fixtures::kFixtureDenied});
    prompter.AnswerSave(manifest);
    Choose(IDM_R7);
    EXPECT_WTEXT_EQ(L"", registered());
    const std::wstring dependency = L"<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"MirdalServers\" version=\"1.0.0.0\" processorArchitecture=\"" +
                                    std::wstring(sizeof(void*) == 8 ? L"amd64" : L"x86") + L"\"/></dependentAssembly></dependency>";
    const std::map<std::wstring, std::wstring> outcomes{
        {server.file, L"登録/解除に成功しました。\r\nクラス 1、タイプ ライブラリ 1、インターフェイス 1\r\nマニフェストに書けない登録: HKEY_CLASSES_ROOT\\AppID\\" + std::wstring(server.clsid)},
        {fixtures::kFixtureDenied, denied}};
    EXPECT_WTEXT_EQ(RunLog(L"のマニフェストを書き出し", outcomes, L"書き出し先 " + manifest + L"\r\n使うプログラムのマニフェストに加える行: " + dependency + L"\r\n書き出し終了"), Log());

    const std::string client = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">" + Narrow(dependency) + "</assembly>\r\n";
    std::ofstream(std::filesystem::path(folder.Path() + fixtures::kManifestClient + L".manifest"), std::ios::binary) << client;
    EXPECT_EQ(RunProgram(L"\"" + folder.Path() + fixtures::kManifestClient + L"\"", folder.Path()), 0u) << ReadBytes(manifest);
    EXPECT_WTEXT_EQ(L"", registered());
}

// The journal survives the window; undo puts back what the run changed and what still stands as the run
// left it, and only that.
TEST_F(RegistrationTest, EveryRunIsJournaledAndUndoneExactlyEvenAfterARestart)
{
    // Every Wine process holds administrator rights: the runs are kept in the administrators' folder.
    JournalsCleared journals;
    const std::wstring journal = journals.administrators;
    const std::wstring userKey = L"Software\\Classes\\" + TypeLibKey(kFixtureB);
    KeyRemoved removed{HKEY_CURRENT_USER, userKey};
    TypeLibsCleared cleared{&kFixtureA, &kFixtureB};
    // An older registration of the same version with its own name and flags, and a sibling version.
    const std::wstring libA = TypeLibKey(kFixtureA);
    SetClassesValue(libA + L"\\1.0", L"Old name");
    SetClassesValue(libA + L"\\1.0\\FLAGS", L"4");
    SetClassesValue(libA + L"\\9.0", L"Sibling");
    Copy(kFixtureA.file), Copy(kFixtureB.file);
    Show();
    Select({kFixtureA.file});
    window->mnuF_Click(0);
    window->cmdClose_Click();
    SetClassesValue(libA + L"\\1.0\\HELPDIR", L"C:\\elsewhere");

    Restart(L"");
    Undo(0);
    EXPECT_EQ(UndoDialog::rows, std::vector<std::wstring>{L"*登録|1|" + folder.Path() + kFixtureA.file});
    EXPECT_WTEXT_EQ(L"元に戻す|閉じる|" + std::to_wstring(IDOK), UndoDialog::buttons);
    EXPECT_WTEXT_EQ(platform::UpperCase(folder.Path() + kFixtureA.file + L"の登録を元に戻す\r\n変更されていたため戻していません: HKEY_LOCAL_MACHINE\\Software\\Classes\\" + libA +
                          L"\\1.0\\HELPDIR\r\n\r\n元に戻す終了 (変更されていたため戻していないもの: 1 件)"), platform::UpperCase(Log()));
    EXPECT_WTEXT_EQ(L"Old name|4|Sibling|C:\\elsewhere", ClassesValue(libA + L"\\1.0") + L"|" + ClassesValue(libA + L"\\1.0\\FLAGS") + L"|" +
                                                             ClassesValue(libA + L"\\9.0") + L"|" + ClassesValue(libA + L"\\1.0\\HELPDIR"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libA + L"\\1.0\\0"));
    window->cmdClose_Click();

    // For the machine, then for the current user over it, and a file cut short that is newer than both.
    const std::wstring pathB = folder.Path() + kFixtureB.file;
    Show();
    Select({kFixtureB.file});
    window->mnuF_Click(0), window->cmdClose_Click();
    Choose(IDM_R2), window->cmdClose_Click();
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, userKey));
    std::wstring newest;
    platform::FolderListing listing(journal + L"*.txt");
    for (WIN32_FIND_DATAW entry; listing.Next(entry);)
        newest = std::max<std::wstring>(newest, entry.cFileName);
    const std::string whole = ReadBytes(journal + newest);
    const std::wstring cut = journal + L"99991231-235959-999Z-0-1.txt";
    platform::WriteWholeFile(cut, std::vector<std::uint8_t>(whole.begin(), whole.end() - 9));
    Undo(0);
    EXPECT_EQ(UndoDialog::rows, (std::vector<std::wstring>{L"*読み取れません||", L"現在のユーザーに登録|1|" + pathB, L"登録|1|" + pathB}));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"この記録は読み取れないため、元に戻せません: " + cut, prompter.messages[0].text);
    Undo(1);
    EXPECT_WTEXT_EQ(pathB + L"の登録を元に戻す\r\n元に戻しました。\r\n\r\n元に戻す終了", Log());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_WTEXT_EQ(pathB, RegisteredFile(kFixtureB)) << "the machine's registration stays";
    window->cmdClose_Click();

    // An undone unregistration registers the library again; made after the file stamped far ahead, it stands before it.
    window->mnuF_Click(1), window->cmdClose_Click();
    Undo(0);
    EXPECT_EQ(UndoDialog::rows, (std::vector<std::wstring>{L"*解除|1|" + pathB, L"読み取れません||", L"登録|1|" + pathB}));
    EXPECT_WTEXT_EQ(pathB + L"の解除を元に戻す\r\n元に戻しました。\r\n\r\n元に戻す終了", Log());
    EXPECT_WTEXT_EQ(pathB, RegisteredFile(kFixtureB));
}

// A server whose own manifest sends an import to a private assembly loads as regsvr32 loads it, however
// the older DLL of that name beside it falls short; without the assembly the log names it, before the DLL.
TEST_F(RegistrationTest, AnImportThatTheServersManifestRedirectsIsTheLoadersToJudge)
{
    using fixtures::kFixtureSxs, fixtures::kSxsDep, fixtures::kSxsAssembly;
    Copy(kFixtureSxs), Copy(kSxsDep);
    const std::wstring assembly = folder.Folder(kSxsAssembly) + L"\\";
    for (const std::wstring& name : {std::wstring(kSxsAssembly) + L".manifest", std::wstring(kSxsDep)})
        CopyFixture(std::wstring(kSxsAssembly) + L"\\" + name, assembly + name);
    Show();
    Select({kFixtureSxs});
    window->mnuF_Click(0);
    EXPECT_WTEXT_EQ(RunLog(L"を登録"), Log());
    EXPECT_EQ(RunProgram(L"regsvr32.exe /s \"" + folder.Path() + kFixtureSxs + L"\""), 0u);
    window->cmdClose_Click();

    // Wine binds an import that the DLL found lacks to a stub, where Windows fails the load: the DLL goes too.
    RemoveTree(assembly);
    ASSERT_TRUE(::DeleteFileW((folder.Path() + kSxsDep).c_str()));
    window->mnuF_Click(0);
    EXPECT_WTEXT_EQ(RunLog(L"を登録", {{kFixtureSxs, L"OCX/DLLのロードに失敗\r\n見つからないアセンブリ: MirdalSxs 1.0.0.0"}}), Log());
}

// Wine's reg.exe is the peer that tells the machine's key from the user's.
TEST_F(RegistrationTest, AsAdministratorOneElevatedHostConnectedByNameRegistersForTheMachineAndALimitedWindowAdvises)
{
    TypeLibsCleared cleared{&kFixtureA};
    Copy(kFixtureA.file);
    Copy(fixtures::kFixtureDenied);
    Show();
    window->lsvFile.SetAllSelected(true);
    const std::map<std::wstring, std::wstring> outcomes{{fixtures::kFixtureDenied, denied}};
    const std::wstring key = L"\\Software\\Classes\\" + TypeLibKey(kFixtureA) + L"\"";
    LimitedWindow limited;

    // An elevated window's own hosts do the work, with no prompt.
    limited.limited = false;
    for (UINT item : {IDM_R4, IDM_R5}) {
        Choose(item);
        EXPECT_WTEXT_EQ(RunLog(item == IDM_R4 ? L"を管理者として登録" : L"を管理者として解除", outcomes), Log());
        window->cmdClose_Click();
    }
    EXPECT_EQ(limited.prompts, 0);

    limited.limited = limited.declines = true;
    Choose(IDM_R4);
    EXPECT_WTEXT_EQ(window->FileRowAt(SelectedRows().at(0)).key + L"を管理者として登録\r\n管理者の権限が得られなかったため、登録/解除しませんでした。", Log());
    EXPECT_WTEXT_EQ(L"", RegisteredFile(kFixtureA));
    window->cmdClose_Click();

    limited.declines = false;
    Choose(IDM_R4);
    EXPECT_WTEXT_EQ(RunLog(L"を管理者として登録", outcomes), Log());
    EXPECT_EQ(RunProgram(L"reg.exe query \"HKLM" + key), 0u);
    EXPECT_NE(RunProgram(L"reg.exe query \"HKCU" + key), 0u);
    window->cmdClose_Click();
    Choose(IDM_R5);
    EXPECT_WTEXT_EQ(RunLog(L"を管理者として解除", outcomes), Log());
    EXPECT_NE(RunProgram(L"reg.exe query \"HKLM" + key), 0u);
    EXPECT_EQ(limited.prompts, 2) << "the declined prompt, then one host kept for the session";
    window->cmdClose_Click();

    // The window's own hosts: a file refused for lack of rights gets the advice, which an elevated
    // window never gives (the first test).
    window->mnuF_Click(0);
    EXPECT_WTEXT_EQ(RunLog(L"を登録", {{fixtures::kFixtureDenied, denied + L"\r\n管理者の権限が必要です。レジストリ メニューの「管理者として登録」か「現在のユーザーに登録」を使えます。"}}),
                    Log());
    EXPECT_EQ(limited.prompts, 2);
    window->cmdClose_Click();

    // Servers of both bitnesses, the other one's prompt declined: every file after the first is accounted for.
    // The other bitness's server is this one's machine field turned, its imports dropped, which the other
    // system's DLLs would not all meet.
    std::string other = ReadBytes(FixturePath(kFixtureA.file));
    const size_t machineAt = *reinterpret_cast<const std::uint32_t*>(other.data() + 0x3C) + 4,
                 importsAt = machineAt + 20 + (sizeof(void*) == 8 ? 112 : 96) + 8;
    ASSERT_LT(importsAt + 8, other.size());
    other[machineAt] = sizeof(void*) == 8 ? '\x4C' : '\x64', other[machineAt + 1] = sizeof(void*) == 8 ? '\x01' : '\x86';
    std::fill_n(other.begin() + static_cast<std::ptrdiff_t>(importsAt), 8, '\0');
    std::ofstream(std::filesystem::path(folder.Path() + L"FixtureC.dll"), std::ios::binary) << other;
    // A new window, whose first prompt passes and second is declined.
    Restart(L""), Show();
    window->lsvFile.SetAllSelected(true);
    limited.declinesOtherBitness = true;
    Choose(IDM_R4);
    const std::wstring left = L" は登録/解除していません";
    EXPECT_WTEXT_EQ(folder.Path() + kFixtureA.file + L"を管理者として登録\r\n登録/解除に成功しました。\r\n\r\n" + folder.Path() +
                        L"FixtureC.dllを管理者として登録\r\n管理者の権限が得られなかったため、以降のファイルは登録/解除しませんでした。\r\n" +
                        folder.Path() + L"FixtureC.dll" + left + L"\r\n" + folder.Path() + fixtures::kFixtureDenied + left,
                    Log());
    EXPECT_EQ(limited.prompts, 4);
    EXPECT_TRUE(prompter.messages.empty());
}

// One call per file, recorded as it changes the registry: keys a server writes only where the machine
// looks installed, a program id it deletes, a call that fails halfway and an entry past a megabyte all
// come back exactly; undo never calls the server.
TEST_F(RegistrationTest, EachServerIsCalledOnceAndUndoPutsBackWhatThatOneCallChanged)
{
    using namespace fixtures;
    JournalsCleared journals;
    const std::wstring classKey = std::wstring(L"CLSID\\") + kJournalClsid, progId = kJournalProgId, old = kJournalOldProgId;
    KeyRemoved removed{HKEY_CURRENT_USER, L"Software\\Classes\\" + old};
    struct Cleared {
        ~Cleared()
        {
            for (const wchar_t* key : {L"CLSID\\{5C1E4B9A-77D2-4F3B-9A61-2D8E0F4C7B15}", kJournalProgId, kJournalOldProgId})
                ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
            ::SetEnvironmentVariableW(L"MIRDAL_FIXTURE_MODE", nullptr);
        }
    } cleared;
    SetClassesValue(old + L"\\CLSID", L"{0LD}");
    Copy(kFixtureJournal);
    const std::wstring path = folder.Path() + kFixtureJournal;
    auto state = [&] { return ClassesValue(classKey + L"\\InprocServer32") + L"|" + ClassesValue(progId + L"\\CLSID") + L"|" + ClassesValue(old + L"\\CLSID"); };
    auto run = [&](int command) {
        Show(), Select({kFixtureJournal});
        window->mnuF_Click(command);
        const std::wstring log = Log();
        window->cmdClose_Click();
        return log;
    };
    auto undone = [&](const wchar_t* what) {
        Undo(0);
        EXPECT_WTEXT_EQ(path + what + L"\r\n元に戻しました。\r\n\r\n元に戻す終了", Log());
        window->cmdClose_Click();
    };
    const std::wstring registeredState = path + L"|" + kJournalClsid + L"|";
    run(0);
    EXPECT_WTEXT_EQ(registeredState, state());
    undone(L"の登録を元に戻す");
    EXPECT_WTEXT_EQ(L"||{0LD}", state()) << "the deleted program id comes back, what was written goes";
    run(0), run(1);
    EXPECT_EQ(ReadBytes(path + L".calls"), "RRU");
    undone(L"の解除を元に戻す");
    EXPECT_WTEXT_EQ(registeredState, state());
    undone(L"の登録を元に戻す");
    EXPECT_WTEXT_EQ(L"||{0LD}", state());

    // A failure after the class was written, and 3,000 values in one entry: hosts see the mode as they start.
    for (const wchar_t* mode : {L"halfway", L"big"}) {
        ::SetEnvironmentVariableW(L"MIRDAL_FIXTURE_MODE", mode);
        Restart(L"");
        const std::wstring outcome = std::wstring(mode) == L"big" ? L"登録/解除に成功しました。"
                                                                  : L"登録/解除に失敗しました。(コード 0x80004005)" + platform::SystemMessage(E_FAIL);
        EXPECT_WTEXT_EQ(path + L"を登録\r\n" + outcome + L"\r\n\r\n登録/解除終了", run(0)) << mode;
        EXPECT_EQ(ClassesValue(classKey + L"\\InprocServer32"), path) << mode;
        undone(L"の登録を元に戻す");
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey)) << mode;
    }
    EXPECT_EQ(ReadBytes(path + L".calls"), "RRURR");

    // A value whose name holds a line break, in a run with an ordinary file: both come back.
    TypeLibsCleared clearedLib{&kFixtureA};
    Copy(kFixtureA.file);
    ::SetEnvironmentVariableW(L"MIRDAL_FIXTURE_MODE", L"linebreak");
    Restart(L""), Show(), Select({kFixtureJournal, kFixtureA.file});
    window->mnuF_Click(0), window->cmdClose_Click();
    Undo(0);
    EXPECT_EQ(UndoDialog::rows.at(0), L"*登録|2|" + folder.Path() + kFixtureA.file);
    EXPECT_WTEXT_EQ(folder.Path() + kFixtureA.file + L"の登録を元に戻す\r\n元に戻しました。\r\n\r\n" + path +
                        L"の登録を元に戻す\r\n元に戻しました。\r\n\r\n元に戻す終了", Log());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(kFixtureA));
    window->cmdClose_Click();

    // The class registered again from another folder: undoing the older run leaves that registration whole.
    ::SetEnvironmentVariableW(L"MIRDAL_FIXTURE_MODE", nullptr);
    Restart(L"");
    run(0);
    const std::wstring elsewhere = folder.Folder(L"b");
    CopyFixture(kFixtureJournal, elsewhere + kFixtureJournal);
    window->SetFileListView(elsewhere), Select({kFixtureJournal});
    window->mnuF_Click(0), window->cmdClose_Click();
    Undo(1);
    EXPECT_NE(Log().find(L"の登録を元に戻す\r\n変更されていたため戻していません: HKEY_LOCAL_MACHINE\\Software\\Classes\\"), std::wstring::npos) << Log();
    EXPECT_TRUE(Log().ends_with(L"CLSID\\" + std::wstring(kJournalClsid) + L"\r\n\r\n元に戻す終了 (変更されていたため戻していないもの: 1 件)")) << Log();
    EXPECT_WTEXT_EQ(elsewhere + kFixtureJournal + L"|Both", ClassesValue(classKey + L"\\InprocServer32") + L"|" +
                                                           KeyText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"));
    window->cmdClose_Click();
    Undo(0);
    EXPECT_EQ(UndoDialog::rows.size(), 1u) << "the older run, with what it could put back, is undone";
}

// A journal that cannot be written stops nothing; what ran with administrator rights is kept where only
// administrators write and undone from there; an entry the user could edit reaches the user's keys alone.
TEST_F(RegistrationTest, AJournalThatCannotBeWrittenStopsNothingAndAdministratorRunsAreUndoneFromTheirOwnFolder)
{
    using namespace fixtures;
    JournalsCleared journals;
    platform::UniqueLocal descriptor;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorJournalSddl, SDDL_REVISION_1,
                                                                       reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from ProgramData";
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted) && present && list);
    std::wstring aces;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ::GetAce(list, i, reinterpret_cast<void**>(&ace));
        platform::UniqueLocal sid;
        ::ConvertSidToStringSidW(&ace->SidStart, reinterpret_cast<LPWSTR*>(sid.put()));
        aces += static_cast<const wchar_t*>(sid.get()) + (L"=" + std::to_wstring(ace->Mask)) + L";";
    }
    EXPECT_WTEXT_EQ(L"S-1-5-18=2032127;S-1-5-32-544=2032127;S-1-5-32-545=1179817;", aces);

    // A file where the administrators' folder should be: each file's outcome, then why it cannot be undone.
    TypeLibsCleared clearedLibs{&kFixtureA, &kFixtureB};
    Copy(kFixtureA.file), Copy(kFixtureB.file);
    ::CreateDirectoryW(journals.administrators.substr(0, journals.administrators.size() - 9).c_str(), nullptr);
    const std::wstring blocker = journals.administrators.substr(0, journals.administrators.size() - 1);
    platform::UniqueFile(::CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    Show();
    Select({kFixtureA.file, kFixtureB.file});
    window->mnuF_Click(0);
    const std::wstring lost = L"登録/解除に成功しました。\r\n記録を書けませんでした (" + platform::SystemMessage(ERROR_PATH_NOT_FOUND) +
                              L")。このファイルの登録/解除は元に戻せません。\r\n\r\n";
    EXPECT_WTEXT_EQ(folder.Path() + kFixtureA.file + L"を登録\r\n" + lost + folder.Path() + kFixtureB.file + L"を登録\r\n" + lost + L"登録/解除終了", Log());
    EXPECT_WTEXT_EQ(folder.Path() + kFixtureA.file, RegisteredFile(kFixtureA));
    window->cmdClose_Click();
    ::DeleteFileW(blocker.c_str());

    // A limited window keeps its per-user run in the user's folder; an edited entry there names a machine key.
    KeyRemoved userLibRemoved{HKEY_CURRENT_USER, L"Software\\Classes\\" + TypeLibKey(kFixtureB)};
    const std::wstring victim = L"Software\\Mirdal-test-victim";
    KeyRemoved victimRemoved{HKEY_LOCAL_MACHINE, victim};
    LimitedWindow limited;
    Select({kFixtureB.file});
    Choose(IDM_R2);
    window->cmdClose_Click();
    platform::FolderListing listing(journals.user + L"*.txt");
    WIN32_FIND_DATAW found{};
    ASSERT_TRUE(listing.Next(found));
    const std::wstring file = journals.user + found.cFileName;
    std::optional<std::wstring> text = JournalTextOfBytes(*platform::ReadFileBytes(file, 1 << 24));
    ASSERT_TRUE(text);
    const std::wstring userLib = L"HKEY_CURRENT_USER\\Software\\Classes\\" + TypeLibKey(kFixtureB);
    // Every mention of the user's key, in whatever case the server wrote it, now names a machine key.
    std::wstring edited = *text;
    const std::wstring folded = platform::UpperCase(edited), target = platform::UpperCase(userLib);
    for (size_t at = folded.rfind(target); at != std::wstring::npos; at = at ? folded.rfind(target, at - 1) : std::wstring::npos)
        edited.replace(at, userLib.size(), L"HKEY_LOCAL_MACHINE\\" + victim);
    ASSERT_NE(edited, *text);
    platform::WriteWholeFile(file, Utf16LeWithBom(edited));
    // What the edited entry would remove, exactly as the run left it.
    platform::UniqueKey made;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, victim.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made.put(), nullptr);
    ASSERT_EQ(::RegCopyTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + TypeLibKey(kFixtureB)).c_str(), made.get()), ERROR_SUCCESS);
    Undo(0);
    EXPECT_NE(Log().find(L"この記録は管理者の権限では元に戻せません: HKEY_LOCAL_MACHINE\\" + victim), std::wstring::npos) << Log();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, victim));
    window->cmdClose_Click();

    // The machine run undone from the administrators' folder: no file of the user's has a say.
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, TypeLibKey(kFixtureA).c_str());
    limited.limited = false;
    Select({kFixtureA.file});
    Choose(IDM_R4);
    window->cmdClose_Click();
    ASSERT_EQ(StoredRuns().runs.front().administrators, true);
    Undo(0);
    EXPECT_WTEXT_EQ(folder.Path() + kFixtureA.file + L"の登録を元に戻す\r\n元に戻しました。\r\n\r\n元に戻す終了", Log());
    EXPECT_WTEXT_EQ(L"", RegisteredFile(kFixtureA));
}

// The journal's clock in another time zone, `hours` from UTC, while this lives.
struct ZoneClock {
    static inline int hours = 0;
    static JournalTimes Times()
    {
        JournalTimes times{};
        ::GetSystemTime(&times.utc);
        FILETIME time{};
        ::SystemTimeToFileTime(&times.utc, &time);
        ULARGE_INTEGER at{{time.dwLowDateTime, time.dwHighDateTime}};
        at.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(hours) * 36000000000LL);
        time = {at.LowPart, at.HighPart};
        ::FileTimeToSystemTime(&time, &times.local);
        return times;
    }
    ZoneClock() { SetJournalClock(Times); }
    ~ZoneClock() { SetJournalClock(nullptr); }
};

// A run is undone once, by one window, and runs stand in the order they were made, whatever the local
// clock shows; the dialog opens wherever the journal's folders are. The other window is this test,
// taking the run's file as a window does.
TEST_F(RegistrationTest, ARunIsUndoneOnceRunsStandInTheOrderTheyWereMadeAndTheDialogAlwaysOpens)
{
    JournalsCleared journals;
    // The user's folder on a drive that is not there, and no administrators' folder yet.
    const wchar_t shellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::wstring local = KeyText(HKEY_CURRENT_USER, shellFolders, L"Local AppData", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND);
    ASSERT_FALSE(local.empty());
    struct LocalPut {
        const wchar_t* key;
        std::wstring value;
        void Set(const std::wstring& text) const { SetKeyText(HKEY_CURRENT_USER, key, text, L"Local AppData", REG_EXPAND_SZ); }
        ~LocalPut() { Set(value); }
    } localPut{shellFolders, local};
    localPut.Set(L"Q:\\nowhere");
    Undo(0);
    EXPECT_TRUE(UndoDialog::rows.empty());
    EXPECT_WTEXT_EQ(L"記録のフォルダーが見つかりません: Q:\\nowhere\\Mirdal\\Journal\\、" + journals.administrators, UndoDialog::where);
    EXPECT_TRUE(prompter.messages.empty());
    localPut.Set(local);

    // A registration in Tokyo, then its unregistration in New York, whose clock shows an earlier hour.
    ZoneClock clock;
    ZoneClock::hours = 9;
    TypeLibsCleared cleared{&kFixtureA};
    Copy(kFixtureA.file);
    const std::wstring pathA = folder.Path() + kFixtureA.file;
    Show(), Select({kFixtureA.file});
    window->mnuF_Click(0), window->cmdClose_Click();
    ZoneClock::hours = -5;
    window->mnuF_Click(1), window->cmdClose_Click();
    const std::wstring file = StoredRuns().runs.at(0).path;

    // While another window holds the newer run's file, and once it has undone it and registered the file again.
    std::optional<ClaimedRun> other;
    UndoDialog::meanwhile = [&] { other.emplace(file); };
    Undo(0);
    EXPECT_EQ(UndoDialog::rows, (std::vector<std::wstring>{L"*解除|1|" + pathA, L"登録|1|" + pathA}));
    ASSERT_EQ(UndoDialog::times.size(), 2u);
    EXPECT_LT(UndoDialog::times[0], UndoDialog::times[1]) << "the later run first, though its clock shows an earlier time";
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(L"この登録の記録はほかのウィンドウが使っているため、いまは元に戻せません。", prompter.messages[0].text);
    EXPECT_EQ(UndoDialog::dialogs, 2) << "the runs offered again";
    UndoDialog::meanwhile = [&] {
        other->MarkUndone();
        other.reset();
        EXPECT_EQ(RunProgram(L"regsvr32.exe /s \"" + pathA + L"\""), 0u);
    };
    Undo(0);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_WTEXT_EQ(L"この登録はすでに元に戻されています。", prompter.messages[1].text);
    EXPECT_EQ(UndoDialog::rows, std::vector<std::wstring>{L"*登録|1|" + pathA});
    EXPECT_WTEXT_EQ(pathA, RegisteredFile(kFixtureA)) << "the other window's registration stays";
    const std::optional<std::wstring> text = JournalTextOfBytes(*platform::ReadFileBytes(file, 1 << 24));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find(L"Undone: "), text->rfind(L"Undone: "));
    EXPECT_NE(text->find(L"Undone: "), std::wstring::npos);

    // A hundred runs stamped later, as after the clock went back: the new run is the newest and stays.
    const std::wstring header = JournalRunHeader(L"2099-12-31 09:00:00", JournalKind::Register, JournalScope::Machine);
    for (int count = 0; count < 100; ++count)
        platform::WriteWholeFile(journals.administrators + JournalFileName({L"20991231-000000-000", static_cast<std::uint32_t>(count)}, 1),
                                 Utf16LeWithBom(header));
    ZoneClock::hours = 0;
    Select({kFixtureA.file});
    window->mnuF_Click(1), window->cmdClose_Click();
    const JournalListing listing = StoredRuns();
    ASSERT_FALSE(listing.runs.empty());
    EXPECT_EQ(listing.runs[0].path, journals.administrators + JournalFileName({L"20991231-000000-000", 100}, ::GetCurrentProcessId()));
    EXPECT_EQ(listing.runs[0].run->entries.size(), 1u);
    EXPECT_EQ(listing.runs.size(), 100u);
    EXPECT_TRUE(platform::IsMissing(journals.administrators + JournalFileName({L"20991231-000000-000", 0}, 1)));
}

} // namespace
