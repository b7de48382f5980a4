// The drive's framing against published values and the link's documented frames, and the small
// parsers the model loading relies on.

#include "LineFaults.h"
#include "ModelDescription.h"
#include "RtuSlave.h"
#include "WireTiming.h"

#include <gtest/gtest.h>

#include <string>

using namespace kestova::sim;

namespace {

Bytes WithCrc(Bytes frame) {
    AppendRtuCrc(frame);
    return frame;
}

TEST(RtuCrc, matchesPublishedCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(RtuCrc(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x4B37);
}

TEST(RtuCrc, readOfDriveCodeCarriesKnownCrc) {
    const Bytes frame = WithCrc({0x01, 0x03, 0x00, 0xFD, 0x00, 0x01});
    EXPECT_EQ(frame, (Bytes{0x01, 0x03, 0x00, 0xFD, 0x00, 0x01, 0x15, 0xFA}));
}

TEST(RtuReplies, readReplyOfProtocolVersionMatchesTheLinksExpectation) {
    EXPECT_EQ(ReadReply(1, {300}), (Bytes{0x01, 0x03, 0x02, 0x01, 0x2C, 0xB8, 0x09}));
}

TEST(RtuReplies, writeEchoAndException) {
    EXPECT_EQ(WriteSingleReply(1, 0x10, 100),
              (Bytes{0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4}));
    const Bytes e = ExceptionReply(1, 0x03, ExceptionCode::IllegalDataAddress);
    ASSERT_EQ(e.size(), 5U);
    EXPECT_EQ(e[1], 0x83);
    EXPECT_EQ(e[2], 0x02);
    EXPECT_TRUE(RtuCrcMatches(e.data(), e.size()));
}

TEST(RtuReplies, blockPastOneTwentySevenRegistersKeepsTheLowByteOfItsCount) {
    const Bytes r = ReadReply(1, std::vector<std::uint16_t>(400, 0x1234));
    EXPECT_EQ(r.size(), 805U);
    EXPECT_EQ(r[2], static_cast<std::uint8_t>(800 & 0xFF));
    EXPECT_TRUE(RtuCrcMatches(r.data(), r.size()));
}

struct ScanCase {
    const char* name;
    Bytes bytes;
    ScanResult expected;
};

class ScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, classifiesTheFrontOfTheBuffer) {
    const ScanCase& c = GetParam();
    EXPECT_EQ(ScanRequest(c.bytes.data(), c.bytes.size()).result, c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ScanTable,
    ::testing::Values(
        ScanCase{"read", WithCrc({1, 3, 0, 0xFD, 0, 1}), ScanResult::Request},
        ScanCase{"write", WithCrc({1, 6, 0, 0x10, 0, 100}), ScanResult::Request},
        ScanCase{"write multiple", WithCrc({1, 0x10, 0, 0x15, 0, 2, 4, 0, 1, 0, 2}),
                 ScanResult::Request},
        ScanCase{"half a read", {1, 3, 0, 0xFD}, ScanResult::NeedMore},
        ScanCase{"multiple without its data", {1, 0x10, 0, 0x15, 0, 2, 4, 0}, ScanResult::NeedMore},
        ScanCase{"bad crc", {1, 3, 0, 0xFD, 0, 1, 0x15, 0xFB}, ScanResult::Garbage},
        ScanCase{"command buffer function", WithCrc({1, 0x20, 0, 0, 0, 1}), ScanResult::Unknown},
        ScanCase{"one byte", {1}, ScanResult::NeedMore}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (auto& ch : n) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return n;
    });

TEST(RtuScan, writeMultipleWithWrongByteCountIsAnsweredAsIllegalValue) {
    const Bytes f = WithCrc({1, 0x10, 0, 0x15, 0, 3, 4, 0, 1, 0, 2});
    const Scan s = ScanRequest(f.data(), f.size());
    ASSERT_EQ(s.result, ScanResult::Request);
    ASSERT_TRUE(s.request.malformed.has_value());
    EXPECT_EQ(*s.request.malformed, ExceptionCode::IllegalDataValue);
}

TEST(WireTiming, exchangeAt38400CountsTenBitsPerByteAndTheTurnaround) {
    WireTiming t;
    t.baud = 38400;
    t.turnaround = Micros(500);
    // 8 + 7 bytes = 150 bits = 3906.25 us, plus 500 us.
    EXPECT_NEAR(static_cast<double>(t.ExchangeTime(8, 7).count()), 4407, 2);
    EXPECT_EQ(t.FrameGap(), Micros(1750)); // 3.5 characters is shorter than the floor
    t.baud = 9600;
    EXPECT_NEAR(static_cast<double>(t.FrameGap().count()), 3646, 2);
    t.baud = 0;
    EXPECT_EQ(t.ExchangeTime(8, 805), Micros(0));
}

struct RangeCase {
    const char* text;
    bool ok;
    int low;
    int high;
};

class RangeTable : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTable, readsBothLimits) {
    const RangeCase& c = GetParam();
    const auto r = ParseRangeText(c.text);
    ASSERT_EQ(r.has_value(), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(r->first, c.low) << c.text;
        EXPECT_EQ(r->second, c.high) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RangeTable,
    ::testing::Values(RangeCase{"0-100", true, 0, 100}, RangeCase{"-500-500", true, -500, 500},
                      RangeCase{"-200--50", true, -200, -50},
                      RangeCase{"-100~100", true, -100, 100},
                      RangeCase{"(-100)-100", true, -100, 100}, RangeCase{" 10 - 20", true, 10, 20},
                      RangeCase{"0-65535", true, 0, 65535}, RangeCase{"", false, 0, 0},
                      RangeCase{"on/off", false, 0, 0}, RangeCase{"12", false, 0, 0}));

TEST(PackedBits, edgeIsLookedForBeforeMode) {
    EXPECT_EQ(PackedBitOf("Active pulse edge"), 1);
    EXPECT_EQ(PackedBitOf("Pulse input mode"), 0);
    EXPECT_EQ(PackedBitOf("Edge of the MODE input"), 1);
    EXPECT_EQ(PackedBitOf("Motor direction"), 2);
    EXPECT_FALSE(PackedBitOf("Speed loop gain").has_value());
}

TEST(PackedBits, registerDefaultPacksTheRowsDefaults) {
    ModelDescription m;
    ParameterRow mode{255, "Pulse input mode", 1, 0, 1, false, ""};
    ParameterRow edge{255, "Active pulse edge", 0, 0, 1, false, ""};
    ParameterRow dir{255, "Motor direction", 1, 0, 1, false, ""};
    AddParameterRows(m, {mode, edge, dir});
    ASSERT_EQ(m.parameters.size(), 1U);
    EXPECT_EQ(m.parameters[0].defaultValue, 5);
    EXPECT_EQ(m.parameters[0].high, 7);
}

TEST(LineFaults, countedSwitchActsOnTheNextRepliesOnly) {
    LineFaults f;
    f.Set(LineFault::CrcError, {.count = 2});
    const Bytes good = ReadReply(1, {7});
    for (int i = 0; i < 2; ++i) {
        const ReplyPlan p = f.Plan(good, 1, 3);
        EXPECT_FALSE(RtuCrcMatches(p.bytes.data(), p.bytes.size()));
    }
    EXPECT_EQ(f.Plan(good, 1, 3).bytes, good);
    EXPECT_EQ(f.Describe(), "none");
}

TEST(LineFaults, eachSwitchShapesTheReplyAsNamed) {
    const Bytes good = ReadReply(1, {7, 8});
    LineFaults f;
    f.Set(LineFault::StrayByte, {.count = 1});
    ReplyPlan p = f.Plan(good, 1, 3);
    EXPECT_EQ(p.bytes.size(), good.size() + 1);
    EXPECT_EQ(Bytes(p.bytes.begin() + 1, p.bytes.end()), good);

    f.Set(LineFault::ShortReply, {.count = 1});
    p = f.Plan(good, 1, 3);
    EXPECT_LT(p.bytes.size(), good.size());
    EXPECT_GE(p.bytes.size(), 1U);

    f.Set(LineFault::ExceptionReply, {.count = 1});
    f.SetExceptionCode(ExceptionCode::DeviceBusy);
    p = f.Plan(good, 1, 3);
    EXPECT_EQ(p.bytes, ExceptionReply(1, 3, ExceptionCode::DeviceBusy));

    f.Set(LineFault::NoReply, {.count = 1});
    EXPECT_FALSE(f.Plan(good, 1, 3).send);

    f.Set(LineFault::LateReply, {.count = 1});
    f.SetLateBy(Micros(250'000));
    EXPECT_EQ(f.Plan(good, 1, 3).extraDelay, Micros(250'000));

    f.Set(LineFault::LineNoise, {.count = 1});
    EXPECT_EQ(f.NoiseDue(Micros(0)).size(), 1U);
    EXPECT_TRUE(f.NoiseDue(Micros(1'000'000)).empty());
}

TEST(LineFaults, rateActsOnRoughlyThatShareOfReplies) {
    LineFaults f(42);
    f.Set(LineFault::NoReply, {.rate = 0.25});
    int dropped = 0;
    for (int i = 0; i < 4000; ++i) {
        dropped += f.Plan(ReadReply(1, {1}), 1, 3).send ? 0 : 1;
    }
    EXPECT_NEAR(dropped, 1000, 120);
}

TEST(LineFaults, namesRoundTrip) {
    for (std::size_t i = 0; i < kLineFaultCount; ++i) {
        const auto fault = static_cast<LineFault>(i);
        EXPECT_EQ(LineFaultFromName(LineFaultName(fault)), fault);
    }
    EXPECT_FALSE(LineFaultFromName("cosmic-ray").has_value());
}

} // namespace
