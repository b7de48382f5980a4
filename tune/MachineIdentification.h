#pragma once

// The machine behind the motor, identified from captured back-and-forth moves: total inertia,
// viscous and Coulomb friction, by least squares over
//     Kt i = J dw/dt + B w + Fc sign(w).
// The equation is fitted in its integrated form over short windows of samples,
//     Kt (integral of i) = J (w_end - w_start) + B (integral of w) + Fc (integral of sign w),
// which needs no derivative of the quantised speed feedback: the speed difference across a
// window grows with the window while the feedback's quantisation error does not. Windows that
// come near zero speed are left out, where static friction holds the rotor and sign(w) is
// undefined. The speed feedback, filtered in the drive, lags the current; the fit aligns the two
// first.

#include <optional>
#include <vector>

namespace kestova::tune {

// A capture as the drive gives it: sample times, speed feedback and the torque-producing (q)
// current, one entry per sample.
struct MotionTrace {
    std::vector<double> time;      // s
    std::vector<double> speedRpm;  // speed feedback, rpm
    std::vector<double> currentMa; // q current, mA
};

// The motor's own data, from its rows in the model database.
struct MotorData {
    double torqueConstant = 0.0; // N m/A
    double rotorInertia = 0.0;   // kg m^2
};

// The database's motor rows carry the torque constant in 0.01 N m/A and the rotor inertia in
// 0.01 kg cm^2.
MotorData MotorDataFromTable(int torqueConstantHundredths, int rotorInertiaHundredthsKgCm2);

struct MachineModel {
    double inertia = 0.0;          // kg m^2, rotor and load together
    double viscousFriction = 0.0;  // N m s/rad
    double coulombFriction = 0.0;  // N m
    double loadInertiaRatio = 0.0; // load inertia over rotor inertia (never below 0)
    double speedLagSamples = 0.0;  // how far the speed feedback lagged the current
    int windowsUsed = 0;
    double residualRms = 0.0; // N m, of the fit's torque over a window's length
};

enum class IdentifyFailure {
    None,
    TooFewSamples,  // fewer usable windows than the fit needs
    NoAcceleration, // the speed hardly changes: inertia cannot be told apart
    Singular,       // the terms cannot be told apart (e.g. one ramp: inertia and Coulomb alike)
    NotPhysical,    // the fit gives no positive inertia, or the motor data are missing
};

struct Identification {
    std::optional<MachineModel> model; // set when failure is None
    IdentifyFailure failure = IdentifyFailure::None;
};

struct IdentifySettings {
    int windowSamples = 9;       // samples per integration window (8 intervals)
    double minSpeedShare = 0.05; // windows below this share of the peak speed are left out
    double minSpeedRpm = 3.0;    // and below this speed, whatever the peak
    int minWindows = 20;
    int maxLagSamples = 3; // the speed feedback's lag looked for, up to this many samples
};

Identification IdentifyMachine(const MotionTrace& trace, const MotorData& motor,
                               const IdentifySettings& settings = {});
// One fit over several moves, e.g. out and back at two speeds: the plateaus at two speeds tell
// viscous from Coulomb friction far better than the ramps of one move can.
Identification IdentifyMachine(const std::vector<MotionTrace>& traces, const MotorData& motor,
                               const IdentifySettings& settings = {});

} // namespace kestova::tune
