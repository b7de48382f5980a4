// The rules of the tests' fields and of turning a capture into traces, without a drive.

#include "TestRegisters.h"
#include "WaveTraces.h"
#include "WholeMove.h"

#include <gtest/gtest.h>

using namespace kestova::motion;

TEST(FieldRules, decimalsAreTruncatedOnTheirDigits) {
    EXPECT_EQ(ScaledDecimal("1.239", 2), 123);
    EXPECT_EQ(ScaledDecimal("0.29", 2), 29); // 0.29 x 100 in binary is 28.999...
    EXPECT_EQ(ScaledDecimal("1.001", 3), 1001);
    EXPECT_EQ(ScaledDecimal("1.5", 3), 1500);
    EXPECT_EQ(ScaledDecimal("0.0009", 3), 0);
    EXPECT_EQ(ScaledDecimal(" -2.5A", 3), -2500);
    EXPECT_EQ(ScaledDecimal("12", 2), 1200);
    EXPECT_EQ(ScaledDecimal("abc", 3), 0);
}

TEST(FieldRules, traceTimeIsTenTimesTheRegisterAndNeverNegative) {
    EXPECT_EQ(TraceTimeFromRegister(150), 1500);
    EXPECT_EQ(TraceTimeFromRegister(-1), 1000);   // a failed read
    EXPECT_EQ(TraceTimeFromRegister(5000), 1000); // 50000 does not fit in 16 signed bits
}

TEST(Capture, blocksAreFiftyWordsAndTheRest) {
    EXPECT_EQ(BlockCount(230), 5);
    EXPECT_EQ(BlockLength(3, 230), 50);
    EXPECT_EQ(BlockLength(4, 230), 30);
    EXPECT_EQ(BlockCount(200), 4);
    EXPECT_EQ(BlockLength(3, 200), 50);
}

TEST(WaveTracesOf, aCaptureTakeTheChannelsWithASourceEachAtItsOwnWords) {
    const int n = 4;
    std::vector<std::int16_t> buffer(16);
    for (int i = 0; i < 16; ++i) {
        buffer[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 10 - 50);
    }
    const WaveTraces later = MakeWaveTraces(buffer, n, {2, 0, 4, 0}, true, 100, 3, 9999);
    EXPECT_EQ(later.timeSpan, 1); // 4 samples x 3 x 100 us = 1.2 ms
    EXPECT_TRUE(later.taken[0]);
    EXPECT_FALSE(later.taken[1]);
    EXPECT_TRUE(later.taken[2]);
    // The last point repeats the one before it.
    EXPECT_EQ(later.samples[0], (std::vector<float>{-50, -40, -30, -30}));
    EXPECT_EQ(later.samples[2], (std::vector<float>{30, 40, 50, 50}));

    const WaveTraces earlier = MakeWaveTraces(buffer, n, {0, 0, 0, 8}, false, 100, 3, 700);
    EXPECT_EQ(earlier.timeSpan, 700);
    EXPECT_EQ(earlier.samples[3], (std::vector<float>{70, 80, 90, 90}));
    // A channel whose words would lie past the buffer is not taken.
    EXPECT_FALSE(MakeWaveTraces(buffer, 5, {0, 0, 0, 8}, true, 100, 1, 0).taken[3]);
}

// A current step's 40 ms capture is shown in microseconds, whole; 100 ms and the earlier
// protocol's traces in ms.
TEST(WaveTracesOf, aCaptureUnder100MsIsTimedInMicroseconds) {
    const std::vector<std::int16_t> buffer(1600);
    const SweepTimeAxis fine = TimeAxisOf(MakeWaveTraces(buffer, 400, {64}, true, 100, 1, 0));
    EXPECT_STREQ(fine.unit, "us");
    EXPECT_EQ(fine.span, 40000);
    const SweepTimeAxis coarse = TimeAxisOf(MakeWaveTraces(buffer, 400, {64}, true, 100, 10, 0));
    EXPECT_STREQ(coarse.unit, "ms");
    EXPECT_EQ(coarse.span, 400);
    EXPECT_STREQ(TimeAxisOf(MakeWaveTraces(buffer, 200, {64}, false, 100, 1, 100)).unit, "ms");
}

// 600 rpm at 200 rev/s^2 over 3 revolutions lasts 350 ms: 525 ms with the settle, 14 steps of
// 400 samples 100 us apart. A short move turning back still gets its settle; a long one all the
// drive's sampling allows.
TEST(WholeMove, theWindowSpansTheMoveAndItsSettleAndTheTriggerTurnsWithTheMove) {
    MotionProfile p;
    p.speed = 600;
    p.acceleration = 200;
    p.distance = 300;
    CaptureSettings s;
    s.basePeriod = 100;
    s.sampleCount = 400;
    s.triggerSupported = true;
    FitToWholeMove(s, p);
    EXPECT_EQ(s.multiplier, 14);
    EXPECT_EQ(s.cyclic, 0);
    EXPECT_EQ(s.triggerSource, 8);
    EXPECT_EQ(s.triggerPolarity, 0);
    EXPECT_EQ(s.triggerLevel, 30);

    p.distance = 10; // a triangle of 44.7 ms, then 150 ms to settle
    p.rotation = 1;
    FitToWholeMove(s, p);
    EXPECT_EQ(s.multiplier, 5);
    EXPECT_EQ(s.triggerPolarity, 1);
    EXPECT_EQ(s.triggerLevel, -30);

    p.distance = 30000; // 30 s at 600 rpm
    FitToWholeMove(s, p);
    EXPECT_EQ(s.multiplier, kMaxMultiplier);
}
