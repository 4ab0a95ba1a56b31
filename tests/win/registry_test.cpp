// The registry readers and the registered-library scan against layouts built in a scratch
// HKEY_CLASSES_ROOT, and the scan that remembers against changes made by Wine's reg.exe. Then what runs
// in the registration host, tested in this process on the real registry: Pemrix32.dll through its exports,
// with OLE left as each call found it, and the registry redirections for what the window's runs over a type
// library do not reach: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS.
#include "TestSupport.h"
#include "register/RegistryRedirect.h"
#include <thread>
#include "registry/LibraryScan.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"

using namespace testing_support;
using Lines = std::vector<std::wstring>;

namespace {

// One line per row, so a mismatch shows every field.
Lines RowLines(const std::optional<std::vector<RegisteredLibrary>>& rows)
{
    EXPECT_TRUE(rows.has_value()) << "TypeLib could not be listed";
    Lines lines;
    for (const RegisteredLibrary& row : rows.value_or(std::vector<RegisteredLibrary>{}))
        lines.push_back(row.name + L"|" + row.versions + L"|" + row.path + L"|" + row.guid + (row.sameFile ? L"|same" : L"|other"));
    return lines;
}

Lines Scan(const std::vector<ListedFile>& files) { return RowLines(ScanRegisteredLibraries(files)); }

constexpr wchar_t kUserTypeLib[] = L"Software\\Classes\\TypeLib";

struct RegistryReaders : ::testing::Test {
    ScratchClassesRoot classes;
    void SetUp() override { ASSERT_TRUE(classes.Active()); }
};
using LibraryScan = RegistryReaders;

TEST_F(RegistryReaders, GetEnumRegKeyListsSubKeysByNameAndGetRegDataReadsStringValues)
{
    // Created out of order: Wine, like Windows, hands sub-keys out by name, letter case ignored.
    const std::wstring longest(255, L'n'); // the longest name a key may have
    for (const std::wstring& key : Lines{L"empty", L"three\\c", L"three\\a", L"three\\B", L"long\\" + longest})
        ASSERT_TRUE(classes.Set(key));
    auto list = [](HKEY root, const wchar_t* key) { Lines keys{L"stale", L"stale"}; const LONG count = GetEnumRegKey(root, key, keys); return std::pair(count, keys); };
    EXPECT_EQ(list(classes.Root(), L"empty"), std::pair(0L, Lines{L""}));
    EXPECT_EQ(list(HKEY_CLASSES_ROOT, L"three"), std::pair(3L, Lines{L"a", L"B", L"c"}));
    EXPECT_EQ(list(classes.Root(), L"long"), std::pair(1L, Lines{longest}));
    EXPECT_EQ(list(classes.Root(), L"missing"), std::pair(-1L, Lines{L""}));

    // String values are read whole, nothing else is.
    using namespace std::literals;
    const std::wstring long300 = std::wstring(299, L'v') + L"!", bare(300, L'b');
    const struct { const wchar_t* name; DWORD type; std::wstring stored, read; } values[] = {
        {L"", REG_SZ, L"\u30bf\u30a4\u30d7\0"s, L"\u30bf\u30a4\u30d7"}, {L"long", REG_SZ, long300 + L'\0', long300},
        {L"expand", REG_EXPAND_SZ, L"%SystemRoot%\0"s, L"%SystemRoot%"}, {L"bare", REG_SZ, bare, bare}, // no terminating NUL
        {L"inner", REG_SZ, L"ab\0cd\0"s, L"ab"}, {L"dword", REG_DWORD, L"AA"s, L""}, // 0x00410041
        {L"binary", REG_BINARY, std::wstring(500, L'\x4141'), L""}};
    for (const auto& value : values)
        ASSERT_TRUE(classes.Set(L"k", value.name, value.type, value.stored.data(), value.stored.size() * sizeof(wchar_t)));
    for (const auto& value : values)
        EXPECT_EQ(GetRegData(classes.Root(), L"k", value.name), value.read) << value.name;
    for (const auto& [key, name] : {std::pair{L"k", L"missing"}, {L"missing", L""}})
        EXPECT_EQ(GetRegData(classes.Root(), key, name), L"") << key << " " << name;
}

TEST_F(LibraryScan, RowsTellWhetherTheRegistrationIsTheFirstListedFileOfItsName)
{
    EXPECT_FALSE(ScanRegisteredLibraries({{L"x.dll", L"C:\\lib\\x.dll"}}).has_value()) << "no TypeLib key yet";
    // Long enough that its sort key outgrows the first buffer.
    const std::wstring longFolder = L"C:\\" + std::wstring(280, L'd'), longName = std::wstring(120, L'\u30ab') + std::wstring(120, L'q');
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"Exact");
    classes.Library(L"{2}", L"D:\\other\\y.dll", L"Elsewhere");
    classes.Library(L"{3}", L"C:\\WINDOWS\\STRASSE.DLL", L"Cased"); // "ß" equals "SS" ignoring case
    classes.Library(L"{4}", L"C:\\PROGRA~1\\Mirdal\\w.dll", L"Short");
    classes.Library(L"{5}", L"v.dll", L"Bare");
    classes.Library(L"{6}", longFolder + L"\\" + longName + L".DLL", L"Long");
    classes.Library(L"{7}", L"C:\\lib\\t.dll", L"Unlisted");
    classes.Library(L"{8}", L"C:\\two\\x.dll", L"Second");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}, {L"X.dll", L"C:\\two\\x.dll"}, {L"y.dll", L"C:\\lib\\y.dll"},
                    {L"stra\u00dfe.dll", L"C:\\Windows\\stra\u00dfe.dll"}, {L"w.dll", L"C:\\Program Files\\Mirdal\\w.dll"},
                    {L"v.dll", L"C:\\lib\\v.dll"}, {longName + L".dll", longFolder + L"\\" + longName + L".dll"}}),
              (Lines{L"Exact|1.0|C:\\lib\\x.dll|{1}|same", L"Elsewhere|1.0|D:\\other\\y.dll|{2}|other",
                     L"Cased|1.0|C:\\WINDOWS\\STRASSE.DLL|{3}|same", L"Short|1.0|C:\\PROGRA~1\\Mirdal\\w.dll|{4}|other",
                     L"Bare|1.0|v.dll|{5}|other", L"Long|1.0|" + longFolder + L"\\" + longName + L".DLL|{6}|same",
                     L"Second|1.0|C:\\two\\x.dll|{8}|other"}));
    EXPECT_EQ(Scan({}), Lines{});
}

TEST_F(LibraryScan, ThePathOfTheLastVersionCountsTheBuildsOwnPlatformFirst)
{
    const std::wstring own = fixtures::kPlatformKey, other = own == L"win64" ? L"win32" : L"win64";
    const auto path = [&](const std::wstring& guid, const std::wstring& platform, const std::wstring& file) {
        EXPECT_TRUE(classes.Text(L"TypeLib\\" + guid + L"\\1.0", L"Lib " + guid) && classes.Text(L"TypeLib\\" + guid + L"\\1.0\\0\\" + platform, file));
    };
    path(L"{1}", other, L"C:\\lib\\x.dll");
    path(L"{2}", other, L"C:\\other\\x.dll"), path(L"{2}", own, L"C:\\own\\x.dll");
    path(L"{3}", own, L"C:\\own\\unlisted.dll"), path(L"{3}", other, L"C:\\lib\\x.dll");
    // A library stored as another resource than the first: its index follows the file name.
    path(L"{4}", own, L"C:\\lib\\x.dll\\3");
    ASSERT_TRUE(classes.Text(L"TypeLib\\{5}\\1.0\\9\\" + own, L"C:\\lib\\x.dll")); // locale 9 only
    classes.Library(L"{6}", L"C:\\lib\\", L"Folder");
    ASSERT_TRUE(classes.Set(L"TypeLib\\{7}"));
    // A newer version without a path hides the older one that has it.
    classes.Library(L"{8}", L"C:\\lib\\x.dll", L"Old");
    classes.Library(L"{8}", std::nullopt, L"New", L"2.0");
    classes.Library(L"{9}", L"C:\\old\\x.dll", L"Nine old");
    classes.Library(L"{9}", L"C:\\lib\\x.dll", L"Nine new", L"a.0");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}),
              (Lines{L"Lib {1}|1.0|C:\\lib\\x.dll|{1}|same", L"Lib {2}|1.0|C:\\own\\x.dll|{2}|other", L"Lib {3}|1.0|C:\\lib\\x.dll|{3}|same",
                     L"Lib {4}|1.0|C:\\lib\\x.dll\\3|{4}|same", L"Nine new|10.0/1.0|C:\\lib\\x.dll|{9}|same"}));
}

// Wine's reg.exe changes the registry from another process, with /f.
void Reg(const std::wstring& arguments)
{
    EXPECT_EQ(RunProgram(L"reg.exe " + arguments + L" /f"), 0u) << Narrow(arguments);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

struct RememberingScan : ::testing::Test {
    const std::wstring one = L"{B5CA9200-0000-0000-0000-000000000001}", two = L"{B5CA9200-0000-0000-0000-000000000002}";
    const std::wstring userTypeLib = L"HKCU\\" + std::wstring(kUserTypeLib);
    ScratchFolder folder{L"remembering"};
    // The listed file, among whatever the live registry holds.
    std::vector<ListedFile> files{{L"x.dll", folder.File(L"x.dll")}};
    ::LibraryScan scan;
    // The user's TypeLib key, removed afterwards when the test made it.
    const bool madeUserTypeLib = !KeyExists(HKEY_CURRENT_USER, kUserTypeLib);

    ~RememberingScan() override
    {
        for (const std::wstring& guid : {one, two})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + guid).c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kUserTypeLib) + L"\\" + two).c_str());
        if (madeUserTypeLib)
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kUserTypeLib);
    }
    // Sets a library's path under a platform, and its name, through reg.exe.
    void Register(const std::wstring& root, const std::wstring& guid, const std::wstring& platform, const std::wstring& path) const
    {
        const std::wstring key = root + L"\\" + guid + L"\\1.0";
        Reg(L"add " + Quoted(key) + L" /ve /d " + Quoted(L"Lib " + guid));
        Reg(L"add " + Quoted(key + L"\\0\\" + platform) + L" /ve /d " + Quoted(path));
    }
};

TEST_F(RememberingScan, ChangesFromAnyProcessShowAtTheNextScanAsAFreshWalkSeesThem)
{
    Lines previous = RowLines(scan.Scan(files));
    ASSERT_TRUE(scan.Holding()) << "no watch could be set";
    const std::wstring own = fixtures::kPlatformKey, other = own == L"win64" ? L"win32" : L"win64";
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"machine's", [&] { Register(L"HKCR\\TypeLib", one, own, folder.Path() + L"x.dll"); }},
        {"machine's removed", [&] { Reg(L"delete HKCR\\TypeLib\\" + one); }},
        {"machine, other platform", [&] { Register(L"HKLM\\Software\\Classes\\TypeLib", two, other, L"D:\\x.dll\\2"); }},
        {"newer version, this process", [&] { SetKeyText(HKEY_CLASSES_ROOT, L"TypeLib\\" + two + L"\\2.0\\0\\" + other, L"E:\\x.dll"); }},
        {"user's own, hiding the machine's", [&] { Register(userTypeLib, two, own, folder.Path() + L"x.dll"); }},
        {"user's removed", [&] { Reg(L"delete " + Quoted(userTypeLib + L"\\" + two)); }}};
    for (const auto& [change, make] : changes) {
        make();
        const Lines held = RowLines(scan.Scan(files));
        EXPECT_EQ(held, Scan(files)) << change;
        EXPECT_NE(held, previous) << change << ": the change shows in no row";
        EXPECT_TRUE(scan.Holding()) << change;
        previous = held;
        if (std::string(change) == "user's own, hiding the machine's")
            EXPECT_EQ(std::ranges::count(held, L"Lib " + two + L"|1.0|" + folder.Path() + L"x.dll|" + two + L"|same"), 1);
    }
}

TEST_F(RememberingScan, AWalkStartedAheadServesTheFirstScanAndMissesNoChangeMadeMeanwhile)
{
    scan.WalkAhead();
    Register(L"HKCR\\TypeLib", one, fixtures::kPlatformKey, folder.Path() + L"x.dll");
    // The walk may have finished before the change or not; the watch set before it saw the change either way.
    RowLines(scan.Scan(files));
    ASSERT_TRUE(scan.Holding()) << "no watch could be set";
    const Lines rows = RowLines(scan.Scan(files));
    EXPECT_EQ(rows, Scan(files));
    EXPECT_EQ(std::ranges::count(rows, L"Lib " + one + L"|1.0|" + folder.Path() + L"x.dll|" + one + L"|same"), 1);
}

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

const std::wstring kProbe = L"Software\\Mirdal Probe";

bool CreateKey(HKEY root, const std::wstring& path)
{
    platform::UniqueKey key;
    return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

TEST(RegistryRedirect, ACaptureTakesEveryRootsKeysUnderTheirNamesAndThePerUserOneKeepsHklmInHkcu)
{
    std::vector<RegKeyRecord> records;
    {
        RegistryCapture capture;
        // A key without values or sub-keys is kept.
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe + L"\\Empty"));
        EXPECT_TRUE(CreateKey(HKEY_USERS, L".DEFAULT\\Mirdal Probe\\空 き"));
        DWORD one = 1;
        EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kProbe.c_str(), L"v", REG_DWORD, &one, sizeof one), ERROR_SUCCESS);
        records = capture.Read();
    }
    EXPECT_WTEXT_EQ(L"[HKEY_LOCAL_MACHINE\\Software\\Mirdal Probe\\Empty]\r\n\r\n"
                    L"[HKEY_CURRENT_USER\\Software\\Mirdal Probe]\r\n\"v\"=dword:00000001\r\n\r\n"
                    L"[HKEY_USERS\\.DEFAULT\\Mirdal Probe\\空 き]\r\n\r\n", RegKeysText(records));
    for (auto [root, path] : {std::pair{HKEY_LOCAL_MACHINE, kProbe}, {HKEY_CURRENT_USER, kProbe},
                              {HKEY_USERS, L".DEFAULT\\Mirdal Probe"}, {HKEY_CURRENT_USER, L"Software\\Mirdal\\Capture"}})
        EXPECT_FALSE(KeyExists(root, path)) << Narrow(path);

    {
        PerUserRedirect redirect;
        EXPECT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, kProbe));
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProbe));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProbe));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kProbe.c_str());
}

} // namespace
