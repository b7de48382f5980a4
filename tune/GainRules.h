#pragma once

// Speed- and position-loop gains from an identified machine, for the stiffness the user picks.
//
// The speed loop is a PI loop on the torque-producing current. Its proportional gain, in
// amperes per rad/s, is  Kv = wv J / Kt : with it the loop around the inertia J crosses over at
// wv. The integral's corner sits a quarter of that below (Ti = 4 / wv), so that it removes the
// Coulomb friction and a load torque without eating the phase margin, and the P position loop
// closes at a sixth of the speed loop (Kp = wv / 6), where the speed loop still follows it as a
// unity gain and the move's feed-forwards do the rest.
//
// The drives take the speed loop's proportional gain as the bandwidth itself (Hz, or 1/30 Hz in
// the stepper drives' unitless tables) and scale it by the total inertia they are told through
// the load inertia ratio; so the bandwidth parameter does not change with the load, and the
// ratio carries it.

#include "MachineIdentification.h"

namespace kestova::tune {

enum class Stiffness { Soft, Medium, Stiff };

// The speed loop's target bandwidth for each stiffness: soft 15 Hz for loose couplings and belts,
// medium 30 Hz, stiff 60 Hz for direct, rigid loads.
double SpeedBandwidthHz(Stiffness stiffness);

// The speed loop must stay well inside the current loop: at most a fifth of its bandwidth.
inline constexpr double kCurrentToSpeedBandwidth = 5.0;

struct SpeedPositionGains {
    double speedBandwidthHz = 0.0;
    double speedKp = 0.0;         // A per rad/s, as the drive applies it for this inertia
    double speedIntegralMs = 0.0; // integral time
    double positionGain = 0.0;    // 1/s
    double loadInertiaRatio = 0.0;
};

// The gains for `stiffness` on `machine`, the speed bandwidth capped by the current loop's
// bandwidth (`currentBandwidthHz`, 0 for no cap).
SpeedPositionGains SpeedPositionRule(Stiffness stiffness, const MachineModel& machine,
                                     const MotorData& motor, double currentBandwidthHz);

// How a drive model's parameter table counts these gains (found by its rows' names and units).
struct GainUnits {
    bool speedGainHz = true;           // else 1/30 Hz
    bool positionGainPerSecond = true; // else 1/50 s^-1
    bool speedIntegralIsTime = true;   // 0.1 ms; else an integral gain, time 1000/value ms
};

// The register values, rounded; ranges are the parameter table's business.
struct GainRegisterValues {
    int speedGain = 0;
    int speedIntegral = 0;
    int positionGain = 0;
    int loadInertiaRatioPercent = 0;
};

GainRegisterValues InDriveUnits(const SpeedPositionGains& gains, const GainUnits& units);

} // namespace kestova::tune
