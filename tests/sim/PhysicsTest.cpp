// The drive's physics through its registers, as the motion test page sees it: current steps,
// motion profiles, and the alarms that physics raises.

#include "SimTestSupport.h"

#include <algorithm>
#include <cmath>

using namespace simtest;

namespace {

struct StepResponse {
    std::vector<std::int16_t> trace; // mA, 100 us apart
    double overshoot = 0;            // share of the target
    int riseSamples = -1;            // samples to 90 % of the target
};

StepResponse CurrentStep(Drive& d, std::uint16_t kp, std::uint16_t ki, std::uint16_t ma) {
    Regs r{d};
    r.W(0x41, 0);
    r.W(0xD0, 1);
    r.W(0x00, kp);
    r.W(0x01, ki);
    r.W(0x04, ma);
    r.W(0x02, 1);
    r.Seconds(r.R(0x46) * 100e-6); // the capture window
    StepResponse s;
    s.trace = r.Wave(1);
    r.W(0x02, 0);
    r.Seconds(0.05); // the winding lets go of the test current
    const auto peak = *std::max_element(s.trace.begin(), s.trace.end());
    s.overshoot = (peak - ma) / static_cast<double>(ma);
    for (std::size_t i = 0; i < s.trace.size(); ++i) {
        if (s.trace[i] >= 0.9 * ma) {
            s.riseSamples = static_cast<int>(i);
            break;
        }
    }
    return s;
}

class CurrentLoop : public ::testing::TestWithParam<int> {
protected:
    ModelDescription Model() const { return Builtin(GetParam()); }
};

TEST_P(CurrentLoop, lowGainsRiseSlowlyAndHighGainsOvershootMore) {
    Drive d(Model(), {});
    const StepResponse low = CurrentStep(d, 150, 150, 2000);
    const StepResponse tuned = CurrentStep(d, 1000, 1000, 2000);
    const StepResponse high = CurrentStep(d, 3000, 3000, 2000);
    ASSERT_GE(tuned.riseSamples, 0);
    EXPECT_TRUE(low.riseSamples < 0 || low.riseSamples > 4 * tuned.riseSamples)
        << low.riseSamples << " vs " << tuned.riseSamples;
    EXPECT_LT(low.overshoot, 0.02);
    EXPECT_LT(tuned.overshoot, 0.10);
    EXPECT_GT(high.overshoot, tuned.overshoot + 0.3);
    EXPECT_NEAR(tuned.trace.back(), 2000, 40);
    EXPECT_EQ(d.Alarms().Current(), 0);
}

TEST_P(CurrentLoop, absurdGainsGoUnstableAndTripOverCurrent) {
    Drive d(Model(), {});
    Regs r{d};
    CurrentStep(d, 20000, 20000, 2000);
    EXPECT_EQ(r.S(16), d.Model().alarms.overCurrent);
    EXPECT_EQ(r.R(0x02), 0) << "the trip ends the test";
    r.W(16, 0);
    r.Seconds(0.2);
    EXPECT_EQ(r.R(16), 0) << "the drive runs again on its own gains once cleared";
}

TEST_P(CurrentLoop, autoConfigurationKeepsItsOwnGains) {
    Drive d(Model(), {});
    Regs r{d};
    r.W(0x40, 1);
    EXPECT_EQ(r.R(0x00), 1000);
    const StepResponse s = CurrentStep(d, 20000, 20000, 2000);
    EXPECT_EQ(r.R(16), 0);
    EXPECT_LT(s.overshoot, 0.10);
    EXPECT_EQ(r.R(0x00), 1000);
}

INSTANTIATE_TEST_SUITE_P(Motors, CurrentLoop, ::testing::Values(1, 256), [](const auto& info) {
    return info.param == 1 ? std::string("stepper") : std::string("servo");
});

struct MoveCase {
    const char* name;
    bool database;
    int code;
    std::uint16_t speed;    // rpm
    std::uint16_t accel;    // rev/s^2
    std::uint16_t distance; // 0.01 rev
};

class MotionProfile : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MotionProfile, velocityReachesTheSpeedAndPositionEndsAtTheDistance) {
    const MoveCase& c = GetParam();
    if (c.database) {
        SKIP_WITHOUT_DATABASE();
    }
    Drive d(c.database ? FromDatabase(c.code) : Builtin(c.code), {});
    Regs r{d};
    r.Seconds(0.05);
    const int n = r.R(0x46);
    const double cpr = d.Plant().Constants().countsPerRev;
    const double moveSeconds = c.speed / 60.0 / c.accel + c.distance / 100.0 / (c.speed / 60.0);
    const auto m = static_cast<std::uint16_t>(moveSeconds * 1.6 / (n * 100e-6)) + 1;
    r.W(0x41, 2); // velocity feedback
    r.W(0x42, 4); // position feedback
    r.W(0x43, 8); // velocity target
    r.W(0x16, c.speed);
    r.W(0x15, c.accel);
    r.W(0x18, c.distance);
    r.W(0x19, 1);
    r.W(0xD0, m);
    r.W(0x14, 1);
    r.W(0x09, 1);
    r.Seconds(n * m * 100e-6 + 0.01);
    ASSERT_EQ(r.R(0xDA), 2);
    EXPECT_EQ(r.R(0x09), 0);
    EXPECT_EQ(r.R(16), 0);
    const auto velocity = r.Wave(1);
    const auto position = r.Wave(2);
    const auto target = r.Wave(3);
    // A move too short to reach the speed peaks where acceleration and braking meet.
    const double peak = std::min<double>(c.speed, 60.0 * std::sqrt(c.distance / 100.0 * c.accel));
    const auto vmax = *std::max_element(velocity.begin(), velocity.end());
    EXPECT_GE(vmax, 0.95 * peak);
    EXPECT_LE(vmax, 1.10 * peak);
    EXPECT_NEAR(*std::max_element(target.begin(), target.end()), peak, 0.05 * peak);
    const double expected = c.distance / 100.0 * cpr;
    // Positions are 16-bit counts from the arm, so long moves wrap.
    const auto wrapped =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(std::lround(expected)));
    EXPECT_NEAR(position.back(), wrapped, std::max(5.0, expected * 0.002));
    EXPECT_NEAR(velocity.back(), 0, 20);
}

INSTANTIATE_TEST_SUITE_P(Moves, MotionProfile,
                         ::testing::Values(MoveCase{"builtin_stepper", false, 1, 600, 100, 300},
                                           MoveCase{"builtin_servo", false, 256, 1500, 200, 300},
                                           MoveCase{"short_triangular_move", false, 1, 1000, 50,
                                                    20},
                                           MoveCase{"database_stepper", true, 12, 300, 50, 200},
                                           MoveCase{"database_servo", true, 21, 2000, 300, 1000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MotionSequence, backAndForthReturnsToTheStartAfterEachCycle) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x16, 600);
    r.W(0x15, 200);
    r.W(0x18, 100);
    r.W(0x19, 2);
    r.W(0x1B, 100);
    r.W(0x1C, 1);
    const auto start = d.Loops().FeedbackCounts();
    r.W(0x09, 1);
    r.Seconds(0.2);
    EXPECT_GT(d.Loops().FeedbackCounts() - start, 3000); // out ...
    r.Seconds(3);
    EXPECT_EQ(r.R(0x09), 0);
    EXPECT_NEAR(static_cast<double>(d.Loops().FeedbackCounts() - start), 0, 5); // ... and back
}

TEST(MotionSequence, counterClockwiseOneWayRepeatsWithTheInterval) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x16, 600);
    r.W(0x15, 200);
    r.W(0x18, 100);
    r.W(0x19, 3);
    r.W(0x1A, 1);
    r.W(0x1B, 500);
    const auto start = d.Loops().FeedbackCounts();
    r.W(0x09, 1);
    r.Seconds(0.4); // one move takes 0.15 s; the dwell holds the drive at one revolution
    EXPECT_NEAR(static_cast<double>(d.Loops().FeedbackCounts() - start), -4000, 5);
    r.Seconds(2);
    EXPECT_NEAR(static_cast<double>(d.Loops().FeedbackCounts() - start), -12000, 5);
}

TEST(MotionSequence, stopRampsDownAndReadsZero) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x16, 600);
    r.W(0x15, 100);
    r.W(0x18, 10000);
    r.W(0x09, 1);
    r.Seconds(0.5);
    r.W(0x09, 0);
    EXPECT_EQ(r.R(0x09), 1) << "still ramping down";
    r.Seconds(0.11);
    EXPECT_EQ(r.R(0x09), 0);
    r.Seconds(0.05);
    EXPECT_NEAR(d.Plant().Speed(), 0, 0.5);
}

TEST(Protection, aLoadTheMotorCannotMoveRaisesTheFollowingError) {
    DriveOptions o;
    o.load.torque = 5.0; // far beyond the stepper's torque
    Drive d(Builtin(1), o);
    Regs r{d};
    r.W(0x16, 300);
    r.W(0x18, 500);
    r.W(0x09, 1);
    r.Seconds(1.0);
    EXPECT_EQ(r.S(16), d.Model().alarms.followingError);
    EXPECT_EQ(r.R(0x09), 0);
}

TEST(Trigger, risingEdgeFiresOnceThroughTheLevel) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x16, 600);
    r.W(0x15, 100);
    r.W(0x18, 500);
    r.W(0x41, 2);
    r.W(0xD0, 1);
    r.W(0xF5, 2);   // velocity feedback
    r.W(0xF6, 0);   // active high: rising edge
    r.W(0xF7, 300); // rpm
    r.W(0x14, 1);
    r.Seconds(0.2);
    EXPECT_EQ(r.R(0xF8), 1) << "armed, standing still";
    r.W(0x09, 1);
    int guard = 0;
    while (r.R(0xF8) != 2 && guard++ < 10000) {
        d.Advance(1);
    }
    ASSERT_EQ(r.R(0xF8), 2);
    EXPECT_EQ(r.R(0xDA), 1);
    r.Seconds(0.05);
    EXPECT_EQ(r.R(0xDA), 2);
    const auto v = r.Wave(1);
    EXPECT_GE(v.front(), 300);
    EXPECT_LT(v.front(), 330);
    EXPECT_GT(v.back(), v.front()) << "still accelerating after the edge";
}

TEST(Trigger, fallingEdgeWaitsForTheSignalToComeDown) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x16, 600);
    r.W(0x15, 100);
    r.W(0x18, 1000);
    r.W(0x09, 1);
    r.Seconds(0.8); // cruising above the level: an active-low trigger must not fire on arming
    r.W(0x41, 2);
    r.W(0xF5, 2);
    r.W(0xF6, 1);
    r.W(0xF7, 300);
    r.W(0x14, 1);
    r.Seconds(0.1);
    EXPECT_EQ(r.R(0xF8), 1);
    int guard = 0;
    while (r.R(0xF8) != 2 && guard++ < 30000) {
        d.Advance(1);
    }
    ASSERT_EQ(r.R(0xF8), 2);
    r.Seconds(0.05);
    const auto v = r.Wave(1);
    EXPECT_LE(v.front(), 300);
    EXPECT_GT(v.front(), 270);
    EXPECT_LT(v.back(), v.front());
}

// Review item 10: a scope-only trace with a trigger writes the trigger and never the arm.
TEST(Trigger, settingTheTriggerArmsTheWaitAndALaterSettingStartsItAfresh) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x41, 128);
    r.W(0xD0, 1);
    r.W(0xF5, 128); // bus voltage: its ripple rises through 70.0 V every 10 ms
    r.W(0xF6, 0);
    r.W(0xF7, 700);
    r.Seconds(0.011);
    ASSERT_EQ(r.R(0xF8), 2);
    r.Seconds(r.R(0x46) * 100e-6);
    EXPECT_EQ(r.R(0xDA), 2);
    EXPECT_NEAR(r.Wave(1).front(), 700, 2);

    r.W(0xF7, 30000); // out of the signal's reach
    r.Seconds(0.05);
    EXPECT_EQ(r.R(0xF8), 1);
    EXPECT_EQ(r.R(0xDA), 1);
}

TEST(Trigger, positionSignalsCountFromTheArm) {
    Drive d(Builtin(1), {});
    Regs r{d};
    r.W(0x18, 100);
    r.W(0x09, 1);
    r.Seconds(2); // one revolution away from zero
    r.W(0x41, 4);
    r.W(0x42, 16);
    r.W(0x14, 1);
    r.Seconds(0.05);
    EXPECT_EQ(r.Wave(1).front(), 0);
    EXPECT_EQ(r.Wave(2).front(), 0);
}

} // namespace
