#include "register/pure/BidiIsolation.h"
#include <gtest/gtest.h>

TEST(BidiIsolated, OnlyTextWithBidiControlsIsIsolatedAndItsOwnIsolatesAreBalanced)
{
    const std::wstring plain = L"C:\\\x65E5\x672C\\\x05D0\x05D1.dll"; // Hebrew letters are no controls
    EXPECT_EQ(BidiIsolated(plain), plain);
    EXPECT_EQ(BidiIsolated(L""), L"");
    EXPECT_EQ(BidiIsolated(L"C:\\evil\x202E" L"exe.dll"), L"\x2068" L"C:\\evil\x202E" L"exe.dll\x2069");
    EXPECT_EQ(BidiIsolated(L"\x200F"), L"\x2068\x200F\x2069");
    // A pop of its own would end the isolate early, an isolate of its own would outlive it.
    EXPECT_EQ(BidiIsolated(L"a\x2069\x202E" L"b"), L"\x2068\x2068" L"a\x2069\x202E" L"b\x2069");
    EXPECT_EQ(BidiIsolated(L"a\x2067" L"b\x2066\x2069"), L"\x2068" L"a\x2067" L"b\x2066\x2069\x2069\x2069");
}
