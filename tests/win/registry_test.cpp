// The registry readers and the registered-library scan against layouts built in a scratch
// HKEY_CLASSES_ROOT, the scan against Wine's own registrations, and the scan that remembers against
// changes made by Wine's reg.exe.
#include "TestSupport.h"
#include <algorithm>
#include "registry/LibraryScan.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"
#include "../fixtures/Fixtures.h"

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

// Libraries registered for the current user alone; removed afterwards, with the user's TypeLib key
// when they made it.
class UserLibraries {
public:
    UserLibraries()
    {
        platform::UniqueKey key;
        madeTypeLib_ = ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserTypeLib, 0, KEY_READ, key.put()) != ERROR_SUCCESS;
    }
    ~UserLibraries()
    {
        for (const std::wstring& guid : guids_)
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kUserTypeLib) + L"\\" + guid).c_str());
        if (madeTypeLib_)
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kUserTypeLib);
    }
    void Library(const std::wstring& guid, const std::wstring& path, const std::wstring& name)
    {
        guids_.push_back(guid);
        const std::wstring key = std::wstring(kUserTypeLib) + L"\\" + guid + L"\\1.0";
        for (const auto& [subKey, text] : {std::pair{key, name}, {key + L"\\0\\" + fixtures::kPlatformKey, path}})
            EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, subKey.c_str(), nullptr, REG_SZ, text.c_str(),
                                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
    }
    void Forget(const std::wstring& guid) { guids_.push_back(guid); }

private:
    bool madeTypeLib_ = false;
    std::vector<std::wstring> guids_;
};

struct RegistryReaders : ::testing::Test {
    ScratchClassesRoot classes;
    void SetUp() override { ASSERT_TRUE(classes.Active()); }
};
using LibraryScan = RegistryReaders;

TEST_F(RegistryReaders, GetEnumRegKeyListsSubKeysByName)
{
    // Created out of order: Wine, like Windows, hands sub-keys out by name, letter case ignored.
    const std::wstring longest(255, L'n'); // the longest name a key may have
    for (const std::wstring& key : Lines{L"empty", L"three\\c", L"three\\a", L"three\\B", L"long\\" + longest})
        ASSERT_TRUE(classes.Set(key));
    Lines keys{L"stale", L"stale"};
    EXPECT_EQ(GetEnumRegKey(classes.Root(), L"empty", keys), 0);
    EXPECT_EQ(keys, Lines{L""});

    EXPECT_EQ(GetEnumRegKey(HKEY_CLASSES_ROOT, L"three", keys), 3);
    EXPECT_EQ(keys, (Lines{L"a", L"B", L"c"}));

    EXPECT_EQ(GetEnumRegKey(classes.Root(), L"long", keys), 1);
    EXPECT_EQ(keys, Lines{longest});

    // The scan lists relative to an open key; the empty path names that key itself.
    EXPECT_EQ(GetEnumRegKey(classes.Root(), L"", keys), 3);
    EXPECT_EQ(keys, (Lines{L"empty", L"long", L"three"}));
    EXPECT_EQ(GetEnumRegKey(classes.Root(), L"missing", keys), -1);
    EXPECT_EQ(keys, Lines{L""});
}

TEST_F(RegistryReaders, GetRegDataReadsStringValuesWholeAndNothingElse)
{
    using namespace std::literals;
    const std::wstring long300 = std::wstring(299, L'v') + L"!", expandable = L"%SystemRoot%\\x.dll", bare(300, L'b');
    const struct { const wchar_t* name; DWORD type; std::wstring stored, read; } values[] = {
        {L"", REG_SZ, L"default\0"s, L"default"},
        {L"named", REG_SZ, L"\u30bf\u30a4\u30d7\0"s, L"\u30bf\u30a4\u30d7"},
        {L"long", REG_SZ, long300 + L'\0', long300},
        {L"expand", REG_EXPAND_SZ, expandable + L'\0', expandable},
        {L"bare", REG_SZ, bare, bare}, // no terminating NUL
        {L"inner", REG_SZ, L"ab\0cd\0"s, L"ab"},
        {L"dword", REG_DWORD, L"AA"s, L""}, // 0x00410041
        {L"binary", REG_BINARY, std::wstring(500, L'\x4141'), L""},
        {L"multi", REG_MULTI_SZ, L"a\0b\0\0"s, L""},
    };
    for (const auto& value : values)
        ASSERT_TRUE(classes.Set(L"k", value.name, value.type, value.stored.data(), value.stored.size() * sizeof(wchar_t)));
    for (const auto& value : values)
        EXPECT_EQ(GetRegData(classes.Root(), L"k", value.name), value.read) << value.name;
    EXPECT_EQ(GetRegData(HKEY_CLASSES_ROOT, L"k", L""), L"default");
    ASSERT_TRUE(classes.Set(L"unnamed"));
    for (const auto& [key, name] : {std::pair{L"k", L"missing"}, {L"unnamed", L""}, {L"missing", L""}})
        EXPECT_EQ(GetRegData(classes.Root(), key, name), L"") << key << " " << name;
}

TEST_F(LibraryScan, RowsTellWhetherTheRegistrationIsTheListedFile)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(280, L'd');
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"Exact");
    classes.Library(L"{2}", L"D:\\other\\y.dll", L"Elsewhere");
    classes.Library(L"{3}", L"C:\\Windows\\System32\\Z.OCX", L"Cased");
    classes.Library(L"{4}", L"C:\\PROGRA~1\\Mirdal\\w.dll", L"Short");
    classes.Library(L"{5}", L"v.dll", L"Bare");
    classes.Library(L"{6}", longFolder + L"\\u.dll", L"Long");
    classes.Library(L"{7}", L"C:\\lib\\t.dll", L"Unlisted");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}, {L"y.dll", L"C:\\lib\\y.dll"}, {L"z.ocx", L"C:\\WINDOWS\\SYSTEM32\\z.ocx"},
                    {L"w.dll", L"C:\\Program Files\\Mirdal\\w.dll"}, {L"v.dll", L"C:\\lib\\v.dll"}, {L"u.dll", longFolder + L"\\u.dll"}}),
              (Lines{L"Exact|1.0|C:\\lib\\x.dll|{1}|same", L"Elsewhere|1.0|D:\\other\\y.dll|{2}|other",
                     L"Cased|1.0|C:\\Windows\\System32\\Z.OCX|{3}|same", L"Short|1.0|C:\\PROGRA~1\\Mirdal\\w.dll|{4}|other",
                     L"Bare|1.0|v.dll|{5}|other", L"Long|1.0|" + longFolder + L"\\u.dll|{6}|same"}));
}

TEST_F(LibraryScan, NamesMatchTheFirstListedFileIgnoringCase)
{
    // Long enough that its sort key outgrows the first buffer.
    const std::wstring longName = std::wstring(120, L'\u30ab') + std::wstring(120, L'q'), longUpper = std::wstring(120, L'\u30ab') + std::wstring(120, L'Q');
    classes.Library(L"{1}", L"C:\\reg\\X.DLL", L"Upper");
    classes.Library(L"{2}", L"C:\\reg\\STRASSE.DLL", L"Sharp s");
    classes.Library(L"{3}", L"C:\\reg\\\uff59.dll", L"Wide");
    classes.Library(L"{4}", L"C:\\reg\\\u30a2.dll", L"Kana");
    classes.Library(L"{5}", L"C:\\two\\x.dll", L"Second");
    classes.Library(L"{6}", L"C:\\reg\\" + longUpper + L".DLL", L"Long");

    // Locale-aware: "ß" equals "SS" ignoring case; width and kana type still count.
    EXPECT_EQ(Scan({{longName + L".dll", L"C:\\reg\\" + longName + L".dll"}, {L"x.dll", L"C:\\one\\x.dll"}, {L"X.dll", L"C:\\two\\x.dll"},
                    {L"stra\u00dfe.dll", L"C:\\reg\\stra\u00dfe.dll"}, {L"y.dll", L"C:\\reg\\y.dll"}, {L"\u3042.dll", L"C:\\reg\\\u3042.dll"}}),
              (Lines{L"Upper|1.0|C:\\reg\\X.DLL|{1}|other", L"Sharp s|1.0|C:\\reg\\STRASSE.DLL|{2}|same",
                     L"Second|1.0|C:\\two\\x.dll|{5}|other", L"Long|1.0|C:\\reg\\" + longUpper + L".DLL|{6}|same"}));
}

TEST_F(LibraryScan, EachLibraryGivesItsOwnRowFromItsLastVersion)
{
    classes.Library(L"{1}", L"C:\\old\\x.dll", L"One old");
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"One new", L"2.0");
    classes.Library(L"{2}", L"C:\\else\\x.dll", L"Two");
    classes.Library(L"{3}", L"C:\\lib\\y.dll", L"Three old");
    classes.Library(L"{3}", L"C:\\lib\\y.dll", L"Three mid", L"1.a");
    classes.Library(L"{3}", L"C:\\new\\y.dll", L"Three new", L"10.0");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}, {L"y.dll", L"C:\\lib\\y.dll"}}),
              (Lines{L"One new|2.0/1.0|C:\\lib\\x.dll|{1}|same", L"Two|1.0|C:\\else\\x.dll|{2}|other",
                     L"Three new|16.0/1.10/1.0|C:\\new\\y.dll|{3}|other"}));
}

TEST_F(LibraryScan, EitherPlatformsPathCountsTheBuildsOwnFirst)
{
    const std::wstring own = fixtures::kPlatformKey, other = own == L"win64" ? L"win32" : L"win64";
    const auto path = [&](const std::wstring& guid, const std::wstring& platform, const std::wstring& file) {
        EXPECT_TRUE(classes.Text(L"TypeLib\\" + guid + L"\\1.0", L"Lib " + guid) && classes.Text(L"TypeLib\\" + guid + L"\\1.0\\0\\" + platform, file));
    };
    path(L"{1}", own, L"C:\\lib\\x.dll");
    path(L"{2}", other, L"C:\\lib\\x.dll");
    path(L"{3}", other, L"C:\\other\\x.dll"), path(L"{3}", own, L"C:\\own\\x.dll");
    path(L"{4}", own, L"C:\\own\\unlisted.dll"), path(L"{4}", other, L"C:\\lib\\x.dll");
    // A library stored as another resource than the first: its index follows the file name.
    path(L"{5}", own, L"C:\\Windows\\System32\\vbscript.dll\\3");
    path(L"{6}", other, L"C:\\else\\x.dll\\2");
    ASSERT_TRUE(classes.Text(L"TypeLib\\{7}\\1.0\\9\\" + own, L"C:\\lib\\x.dll")); // locale 9 only
    classes.Library(L"{8}", std::nullopt, L"No path");
    classes.Library(L"{9}", L"C:\\lib\\", L"Folder");
    ASSERT_TRUE(classes.Set(L"TypeLib\\{A}"));
    // A newer version without a path hides the older one that has it.
    classes.Library(L"{B}", L"C:\\lib\\x.dll", L"Old");
    classes.Library(L"{B}", std::nullopt, L"New", L"2.0");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}, {L"VBScript.dll", L"C:\\WINDOWS\\SYSTEM32\\vbscript.dll"}}),
              (Lines{L"Lib {1}|1.0|C:\\lib\\x.dll|{1}|same", L"Lib {2}|1.0|C:\\lib\\x.dll|{2}|same", L"Lib {3}|1.0|C:\\own\\x.dll|{3}|other",
                     L"Lib {4}|1.0|C:\\lib\\x.dll|{4}|same", L"Lib {5}|1.0|C:\\Windows\\System32\\vbscript.dll\\3|{5}|same",
                     L"Lib {6}|1.0|C:\\else\\x.dll\\2|{6}|other"}));
}

TEST_F(LibraryScan, TheUsersOwnLibrariesShowOnceTheirsWinning)
{
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"Machine one");
    classes.Library(L"{3}", L"C:\\machine\\x.dll", L"Machine three");
    UserLibraries user;
    user.Library(L"{2}", L"C:\\user\\x.dll", L"User two");
    user.Library(L"{3}", L"C:\\lib\\x.dll", L"User three");
    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), (Lines{L"Machine one|1.0|C:\\lib\\x.dll|{1}|same", L"User two|1.0|C:\\user\\x.dll|{2}|other",
                                                           L"User three|1.0|C:\\lib\\x.dll|{3}|same"}));
}

TEST_F(LibraryScan, EmptyListOrMissingTypeLib)
{
    EXPECT_FALSE(ScanRegisteredLibraries({{L"x.dll", L"C:\\lib\\x.dll"}}).has_value());
    ASSERT_TRUE(classes.Set(L"TypeLib"));
    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), Lines{});
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"One");
    EXPECT_EQ(Scan({}), Lines{});
}

std::vector<ListedFile> SystemFiles()
{
    wchar_t system[MAX_PATH];
    EXPECT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(system) + L"\\";
    std::vector<ListedFile> files;
    for (const wchar_t* pattern : {L"*.dll", L"*.ocx"}) {
        WIN32_FIND_DATAW found;
        platform::UniqueFind find(::FindFirstFileW((folder + pattern).c_str(), &found));
        if (find)
            do
                files.push_back({found.cFileName, folder + found.cFileName});
            while (::FindNextFileW(find.get(), &found));
    }
    return files;
}

TEST(WineRegistrations, ScanFindsTheLibrariesOfSystem32)
{
    const Lines rows = Scan(SystemFiles());
    const auto count = [&](const wchar_t* part) {
        return std::ranges::count_if(rows, [&](const std::wstring& row) { return row.find(part) != std::wstring::npos; });
    };
    EXPECT_GT(count(L"|same"), 5) << "Wine registers type libraries of its own system folder";
    // Wine registers vbscript.dll's second library under the index 3.
    EXPECT_EQ(count(L"\\vbscript.dll\\3|"), 1);
}

// Wine's reg.exe changes the registry from another process, with /f.
void Reg(const std::wstring& arguments)
{
    EXPECT_EQ(RunProgram(L"reg.exe " + arguments + L" /f"), 0u) << Narrow(arguments);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

struct RememberingScan : ::testing::Test {
    const std::wstring one = L"{B5CA9200-0000-0000-0000-000000000001}", two = L"{B5CA9200-0000-0000-0000-000000000002}",
                       three = L"{B5CA9200-0000-0000-0000-000000000003}";
    ScratchFolder folder{L"remembering"};
    std::vector<ListedFile> files = SystemFiles();
    UserLibraries user;
    ::LibraryScan scan;

    void SetUp() override
    {
        files.insert(files.begin(), {L"x.dll", folder.File(L"x.dll")});
        user.Forget(two), user.Forget(three);
    }
    ~RememberingScan() override
    {
        for (const std::wstring& guid : {one, two, three})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + guid).c_str());
    }
    // Sets a library's path under a platform, and its name, through reg.exe.
    void Register(const std::wstring& root, const std::wstring& guid, const std::wstring& platform, const std::wstring& path) const
    {
        const std::wstring key = root + L"\\" + guid + L"\\1.0";
        Reg(L"add " + Quoted(key) + L" /ve /d " + Quoted(L"Lib " + guid));
        Reg(L"add " + Quoted(key + L"\\0\\" + platform) + L" /ve /d " + Quoted(path));
    }
    Lines Held() { return RowLines(scan.Scan(files)); }
};

TEST_F(RememberingScan, ChangesFromAnyProcessShowAtTheNextScan)
{
    const Lines before = Held();
    ASSERT_TRUE(scan.Holding()) << "no watch could be set";
    EXPECT_EQ(Held(), before);
    const std::wstring path = folder.Path() + L"x.dll", row = L"Lib " + one + L"|1.0|" + path + L"|" + one + L"|same";
    Register(L"HKCR\\TypeLib", one, fixtures::kPlatformKey, path);
    EXPECT_EQ(std::ranges::count(Held(), row), 1);
    Reg(L"delete HKCR\\TypeLib\\" + one);
    EXPECT_EQ(Held(), before);

    const std::wstring other = fixtures::kPlatformKey == std::wstring(L"win64") ? L"win32" : L"win64";
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"machine, other platform", [&] { Register(L"HKLM\\Software\\Classes\\TypeLib", two, other, L"D:\\x.dll\\2"); }},
        {"newer version, this process", [&] {
             const std::wstring newer = L"E:\\x.dll";
             ::RegSetKeyValueW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + two + L"\\2.0\\0\\" + other).c_str(), nullptr, REG_SZ, newer.c_str(),
                               static_cast<DWORD>((newer.size() + 1) * sizeof(wchar_t)));
         }},
        {"user's own, first one", [&] { Register(L"HKCU\\" + std::wstring(kUserTypeLib), three, fixtures::kPlatformKey, path); }},
        {"user's own, hiding the machine's", [&] { Register(L"HKCU\\" + std::wstring(kUserTypeLib), two, fixtures::kPlatformKey, L"F:\\x.dll"); }},
        {"name removed", [&] { Reg(L"delete " + Quoted(L"HKCU\\" + std::wstring(kUserTypeLib) + L"\\" + two + L"\\1.0") + L" /ve"); }},
        {"user's removed", [&] { Reg(L"delete " + Quoted(L"HKCU\\" + std::wstring(kUserTypeLib) + L"\\" + three)); }},
    };
    Lines previous = Held();
    for (const auto& [change, make] : changes) {
        make();
        const Lines held = Held();
        EXPECT_EQ(held, Scan(files)) << change;
        EXPECT_NE(held, previous) << change << ": the change shows in no row";
        EXPECT_TRUE(scan.Holding()) << change;
        previous = held;
    }
}

} // namespace
