#include "register/pure/RegFileText.h"
#include "registry/pure/TypeLibText.h"
#include "RegValues.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

std::wstring Values(const std::vector<RegValue>& values) { return RegKeysText({{L"HKEY_CLASSES_ROOT\\K", values}}); }

} // namespace

TEST(RegKeysText, KeysWithSpacesAndNonAsciiNamesAndEscapedStrings)
{
    EXPECT_EQ(RegFileHeader(), L"Windows Registry Editor Version 5.00\r\n\r\n");
    EXPECT_EQ(RegKeysText({{L"HKEY_CLASSES_ROOT\\TypeLib\\{A}\\1.0", {Sz(L"", L"Lib \"x\"")}},
                           {L"HKEY_CURRENT_USER\\Software\\My App\\ミルダル", {}},
                           {L"HKEY_LOCAL_MACHINE\\S", {Sz(L"C:\\dir\\", L"C:\\a b\\\"q\".dll"), Sz(L"名前", L""), Sz(L"@", L"at")}}}),
              L"[HKEY_CLASSES_ROOT\\TypeLib\\{A}\\1.0]\r\n@=\"Lib \\\"x\\\"\"\r\n\r\n"
              L"[HKEY_CURRENT_USER\\Software\\My App\\ミルダル]\r\n\r\n"
              L"[HKEY_LOCAL_MACHINE\\S]\r\n\"C:\\\\dir\\\\\"=\"C:\\\\a b\\\\\\\"q\\\".dll\"\r\n\"名前\"=\"\"\r\n\"@\"=\"at\"\r\n\r\n");
}

TEST(RegKeysText, EachTypeInTheFormRegeditWrites)
{
    EXPECT_EQ(Values({{L"d", kRegDword, {0x78, 0x56, 0x34, 0x12}}, {L"d3", kRegDword, {1, 2, 3}},
                      {L"b", kRegBinary, {0x00, 0xAB, 0xff}}, {L"e", kRegBinary, {}},
                      {L"x", kRegExpandSz, Utf16(L"%A%")}, {L"m", kRegMultiSz, Utf16(std::wstring(L"a\0b\0", 4))},
                      {L"n", kRegNone, {}}, {L"q", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}}, {L"big", 0x12345678, {7}}}),
              L"[HKEY_CLASSES_ROOT\\K]\r\n\"d\"=dword:12345678\r\n\"d3\"=hex(4):01,02,03\r\n\"b\"=hex:00,ab,ff\r\n\"e\"=hex:\r\n"
              L"\"x\"=hex(2):25,00,41,00,25,00,00,00\r\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n\"n\"=hex(0):\r\n"
              L"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n\"big\"=hex(12345678):07\r\n\r\n");
}

TEST(RegKeysText, StringsWithoutAnExactTextFormAreWrittenAsHex)
{
    EXPECT_EQ(Values({{L"odd", kRegSz, {0x41, 0x00, 0x00}}, {L"nul", kRegSz, Utf16(std::wstring(L"a\0b", 3))},
                      {L"open", kRegSz, Utf16(L"a", false)}, {L"none", kRegSz, {}}, {L"lf", kRegSz, Utf16(L"a\nb")}}),
              L"[HKEY_CLASSES_ROOT\\K]\r\n\"odd\"=hex(1):41,00,00\r\n\"nul\"=hex(1):61,00,00,00,62,00,00,00\r\n"
              L"\"open\"=hex(1):61,00\r\n\"none\"=hex(1):\r\n\"lf\"=hex(1):61,00,0a,00,62,00,00,00\r\n\r\n");
}

TEST(RegKeysText, LongHexWrapsAtRegeditsColumns)
{
    std::vector<std::uint8_t> data(60);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    std::wstring text = Values({{L"Bin", kRegBinary, data}});
    // 23 bytes after "Bin"=hex: (80 columns with the "\"), then 25 a line after two spaces.
    EXPECT_EQ(text, L"[HKEY_CLASSES_ROOT\\K]\r\n"
                    L"\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
                    L"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
                    L"  30,31,32,33,34,35,36,37,38,39,3a,3b\r\n\r\n");
}

TEST(Utf16LeWithBom, ByteOrderMarkThenLittleEndianUnits)
{
    EXPECT_EQ(Utf16LeWithBom(L"A\u30df\r\n"), (std::vector<std::uint8_t>{0xFF, 0xFE, 0x41, 0, 0xDF, 0x30, 0x0D, 0, 0x0A, 0}));
    EXPECT_EQ(Utf16LeWithBom(L"\U0001F600"), (std::vector<std::uint8_t>{0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(ConvertHexVersion, EachPartReadsAsHexadecimalUpToItsFirstNonHexCharacterWithin32Bits)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"", L""}, {L"3", L"3"}, {L"A.bC.0f", L"10.188.15"}, {L"1.2g", L"1.2"}, {L"1.x5", L"1.0"}, {L"1..2", L"1.0.2"},
        {L"\uff11.0", L"0.0"}, // a full-width digit is no hex digit
        {L"ffffffff.0", L"4294967295.0"}, {L"100000000.1", L"0.1"}, {L"1.ffffffffffffffffffff", L"1.0"}, {L"0000000000001.2", L"1.2"}};
    for (auto [version, expected] : cases)
        EXPECT_EQ(ConvertHexVersion(version), expected) << version;
}

TEST(GetVersionList, JoinsConvertedVersionsInReverse)
{
    EXPECT_EQ(GetVersionList({L"1.0", L"1.a", L"10.0"}), L"16.0/1.10/1.0");
    EXPECT_EQ(GetVersionList({}), L"");
    EXPECT_EQ(GetVersionList({L"1.0", L""}), L"/1.0");
}

TEST(RegisteredFileName, ThePartAfterTheLastBackslashPassingOverAResourceIndexAfterAFileName)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Windows\\System32\\x.dll", L"x.dll"}, {L"x.dll", L"x.dll"}, {L"C:/dir/x.dll", L"C:/dir/x.dll"}, // only "\" separates
        {L"C:\\dir\\", L""}, {L"C:\\lib\\x.dll\\2a", L"2a"}, // not all digits
        {L"C:\\lib\\x.dll\\\uff13", L"\uff13"},             // a full-width digit is none
        // Nothing that could be a file in front of the digits: the digits are the name.
        {L"C:\\3", L"3"}, {L"C:\\lib\\\\3", L"3"}, {L"\\3", L"3"}};
    for (auto [path, name] : cases)
        EXPECT_EQ(RegisteredFileName(path), name) << path;
    EXPECT_EQ(RegisteredFileName(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"vbscript.dll");
    EXPECT_EQ(RegisteredFilePath(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"C:\\Windows\\System32\\vbscript.dll");
}

TEST(MergeLibraryKeys, EachLibraryOnceInRegistryOrderTheUsersWinning)
{
    using Keys = std::vector<LibraryKey>;
    EXPECT_EQ(MergeLibraryKeys({L"{1}", L"{3}", L"{5}"}, {}), (Keys{{L"{1}", false}, {L"{3}", false}, {L"{5}", false}}));
    EXPECT_EQ(MergeLibraryKeys({L"{1}", L"{3}", L"{5}"}, {L"{0}", L"{3}", L"{4}", L"{9}"}),
              (Keys{{L"{0}", true}, {L"{1}", false}, {L"{3}", true}, {L"{4}", true}, {L"{5}", false}, {L"{9}", true}}));
    // Letter case: the same library; and the registry's order, upper-cased ("A" < "_" < "}").
    EXPECT_EQ(MergeLibraryKeys({L"{ab}", L"{B_}"}, {L"{AB}", L"{bA}", L"{b}"}),
              (Keys{{L"{AB}", true}, {L"{bA}", true}, {L"{B_}", false}, {L"{b}", true}}));
}
