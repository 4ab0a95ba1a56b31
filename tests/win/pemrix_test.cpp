// Pemrix32.dll driven through its exports against the fixture servers, on the real registry.
#include "support/TestSupport.h"
#include "platform/UniqueHandle.h"
#include "../fixtures/Fixtures.h"

#include <oleauto.h>
#include <optional>
#include <thread>

using namespace testing_support;

namespace {

using WideEntry = LONG(WINAPI*)(LPCWSTR);
using AnsiEntry = LONG(WINAPI*)(LPCSTR);

// Empty when the text has no exact form in the ANSI code page.
std::string ToAnsi(const std::wstring& text)
{
    BOOL lossy = FALSE;
    int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, &lossy);
    std::string ansi(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), size, nullptr, &lossy);
    return lossy || size == 0 ? std::string() : ansi.substr(0, ansi.size() - 1);
}

std::wstring LibraryKey(const fixtures::TypeLibFixture& fixture)
{
    return std::wstring(L"TypeLib\\") + fixture.libid;
}

std::optional<std::wstring> RegisteredPath(const fixtures::TypeLibFixture& fixture)
{
    std::wstring key = LibraryKey(fixture) + L"\\" + fixture.version + L"\\0\\" + fixtures::kPlatformKey;
    std::wstring value(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &bytes)
        != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(bytes / sizeof(wchar_t) - 1);
    return value;
}

bool LibraryKeyExists(const fixtures::TypeLibFixture& fixture)
{
    platform::UniqueKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, LibraryKey(fixture).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void ExpectRegisteredAt(const char* file, int line, const fixtures::TypeLibFixture& fixture,
                        const std::wstring& path)
{
    std::optional<std::wstring> registered = RegisteredPath(fixture);
    if (!registered)
        ADD_FAILURE_AT(file, line) << "nothing registered for " << Narrow(fixture.libid);
    else if (*registered != path)
        ADD_FAILURE_AT(file, line) << "registered " << Narrow(*registered) << ", expected " << Narrow(path);
}

void ExpectUnregistered(const char* file, int line, const fixtures::TypeLibFixture& fixture)
{
    if (LibraryKeyExists(fixture))
        ADD_FAILURE_AT(file, line) << "still registered: " << Narrow(LibraryKey(fixture));
}

#define EXPECT_REGISTERED_AT(fixture, path) ExpectRegisteredAt(__FILE__, __LINE__, fixture, path)
#define EXPECT_UNREGISTERED(fixture) ExpectUnregistered(__FILE__, __LINE__, fixture)

// Whatever a failing test left behind, the library's key goes with the test.
struct RegistryCleanup {
    const fixtures::TypeLibFixture& fixture;
    ~RegistryCleanup() { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, LibraryKey(fixture).c_str()); }
};

class PemrixTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::wstring path = ProgramFolder() + L"Pemrix32.dll";
        dll_.reset(::LoadLibraryW(path.c_str()));
        ASSERT_TRUE(dll_) << "cannot load " << Narrow(path);
        // Plain names: the exports must not carry stdcall decoration.
        Resolve(registerW_, "RegisterOleLibraryW");
        Resolve(unregisterW_, "UnRegisterOleLibraryW");
        Resolve(registerA_, "RegisterOleLibrary");
        Resolve(unregisterA_, "UnRegisterOleLibrary");
    }

    template <class Fn>
    void Resolve(Fn& fn, const char* name)
    {
        FARPROC proc = ::GetProcAddress(dll_.get(), name);
        fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
        ASSERT_NE(proc, nullptr) << name << " is not exported under its plain name";
    }

    platform::UniqueModule dll_;
    WideEntry registerW_ = nullptr, unregisterW_ = nullptr;
    AnsiEntry registerA_ = nullptr, unregisterA_ = nullptr;
};

TEST_F(PemrixTest, WideEntriesRegisterAndUnregisterTheTypeLibrary)
{
    for (const fixtures::TypeLibFixture* fixture : {&fixtures::kFixtureA, &fixtures::kFixtureSpace}) {
        SCOPED_TRACE(Narrow(fixture->file));
        ASSERT_FALSE(LibraryKeyExists(*fixture)) << "left over from an earlier run";
        RegistryCleanup cleanup{*fixture};
        std::wstring path = FixturePath(fixture->file);

        EXPECT_EQ(registerW_(path.c_str()), 0);
        EXPECT_REGISTERED_AT(*fixture, path);
        // The server is unloaded again once the call returns.
        EXPECT_EQ(::GetModuleHandleW(path.c_str()), nullptr);

        EXPECT_EQ(unregisterW_(path.c_str()), 0);
        EXPECT_UNREGISTERED(*fixture);
    }
}

TEST_F(PemrixTest, AnsiEntriesReadThePathInTheAnsiCodePage)
{
    const fixtures::TypeLibFixture& fixture = fixtures::kFixtureB;
    ASSERT_FALSE(LibraryKeyExists(fixture)) << "left over from an earlier run";
    RegistryCleanup cleanup{fixture};

    std::wstring path = FixturePath(fixture.file);
    EXPECT_EQ(registerA_(ToAnsi(path).c_str()), 0);
    EXPECT_REGISTERED_AT(fixture, path);
    EXPECT_EQ(unregisterA_(ToAnsi(path).c_str()), 0);
    EXPECT_UNREGISTERED(fixture);

    // Japanese in the path tells CP_ACP apart from reading the bytes as UTF-8 or Latin-1.
    if (::GetACP() != 932)
        GTEST_SKIP() << "the Japanese half needs ANSI code page 932 (a ja_JP.UTF-8 locale)";
    // Named after the process, so that runs side by side in one prefix never share it.
    ScratchFolder folder(L"ミルダル登録-" + std::to_wstring(::GetCurrentProcessId()));
    // Wine gives code page 932 for LC_ALL=ja_JP.* even when the C library could not load that
    // locale, and then cannot put Japanese names on disk; tests/wine-run.sh compiles one.
    ASSERT_NE(::GetFileAttributesW(folder.Path().c_str()), INVALID_FILE_ATTRIBUTES)
        << "code page 932 without a loadable ja_JP.UTF-8 locale: Japanese file names cannot exist";
    std::wstring copy = folder.Path() + fixture.file;
    CopyFixture(fixture.file, copy);
    std::string ansiCopy = ToAnsi(copy);
    ASSERT_FALSE(ansiCopy.empty());
    EXPECT_EQ(registerA_(ansiCopy.c_str()), 0);
    EXPECT_REGISTERED_AT(fixture, copy);
    EXPECT_EQ(unregisterA_(ansiCopy.c_str()), 0);
    EXPECT_UNREGISTERED(fixture);
}

TEST_F(PemrixTest, FilesThatCannotBeLoadedGiveMinusTwo)
{
    ScratchFolder folder(L"pemrix-load");
    std::wstring text = folder.File(L"x.dll", 64); // "xxx...": text, named like a program

    for (const std::wstring& path : {folder.Path() + L"missing.dll", text}) {
        SCOPED_TRACE(Narrow(path));
        EXPECT_EQ(registerW_(path.c_str()), -2);
        EXPECT_EQ(unregisterW_(path.c_str()), -2);
        EXPECT_EQ(registerA_(ToAnsi(path).c_str()), -2);
        EXPECT_EQ(unregisterA_(ToAnsi(path).c_str()), -2);
    }
}

TEST_F(PemrixTest, ServerResultsComeBackAsTheyAre)
{
    std::wstring noEntry = FixturePath(fixtures::kFixtureNoEntry);
    EXPECT_EQ(registerW_(noEntry.c_str()), -3);
    EXPECT_EQ(unregisterW_(noEntry.c_str()), -3);
    EXPECT_EQ(registerA_(ToAnsi(noEntry).c_str()), -3);

    std::wstring denied = FixturePath(fixtures::kFixtureDenied);
    EXPECT_EQ(registerW_(denied.c_str()), E_ACCESSDENIED);
    EXPECT_EQ(unregisterW_(denied.c_str()), E_ACCESSDENIED);
    EXPECT_EQ(unregisterA_(ToAnsi(denied).c_str()), E_ACCESSDENIED);
}

TEST_F(PemrixTest, OleIsInitialisedForEachCallAndReleasedAfterIt)
{
    std::wstring noEntry = FixturePath(fixtures::kFixtureNoEntry);
    std::wstring denied = FixturePath(fixtures::kFixtureDenied);

    // A thread already in the multithreaded apartment cannot take OLE.
    LONG inMta = 0;
    std::thread([&] {
        if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            inMta = registerW_(noEntry.c_str());
            ::CoUninitialize();
        }
    }).join();
    EXPECT_EQ(inMta, -1);

    // Every way out balances OleInitialize, or the thread would stay in its apartment.
    LONG missing = 0, noEntryResult = 0, deniedResult = 0;
    HRESULT afterwards = E_FAIL;
    std::thread([&] {
        missing = registerW_(L"Z:\\nowhere\\missing.dll");
        noEntryResult = registerW_(noEntry.c_str());
        deniedResult = registerW_(denied.c_str());
        afterwards = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(afterwards))
            ::CoUninitialize();
    }).join();
    EXPECT_EQ(missing, -2);
    EXPECT_EQ(noEntryResult, -3);
    EXPECT_EQ(deniedResult, E_ACCESSDENIED);
    EXPECT_EQ(afterwards, S_OK);
}

// Fixtures.h names what the fixture servers were really built with.
TEST(FixturesHeader, MatchesTheEmbeddedTypeLibraries)
{
    for (const fixtures::TypeLibFixture* fixture :
         {&fixtures::kFixtureA, &fixtures::kFixtureB, &fixtures::kFixtureSpace}) {
        SCOPED_TRACE(Narrow(fixture->file));
        ITypeLib* lib = nullptr;
        ASSERT_EQ(::LoadTypeLibEx(FixturePath(fixture->file).c_str(), REGKIND_NONE, &lib), S_OK);
        TLIBATTR* attr = nullptr;
        ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
        wchar_t guid[40] = {};
        ::StringFromGUID2(attr->guid, guid, 40);
        EXPECT_WTEXT_EQ(fixture->libid, guid);
        EXPECT_WTEXT_EQ(fixture->version,
                        std::to_wstring(attr->wMajorVerNum) + L"." + std::to_wstring(attr->wMinorVerNum));
        EXPECT_EQ(attr->lcid, 0u);
        lib->ReleaseTLibAttr(attr);
        BSTR name = nullptr, help = nullptr;
        EXPECT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
        EXPECT_WTEXT_EQ(fixture->name, name ? name : L"");
        EXPECT_WTEXT_EQ(fixture->name, help ? help : L"");
        ::SysFreeString(name);
        ::SysFreeString(help);
        lib->Release();
    }
}

} // namespace
