#include "registry/pure/TypeLibText.h"

#include <gtest/gtest.h>

TEST(ConvertHexVersion, EachPartReadsAsHexadecimalUpToItsFirstNonHexCharacterWithin32Bits)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"", L""}, {L"3", L"3"}, {L"A.bC.0f", L"10.188.15"}, {L"1.2g", L"1.2"}, {L"1.x5", L"1.0"}, {L"1..2", L"1.0.2"},
        {L"\uff11.0", L"0.0"}, // a full-width digit is no hex digit
        {L"ffffffff.0", L"4294967295.0"}, {L"100000000.1", L"0.1"}, {L"1.ffffffffffffffffffff", L"1.0"},
        {L"0000000000001.2", L"1.2"}};
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
        {L"C:\\Windows\\System32\\x.dll", L"x.dll"}, {L"x.dll", L"x.dll"},
        {L"C:/dir/x.dll", L"C:/dir/x.dll"}, // only "\" separates
        {L"C:\\dir\\", L""}, {L"C:\\lib\\x.dll\\2a", L"2a"}, // not all digits
        {L"C:\\lib\\x.dll\\\uff13", L"\uff13"},             // a full-width digit is none
        // Nothing that could be a file in front of the digits: the digits are the name.
        {L"C:\\3", L"3"}, {L"C:\\lib\\\\3", L"3"}, {L"\\3", L"3"}};
    for (auto [path, name] : cases)
        EXPECT_EQ(RegisteredFileName(path), name) << path;
    EXPECT_EQ(RegisteredFileName(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"vbscript.dll");
    EXPECT_EQ(RegisteredFilePath(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"C:\\Windows\\System32\\vbscript.dll");
}

TEST(PlatformKeys, TheBuildsOwnPlatformComesFirst)
{
    EXPECT_EQ(std::wstring(PlatformKeys(true)[0]) + L"," + PlatformKeys(true)[1], L"win64,win32");
    EXPECT_EQ(std::wstring(PlatformKeys(false)[0]) + L"," + PlatformKeys(false)[1], L"win32,win64");
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
