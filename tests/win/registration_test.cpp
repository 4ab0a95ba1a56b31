// Registration runs and batch files on the real window under Wine, checked against Wine's own
// reg.exe, cmd.exe and regsvr32.exe.
#include "TestSupport.h"
#include "platform/UniqueHandle.h"
#include "../fixtures/Fixtures.h"
#include <cwchar>
#include <map>

using namespace testing_support;

namespace {

constexpr wchar_t kDone[] = L"登録/解除終了";
constexpr wchar_t kSucceeded[] = L"登録/解除に成功しました。";

std::wstring SystemText(DWORD code)
{
    wchar_t buffer[1024] = {};
    std::wstring text(buffer, ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                               code, 0, buffer, 1024, nullptr));
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::string InCodePage(UINT codePage, const std::wstring& text)
{
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<size_t>(::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()),
                                                           bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// Runs one of Wine's programs to its end with no input (PAUSE returns at once); its output, and
// its exit code in *exitCode.
std::string RunProgram(std::wstring commandLine, const std::wstring& folder = {}, DWORD* exitCode = nullptr)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "<no pipe>";
    platform::UniqueHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    platform::UniqueHandle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return "<not started>";
    platform::UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    writer.reset(); // the pipe ends once the program and its children are gone
    std::string output;
    char buffer[4096];
    for (DWORD read = 0; ::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0;)
        output.append(buffer, read);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    if (exitCode)
        ::GetExitCodeProcess(process.hProcess, exitCode);
    return output;
}

std::wstring TypeLibKey(const fixtures::TypeLibFixture& fixture) { return std::wstring(L"TypeLib\\") + fixture.libid; }

// The file of a type library for this build's bitness as Wine's reg.exe reports it; empty when
// the library is not registered at all.
std::wstring RegisteredFile(const fixtures::TypeLibFixture& fixture)
{
    std::wstring key = L"HKEY_CLASSES_ROOT\\" + TypeLibKey(fixture);
    DWORD exitCode = 0;
    std::string bytes = RunProgram(L"reg.exe query \"" + key + L"\" /s", {}, &exitCode);
    if (exitCode != 0)
        return {};
    // Written to a pipe, in the OEM code page.
    std::wstring output(bytes.size(), L'\0');
    output.resize(static_cast<size_t>(::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                            output.data(), static_cast<int>(output.size()))));
    std::wstring platformKey = key + L"\\" + fixture.version + L"\\0\\" + fixtures::kPlatformKey + L"\r\n";
    size_t type = output.find(L"REG_SZ", output.find(platformKey));
    if (output.find(platformKey) == std::wstring::npos || type == std::wstring::npos)
        return L"<no file in: " + output + L">";
    size_t value = output.find_first_not_of(L' ', type + 6);
    return output.substr(value, output.find(L"\r\n", value) - value);
}

// Removes the type library keys that a test made, however it ends; a key found beforehand is a
// leftover the test reports and leaves alone.
class TypeLibsRestored {
public:
    explicit TypeLibsRestored(std::initializer_list<const fixtures::TypeLibFixture*> list)
    {
        for (const auto* fixture : list) {
            platform::UniqueKey key;
            if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, TypeLibKey(*fixture).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
                ADD_FAILURE() << "left over from an earlier run: " << Narrow(fixture->libid);
            else
                made_.push_back(fixture);
        }
    }
    ~TypeLibsRestored()
    {
        for (const auto* fixture : made_)
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, TypeLibKey(*fixture).c_str());
    }
    TypeLibsRestored(const TypeLibsRestored&) = delete;
    TypeLibsRestored& operator=(const TypeLibsRestored&) = delete;

private:
    std::vector<const fixtures::TypeLibFixture*> made_;
};

// Moves Pemrix32.dll beside the test program aside, and back in every case; a copy that a dead
// run left aside is put back first.
class LibraryAway {
public:
    LibraryAway() : home_(ProgramFolder() + L"Pemrix32.dll"), away_(home_ + L".registration-test")
    {
        if (::GetFileAttributesW(home_.c_str()) == INVALID_FILE_ATTRIBUTES)
            ::MoveFileW(away_.c_str(), home_.c_str());
        moved = ::MoveFileW(home_.c_str(), away_.c_str()) != FALSE;
    }
    ~LibraryAway()
    {
        if (moved)
            EXPECT_TRUE(::MoveFileW(away_.c_str(), home_.c_str())) << "Pemrix32.dll not restored";
    }
    LibraryAway(const LibraryAway&) = delete;
    LibraryAway& operator=(const LibraryAway&) = delete;
    bool moved = false;

private:
    std::wstring home_, away_;
};

// Notes the log as it stands whenever a message box shows, and passes the message on.
class LogAtMessage : public platform::Prompter {
public:
    LogAtMessage(const platform::Edit& log, platform::Prompter& next) : log_(log), next_(next) { platform::SetPrompter(this); }
    ~LogAtMessage() override { platform::SetPrompter(&next_); }
    int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) override
    {
        logs.push_back(log_.Text());
        return next_.ShowMessage(owner, text, title, style);
    }
    std::optional<platform::SaveFileAnswer> AskSaveFile(HWND owner, const platform::SaveFileRequest& request) override
    {
        return next_.AskSaveFile(owner, request);
    }
    std::vector<std::wstring> logs;

private:
    const platform::Edit& log_;
    platform::Prompter& next_;
};

class RegistrationTest : public WindowTest {
protected:
    // Named after the process, so that runs side by side never share a folder.
    ScratchFolder folder{L"registration-" + std::to_wstring(::GetCurrentProcessId())};

    void Show() const { window->SetFileListView(folder.Path()); }
    void Select(std::initializer_list<std::wstring> names) const
    {
        window->lsvFile.SetAllSelected(false);
        for (const std::wstring& name : names) {
            int row = window->FindFileRow(folder.Path() + name);
            ASSERT_GE(row, 0) << Narrow(name) << " is not listed";
            window->lsvFile.SetSelected(row, true);
        }
    }
    std::vector<std::wstring> SelectedInListOrder() const
    {
        std::vector<std::wstring> names;
        for (int i = 0; i < window->lsvFile.ItemCount(); ++i)
            if (window->lsvFile.IsSelected(i))
                names.push_back(window->lsvFile.ItemText(i));
        return names;
    }
    std::wstring Log() const { return window->txtRes.Text(); }
    bool MenusUsable() const
    {
        return window->mnuMain.IsPositionEnabled(frmMirdal::FileMenuPosition)
               && window->mnuMain.IsPositionEnabled(frmMirdal::ViewMenuPosition);
    }
    bool Listed(const fixtures::TypeLibFixture& fixture, const std::wstring& path) const
    {
        for (int i = 0; i < window->lsvReg.ItemCount(); ++i)
            if (window->lsvReg.ItemText(i, 0) == fixture.name && window->lsvReg.ItemText(i, 2) == path)
                return true;
        return false;
    }
};

TEST_F(RegistrationTest, EachSelectedFileIsLoggedInListOrderWithItsOutcomeAndTheRegistryFollows)
{
    TypeLibsRestored restored{&fixtures::kFixtureA, &fixtures::kFixtureB};
    for (const wchar_t* name : {fixtures::kFixtureA.file, fixtures::kFixtureB.file, fixtures::kFixtureNoEntry,
                                fixtures::kFixtureDenied})
        CopyFixture(name, folder.Path() + name);
    folder.File(L"x.dll", 64); // text, named like a program
    Show();
    ASSERT_EQ(window->lsvFile.ItemCount(), 5);

    const std::map<std::wstring, std::wstring> outcome{
        {fixtures::kFixtureA.file, kSucceeded},
        {fixtures::kFixtureNoEntry, L"DLLのエントリポイントがみつかりません。"},
        {L"x.dll", L"OCX/DLLのロードに失敗"},
        // The server's own refusal: its code, then the system's text for it.
        {fixtures::kFixtureDenied, L"登録/解除に失敗しました。(コード 0x80070005)" + SystemText(0x80070005u)}};
    // Sorted by name either way, FixtureB lies between FixtureA and FixtureDenied; it stays
    // unselected, and the others are chosen against list order.
    window->lsvFile_ColumnClick(1);
    Select({fixtures::kFixtureDenied, L"x.dll", fixtures::kFixtureNoEntry, fixtures::kFixtureA.file});
    int rowB = window->FindFileRow(folder.Path() + fixtures::kFixtureB.file);
    ASSERT_TRUE(rowB > window->lsvFile.NextSelected(-1) && window->lsvFile.NextSelected(rowB) > rowB);
    std::vector<std::wstring> order = SelectedInListOrder();
    ASSERT_EQ(order.size(), 4u);
    auto expectedLog = [&](const wchar_t* verb) {
        std::wstring log;
        for (const std::wstring& name : order)
            log += folder.Path() + name + verb + L"\r\n" + outcome.at(name) + L"\r\n\r\n";
        return log + kDone;
    };

    window->tlbMirdal_ButtonClick(window->btnReg);
    EXPECT_WTEXT_EQ(expectedLog(L"を登録"), Log());
    std::wstring pathA = folder.Path() + fixtures::kFixtureA.file;
    EXPECT_WTEXT_EQ(pathA, RegisteredFile(fixtures::kFixtureA));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureB)) << "an unselected file was registered";
    EXPECT_TRUE(Listed(fixtures::kFixtureA, pathA)) << "the scan after the run shows the new library";

    // The run itself empties the library list that the command's scan above had filled.
    window->cmdClose_Click();
    window->RunRegistration(true);
    EXPECT_EQ(window->lsvReg.ItemCount(), 0);
    window->cmdClose_Click();

    window->mnuF_Click(1);
    EXPECT_WTEXT_EQ(expectedLog(L"を解除"), Log());
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureA));
    EXPECT_FALSE(Listed(fixtures::kFixtureA, pathA));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(RegistrationTest, ARunLeavesTheWindowBusyWithToolbarAndMenusDisabledUntilThePanelCloses)
{
    // An empty list: nothing at all happens.
    Show();
    window->txtRes.SetText(L"earlier");
    window->mnuF_Click(0);
    window->mnuF_Click(3);
    EXPECT_FALSE(window->picRes.IsVisible());
    EXPECT_FALSE(window->IsBusy);
    EXPECT_WTEXT_EQ(L"earlier", Log());
    EXPECT_TRUE(prompter.saveRequests.empty()) << "no dialog for an empty list";

    // Files listed, none selected: only the closing line. A close from the close box arrives while
    // the run processes events, and is refused.
    folder.File(L"x.dll", 64);
    folder.File(L"y.ocx", 64);
    window->SetFileListView(L"C:\\");
    Show();
    window->lsvFile.SetAllSelected(false);
    ::PostMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    window->mnuF_Click(0);
    ASSERT_TRUE(::IsWindow(window->Hwnd()));
    ASSERT_EQ(prompter.messages.size(), 1u) << "the close was not offered during the run";
    EXPECT_WTEXT_EQ(L"登録/解除中です。終了できません", prompter.messages[0].text);
    EXPECT_WTEXT_EQ(kDone, Log());
    EXPECT_TRUE(window->IsBusy);
    EXPECT_TRUE(window->picRes.IsVisible());
    EXPECT_TRUE(window->cmdClose.IsEnabled());
    EXPECT_FALSE(window->tlbMirdal.IsEnabled());
    EXPECT_FALSE(MenusUsable());
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(::IsWindow(window->Hwnd())) << "closed after the run, before the panel";
    window->cmdClose_Click();
    EXPECT_FALSE(window->IsBusy);
    EXPECT_TRUE(window->tlbMirdal.IsEnabled());
    EXPECT_TRUE(MenusUsable());

    // Batch writing is busy in the same way but leaves the toolbar enabled.
    Select({L"x.dll"});
    prompter.AnswerSave(folder.Path() + L"busy.bat");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    EXPECT_TRUE(window->IsBusy);
    EXPECT_TRUE(window->picRes.IsVisible());
    EXPECT_TRUE(window->tlbMirdal.IsEnabled());
    EXPECT_FALSE(MenusUsable());
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(::IsWindow(window->Hwnd()));
    EXPECT_EQ(prompter.messages.size(), 3u);

    window->cmdClose_Click();
    ::SendMessageW(window->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(::IsWindow(window->Hwnd())) << "an idle window closes";
    EXPECT_EQ(prompter.messages.size(), 3u);
    window = nullptr;
}

TEST_F(RegistrationTest, AMissingLibraryEndsTheRunAtTheFirstFileWithOneCriticalMessage)
{
    TypeLibsRestored restored{&fixtures::kFixtureA, &fixtures::kFixtureB};
    CopyFixture(fixtures::kFixtureA.file, folder.Path() + fixtures::kFixtureA.file);
    CopyFixture(fixtures::kFixtureB.file, folder.Path() + fixtures::kFixtureB.file);
    Show();
    Select({fixtures::kFixtureA.file, fixtures::kFixtureB.file});
    ASSERT_EQ(::GetModuleHandleW(L"Pemrix32.dll"), nullptr) << "a loaded library would be found without its file";
    LogAtMessage seen(window->txtRes, prompter);
    {
        LibraryAway away;
        ASSERT_TRUE(away.moved) << "cannot move Pemrix32.dll aside";
        window->mnuF_Click(0);
    }
    std::wstring firstLine = folder.Path() + SelectedInListOrder().at(0) + L"を登録\r\n";
    EXPECT_WTEXT_EQ(firstLine, Log());
    EXPECT_EQ(seen.logs, std::vector<std::wstring>{firstLine}) << "the line was not in the log when the message showed";
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_WTEXT_EQ(std::to_wstring(ERROR_MOD_NOT_FOUND), prompter.messages[0].title);
    EXPECT_WTEXT_EQ(SystemText(ERROR_MOD_NOT_FOUND), prompter.messages[0].text);
    EXPECT_EQ(prompter.messages[0].style, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(window->picRes.IsVisible());
    EXPECT_TRUE(window->cmdClose.IsEnabled());
    EXPECT_TRUE(window->IsBusy);
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureA));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureB));
}

TEST_F(RegistrationTest, BatchFilesInCodePage932RegisterAndUnregisterThroughCmd)
{
    TypeLibsRestored restored{&fixtures::kFixtureSpace, &fixtures::kFixtureA, &fixtures::kFixtureB};
    // Japanese needs code page 932; elsewhere the name stays in ASCII.
    const bool japanese = ::GetACP() == 932;
    const std::wstring special = japanese ? L"登録&100%.dll" : L"a&100%.dll", accented = L"café.dll";
    CopyFixture(fixtures::kFixtureSpace.file, folder.Path() + fixtures::kFixtureSpace.file);
    CopyFixture(fixtures::kFixtureA.file, folder.Path() + special);
    CopyFixture(fixtures::kFixtureB.file, folder.Path() + accented);
    CopyFixture(fixtures::kFixtureNoEntry, folder.Path() + fixtures::kFixtureNoEntry);
    Show();

    // A cancelled dialog changes nothing.
    prompter.AnswerSave(L"");
    window->tlbMirdal_ButtonClick(window->btnRegBat);
    ASSERT_EQ(prompter.saveRequests.size(), 1u);
    EXPECT_WTEXT_EQ(L"*.bat(ﾊﾞｯﾁﾌｧｲﾙ)|*.bat", prompter.saveRequests[0].filter);
    EXPECT_EQ(prompter.saveRequests[0].flags, 0x806u);
    EXPECT_WTEXT_EQ(folder.Path(), prompter.saveRequests[0].initialFolder);
    EXPECT_FALSE(window->picRes.IsVisible());
    EXPECT_FALSE(window->IsBusy);

    // Nothing selected: each file is the one line PAUSE.
    window->lsvFile.SetAllSelected(false);
    std::wstring nonePath = folder.Path() + L"none.bat", unnonePath = folder.Path() + L"Unnone.bat";
    prompter.AnswerSave(nonePath);
    window->mnuF_Click(3);
    EXPECT_EQ(ReadBytes(nonePath), "PAUSE\r\n");
    EXPECT_EQ(ReadBytes(unnonePath), "PAUSE\r\n");
    EXPECT_WTEXT_EQ(L"登録バッチ " + nonePath + L"\r\n\r\n解除バッチ " + unnonePath + L"\r\nバッチ作成終了", Log());
    window->cmdClose_Click();

    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW((folder.Path() + accented).c_str(), shortPath, MAX_PATH), 0u);
    const std::wstring shortName = std::wcsrchr(shortPath, L'\\') + 1;
    ASSERT_NE(shortName.find(L'~'), std::wstring::npos) << Narrow(shortName);
    const std::map<std::wstring, std::wstring> argument{
        {fixtures::kFixtureSpace.file, L"\"Fixture Space.dll\""},
        {special, japanese ? L"\"登録&100%%.dll\"" : L"\"a&100%%.dll\""},
        // Code page 932 has no "é": the file goes by its short name there, whose "~" is quoted.
        {accented, japanese ? L"\"" + shortName + L"\"" : accented}};
    Select({accented, special, fixtures::kFixtureSpace.file});
    std::wstring regPath = folder.Path() + L"REG.BAT", unregPath = folder.Path() + L"UnREG.BAT";
    prompter.AnswerSave(regPath);
    window->mnuF_Click(3);
    EXPECT_TRUE(prompter.messages.empty()) << Narrow(prompter.messages.empty() ? L"" : prompter.messages[0].text);

    std::wstring regLines, unregLines;
    std::string regBytes, unregBytes;
    for (const std::wstring& name : SelectedInListOrder()) {
        std::wstring reg = L"REGSVR32.EXE /s " + argument.at(name), unreg = L"REGSVR32.EXE /u /s " + argument.at(name);
        regLines += reg + L"\r\n";
        unregLines += unreg + L"\r\n";
        regBytes += InCodePage(japanese ? 932 : CP_ACP, reg) + "\r\n";
        unregBytes += InCodePage(japanese ? 932 : CP_ACP, unreg) + "\r\n";
    }
    EXPECT_WTEXT_EQ(L"登録バッチ " + regPath + L"\r\n" + regLines + L"\r\n解除バッチ " + unregPath + L"\r\n" + unregLines
                        + L"バッチ作成終了",
                    Log());
    EXPECT_EQ(regBytes + "PAUSE\r\n", ReadBytes(regPath));
    EXPECT_EQ(unregBytes + "PAUSE\r\n", ReadBytes(unregPath));
    window->cmdClose_Click();

    // Wine's own cmd and regsvr32 run what was written.
    SCOPED_TRACE("cmd: " + RunProgram(L"cmd.exe /c REG.BAT", folder.Path()));
    EXPECT_WTEXT_EQ(folder.Path() + fixtures::kFixtureSpace.file, RegisteredFile(fixtures::kFixtureSpace));
    EXPECT_WTEXT_EQ(folder.Path() + special, RegisteredFile(fixtures::kFixtureA));
    wchar_t longPath[MAX_PATH] = {};
    ::GetLongPathNameW(RegisteredFile(fixtures::kFixtureB).c_str(), longPath, MAX_PATH);
    EXPECT_WTEXT_EQ(folder.Path() + accented, longPath);
    SCOPED_TRACE("cmd: " + RunProgram(L"cmd.exe /c UnREG.BAT", folder.Path()));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureSpace));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureA));
    EXPECT_WTEXT_EQ(L"", RegisteredFile(fixtures::kFixtureB));
}

} // namespace
