#pragma once

// Back-and-forth moves for the identification tests: one from the equation of motion with known
// constants and seeded noise, one captured from the simulated drive's plant under its own loops.

#include "MachineIdentification.h"

#include <cmath>
#include <numbers>
#include <random>

namespace tunetest {

using namespace kestova::tune;

struct Move {
    double speedRadS = 2.0 * std::numbers::pi * 10.0; // 600 rpm
    double accel = 2.0 * std::numbers::pi * 100.0;    // 100 rev/s^2
    double plateau = 0.15;                            // s
    double dwell = 0.05;                              // s between the two ways
};

struct Truth {
    double inertia = 3e-4;
    double viscous = 1e-3;
    double coulomb = 0.05;
    double kt = 0.4;
};

// Speed and acceleration of the move out and back at time t.
inline void MoveAt(const Move& m, double t, double& speed, double& accel) {
    const double ramp = m.speedRadS / m.accel;
    const double way = 2.0 * ramp + m.plateau;
    double sign = 1.0;
    if (t >= way + m.dwell) {
        t -= way + m.dwell;
        sign = -1.0;
    } else if (t >= way) {
        speed = accel = 0.0;
        return;
    }
    if (t < ramp) {
        speed = m.accel * t;
        accel = m.accel;
    } else if (t < ramp + m.plateau) {
        speed = m.speedRadS;
        accel = 0.0;
    } else if (t < way) {
        speed = m.speedRadS - m.accel * (t - ramp - m.plateau);
        accel = -m.accel;
    } else {
        speed = accel = 0.0;
    }
    speed *= sign;
    accel *= sign;
}

// The move's samples every `interval` s, the current from the equation of motion with noise of
// `currentNoise` A (seeded), the speed rounded to whole rpm as the capture holds it.
inline MotionTrace SyntheticTrace(const Truth& truth, const Move& move, double interval,
                                  int samples, double currentNoise, unsigned seed = 25) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, currentNoise);
    MotionTrace trace;
    for (int k = 0; k < samples; ++k) {
        const double t = k * interval;
        double w = 0;
        double a = 0;
        MoveAt(move, t, w, a);
        const double torque = truth.inertia * a + truth.viscous * w +
                              (w > 0   ? truth.coulomb
                               : w < 0 ? -truth.coulomb
                                       : 0.0);
        trace.time.push_back(t);
        trace.speedRpm.push_back(std::round(w * 60.0 / (2.0 * std::numbers::pi)));
        trace.currentMa.push_back(std::round((torque / truth.kt + noise(random)) * 1000.0));
    }
    return trace;
}

} // namespace tunetest
