#include "TestSupport.h"
#include "register/pure/BidiIsolation.h"

namespace testing_support {

ScratchFolder::ScratchFolder(const std::wstring& name)
{
    ::CreateDirectoryW(L"C:\\mirdal-tests", nullptr);
    path_ = L"C:\\mirdal-tests\\" + name + L"\\";
    RemoveTree(path_);
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::wstring ScratchFolder::File(const std::wstring& name, size_t bytes, DWORD attributes) const
{
    std::wstring path = path_ + name;
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), std::string(bytes, 'x').data(), static_cast<DWORD>(bytes), &written, nullptr);
    file.reset();
    if (attributes)
        ::SetFileAttributesW(path.c_str(), attributes);
    return path;
}

std::wstring ScratchFolder::Folder(const std::wstring& name, DWORD attributes) const
{
    std::wstring path = path_ + name;
    ::CreateDirectoryW(path.c_str(), nullptr);
    if (attributes)
        ::SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY);
    return path + L"\\";
}

void RemoveTree(const std::wstring& path)
{
    std::wstring folder = path.back() == L'\\' ? path : path + L"\\";
    WIN32_FIND_DATAW entry;
    platform::UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &entry));
    if (find) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(find.get(), &entry));
    }
    find.reset();
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(folder.c_str());
}

std::string ReadBytes(const std::wstring& path)
{
    platform::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return {};
    std::string data(::GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
    data.resize(read);
    return data;
}

void CopyFixture(const std::wstring& fixtureName, const std::wstring& destination)
{
    ASSERT_TRUE(::CopyFileW(FixturePath(fixtureName).c_str(), destination.c_str(), FALSE))
        << Narrow(fixtureName) << " -> " << Narrow(destination);
}

std::string Narrow(const std::wstring& text)
{
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string InCodePage(const std::wstring& text, UINT codePage)
{
    BOOL lossy = FALSE;
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<size_t>(::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                                           static_cast<int>(bytes.size()), nullptr, &lossy)));
    return lossy ? std::string() : bytes;
}

DWORD RunProgram(std::wstring commandLine, const std::wstring& folder, DWORD* startError)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    platform::UniqueFile nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                           OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    // A quoted program is started from exactly that path, as the program starts its hosts, without a search.
    const std::wstring program = commandLine.starts_with(L'"') ? commandLine.substr(1, commandLine.find(L'"', 1) - 1) : L"";
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.empty() ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        if (startError)
            *startError = ::GetLastError();
        return ~0u;
    }
    platform::UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ~0u;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view)
{
    platform::UniqueKey opened;
    return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

std::wstring KeyText(HKEY root, const std::wstring& key, const wchar_t* name, DWORD flags)
{
    std::wstring value(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | flags, nullptr, value.data(), &bytes) != ERROR_SUCCESS)
        return {};
    return value.substr(0, bytes / sizeof(wchar_t) - 1);
}

bool SetKeyText(HKEY root, const std::wstring& key, const std::wstring& text, const wchar_t* name, DWORD type, REGSAM view)
{
    platform::UniqueKey opened;
    return ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, opened.put(), nullptr) == ERROR_SUCCESS
           && ::RegSetValueExW(opened.get(), name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring RegisteredFile(const fixtures::TypeLibFixture& fixture)
{
    if (!KeyExists(HKEY_CLASSES_ROOT, TypeLibKey(fixture)))
        return {};
    const std::wstring file = std::wstring(fixture.version) + L"\\0\\" + fixtures::kPlatformKey, path = KeyText(HKEY_CLASSES_ROOT, TypeLibKey(fixture) + L"\\" + file);
    return path.empty() ? L"<no " + file + L">" : path;
}

TypeLibsCleared::TypeLibsCleared(std::initializer_list<const fixtures::TypeLibFixture*> list) : list(list)
{
    for (const auto* fixture : list)
        if (!RegisteredFile(*fixture).empty())
            ADD_FAILURE() << "left over from an earlier run: " << Narrow(fixture->libid);
}

TypeLibsCleared::~TypeLibsCleared()
{
    for (const auto* fixture : list)
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, TypeLibKey(*fixture).c_str());
}

ScratchClassesRoot::ScratchClassesRoot() : name_(L"Software\\MirdalScratchClasses-" + std::to_wstring(::GetCurrentProcessId()))
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    active_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root_.put(), nullptr) ==
                  ERROR_SUCCESS && ::RegOverridePredefKey(HKEY_CLASSES_ROOT, root_.get()) == ERROR_SUCCESS;
}

ScratchClassesRoot::~ScratchClassesRoot()
{
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    root_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
}

bool ScratchClassesRoot::Set(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, size_t bytes) const
{
    platform::UniqueKey opened;
    if (::RegCreateKeyExW(root_.get(), key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return type == REG_NONE || ::RegSetValueExW(opened.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                                static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

void ScratchClassesRoot::Library(const std::wstring& guid, std::optional<std::wstring> path, std::optional<std::wstring> name,
                                 const std::wstring& version) const
{
    const std::wstring key = L"TypeLib\\" + guid + L"\\" + version;
    EXPECT_TRUE(name ? Text(key, *name) : Set(key));
    if (path)
        EXPECT_TRUE(Text(key + L"\\0\\" + fixtures::kPlatformKey, *path));
}

void PrepareThread()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    // Once per program, as the program's own entry point does; never torn down mid-run.
    [[maybe_unused]] static HRESULT ole = ::OleInitialize(nullptr);
}

void WindowTest::ClearSettings()
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + platform::ExecutableBaseName()).c_str());
}

void WindowTest::SetUp()
{
    PrepareThread();
    ClearSettings();
    window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    Pump();
}

void WindowTest::TearDown()
{
    if (window && ::IsWindow(window->Hwnd())) {
        window->runState = frmMirdal::RunState::Idle;
        ::DestroyWindow(window->Hwnd());
    }
    DropQuit();
    ClearSettings();
}

void WindowTest::DropQuit()
{
    Pump();
    // The window's end posts WM_QUIT, which would stand before every message of the next window.
    MSG quit;
    while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

void WindowTest::Restart(const std::wstring& view, const std::wstring& path)
{
    ::DestroyWindow(window->Hwnd());
    DropQuit();
    ClearSettings();
    for (const auto& [name, value] : {std::pair{L"View", view}, {L"Path", path}})
        if (!value.empty())
            platform::SaveSetting(platform::ExecutableBaseName(), L"frmMirdal", name, value);
    window = frmMirdal::Create(::GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
}

std::vector<std::wstring> WindowTest::FileNames() const
{
    std::vector<std::wstring> names;
    for (int i = 0; i < window->lsvFile.ItemCount(); ++i)
        names.push_back(window->lsvFile.ItemText(i, 0));
    return names;
}

int WindowTest::RowOf(const std::wstring& name) const
{
    std::vector<std::wstring> names = FileNames();
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

std::vector<int> WindowTest::SelectedRows() const
{
    std::vector<int> rows;
    for (int i = window->lsvFile.NextSelected(-1); i >= 0; i = window->lsvFile.NextSelected(i))
        rows.push_back(i);
    return rows;
}

void WindowTest::SelectRows(const std::vector<int>& rows) const
{
    window->lsvFile.SetAllSelected(false);
    for (int row : rows) {
        EXPECT_GE(row, 0) << "a row that is not listed";
        if (row >= 0)
            window->lsvFile.SetSelected(row, true);
    }
}

std::string WindowTest::RunState() const
{
    const platform::Menu& bar = window->mnuMain;
    std::string state;
    for (auto [name, on] : {std::pair{"busy", window->IsBusy()}, {"panel", window->picRes.IsVisible()}, {"close", window->cmdClose.IsEnabled()},
                            {"toolbar", window->tlbMirdal.IsEnabled()}, {"file", bar.IsPositionEnabled(frmMirdal::FileMenuPosition)},
                            {"view", bar.IsPositionEnabled(frmMirdal::ViewMenuPosition)}})
        state += (state.empty() ? "" : " ") + std::string(on ? "" : "!") + name;
    return state;
}

std::wstring WindowTest::RunLog(const std::wstring& verb, const std::map<std::wstring, std::wstring>& outcomes,
                                const std::wstring& ending) const
{
    std::wstring log;
    for (int row : SelectedRows()) {
        auto outcome = outcomes.find(window->lsvFile.ItemText(row));
        log += BidiIsolated(window->FileRowAt(row).key) + verb + L"\r\n" + (outcome == outcomes.end() ? L"登録/解除に成功しました。" : outcome->second) +
               L"\r\n\r\n";
    }
    return log + ending;
}

std::vector<std::wstring> WindowTest::LibraryRows() const
{
    std::vector<std::wstring> rows;
    const platform::ListView& list = window->lsvReg;
    for (int i = 0; i < list.ItemCount(); ++i)
        rows.push_back(list.ItemText(i, 0) + L"|" + list.ItemText(i, 2) + L"|" + std::to_wstring(list.ItemImage(i)));
    return Sorted(rows);
}

void ClickAt(HWND control, POINT at)
{
    POINT screen = at;
    ::ClientToScreen(control, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    ::PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    Pump();
}

} // namespace testing_support
