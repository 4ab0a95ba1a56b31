#pragma once
// What the Windows tests share: a prompter that answers for the user, scratch folders and files,
// the real window, and registry helpers.
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/MessageLoop.h"
#include "platform/Module.h"
#include "platform/Prompt.h"
#include "platform/Settings.h"
#include "platform/Text.h"
#include "platform/UniqueHandle.h"
#include "../../fixtures/Fixtures.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ShownMessage {
    std::wstring text, title;
    UINT style = 0;
    std::wstring note; // what the prompter's note gave as the message showed
};

// Answers every prompt from a script and records what was asked.
class ScriptedPrompter : public platform::Prompter {
public:
    ScriptedPrompter() { platform::SetPrompter(this); }
    ~ScriptedPrompter() override { platform::SetPrompter(nullptr); }

    int ShowMessage(HWND, const std::wstring& text, const std::wstring& title, UINT style) override
    {
        messages.push_back({text, title, style, note ? note() : L""});
        return IDOK;
    }
    std::optional<platform::SaveFileAnswer> AskSaveFile(HWND, const platform::SaveFileRequest& request) override
    {
        saveRequests.push_back(request);
        if (saveAnswers.empty())
            return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    // Queues the path the next save dialog returns; an empty path stands for "cancel".
    void AnswerSave(const std::wstring& path)
    {
        using Answer = std::optional<platform::SaveFileAnswer>;
        saveAnswers.push_back(path.empty() ? Answer() : Answer({path, path.size() - (path.find_last_of(L'\\') + 1)}));
    }

    std::function<std::wstring()> note;
    std::vector<ShownMessage> messages;
    std::vector<platform::SaveFileRequest> saveRequests;
    std::deque<std::optional<platform::SaveFileAnswer>> saveAnswers;
};

// A folder made for one test under C:\mirdal-tests, removed with everything in it afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name);
    ~ScratchFolder();

    // The folder's path, ending in "\".
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name, size_t bytes = 0, DWORD attributes = 0) const;
    std::wstring Folder(const std::wstring& name, DWORD attributes = 0) const;

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);
void CopyFixture(const std::wstring& fixtureName, const std::wstring& destination);
inline std::wstring FixturePath(const std::wstring& name) { return platform::ExecutableFolder() + L"fixtures\\" + name; }
// UTF-8, so that failures print readable text.
std::string Narrow(const std::wstring& text);
inline std::vector<std::wstring> Sorted(std::vector<std::wstring> texts) { return std::ranges::sort(texts), texts; }
// The text in a code page; empty when it has no exact form there.
std::string InCodePage(const std::wstring& text, UINT codePage = CP_ACP);

// Runs a command line without a window or input and output, in a folder (empty: the current one), and waits: its
// exit code, or ~0u and the error in *startError when it could not start. A quoted program is taken from that path alone.
DWORD RunProgram(std::wstring commandLine, const std::wstring& folder = {}, DWORD* startError = nullptr);

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);
// A key's string value, its default one unless named; empty when there is none. RegGetValueW's flags are added.
std::wstring KeyText(HKEY root, const std::wstring& key, const wchar_t* name = nullptr, DWORD flags = 0);
// Sets a key's string value, its default one unless named, the key made first; false if either fails.
bool SetKeyText(HKEY root, const std::wstring& key, const std::wstring& text, const wchar_t* name = nullptr, DWORD type = REG_SZ, REGSAM view = 0);
// A key removed with its tree when this goes.
struct KeyRemoved { HKEY root; std::wstring key; ~KeyRemoved() { ::RegDeleteTreeW(root, key.c_str()); } };
inline std::wstring TypeLibKey(const fixtures::TypeLibFixture& fixture) { return std::wstring(L"TypeLib\\") + fixture.libid; }
// The file HKEY_CLASSES_ROOT names for a type library on this platform; empty when its key is gone.
std::wstring RegisteredFile(const fixtures::TypeLibFixture& fixture);

// Reports type libraries left over from an earlier run, and removes them all when it goes.
struct TypeLibsCleared {
    TypeLibsCleared(std::initializer_list<const fixtures::TypeLibFixture*> list);
    ~TypeLibsCleared();
    std::vector<const fixtures::TypeLibFixture*> list;
};

// Points HKEY_CLASSES_ROOT of this process at an empty key under HKEY_CURRENT_USER while it lives.
class ScratchClassesRoot {
public:
    ScratchClassesRoot();
    ~ScratchClassesRoot();

    bool Active() const { return active_; }
    HKEY Root() const { return root_.get(); }
    // Creates the key and, unless the type is REG_NONE, sets the value; false if either fails.
    bool Set(const std::wstring& key, const std::wstring& name = L"", DWORD type = REG_NONE, const void* data = nullptr,
             size_t bytes = 0) const;
    bool Text(const std::wstring& key, const std::wstring& text, const std::wstring& name = L"") const
    {
        return Set(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    // TypeLib\guid\version named by its default value, its file under \0\<this platform>; either may be left out.
    void Library(const std::wstring& guid, std::optional<std::wstring> path, std::optional<std::wstring> name = L"Scratch",
                 const std::wstring& version = L"1.0") const;
    void Remove(const std::wstring& guid) const { ::RegDeleteTreeW(root_.get(), (L"TypeLib\\" + guid).c_str()); }

private:
    std::wstring name_;
    platform::UniqueKey root_;
    bool active_ = false;
};

// Common controls and OLE for the calling thread, as the program's entry point sets them up.
void PrepareThread();

// A setting the window stores, "<none>" when it is not stored.
inline std::wstring StoredSetting(const wchar_t* name) { return platform::GetSetting(platform::ExecutableBaseName(), L"frmMirdal", name, L"<none>"); }

// The text of a dialog's control.
inline std::wstring DialogText(HWND dialog, int id) { wchar_t text[MAX_PATH] = {}; return ::GetDlgItemTextW(dialog, id, text, MAX_PATH), text; }

inline void Pump() { platform::ProcessPendingEvents(); }

// The real window, created for each test with no stored settings and destroyed after it.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void ClearSettings();
    // Processes what is queued after the window was destroyed, and drops the WM_QUIT it posted.
    static void DropQuit();
    // Starts the window again with these settings (empty: none) stored beforehand.
    void Restart(const std::wstring& view, const std::wstring& path = L"");
    // The list rows' names, in list order.
    std::vector<std::wstring> FileNames() const;
    void SelectRows(const std::vector<int>& rows) const;
    // The row of a name, or -1.
    int RowOf(const std::wstring& name) const;
    std::vector<int> SelectedRows() const;
    // "busy panel close toolbar file view" (the last two the menus), each marked "!" when off.
    std::string RunState() const;
    // The log of a run over the selected rows in list order, paths isolated as the log shows them; rows
    // missing from outcomes succeed.
    std::wstring RunLog(const std::wstring& verb, const std::map<std::wstring, std::wstring>& outcomes = {},
                        const std::wstring& ending = L"登録/解除終了") const;
    // The library list as sorted "name|path|image" rows.
    std::vector<std::wstring> LibraryRows() const;

    ScriptedPrompter prompter;
    std::unique_ptr<frmMirdal> window;
};

// A left click at a point of a control's client area, the pointer moved there first; the click is
// posted, so that what it starts runs as it would from the message loop.
void ClickAt(HWND control, POINT at);

} // namespace testing_support

// Reports the caller's line on failure.
#define EXPECT_WTEXT_EQ(expected, actual) \
    EXPECT_EQ(::testing_support::Narrow(expected), ::testing_support::Narrow(actual))
