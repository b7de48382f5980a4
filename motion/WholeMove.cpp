#include "WholeMove.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestova::motion {

namespace {

// The channel source code of the velocity target.
constexpr int kVelocityTarget = 8;
constexpr double kLeastSettleMs = 150.0;
constexpr int kLeastStartLevel = 10;

} // namespace

double MoveDurationMs(const MotionProfile& profile) {
    const double v = std::abs(profile.speed) / 60.0; // rev/s
    const double a = std::abs(profile.acceleration);
    const double d = std::abs(profile.distance) / 100.0;
    if (v <= 0.0 || a <= 0.0 || d <= 0.0) {
        return 0.0;
    }
    const double peak = std::min(v, std::sqrt(d * a));
    return (2.0 * peak / a + (d - peak * peak / a) / peak) * 1000.0;
}

double WholeMoveWindowMs(const MotionProfile& profile) {
    const double move = MoveDurationMs(profile);
    return std::max(1.5 * move, move + kLeastSettleMs);
}

int WholeMoveMultiplier(const MotionProfile& profile, int basePeriodUs, int samples) {
    const double perMultiplierMs =
        static_cast<double>(std::max(basePeriodUs, 1)) * std::max(samples, 1) / 1000.0;
    const double m = std::ceil(WholeMoveWindowMs(profile) / perMultiplierMs - 1e-9);
    return static_cast<int>(std::clamp(m, 1.0, static_cast<double>(kMaxMultiplier)));
}

int StartLevel(const MotionProfile& profile) {
    const int level = std::max(kLeastStartLevel, std::abs(profile.speed) / 20);
    return profile.rotation == 0 ? level : -level;
}

void FitToWholeMove(CaptureSettings& s, const MotionProfile& profile) {
    s.multiplier = WholeMoveMultiplier(profile, s.basePeriod, s.sampleCount);
    s.cyclic = 0;
    if (!s.triggerSupported) {
        return;
    }
    s.triggerSource = kVelocityTarget;
    // "Active High" catches a rise through the level, "Active Low" a fall: the move's own way.
    s.triggerPolarity = profile.rotation == 0 ? 0 : 1;
    s.triggerLevel = StartLevel(profile);
}

} // namespace kestova::motion
