// The search for broken registrations over a layout of its own in both views, its removal and its undo.
#include "TestSupport.h"
#include "registry/BrokenSearch.h"
#include <set>

using namespace testing_support;

namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kSystemName[] = L"MirdalBroken27.dll";

std::wstring Guid(int n)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"{B27B0000-0000-4000-8000-0000000000%02d}", n);
    return text;
}
std::wstring Class(int n) { return std::wstring(kClasses) + L"CLSID\\" + Guid(n); }
std::wstring ViewName(REGSAM view) { return view == KEY_WOW64_32KEY ? L"32" : L"64"; }

bool Put(HKEY root, const std::wstring& key, REGSAM view, const std::wstring& text, DWORD type = REG_SZ) { return SetKeyText(root, key, text, nullptr, type, view); }

void Remove(HKEY root, const std::wstring& key, REGSAM view)
{
    platform::UniqueKey parent;
    if (::RegOpenKeyExW(root, key.substr(0, key.rfind(L'\\')).c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) == ERROR_SUCCESS)
        ::RegDeleteTreeW(parent.get(), key.substr(key.rfind(L'\\') + 1).c_str());
}

std::wstring SystemWow64()
{
    wchar_t folder[MAX_PATH] = {};
    (sizeof(void*) == 8 ? ::GetSystemWow64DirectoryW : ::GetSystemDirectoryW)(folder, MAX_PATH);
    return folder;
}

// Answers the next dialog of the search once it has read everything: records its rows
// ("kind|key|missing|view") and buttons, checks the rows asked for and presses "削除".
struct BrokenDialog {
    static inline std::vector<std::wstring> rows;
    static inline std::wstring buttons, status;
    static inline std::set<std::wstring> check;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD)
    {
        HWND dialog = ::FindWindowW(L"#32770", L"壊れた登録");
        const std::wstring text = DialogText(dialog, IDC_BROKEN_STATUS);
        if (!dialog || text.starts_with(L"調べています"))
            return;
        ::KillTimer(nullptr, timer);
        status = text;
        platform::ListView list(::GetDlgItem(dialog, IDC_BROKEN_LIST));
        rows.clear();
        for (int row = 0; row < list.ItemCount(); ++row) {
            rows.push_back(list.ItemText(row, 0) + L"|" + list.ItemText(row, 1) + L"|" + list.ItemText(row, 2) + L"|" + list.ItemText(row, 3));
            list.SetChecked(row, check.count(list.ItemText(row, 1)) > 0);
        }
        buttons = DialogText(dialog, IDC_BROKEN_ALL) + L"|" + DialogText(dialog, IDC_BROKEN_DELETE) + L"|" + DialogText(dialog, IDCANCEL) + L"|" +
                  std::to_wstring(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)));
        ::PostMessageW(dialog, WM_COMMAND, IDC_BROKEN_DELETE, 0);
    }
};

// Chooses the newest run in the undo dialog.
void CALLBACK UndoNewest(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (HWND dialog = ::FindWindowW(L"#32770", L"元に戻す")) {
        ::KillTimer(nullptr, timer);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
}

class BrokenTest : public WindowTest {
protected:
    ScratchFolder folder{L"broken-" + std::to_wstring(::GetCurrentProcessId())};
    const std::wstring system = SystemWow64() + L"\\" + kSystemName;
    const std::wstring progGone = std::wstring(kClasses) + L"MirdalBroken27.Gone", progFine = std::wstring(kClasses) + L"MirdalBroken27.Fine";
    const std::wstring typeLib = std::wstring(kClasses) + L"TypeLib\\" + Guid(20);

    void TearDown() override
    {
        WindowTest::TearDown();
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            for (int n = 1; n <= 10; ++n)
                Remove(HKEY_LOCAL_MACHINE, Class(n), view);
            for (const std::wstring& key : {progGone, progFine, typeLib})
                Remove(HKEY_LOCAL_MACHINE, key, view);
            Remove(HKEY_CURRENT_USER, Class(11), view);
        }
        ::DeleteFileW(system.c_str());
    }
};

} // namespace

TEST_F(BrokenTest, BothViewsAreSearchedAsTheirLoadersSeeThemAndTheCheckedKeysAreRemovedAndPutBack)
{
    constexpr REGSAM v64 = KEY_WOW64_64KEY, v32 = KEY_WOW64_32KEY;
    const HKEY machine = HKEY_LOCAL_MACHINE;
    const std::wstring present = folder.File(L"present.dll"), server = folder.File(L"server.exe"), gone = folder.Path() + L"gone";
    folder.File(L"My App.exe");
    ASSERT_TRUE(::CloseHandle(::CreateFileW(system.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    const std::pair<int, REGSAM> classes[] = {{1, v64}, {2, v32}, {3, v64}, {4, v32}, {5, v32}, {6, v64}, {7, v64}, {8, v64}};
    ASSERT_TRUE(Put(machine, Class(1) + L"\\InprocServer32", v64, gone + L".dll"));
    ASSERT_TRUE(Put(machine, Class(2) + L"\\LocalServer32", v32, gone + L".exe /Automation"));
    ASSERT_TRUE(Put(machine, Class(3) + L"\\InprocServer32", v64, kSystemName)) << "only in SysWOW64";
    ASSERT_TRUE(Put(machine, Class(4) + L"\\InprocServer32", v32, kSystemName));
    ASSERT_TRUE(Put(machine, Class(5) + L"\\InprocServer32", v32, std::wstring(L"%SystemRoot%\\System32\\") + kSystemName, REG_EXPAND_SZ));
    ASSERT_TRUE(Put(machine, Class(6) + L"\\InprocServer32", v64, L" \"" + present + L"\" "));
    ASSERT_TRUE(Put(machine, Class(6) + L"\\InprocHandler32", v64, L"ole32.dll"));
    ASSERT_TRUE(Put(machine, Class(7) + L"\\LocalServer32", v64, folder.Path() + L"My App.exe -Embedding"));
    ASSERT_TRUE(Put(machine, Class(8) + L"\\InprocServer32", v64, present));
    ASSERT_TRUE(Put(machine, Class(8) + L"\\LocalServer32", v64, L"\"" + gone + L"8.exe\" -Embedding"));
    ASSERT_TRUE(Put(machine, typeLib + L"\\1.0", v64, L"Broken library"));
    ASSERT_TRUE(Put(machine, typeLib + L"\\1.0\\0\\win32", v64, gone + L".tlb"));
    ASSERT_TRUE(Put(machine, typeLib + L"\\1.0\\0\\win64", v64, present));
    ASSERT_TRUE(Put(machine, progGone + L"\\CLSID", v64, Guid(9)));
    ASSERT_TRUE(Put(machine, progFine + L"\\CLSID", v64, Guid(2))) << "a class of the other view";
    ASSERT_TRUE(Put(HKEY_CURRENT_USER, Class(11) + L"\\InprocServer32", v64, gone + L"11.dll"));

    const std::wstring hklm = L"HKEY_LOCAL_MACHINE\\", hkcu = L"HKEY_CURRENT_USER\\";
    BrokenDialog::check = {hklm + Class(1), hklm + Class(2), hklm + Class(8) + L"\\LocalServer32", hklm + typeLib + L"\\1.0\\0\\win32",
                           hklm + progGone};
    ::SetTimer(nullptr, 0, 50, BrokenDialog::Tick);
    ::SendMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(IDM_R10, 0), 0);

    std::vector<std::wstring> ours, foreign;
    for (const std::wstring& row : BrokenDialog::rows)
        (row.find(L"B27B0000") != std::wstring::npos || row.find(L"MirdalBroken27") != std::wstring::npos ? ours : foreign).push_back(row);
    EXPECT_EQ(Sorted(ours), Sorted({L"クラス|" + hklm + Class(1) + L"|" + gone + L".dll|64",
                                    L"クラス|" + hklm + Class(2) + L"|" + gone + L".exe|32",
                                    L"クラス|" + hklm + Class(3) + L"|" + kSystemName + L"|64",
                                    L"クラス|" + hklm + Class(8) + L"\\LocalServer32|" + gone + L"8.exe|64",
                                    L"クラス|" + hkcu + Class(11) + L"|" + gone + L"11.dll|64",
                                    L"タイプ ライブラリ|" + hklm + typeLib + L"\\1.0\\0\\win32|" + gone + L".tlb|64",
                                    L"プログラム ID|" + hklm + progGone + L"|" + Guid(9) + L"|64"}));
    EXPECT_EQ(foreign, std::vector<std::wstring>{}) << "nothing of Wine's own";
    EXPECT_WTEXT_EQ(L"壊れた登録: " + std::to_wstring(BrokenDialog::rows.size()) + L" 件", BrokenDialog::status);
    EXPECT_WTEXT_EQ(L"すべて選択(&A)|削除(&D)|閉じる|" + std::to_wstring(IDCANCEL), BrokenDialog::buttons);

    // The checked keys go in the order listed, each with its line; what still works and what was not checked stays.
    std::wstring log;
    for (const std::wstring& row : BrokenDialog::rows) {
        const std::wstring key = row.substr(row.find(L'|') + 1, row.find(L'|', row.find(L'|') + 1) - row.find(L'|') - 1);
        if (BrokenDialog::check.count(key))
            log += key + L" を削除\r\n削除しました。\r\n\r\n";
    }
    EXPECT_WTEXT_EQ(log + L"削除終了", window->txtRes.Text());
    auto state = [&] {
        std::wstring text;
        for (const auto& [n, view] : classes)
            text += KeyExists(machine, Class(n), view) ? L"1" : L"0";
        for (const std::wstring& key : {Class(8) + L"\\InprocServer32", Class(8) + L"\\LocalServer32", typeLib + L"\\1.0\\0\\win32",
                                        typeLib + L"\\1.0\\0\\win64", progGone, progFine})
            text += KeyExists(machine, key, v64) ? L"1" : L"0";
        return text + (KeyExists(HKEY_CURRENT_USER, Class(11), v64) ? L"1" : L"0");
    };
    EXPECT_WTEXT_EQ(L"00111111" L"100101" L"1", state());
    window->cmdClose_Click();

    // The run is journaled like a registration: undo brings every key back with its whole tree.
    ::SetTimer(nullptr, 0, 50, UndoNewest);
    ::SendMessageW(window->Hwnd(), WM_COMMAND, MAKEWPARAM(IDM_R9, 0), 0);
    EXPECT_WTEXT_EQ(L"11111111" L"111111" L"1", state());
    EXPECT_NE(window->txtRes.Text().find(hklm + Class(1) + L" の削除を元に戻す\r\n元に戻しました。"), std::wstring::npos) << Narrow(window->txtRes.Text());
    EXPECT_WTEXT_EQ(gone + L".exe /Automation", KeyText(machine, Class(2) + L"\\LocalServer32", nullptr, RRF_SUBKEY_WOW6432KEY));
}
