// Step figures on responses whose answers are known in closed form.

#include "StepFigures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using kestova::ComputeStepFigures;

constexpr double kDt = 0.01;

// y = target (1 - exp(-t / tau)), sampled every kDt from the step on.
std::vector<float> FirstOrder(double tau, double target, double seconds) {
    std::vector<float> y;
    for (double t = 0.0; t <= seconds; t += kDt) {
        y.push_back(static_cast<float>(target * (1.0 - std::exp(-t / tau))));
    }
    return y;
}

// The unit step response of wn^2 / (s^2 + 2 zeta wn s + wn^2).
double SecondOrderAt(double zeta, double wn, double t) {
    const double wd = wn * std::sqrt(1.0 - zeta * zeta);
    return 1.0 - std::exp(-zeta * wn * t) *
                     (std::cos(wd * t) + zeta / std::sqrt(1.0 - zeta * zeta) * std::sin(wd * t));
}

std::vector<float> SecondOrder(double zeta, double wn, double seconds) {
    std::vector<float> y;
    for (double t = 0.0; t <= seconds; t += kDt) {
        y.push_back(static_cast<float>(SecondOrderAt(zeta, wn, t)));
    }
    return y;
}

TEST(StepFigures, FirstOrderRisesInLnNineTauAndSettlesInLnFiftyTau) {
    const double tau = 0.5;
    const auto f = ComputeStepFigures(FirstOrder(tau, 300.0, 8.0), kDt, 300.0);
    ASSERT_TRUE(f.valid);
    ASSERT_TRUE(f.riseTime && f.settlingTime);
    EXPECT_NEAR(*f.riseTime, std::log(9.0) * tau, 0.002);
    EXPECT_NEAR(*f.settlingTime, std::log(50.0) * tau, 0.002);
    EXPECT_EQ(f.overshootPercent, 0.0);
    EXPECT_NEAR(f.steadyStateError, 0.0, 0.05);
}

TEST(StepFigures, UnderdampedOvershootFollowsTheDampingRatio) {
    const double zeta = 0.3;
    const auto f = ComputeStepFigures(SecondOrder(zeta, 10.0, 4.0), kDt, 1.0);
    EXPECT_NEAR(f.overshootPercent, 100.0 * std::exp(-zeta * M_PI / std::sqrt(1.0 - zeta * zeta)),
                0.1);
}

// Settling is the last entry into the 2 % band: never out again after it, just out before.
TEST(StepFigures, SettlingIsTheLastEntryIntoTheBand) {
    const double zeta = 0.2;
    const double wn = 6.0;
    const auto f = ComputeStepFigures(SecondOrder(zeta, wn, 6.0), kDt, 1.0);
    ASSERT_TRUE(f.settlingTime);
    const double ts = *f.settlingTime;
    for (double t = ts + 1e-3; t <= 6.0; t += 1e-3) {
        ASSERT_LE(std::fabs(SecondOrderAt(zeta, wn, t) - 1.0), 0.0201) << t;
    }
    EXPECT_GT(std::fabs(SecondOrderAt(zeta, wn, ts - 0.01) - 1.0), 0.02);
}

TEST(StepFigures, ADownwardStepFromAnOffsetGivesTheSameFigures) {
    std::vector<float> down;
    for (float y : FirstOrder(0.5, 1.0, 8.0)) {
        down.push_back(100.0F - 300.0F * y); // 100 -> -200
    }
    const auto f = ComputeStepFigures(down, kDt, -200.0);
    ASSERT_TRUE(f.riseTime);
    EXPECT_NEAR(*f.riseTime, std::log(9.0) * 0.5, 0.002);
    EXPECT_EQ(f.overshootPercent, 0.0);
}

TEST(StepFigures, EndingShortOfTheTargetIsItsErrorAndNeverSettles) {
    const auto f = ComputeStepFigures(FirstOrder(0.2, 900.0, 3.0), kDt, 1000.0, 0.0);
    EXPECT_NEAR(f.steadyStateError, 100.0, 0.1);
    EXPECT_FALSE(f.riseTime); // 90 % of 1000 is never reached
    EXPECT_FALSE(f.settlingTime);
}

// A 600 rpm move of 200 rev/s^2 over 3 revolutions starting 20 ms into the capture: a 50 ms
// ramp whose feedback peaks at 717 rpm as the ramp ends and rings down to 597 rpm over the
// plateau, then the ramp down and rest. Sampled every ms.
std::vector<float> RingingMove(double start) {
    std::vector<float> y;
    for (double t = 0.0; t < 500.0; t += 1.0) {
        const double x = t - start;
        double v = 0.0;
        if (x >= 0.0 && x < 50.0) {
            v = 600.0 * x / 50.0;
        } else if (x >= 50.0 && x < 300.0) {
            v = 597.0 +
                120.0 * std::exp(-(x - 50.0) / 30.0) * std::cos(2.0 * M_PI * (x - 50.0) / 40.0);
        } else if (x >= 300.0 && x < 350.0) {
            v = 597.0 * (350.0 - x) / 50.0;
        }
        y.push_back(static_cast<float>(v));
    }
    return y;
}

TEST(MoveFigures, AMoveIsMeasuredAgainstItsPlateauOverTheWholeCapture) {
    const kestova::CommandedMove move = kestova::CommandedMoveMs(600.0, 200.0, 3.0);
    EXPECT_DOUBLE_EQ(move.speed, 600.0);
    EXPECT_DOUBLE_EQ(move.rampUp, 50.0);
    EXPECT_DOUBLE_EQ(move.plateau, 250.0);
    std::vector<float> error(500, 0.0F);
    error[60] = 300.0F;
    error[340] = -650.0F;
    const auto f = kestova::ComputeMoveFigures(RingingMove(20.0), 1.0, 20.0, move, &error);
    ASSERT_TRUE(f.valid);
    EXPECT_NEAR(f.overshootPercent, 19.5, 0.05);
    // The ring leaves the 2 % band (588..612 rpm) for the last time about 62 ms after the ramp,
    // where 120 e^(-x/30) |cos(2 pi x/40)| last reaches 15 rpm; the ramp down is no part of it.
    ASSERT_TRUE(f.settlingTime);
    EXPECT_GT(*f.settlingTime, 55.0);
    EXPECT_LT(*f.settlingTime, 70.0);
    EXPECT_NEAR(f.steadyStateError, 3.0, 0.1);
    ASSERT_TRUE(f.riseTime);
    EXPECT_NEAR(*f.riseTime, 40.0, 1.0);
    EXPECT_EQ(f.peakFollowingError, -650.0);
}

TEST(MoveFigures, AMoveTooShortToReachItsSpeedHasNoPlateau) {
    const kestova::CommandedMove move = kestova::CommandedMoveMs(-600.0, 200.0, 0.1);
    EXPECT_NEAR(move.speed, -60.0 * std::sqrt(20.0), 1e-9);
    EXPECT_NEAR(move.plateau, 0.0, 1e-9);
    const auto f = kestova::ComputeMoveFigures(std::vector<float>(100, -100.0F), 1.0, 0.0, move);
    EXPECT_FALSE(f.settlingTime);
    EXPECT_FALSE(f.peakFollowingError);
}

TEST(StepFigures, NoHeightNoFigures) {
    EXPECT_FALSE(ComputeStepFigures({5.0F, 5.0F, 5.0F}, kDt, 5.0).valid);
    EXPECT_FALSE(ComputeStepFigures({}, kDt, 5.0).valid);
}

} // namespace
