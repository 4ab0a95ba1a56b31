// The registry readers and the registered-library scan against layouts built in a scratch
// HKEY_CLASSES_ROOT, and the scan against Wine's own registrations.
#include "TestSupport.h"
#include "registry/LibraryScan.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"
#include "../fixtures/Fixtures.h"

using namespace testing_support;
using Lines = std::vector<std::wstring>;

namespace {

// One line per row, so a mismatch shows every field.
Lines Scan(const std::vector<ListedFile>& files)
{
    auto rows = ScanRegisteredLibraries(files);
    EXPECT_TRUE(rows.has_value()) << "TypeLib could not be listed";
    Lines lines;
    for (const RegisteredLibrary& row : rows.value_or(std::vector<RegisteredLibrary>{}))
        lines.push_back(row.name + L"|" + row.versions + L"|" + row.path + L"|" + row.guid + (row.sameFile ? L"|same" : L"|other"));
    return lines;
}

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

TEST_F(LibraryScan, OnlyAPathOfThisPlatformAndLocaleZeroCounts)
{
    classes.Library(L"{1}", L"C:\\lib\\x.dll", std::nullopt);
    const std::wstring platform = fixtures::kPlatformKey, other = platform == L"win64" ? L"win32" : L"win64";
    ASSERT_TRUE(classes.Text(L"TypeLib\\{2}\\1.0", L"Locale 9") && classes.Text(L"TypeLib\\{2}\\1.0\\9\\" + platform, L"C:\\lib\\x.dll"));
    ASSERT_TRUE(classes.Text(L"TypeLib\\{3}\\1.0\\0\\" + other, L"C:\\lib\\x.dll"));
    classes.Library(L"{4}", std::nullopt, L"No path");
    classes.Library(L"{5}", L"C:\\lib\\", L"Folder");
    ASSERT_TRUE(classes.Set(L"TypeLib\\{6}"));
    // A newer version without a path hides the older one that has it.
    classes.Library(L"{7}", L"C:\\lib\\x.dll", L"Old");
    classes.Library(L"{7}", std::nullopt, L"New", L"2.0");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), Lines{L"|1.0|C:\\lib\\x.dll|{1}|same"});
}

TEST_F(LibraryScan, EmptyListOrMissingTypeLib)
{
    EXPECT_FALSE(ScanRegisteredLibraries({{L"x.dll", L"C:\\lib\\x.dll"}}).has_value());
    ASSERT_TRUE(classes.Set(L"TypeLib"));
    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), Lines{});
    classes.Library(L"{1}", L"C:\\lib\\x.dll", L"One");
    EXPECT_EQ(Scan({}), Lines{});
}

std::wstring ReadDefault(const std::wstring& path)
{
    std::vector<wchar_t> text(32768);
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    return ::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                          text.data(), &bytes) == ERROR_SUCCESS ? text.data() : L"";
}

Lines SubKeys(const std::wstring& path)
{
    Lines names;
    platform::UniqueKey key;
    wchar_t name[256];
    ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put());
    for (DWORD i = 0, length = 256; ::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    return names;
}

bool Same(const std::wstring& left, const std::wstring& right)
{
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, left.c_str(), -1, right.c_str(), -1, nullptr, nullptr, 0) == CSTR_EQUAL;
}

TEST(WineRegistrations, ScanFindsTheLibrariesOfSystem32)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(system) + L"\\";
    std::vector<ListedFile> files;
    for (const wchar_t* pattern : {L"*.dll", L"*.ocx"}) {
        WIN32_FIND_DATAW found;
        platform::UniqueFind find(::FindFirstFileW((folder + pattern).c_str(), &found));
        ASSERT_TRUE(find);
        do
            files.push_back({found.cFileName, folder + found.cFileName});
        while (::FindNextFileW(find.get(), &found));
    }

    // The same walk written out plainly: full paths below HKEY_CLASSES_ROOT and a linear search.
    Lines expected;
    int ownFolder = 0;
    for (const std::wstring& guid : SubKeys(L"TypeLib")) {
        Lines versions = SubKeys(L"TypeLib\\" + guid);
        if (versions.empty())
            continue;
        const std::wstring key = L"TypeLib\\" + guid + L"\\" + versions.back();
        const std::wstring path = ReadDefault(key + L"\\0\\" + fixtures::kPlatformKey);
        const std::wstring fileName = path.substr(path.rfind(L'\\') + 1);
        for (const ListedFile& file : files) {
            if (fileName.empty() || !Same(file.text, fileName))
                continue;
            ownFolder += Same(path, file.key);
            expected.push_back(ReadDefault(key) + L"|" + GetVersionList(versions) + L"|" + path + L"|" + guid +
                               (Same(path, file.key) ? L"|same" : L"|other"));
            break;
        }
    }
    EXPECT_GT(ownFolder, 5) << "Wine registers type libraries of its own system folder";
    EXPECT_EQ(Scan(files), expected);
}

} // namespace
