#include "register/pure/HostProtocol.h"
#include "register/pure/HostRoute.h"

#include <gtest/gtest.h>

namespace hp = host_protocol;

TEST(HostRoute, EachMachineToItsHostOrNowhere)
{
    EXPECT_EQ(RouteImage(pe::Machine::X86, true), HostRoute::X86Host);
    EXPECT_EQ(RouteImage(pe::Machine::X64, true), HostRoute::X64Host);
    EXPECT_EQ(RouteImage(pe::Machine::X64, false), HostRoute::X64OnX86Windows);
    EXPECT_EQ(RouteImage(pe::Machine::Arm64, true), HostRoute::ForeignMachine);
    EXPECT_EQ(RouteImage(pe::Machine::NotPe, true), HostRoute::NotPe);
}

TEST(HostProtocol, RequestAndReplyCarryTheirFieldsAndRefuseOversizedText)
{
    std::vector<std::uint8_t> request = hp::EncodeRequest(hp::Operation::Unregister, u"C:\\登録.dll");
    ASSERT_EQ(request.size(), hp::kHeaderBytes + 2 * 9);
    EXPECT_EQ(hp::Word(request.data()), 2u);
    EXPECT_EQ(hp::TextUnits(request.data(), 4), 9u);
    EXPECT_EQ(hp::Text(request.data() + hp::kHeaderBytes, 9), u"C:\\登録.dll");

    std::vector<std::uint8_t> reply = hp::EncodeReply({hp::Status::Done, -2, 126, 3, 5, u"text"});
    ASSERT_EQ(reply.size(), hp::kReplyHeaderBytes + 8);
    hp::Reply decoded = hp::DecodeReplyHeader(reply.data());
    EXPECT_EQ(decoded.status, hp::Status::Done);
    EXPECT_EQ(decoded.code, -2);
    EXPECT_EQ(decoded.lastError, 126u);
    EXPECT_EQ(decoded.keys * 10 + decoded.values, 35u);
    EXPECT_EQ(hp::TextUnits(reply.data(), hp::kPayloadLengthOffset), 4u);

    std::vector<std::uint8_t> huge{1, 0, 0, 0, 1, 0, 0x10, 0};
    EXPECT_EQ(hp::TextUnits(huge.data(), 4), std::nullopt);
}

TEST(HostProtocol, ACrashReplyDecodesAsAReplyAndExitCodesOfTheErrorSeveritiesAreExceptions)
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

    for (std::uint32_t code : {0xC0000005u, 0x80000100u, 0xE06D7363u, 0x80000003u})
        EXPECT_TRUE(hp::IsExceptionCode(code)) << std::hex << code;
    for (std::uint32_t code : {0u, 7u, 259u, 0x40010005u})
        EXPECT_FALSE(hp::IsExceptionCode(code)) << std::hex << code;
}
