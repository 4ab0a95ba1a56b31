#include "register/pure/BidiIsolation.h"
#include "register/pure/HostProtocol.h"

#include <gtest/gtest.h>

namespace hp = host_protocol;

// Every registration under Wine carries requests and replies both ways; here what those runs cannot make.
TEST(HostProtocol, ACrashReplyDecodesAsAReplyOversizedTextIsRefusedAndExitCodesOfTheErrorSeveritiesAreExceptions)
{
    std::uint8_t out[hp::kReplyHeaderBytes + 20];
    ASSERT_EQ(hp::EncodeCrashReply(0xE06D7363u, 0x1A2B, L"crash.dll", 9, out, sizeof out), sizeof out - 2);
    hp::Reply decoded = hp::DecodeReplyHeader(out);
    EXPECT_EQ(decoded.status, hp::Status::Crashed);
    EXPECT_EQ(static_cast<std::uint32_t>(decoded.code), 0xE06D7363u);
    EXPECT_EQ(decoded.lastError, 0x1A2Bu);
    EXPECT_EQ(hp::Text(out + hp::kReplyHeaderBytes, *hp::TextUnits(out, hp::kPayloadLengthOffset)), u"crash.dll");
    // A name that does not fit is dropped, never cut or overrun.
    EXPECT_EQ(hp::EncodeCrashReply(0xC0000005u, 0, L"a-much-longer-name.dll", 22, out, sizeof out), hp::kReplyHeaderBytes);
    EXPECT_EQ(hp::TextUnits(out, hp::kPayloadLengthOffset), 0u);
    // The delay-load helper's DLL and function after the module; dropped first when they do not fit.
    std::uint8_t wide[hp::kReplyHeaderBytes + 64];
    size_t used = hp::EncodeCrashReply(0xC06D007Eu, 0x13D7E, L"kernelbase.dll", 14, wide, sizeof wide, L"late.dll\0Go", 11);
    hp::CrashPlace place = hp::DecodeCrashPayload(hp::Text(wide + hp::kReplyHeaderBytes, (used - hp::kReplyHeaderBytes) / 2));
    EXPECT_EQ(place.module + u"|" + place.dll + u"|" + place.function, u"kernelbase.dll|late.dll|Go");
    used = hp::EncodeCrashReply(0xC06D007Eu, 0, L"crash.dll", 9, out, sizeof out, L"late.dll\0Go", 11);
    place = hp::DecodeCrashPayload(hp::Text(out + hp::kReplyHeaderBytes, (used - hp::kReplyHeaderBytes) / 2));
    EXPECT_EQ(place.module + u"|" + place.dll + u"|" + place.function, u"crash.dll||");
    const std::uint8_t huge[]{1, 0, 0, 0, 1, 0, 0, 0x10};
    EXPECT_EQ(hp::TextUnits(huge, 4), std::nullopt);

    for (std::uint32_t code : {0xC0000005u, 0x80000100u, 0xE06D7363u, 0x80000003u})
        EXPECT_TRUE(hp::IsExceptionCode(code)) << std::hex << code;
    for (std::uint32_t code : {0u, 7u, 259u, 0x40010005u})
        EXPECT_FALSE(hp::IsExceptionCode(code)) << std::hex << code;
}

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
