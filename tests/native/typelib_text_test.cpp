#include "registry/pure/TypeLibText.h"

#include <gtest/gtest.h>

TEST(ConvertHexVersion, EachPartReadsAsHexadecimal)
{
    EXPECT_EQ(ConvertHexVersion(L"1.0"), L"1.0");
    EXPECT_EQ(ConvertHexVersion(L"1.a"), L"1.10");
    EXPECT_EQ(ConvertHexVersion(L"2.1f"), L"2.31");
    EXPECT_EQ(ConvertHexVersion(L"10.0"), L"16.0");
    EXPECT_EQ(ConvertHexVersion(L"3"), L"3");
    EXPECT_EQ(ConvertHexVersion(L""), L"");
    EXPECT_EQ(ConvertHexVersion(L"A.bC.0f"), L"10.188.15");
    EXPECT_EQ(ConvertHexVersion(L"007.010"), L"7.16");
}

TEST(ConvertHexVersion, DigitsStopAtTheFirstNonHexCharacter)
{
    EXPECT_EQ(ConvertHexVersion(L"1.2g"), L"1.2");
    EXPECT_EQ(ConvertHexVersion(L"1.x5"), L"1.0");
    EXPECT_EQ(ConvertHexVersion(L"1 2.3"), L"1.3");
    EXPECT_EQ(ConvertHexVersion(L"1..2"), L"1.0.2");
    EXPECT_EQ(ConvertHexVersion(L"."), L"0.0");
    EXPECT_EQ(ConvertHexVersion(L"1."), L"1.0");
    EXPECT_EQ(ConvertHexVersion(L"\uff11.0"), L"0.0"); // a full-width digit is no hex digit
}

TEST(ConvertHexVersion, WidePartsReadUnsignedUpTo32Bits)
{
    EXPECT_EQ(ConvertHexVersion(L"ffff.8000"), L"65535.32768");
    EXPECT_EQ(ConvertHexVersion(L"1.12345"), L"1.74565");
    EXPECT_EQ(ConvertHexVersion(L"ffffffff.0"), L"4294967295.0");
    EXPECT_EQ(ConvertHexVersion(L"100000000.1"), L"0.1");
    EXPECT_EQ(ConvertHexVersion(L"1.ffffffffffffffffffff"), L"1.0");
    EXPECT_EQ(ConvertHexVersion(L"0000000000001.2"), L"1.2");
}

TEST(GetVersionList, JoinsConvertedVersionsInReverse)
{
    EXPECT_EQ(GetVersionList({L"1.0", L"2.0"}), L"2.0/1.0");
    EXPECT_EQ(GetVersionList({L"1.0", L"1.a", L"10.0"}), L"16.0/1.10/1.0");
    EXPECT_EQ(GetVersionList({L"2.1f"}), L"2.31");
    EXPECT_EQ(GetVersionList({}), L"");
    EXPECT_EQ(GetVersionList({L""}), L"");
    EXPECT_EQ(GetVersionList({L"1.0", L""}), L"/1.0");
}

TEST(RegisteredFileName, TakesThePartAfterTheLastBackslash)
{
    EXPECT_EQ(RegisteredFileName(L"C:\\Windows\\System32\\x.dll"), L"x.dll");
    EXPECT_EQ(RegisteredFileName(L"\\\\?\\C:\\a\\X.DLL"), L"X.DLL");
    EXPECT_EQ(RegisteredFileName(L"x.dll"), L"x.dll");
    EXPECT_EQ(RegisteredFileName(L"C:/dir/x.dll"), L"C:/dir/x.dll"); // only "\" separates
    EXPECT_EQ(RegisteredFileName(L"C:\\dir\\"), L"");
    EXPECT_EQ(RegisteredFileName(L"\\"), L"");
    EXPECT_EQ(RegisteredFileName(L""), L"");
}

TEST(RegisteredFileName, AResourceIndexAfterAFileNameIsPassedOver)
{
    EXPECT_EQ(RegisteredFileName(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"vbscript.dll");
    EXPECT_EQ(RegisteredFilePath(L"C:\\Windows\\System32\\vbscript.dll\\3"), L"C:\\Windows\\System32\\vbscript.dll");
    EXPECT_EQ(RegisteredFileName(L"x.ocx\\12"), L"x.ocx");
    EXPECT_EQ(RegisteredFileName(L"C:\\lib\\x.dll\\2a"), L"2a"); // not all digits
    EXPECT_EQ(RegisteredFileName(L"C:\\lib\\x.dll\\\uff13"), L"\uff13"); // a full-width digit is none
    // Nothing that could be a file in front of the digits: the digits are the name.
    EXPECT_EQ(RegisteredFileName(L"C:\\3"), L"3");
    EXPECT_EQ(RegisteredFileName(L"C:\\lib\\\\3"), L"3");
    EXPECT_EQ(RegisteredFileName(L"\\3"), L"3");
    EXPECT_EQ(RegisteredFileName(L"3"), L"3");
    EXPECT_EQ(RegisteredFilePath(L"C:\\lib\\x.dll"), L"C:\\lib\\x.dll");
    EXPECT_EQ(RegisteredFilePath(L"C:\\lib\\"), L"C:\\lib\\");
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
    EXPECT_EQ(MergeLibraryKeys({}, {L"{2}"}), (Keys{{L"{2}", true}}));
    EXPECT_EQ(MergeLibraryKeys({L"{1}", L"{3}", L"{5}"}, {L"{0}", L"{3}", L"{4}", L"{9}"}),
              (Keys{{L"{0}", true}, {L"{1}", false}, {L"{3}", true}, {L"{4}", true}, {L"{5}", false}, {L"{9}", true}}));
    // Letter case: the same library; and the registry's order, upper-cased ("A" < "_" < "}").
    EXPECT_EQ(MergeLibraryKeys({L"{ab}", L"{B_}"}, {L"{AB}", L"{bA}", L"{b}"}),
              (Keys{{L"{AB}", true}, {L"{bA}", true}, {L"{B_}", false}, {L"{b}", true}}));
    EXPECT_EQ(MergeLibraryKeys({}, {}), Keys{});
}
