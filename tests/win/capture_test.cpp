// What a server writes: captured off the registry and exported as a .reg file, or registered for the current user.
#include "TestSupport.h"
#include "register/RegistrationLibrary.h"
#include "register/RegistryRedirect.h"
#include <algorithm>
#include <iterator>

using namespace testing_support;

namespace {

const std::wstring kProbe = L"Software\\Mirdal Probe";

bool KeyExists(HKEY root, const std::wstring& path)
{
    platform::UniqueKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::wstring& path)
{
    platform::UniqueKey key;
    return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

std::wstring Upper(std::wstring text)
{
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The records at or below a key path, as .reg text with upper-case key paths: a server's
// RegCreateKeyEx("Typelib") makes "Typelib" in an empty scratch key, but opens "TypeLib" for real.
std::wstring Below(std::vector<RegKeyRecord> records, const std::wstring& path)
{
    std::vector<RegKeyRecord> below;
    for (RegKeyRecord& record : records) {
        record.path = Upper(record.path);
        if (record.path == Upper(path) || record.path.starts_with(Upper(path) + L"\\"))
            below.push_back(record);
    }
    return RegKeysText(below);
}

// A type library's tree in the real HKEY_CLASSES_ROOT, as .reg text.
std::wstring RegisteredTree(const fixtures::TypeLibFixture& fixture)
{
    platform::UniqueKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, TypeLibKey(fixture).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"<none>";
    return Below(ReadRegistryTree(key.get(), L"HKEY_CLASSES_ROOT\\" + TypeLibKey(fixture)), L"HKEY_CLASSES_ROOT");
}

// Wine's own reg.exe, as a user would run it; its exit code.
DWORD RunReg(const std::wstring& arguments)
{
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system) + L"\\reg.exe\" " + arguments;
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        return ::GetLastError();
    platform::UniqueHandle thread(process.hThread), running(process.hProcess);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(running.get(), 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(running.get(), &code);
    return code;
}

TEST(RegistryCapture, KeepsTheServerOffTheRegistryAndItsFileImportsAsTheRegistration)
{
    const fixtures::TypeLibFixture& fixture = fixtures::kFixtureA;
    const std::wstring libraryPath = L"HKEY_CLASSES_ROOT\\" + TypeLibKey(fixture);
    TypeLibsCleared cleared{&fixture};
    RegistrationLibrary library;
    std::vector<RegKeyRecord> records;
    {
        RegistryCapture capture;
        EXPECT_EQ(library.Call(true, FixturePath(fixture.file)), 0);
        // Straight through the other three roots; a key without values or sub-keys is kept.
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe + L"\\Empty"));
        EXPECT_TRUE(CreateKey(HKEY_USERS, L".DEFAULT\\Mirdal Probe\\空 き"));
        DWORD one = 1;
        EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kProbe.c_str(), L"v", REG_DWORD, &one, sizeof one), ERROR_SUCCESS);
        records = capture.Read();
    }
    EXPECT_WTEXT_EQ(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\MIRDAL PROBE\\EMPTY]\r\n\r\n", Below(records, L"HKEY_LOCAL_MACHINE"));
    EXPECT_WTEXT_EQ(L"[HKEY_CURRENT_USER\\SOFTWARE\\MIRDAL PROBE]\r\n\"v\"=dword:00000001\r\n\r\n", Below(records, L"HKEY_CURRENT_USER"));
    EXPECT_WTEXT_EQ(L"[HKEY_USERS\\.DEFAULT\\MIRDAL PROBE\\空 き]\r\n\r\n", Below(records, L"HKEY_USERS"));
    EXPECT_WTEXT_EQ(L"<none>", RegisteredTree(fixture));
    for (auto [root, path] : {std::pair{HKEY_LOCAL_MACHINE, kProbe}, {HKEY_CURRENT_USER, kProbe},
                              {HKEY_USERS, L".DEFAULT\\Mirdal Probe"}, {HKEY_CURRENT_USER, L"Software\\Mirdal\\Capture"}})
        EXPECT_FALSE(KeyExists(root, path)) << Narrow(path);

    ScratchFolder folder(L"capture");
    const std::wstring file = folder.Path() + L"Fixture A.reg";
    // The file gets the keys as the server wrote them; the probes of the other roots stay out of it.
    std::vector<RegKeyRecord> classes;
    std::copy_if(records.begin(), records.end(), std::back_inserter(classes),
                 [](const RegKeyRecord& record) { return record.path.starts_with(L"HKEY_CLASSES_ROOT\\"); });
    std::vector<std::uint8_t> bytes = Utf16LeWithBom(RegFileHeader() + RegKeysText(classes));
    platform::UniqueFile out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    out.reset();
    ASSERT_EQ(RunReg(L"import \"" + file + L"\""), 0u);
    const std::wstring imported = RegisteredTree(fixture);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, TypeLibKey(fixture).c_str());

    EXPECT_EQ(library.Call(true, FixturePath(fixture.file)), 0);
    EXPECT_WTEXT_EQ(FixturePath(fixture.file), RegisteredFile(fixture));
    EXPECT_WTEXT_EQ(RegisteredTree(fixture), Below(records, libraryPath)) << "captured against registered";
    EXPECT_WTEXT_EQ(RegisteredTree(fixture), imported) << "imported against registered";
}

TEST(PerUserRedirect, RegistersUnderTheCurrentUserOnly)
{
    const fixtures::TypeLibFixture& fixture = fixtures::kFixtureB;
    const std::wstring userKey = L"Software\\Classes\\" + TypeLibKey(fixture);
    struct Cleanup {
        std::wstring userKey;
        ~Cleanup()
        {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey.c_str());
            ::RegDeleteTreeW(HKEY_CURRENT_USER, kProbe.c_str());
        }
    } cleanup{userKey};
    TypeLibsCleared cleared{&fixture};
    RegistrationLibrary library;
    {
        PerUserRedirect redirect;
        EXPECT_EQ(library.Call(true, FixturePath(fixture.file)), 0);
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe));
    }
    std::wstring value(MAX_PATH, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const std::wstring file = userKey + L"\\" + fixture.version + L"\\0\\" + fixtures::kPlatformKey;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, file.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size), ERROR_SUCCESS);
    EXPECT_WTEXT_EQ(FixturePath(fixture.file), value.c_str());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, userKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProbe));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProbe));

    {
        PerUserRedirect redirect;
        EXPECT_EQ(library.Call(false, FixturePath(fixture.file)), 0);
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userKey));
}

} // namespace
