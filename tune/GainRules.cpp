#include "GainRules.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestova::tune {

namespace {
constexpr double kIntegralCorner = 4.0; // Ti = 4 / wv
constexpr double kPositionShare = 6.0;  // Kp = wv / 6
} // namespace

double SpeedBandwidthHz(Stiffness stiffness) {
    switch (stiffness) {
    case Stiffness::Soft:
        return 15.0;
    case Stiffness::Medium:
        return 30.0;
    case Stiffness::Stiff:
        return 60.0;
    }
    return 30.0;
}

SpeedPositionGains SpeedPositionRule(Stiffness stiffness, const MachineModel& machine,
                                     const MotorData& motor, double currentBandwidthHz) {
    SpeedPositionGains g;
    g.speedBandwidthHz = SpeedBandwidthHz(stiffness);
    if (currentBandwidthHz > 0.0) {
        g.speedBandwidthHz =
            std::min(g.speedBandwidthHz, currentBandwidthHz / kCurrentToSpeedBandwidth);
    }
    const double wv = 2.0 * std::numbers::pi * g.speedBandwidthHz;
    g.speedKp = motor.torqueConstant > 0.0 ? wv * machine.inertia / motor.torqueConstant : 0.0;
    g.speedIntegralMs = kIntegralCorner / wv * 1000.0;
    g.positionGain = wv / kPositionShare;
    g.loadInertiaRatio = motor.rotorInertia > 0.0
                             ? std::max(0.0, machine.inertia / motor.rotorInertia - 1.0)
                             : machine.loadInertiaRatio;
    return g;
}

GainRegisterValues InDriveUnits(const SpeedPositionGains& gains, const GainUnits& units) {
    auto round = [](double v) { return static_cast<int>(std::lround(v)); };
    GainRegisterValues v;
    v.speedGain = round(units.speedGainHz ? gains.speedBandwidthHz : gains.speedBandwidthHz * 30.0);
    v.positionGain =
        round(units.positionGainPerSecond ? gains.positionGain : gains.positionGain * 50.0);
    v.speedIntegral = round(units.speedIntegralIsTime ? gains.speedIntegralMs * 10.0
                                                      : 1000.0 / gains.speedIntegralMs);
    v.loadInertiaRatioPercent = round(gains.loadInertiaRatio * 100.0);
    return v;
}

} // namespace kestova::tune
