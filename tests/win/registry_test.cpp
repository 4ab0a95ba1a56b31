// The registry readers and the registered-library scan against layouts built in a scratch
// HKEY_CLASSES_ROOT, and the scan against Wine's own registrations.
#include "platform/UniqueHandle.h"
#include "registry/LibraryScan.h"
#include "registry/RegistryReaders.h"
#include "registry/pure/TypeLibText.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

namespace {

using Where = std::source_location;
using Lines = std::vector<std::wstring>;

#ifdef _WIN64
const std::wstring kPlatform = L"win64", kOtherPlatform = L"win32";
#else
const std::wstring kPlatform = L"win32", kOtherPlatform = L"win64";
#endif

// One line per row, so a mismatch shows every field.
Lines Scan(const std::vector<ListedFile>& files, const Where& where = Where::current())
{
    ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "scanned here");
    auto rows = ScanRegisteredLibraries(files);
    EXPECT_TRUE(rows.has_value()) << "TypeLib could not be listed";
    Lines lines;
    for (const RegisteredLibrary& row : rows.value_or(std::vector<RegisteredLibrary>{}))
        lines.push_back(row.name + L"|" + row.versions + L"|" + row.path + L"|" + row.guid + (row.sameFile ? L"|same" : L"|other"));
    return lines;
}

// Points HKEY_CLASSES_ROOT of this process at a fresh key under HKEY_CURRENT_USER for one test.
class ScratchClassesRoot : public ::testing::Test {
protected:
    void SetUp() override
    {
        name_ = L"Software\\MirdalTest-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root_.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, root_.get()), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        EXPECT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
        root_.reset();
        EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str()), ERROR_SUCCESS);
    }

    HKEY Root() const { return root_.get(); }

    void Set(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, std::size_t bytes,
             const Where& where = Where::current())
    {
        ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "set here");
        platform::UniqueKey key;
        ASSERT_EQ(::RegCreateKeyExW(root_.get(), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        if (type != REG_NONE) {
            EXPECT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                       static_cast<DWORD>(bytes)), ERROR_SUCCESS);
        }
    }
    void Key(const std::wstring& path, const Where& where = Where::current()) { Set(path, L"", REG_NONE, nullptr, 0, where); }
    void Set(const std::wstring& path, const std::wstring& name, const std::wstring& text, const Where& where = Where::current())
    {
        Set(path, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t), where);
    }

    // TypeLib\guid\version named by its default value, its file under \0\<platform>; either may be left out.
    void Library(const std::wstring& guid, const std::wstring& version, std::optional<std::wstring> name,
                 std::optional<std::wstring> path, const Where& where = Where::current())
    {
        const std::wstring key = L"TypeLib\\" + guid + L"\\" + version;
        Key(key, where);
        if (name)
            Set(key, L"", *name, where);
        if (path)
            Set(key + L"\\0\\" + kPlatform, L"", *path, where);
    }

private:
    std::wstring name_;
    platform::UniqueKey root_;
};

using RegistryReaders = ScratchClassesRoot;

TEST_F(RegistryReaders, GetEnumRegKeyListsSubKeysByName)
{
    Lines keys{L"stale", L"stale"};
    Key(L"empty");
    EXPECT_EQ(GetEnumRegKey(Root(), L"empty", keys), 0);
    EXPECT_EQ(keys, Lines{L""});

    // Created out of order: Wine, like Windows, hands sub-keys out by name, letter case ignored.
    Key(L"three\\c");
    Key(L"three\\a");
    Key(L"three\\B");
    EXPECT_EQ(GetEnumRegKey(HKEY_CLASSES_ROOT, L"three", keys), 3);
    EXPECT_EQ(keys, (Lines{L"a", L"B", L"c"}));

    const std::wstring longest(255, L'n'); // the longest name a key may have
    Key(L"long\\" + longest);
    EXPECT_EQ(GetEnumRegKey(Root(), L"long", keys), 1);
    EXPECT_EQ(keys, Lines{longest});

    // The scan lists relative to an open key; the empty path names that key itself.
    EXPECT_EQ(GetEnumRegKey(Root(), L"", keys), 3);
    EXPECT_EQ(keys, (Lines{L"empty", L"long", L"three"}));

    EXPECT_EQ(GetEnumRegKey(Root(), L"missing", keys), -1);
    EXPECT_EQ(keys, Lines{L""});
}

TEST_F(RegistryReaders, GetRegDataReadsStringValuesWhole)
{
    const std::wstring long300 = std::wstring(299, L'v') + L"!";
    const std::wstring expandable = L"%SystemRoot%\\x.dll";
    const std::wstring bare(300, L'b');
    Set(L"k", L"", L"default");
    Set(L"k", L"named", L"\u30bf\u30a4\u30d7");
    Set(L"k", L"long", long300);
    Set(L"k", L"expand", REG_EXPAND_SZ, expandable.c_str(), (expandable.size() + 1) * sizeof(wchar_t));
    Set(L"k", L"bare", REG_SZ, bare.data(), bare.size() * sizeof(wchar_t)); // no terminating NUL
    Set(L"k", L"inner", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));

    EXPECT_EQ(GetRegData(HKEY_CLASSES_ROOT, L"k", L""), L"default");
    EXPECT_EQ(GetRegData(Root(), L"k", L"named"), L"\u30bf\u30a4\u30d7");
    EXPECT_EQ(GetRegData(Root(), L"k", L"long"), long300);
    EXPECT_EQ(GetRegData(Root(), L"k", L"expand"), expandable);
    EXPECT_EQ(GetRegData(Root(), L"k", L"bare"), bare);
    EXPECT_EQ(GetRegData(Root(), L"k", L"inner"), L"ab");
}

TEST_F(RegistryReaders, GetRegDataGivesEmptyTextForAnythingElse)
{
    const DWORD number = 0x00410041; // "AA" if it were taken as text
    const std::vector<BYTE> binary(1000, 'A');
    Set(L"k", L"dword", REG_DWORD, &number, sizeof number);
    Set(L"k", L"binary", REG_BINARY, binary.data(), binary.size());
    Set(L"k", L"multi", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));

    for (const wchar_t* name : {L"dword", L"binary", L"multi", L"missing", L""})
        EXPECT_EQ(GetRegData(Root(), L"k", name), L"") << name;
    EXPECT_EQ(GetRegData(Root(), L"missing", L""), L"");
}

using LibraryScan = ScratchClassesRoot;

TEST_F(LibraryScan, RowsTellWhetherTheRegistrationIsTheListedFile)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(280, L'd');
    Library(L"{1}", L"1.0", L"Exact", L"C:\\lib\\x.dll");
    Library(L"{2}", L"1.0", L"Elsewhere", L"D:\\other\\y.dll");
    Library(L"{3}", L"1.0", L"Cased", L"C:\\Windows\\System32\\Z.OCX");
    Library(L"{4}", L"1.0", L"Short", L"C:\\PROGRA~1\\Mirdal\\w.dll");
    Library(L"{5}", L"1.0", L"Bare", L"v.dll");
    Library(L"{6}", L"1.0", L"Long", longFolder + L"\\u.dll");
    Library(L"{7}", L"1.0", L"Unlisted", L"C:\\lib\\t.dll");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"},
                    {L"y.dll", L"C:\\lib\\y.dll"},
                    {L"z.ocx", L"C:\\WINDOWS\\SYSTEM32\\z.ocx"},
                    {L"w.dll", L"C:\\Program Files\\Mirdal\\w.dll"},
                    {L"v.dll", L"C:\\lib\\v.dll"},
                    {L"u.dll", longFolder + L"\\u.dll"}}),
              (Lines{L"Exact|1.0|C:\\lib\\x.dll|{1}|same",
                     L"Elsewhere|1.0|D:\\other\\y.dll|{2}|other",
                     L"Cased|1.0|C:\\Windows\\System32\\Z.OCX|{3}|same",
                     L"Short|1.0|C:\\PROGRA~1\\Mirdal\\w.dll|{4}|other",
                     L"Bare|1.0|v.dll|{5}|other",
                     L"Long|1.0|" + longFolder + L"\\u.dll|{6}|same"}));
}

TEST_F(LibraryScan, NamesMatchTheFirstListedFileIgnoringCase)
{
    // Long enough that its sort key outgrows the first buffer.
    const std::wstring longName = std::wstring(120, L'\u30ab') + std::wstring(120, L'q');
    const std::wstring longUpper = std::wstring(120, L'\u30ab') + std::wstring(120, L'Q');
    Library(L"{1}", L"1.0", L"Upper", L"C:\\reg\\X.DLL");
    Library(L"{2}", L"1.0", L"Sharp s", L"C:\\reg\\STRASSE.DLL");
    Library(L"{3}", L"1.0", L"Wide", L"C:\\reg\\\uff59.dll");
    Library(L"{4}", L"1.0", L"Kana", L"C:\\reg\\\u30a2.dll");
    Library(L"{5}", L"1.0", L"Second", L"C:\\two\\x.dll");
    Library(L"{6}", L"1.0", L"Long", L"C:\\reg\\" + longUpper + L".DLL");

    // Locale-aware: "ß" equals "SS" ignoring case; width and kana type still count.
    EXPECT_EQ(Scan({{longName + L".dll", L"C:\\reg\\" + longName + L".dll"},
                    {L"x.dll", L"C:\\one\\x.dll"},
                    {L"X.dll", L"C:\\two\\x.dll"},
                    {L"stra\u00dfe.dll", L"C:\\reg\\stra\u00dfe.dll"},
                    {L"y.dll", L"C:\\reg\\y.dll"},
                    {L"\u3042.dll", L"C:\\reg\\\u3042.dll"}}),
              (Lines{L"Upper|1.0|C:\\reg\\X.DLL|{1}|other",
                     L"Sharp s|1.0|C:\\reg\\STRASSE.DLL|{2}|same",
                     L"Second|1.0|C:\\two\\x.dll|{5}|other",
                     L"Long|1.0|C:\\reg\\" + longUpper + L".DLL|{6}|same"}));
}

TEST_F(LibraryScan, EachLibraryGivesItsOwnRowFromItsLastVersion)
{
    Library(L"{1}", L"1.0", L"One old", L"C:\\old\\x.dll");
    Library(L"{1}", L"2.0", L"One new", L"C:\\lib\\x.dll");
    Library(L"{2}", L"1.0", L"Two", L"C:\\else\\x.dll");
    Library(L"{3}", L"1.0", L"Three old", L"C:\\lib\\y.dll");
    Library(L"{3}", L"1.a", L"Three mid", L"C:\\lib\\y.dll");
    Library(L"{3}", L"10.0", L"Three new", L"C:\\new\\y.dll");

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}, {L"y.dll", L"C:\\lib\\y.dll"}}),
              (Lines{L"One new|2.0/1.0|C:\\lib\\x.dll|{1}|same",
                     L"Two|1.0|C:\\else\\x.dll|{2}|other",
                     L"Three new|16.0/1.10/1.0|C:\\new\\y.dll|{3}|other"}));
}

TEST_F(LibraryScan, OnlyAPathOfThisPlatformAndLocaleZeroCounts)
{
    Library(L"{1}", L"1.0", std::nullopt, L"C:\\lib\\x.dll");
    Set(L"TypeLib\\{2}\\1.0", L"", L"Locale 9");
    Set(L"TypeLib\\{2}\\1.0\\9\\" + kPlatform, L"", L"C:\\lib\\x.dll");
    Set(L"TypeLib\\{3}\\1.0\\0\\" + kOtherPlatform, L"", L"C:\\lib\\x.dll");
    Library(L"{4}", L"1.0", L"No path", std::nullopt);
    Library(L"{5}", L"1.0", L"Folder", L"C:\\lib\\");
    Key(L"TypeLib\\{6}");
    // A newer version without a path hides the older one that has it.
    Library(L"{7}", L"1.0", L"Old", L"C:\\lib\\x.dll");
    Library(L"{7}", L"2.0", L"New", std::nullopt);

    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), Lines{L"|1.0|C:\\lib\\x.dll|{1}|same"});
}

TEST_F(LibraryScan, EmptyListOrMissingTypeLib)
{
    EXPECT_FALSE(ScanRegisteredLibraries({{L"x.dll", L"C:\\lib\\x.dll"}}).has_value());
    Key(L"TypeLib");
    EXPECT_EQ(Scan({{L"x.dll", L"C:\\lib\\x.dll"}}), Lines{});
    Library(L"{1}", L"1.0", L"One", L"C:\\lib\\x.dll");
    EXPECT_EQ(Scan({}), Lines{});
}

std::wstring ReadDefault(const std::wstring& path)
{
    std::vector<wchar_t> text(32768);
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    LSTATUS status = ::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                    nullptr, text.data(), &bytes);
    return status == ERROR_SUCCESS ? text.data() : L"";
}

Lines SubKeys(const std::wstring& path)
{
    Lines names;
    platform::UniqueKey key;
    wchar_t name[256];
    DWORD length = 256;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        for (DWORD i = 0; ::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i, length = 256)
            names.emplace_back(name, length);
    return names;
}

bool Same(const std::wstring& left, const std::wstring& right)
{
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, left.c_str(), -1, right.c_str(), -1, nullptr, nullptr, 0) ==
           CSTR_EQUAL;
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
        const std::wstring path = ReadDefault(key + L"\\0\\" + kPlatform);
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
