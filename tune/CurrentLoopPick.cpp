#include "CurrentLoopPick.h"

#include <cmath>

namespace kestova::tune {

namespace {
constexpr double kRingBand = 0.02; // share of the step
constexpr int kRingExcursions = 3;
// A first-order loop rises from 10 % to 90 % in ln(9) / wc = 0.35 / fc.
constexpr double kRiseTimesBandwidth = 0.35;
} // namespace

bool StepRings(const std::vector<float>& response, double target, double initial) {
    const double height = target - initial;
    if (height == 0.0) {
        return false;
    }
    const double band = kRingBand * std::abs(height);
    bool reached = false;
    int side = 0; // +1 above the band, -1 below, 0 not yet out of it
    int excursions = 0;
    for (float sample : response) {
        const double offset = (sample - target) * (height > 0 ? 1.0 : -1.0);
        if (!reached) {
            reached = offset >= 0.0;
            continue;
        }
        const int now = offset > band ? 1 : offset < -band ? -1 : 0;
        if (now != 0 && now != side) {
            ++excursions;
            side = now;
        }
    }
    return excursions >= kRingExcursions;
}

CurrentLoopPick PickCurrentLoop(const std::vector<CurrentStepResult>& series) {
    CurrentLoopPick pick;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const CurrentStepResult& r = series[i];
        if (!r.riseTime || !(*r.riseTime > 0.0) || r.ringing ||
            r.overshootPercent > kMaxCurrentOvershootPercent) {
            // Below the first failure only; a step that has not risen yet (too low a gain)
            // is no failure of the bound, just too slow.
            if (r.riseTime || r.ringing || r.overshootPercent > kMaxCurrentOvershootPercent) {
                break;
            }
            continue;
        }
        if (!pick.index || *r.riseTime < pick.riseTime) {
            pick.index = i;
            pick.setting = r.setting;
            pick.riseTime = *r.riseTime;
            pick.overshootPercent = r.overshootPercent;
            pick.bandwidthHz = kRiseTimesBandwidth / *r.riseTime;
        }
    }
    return pick;
}

} // namespace kestova::tune
