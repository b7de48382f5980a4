#include "SampleSweeps.h"

#include "Cscope.h"
#include "ScopeChannels.h"

#include <cmath>
#include <numbers>

namespace kttest {

namespace {

// Small deterministic noise in [-1, 1).
class Noise {
public:
    float Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(state_ >> 8) / static_cast<float>(1u << 23) - 1.0f;
    }

private:
    std::uint32_t state_ = 12345u;
};

// Trapezoidal speed target in RPM at time t (ms): ramp up from 10 ms, cruise, ramp down.
double TargetRpm(double t) {
    constexpr double top = 600.0;
    if (t < 10.0) {
        return 0.0;
    }
    if (t < 50.0) {
        return top * (t - 10.0) / 40.0;
    }
    if (t < 120.0) {
        return top;
    }
    if (t < 160.0) {
        return top * (160.0 - t) / 40.0;
    }
    return 0.0;
}

} // namespace

Sweep MoveSweep(int samples, int duration) {
    Sweep sweep;
    sweep.samples = samples;
    sweep.duration = duration;
    sweep.sources = {kestova::SRC_POSITION_ERROR, kestova::SRC_VELOCITY_FEEDBACK,
                     kestova::SRC_VELOCITY_TARGET, kestova::SRC_A_PHASE_CURRENT};
    for (auto& v : sweep.values) {
        v.reserve(static_cast<std::size_t>(samples));
    }

    // The speed loop as a damped second-order follower (40 Hz, damping 0.45), integrated in
    // small steps. With speed feed-forward the position loop's following error is about the
    // speed lag; 4 pole pairs, and the rotor starts off a phase's axis so it holds current.
    constexpr double wn = 2.0 * std::numbers::pi * 40.0 / 1000.0; // per ms
    constexpr double zeta = 0.45;
    constexpr int substeps = 20;
    const double dt = static_cast<double>(duration) / samples / substeps;
    double speed = 0.0;
    double speedRate = 0.0;
    double angle = 0.6; // electrical, radians
    double t = 0.0;
    Noise noise;
    for (int i = 0; i < samples; ++i) {
        double torque = 0.0;
        for (int s = 0; s < substeps; ++s) {
            const double target = TargetRpm(t);
            const double accel = wn * wn * (target - speed) - 2.0 * zeta * wn * speedRate;
            speedRate += accel * dt;
            speed += speedRate * dt;
            angle += speed / 60.0 * 4.0 * 2.0 * std::numbers::pi / 1000.0 * dt;
            torque = speedRate;
            t += dt;
        }
        const double amplitude = 350.0 + 55.0 * std::fabs(torque);
        const double error = 0.6 * (TargetRpm(t) - speed);
        sweep.values[0].push_back(static_cast<float>(std::round(error + 0.8 * noise.Next())));
        sweep.values[1].push_back(static_cast<float>(std::round(speed + 4.0 * noise.Next())));
        sweep.values[2].push_back(static_cast<float>(std::round(TargetRpm(t))));
        sweep.values[3].push_back(
            static_cast<float>(std::round(amplitude * std::sin(angle) + 25.0 * noise.Next())));
    }
    return sweep;
}

void SetUpLikeHost(kestova::Cscope& scope) {
    scope.SetYUnit("Current mA");
    scope.SetXUnit("ms");
    scope.SetSampleCount(200);
    scope.SetXRange(0.0f, 200.0f, 2);
    scope.SetTimeRange(0, 200);
    scope.SetCh1Range(-5.0f, 5.0f, 1);
    scope.SetCh2Range(-5.0f, 5.0f);
    scope.SetCh3Range(-5.0f, 5.0f);
    scope.SetCh4Range(-5.0f, 5.0f);
    scope.InitScope();
    scope.ClearScope();
}

void Feed(kestova::Cscope& scope, const Sweep& sweep, std::array<bool, 4> shown) {
    const auto n = static_cast<std::uint16_t>(sweep.samples);
    scope.SetChannelSources(sweep.sources[0], sweep.sources[1], sweep.sources[2], sweep.sources[3]);
    scope.SetCh1Range(-5.0f, 5.0f, 1);
    scope.SetCh2Range(-5.0f, 5.0f);
    scope.SetCh3Range(-5.0f, 5.0f);
    scope.SetCh4Range(-5.0f, 5.0f);
    scope.SetXRange(0.0f, static_cast<float>(n), 2);
    scope.SetSampleCount(n);
    scope.SetTimeRange(0, sweep.duration);
    scope.ClearScope();
    scope.EnableCh1(shown[0] ? 1 : 0);
    scope.EnableCh2(shown[1] ? 1 : 0);
    scope.EnableCh3(shown[2] ? 1 : 0);
    scope.EnableCh4(shown[3] ? 1 : 0);
    void (kestova::Cscope::*add[])(int, float) = {
        &kestova::Cscope::AddCh1Point, &kestova::Cscope::AddCh2Point, &kestova::Cscope::AddCh3Point,
        &kestova::Cscope::AddCh4Point};
    for (std::size_t ch = 0; ch < 4; ++ch) {
        if (sweep.sources[ch] == 0) {
            continue;
        }
        for (int i = 0; i < sweep.samples; ++i) {
            (scope.*add[ch])(i, sweep.values[ch][static_cast<std::size_t>(i)]);
        }
    }
}

} // namespace kttest
