// Pemrix32.dll driven through its exports against the fixture servers, on the real registry.
#include "TestSupport.h"
#include <oleauto.h>
#include <thread>

using namespace testing_support;

namespace {

enum Entry { RegisterW, UnregisterW, RegisterA, UnregisterA };

class PemrixTest : public testing::Test {
protected:
    void SetUp() override
    {
        dll_.reset(::LoadLibraryW((ProgramFolder() + L"Pemrix32.dll").c_str()));
        ASSERT_TRUE(dll_) << "cannot load Pemrix32.dll";
        // Plain names: the exports must not carry stdcall decoration.
        const char* names[] = {"RegisterOleLibraryW", "UnRegisterOleLibraryW", "RegisterOleLibrary", "UnRegisterOleLibrary"};
        for (int i = 0; i < 4; ++i)
            ASSERT_NE(entries_[i] = ::GetProcAddress(dll_.get(), names[i]), nullptr) << names[i] << " is not exported under its plain name";
    }
    // The ANSI entries get the path in the ANSI code page.
    LONG Call(Entry entry, const std::wstring& path) const
    {
        auto proc = reinterpret_cast<void (*)()>(entries_[entry]);
        return entry < RegisterA ? reinterpret_cast<LONG(WINAPI*)(LPCWSTR)>(proc)(path.c_str())
                                 : reinterpret_cast<LONG(WINAPI*)(LPCSTR)>(proc)(InCodePage(path).c_str());
    }
    std::vector<LONG> CallAll(const std::wstring& path) const
    {
        return {Call(RegisterW, path), Call(UnregisterW, path), Call(RegisterA, path), Call(UnregisterA, path)};
    }
    void RoundTrip(Entry registerEntry, const fixtures::TypeLibFixture& fixture, const std::wstring& path) const
    {
        SCOPED_TRACE(Narrow(path));
        TypeLibsCleared cleared{&fixture};
        EXPECT_EQ(Call(registerEntry, path), 0);
        EXPECT_WTEXT_EQ(path, RegisteredFile(fixture));
        EXPECT_EQ(::GetModuleHandleW(path.c_str()), nullptr) << "the server stays loaded after the call";
        EXPECT_EQ(Call(Entry(registerEntry + 1), path), 0);
        EXPECT_WTEXT_EQ(L"", RegisteredFile(fixture));
    }

    platform::UniqueModule dll_;
    FARPROC entries_[4] = {};
};

TEST_F(PemrixTest, WideAndAnsiEntriesRegisterAndUnregisterTheTypeLibrary)
{
    RoundTrip(RegisterW, fixtures::kFixtureA, FixturePath(fixtures::kFixtureA.file));
    RoundTrip(RegisterW, fixtures::kFixtureSpace, FixturePath(fixtures::kFixtureSpace.file));
    RoundTrip(RegisterA, fixtures::kFixtureB, FixturePath(fixtures::kFixtureB.file));
}

TEST_F(PemrixTest, AnsiEntriesReadThePathInTheAnsiCodePage)
{
    // Japanese in the path tells CP_ACP apart from reading the bytes as UTF-8 or Latin-1.
    if (::GetACP() != 932)
        GTEST_SKIP() << "needs ANSI code page 932 (a ja_JP.UTF-8 locale)";
    // Named after the process, so that runs side by side in one prefix never share it.
    ScratchFolder folder(L"ミルダル登録-" + std::to_wstring(::GetCurrentProcessId()));
    // Wine gives code page 932 for LC_ALL=ja_JP.* even when the C library could not load that
    // locale, and then cannot put Japanese names on disk; tests/wine-run.sh compiles one.
    ASSERT_NE(::GetFileAttributesW(folder.Path().c_str()), INVALID_FILE_ATTRIBUTES)
        << "code page 932 without a loadable ja_JP.UTF-8 locale: Japanese file names cannot exist";
    CopyFixture(fixtures::kFixtureB.file, folder.Path() + fixtures::kFixtureB.file);
    RoundTrip(RegisterA, fixtures::kFixtureB, folder.Path() + fixtures::kFixtureB.file);
}

TEST_F(PemrixTest, UnloadableFilesGiveMinusTwoAndServerResultsComeBackAsTheyAre)
{
    ScratchFolder folder(L"pemrix-load");
    EXPECT_EQ(CallAll(folder.Path() + L"missing.dll"), std::vector<LONG>(4, -2));
    EXPECT_EQ(CallAll(folder.File(L"x.dll", 64)), std::vector<LONG>(4, -2)) << "text, named like a program";
    EXPECT_EQ(CallAll(FixturePath(fixtures::kFixtureNoEntry)), std::vector<LONG>(4, -3));
    EXPECT_EQ(CallAll(FixturePath(fixtures::kFixtureDenied)), std::vector<LONG>(4, E_ACCESSDENIED));
}

TEST_F(PemrixTest, OleIsInitialisedForEachCallAndReleasedAfterIt)
{
    const std::wstring noEntry = FixturePath(fixtures::kFixtureNoEntry);
    // A thread already in the multithreaded apartment cannot take OLE.
    LONG inMta = 0;
    std::thread([&] {
        if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            inMta = Call(RegisterW, noEntry);
            ::CoUninitialize();
        }
    }).join();
    EXPECT_EQ(inMta, -1);

    // Every way out balances OleInitialize, or the thread would stay in its apartment.
    std::vector<LONG> results;
    std::thread([&] {
        for (const std::wstring& path : {std::wstring(L"Z:\\nowhere\\missing.dll"), noEntry, FixturePath(fixtures::kFixtureDenied)})
            results.push_back(Call(RegisterW, path));
        HRESULT afterwards = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        results.push_back(afterwards);
        if (SUCCEEDED(afterwards))
            ::CoUninitialize();
    }).join();
    EXPECT_EQ(results, (std::vector<LONG>{-2, -3, E_ACCESSDENIED, S_OK}));
}

// Fixtures.h names what the fixture servers were really built with.
TEST(FixturesHeader, MatchesTheEmbeddedTypeLibraries)
{
    for (const fixtures::TypeLibFixture* fixture : {&fixtures::kFixtureA, &fixtures::kFixtureB, &fixtures::kFixtureSpace}) {
        ITypeLib* lib = nullptr;
        ASSERT_EQ(::LoadTypeLibEx(FixturePath(fixture->file).c_str(), REGKIND_NONE, &lib), S_OK) << Narrow(fixture->file);
        TLIBATTR* attr = nullptr;
        ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
        wchar_t guid[40] = {};
        ::StringFromGUID2(attr->guid, guid, 40);
        BSTR name = nullptr, help = nullptr;
        lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
        EXPECT_WTEXT_EQ(std::wstring(fixture->libid) + L" " + fixture->version + L" lcid 0 " + fixture->name + L" " + fixture->name,
                        std::wstring(guid) + L" " + std::to_wstring(attr->wMajorVerNum) + L"." + std::to_wstring(attr->wMinorVerNum) +
                            L" lcid " + std::to_wstring(attr->lcid) + L" " + (name ? name : L"") + L" " + (help ? help : L""));
        lib->ReleaseTLibAttr(attr);
        ::SysFreeString(name);
        ::SysFreeString(help);
        lib->Release();
    }
}

} // namespace
