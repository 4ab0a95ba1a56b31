// Pemrix32.dll through its exports, on the real registry: the entries the hosts call, and OLE left as
// each call found it.
#include "TestSupport.h"
#include "platform/Module.h"
#include <thread>

using namespace testing_support;

namespace {

struct PemrixTest : testing::Test {
    platform::UniqueModule dll{::LoadLibraryW((platform::ExecutableFolder() + L"Pemrix32.dll").c_str())};
    void SetUp() override { ASSERT_TRUE(dll) << "cannot load Pemrix32.dll"; }
    // Plain names: the exports must not carry stdcall decoration.
    template <class Path> LONG Call(const char* name, Path path) const
    {
        auto entry = reinterpret_cast<LONG(WINAPI*)(Path)>(reinterpret_cast<void*>(::GetProcAddress(dll.get(), name)));
        EXPECT_NE(entry, nullptr) << name << " is not exported under its plain name";
        return entry ? entry(path) : 1;
    }
};

TEST_F(PemrixTest, WideAndAnsiEntriesRegisterAndUnregisterTheTypeLibrary)
{
    TypeLibsCleared cleared{&fixtures::kFixtureSpace, &fixtures::kFixtureB};
    const std::wstring wide = FixturePath(fixtures::kFixtureSpace.file), ansi = FixturePath(fixtures::kFixtureB.file);
    EXPECT_EQ(Call("RegisterOleLibraryW", wide.c_str()), 0);
    EXPECT_EQ(Call("RegisterOleLibrary", InCodePage(ansi).c_str()), 0);
    EXPECT_WTEXT_EQ(wide + L"|" + ansi, RegisteredFile(fixtures::kFixtureSpace) + L"|" + RegisteredFile(fixtures::kFixtureB));
    EXPECT_EQ(::GetModuleHandleW(wide.c_str()), nullptr) << "the server stays loaded after the call";
    EXPECT_EQ(Call("UnRegisterOleLibraryW", wide.c_str()), 0);
    EXPECT_EQ(Call("UnRegisterOleLibrary", InCodePage(ansi).c_str()), 0);
    EXPECT_WTEXT_EQ(L"|", RegisteredFile(fixtures::kFixtureSpace) + L"|" + RegisteredFile(fixtures::kFixtureB));
}

TEST_F(PemrixTest, OleIsInitialisedForEachCallAndReleasedAfterIt)
{
    const std::wstring noEntry = FixturePath(fixtures::kFixtureNoEntry);
    // A thread already in the multithreaded apartment cannot take OLE.
    LONG inMta = 0;
    std::thread([&] {
        if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            inMta = Call("RegisterOleLibraryW", noEntry.c_str());
            ::CoUninitialize();
        }
    }).join();
    EXPECT_EQ(inMta, -1);

    // Every way out balances OleInitialize, or the thread would stay in its apartment.
    std::vector<LONG> results;
    std::thread([&] {
        for (const std::wstring& path : {std::wstring(L"Z:\\nowhere\\missing.dll"), noEntry, FixturePath(fixtures::kFixtureDenied)})
            results.push_back(Call("RegisterOleLibraryW", path.c_str()));
        HRESULT afterwards = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        results.push_back(afterwards);
        if (SUCCEEDED(afterwards))
            ::CoUninitialize();
    }).join();
    EXPECT_EQ(results, (std::vector<LONG>{-2, -3, E_ACCESSDENIED, S_OK}));
}

} // namespace
