#include "CurrentLoopPick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace kestova::tune;

// Rising gains: faster and faster, then past 5 % overshoot, then ringing; a setting beyond the
// failures that looks good again is not taken.
TEST(CurrentLoopPick, risingSeries_takesFastestWithin5PercentAndNoRinging) {
    const std::vector<CurrentStepResult> series = {
        {250, std::nullopt, 0.0, false}, // too slow to reach 90 % in the window
        {500, 1.4e-3, 0.0, false},       {1000, 0.7e-3, 1.5, false}, {1500, 0.5e-3, 4.9, false},
        {2000, 0.4e-3, 7.0, false},      {2500, 0.35e-3, 4.0, true}, {3000, 0.3e-3, 3.0, false},
    };

    const CurrentLoopPick pick = PickCurrentLoop(series);

    ASSERT_TRUE(pick.index);
    EXPECT_EQ(*pick.index, 3u);
    EXPECT_EQ(pick.setting, 1500);
    EXPECT_NEAR(pick.bandwidthHz, 700.0, 1.0);

    std::vector<CurrentStepResult> ringing = series;
    ringing[3].ringing = true;
    EXPECT_EQ(PickCurrentLoop(ringing).setting, 1000);
    EXPECT_FALSE(PickCurrentLoop({{500, 1e-3, 9.0, false}}).index);
}

// A well-damped step overshoots once and settles; a ringing one swings about the target.
TEST(CurrentLoopPick, stepRings_onlyWhenItSwingsAboutTheTarget) {
    std::vector<float> damped;
    std::vector<float> ringing;
    for (int k = 0; k < 400; ++k) {
        const double t = k * 1e-4;
        const double wn = 2.0 * 3.14159265 * 600.0;
        auto response = [&](double zeta) {
            const double wd = wn * std::sqrt(1.0 - zeta * zeta);
            return 1.0 -
                   std::exp(-zeta * wn * t) *
                       (std::cos(wd * t) + zeta / std::sqrt(1.0 - zeta * zeta) * std::sin(wd * t));
        };
        damped.push_back(static_cast<float>(2000.0 * response(0.75)));
        ringing.push_back(static_cast<float>(2000.0 * response(0.2)));
    }
    EXPECT_FALSE(StepRings(damped, 2000.0));
    EXPECT_TRUE(StepRings(ringing, 2000.0));
}

} // namespace
