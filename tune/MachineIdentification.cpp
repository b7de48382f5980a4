#include "MachineIdentification.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace kestova::tune {

namespace {

constexpr double kRadPerSecondPerRpm = 2.0 * std::numbers::pi / 60.0;
// A speed change across every window below this share of the peak speed is feedback noise,
// not an acceleration.
constexpr double kMinSpeedChangeShare = 0.01;
// Smallest pivot of the normalised normal equations (unit diagonal) that still tells the three
// terms apart.
constexpr double kMinPivot = 1e-6;

using Row = std::array<double, 3>;

// Solves the 3x3 normal equations n x = r, columns normalised first so that the pivots compare
// terms of very different size (inertia against friction). Nothing when they are singular.
std::optional<Row> SolveNormal(std::array<Row, 3> n, Row r) {
    Row scale{};
    for (int i = 0; i < 3; ++i) {
        if (!(n[i][i] > 0.0)) {
            return std::nullopt;
        }
        scale[i] = 1.0 / std::sqrt(n[i][i]);
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            n[i][j] *= scale[i] * scale[j];
        }
        r[i] *= scale[i];
    }
    // Symmetric positive definite: elimination without pivoting, each pivot checked.
    for (int k = 0; k < 3; ++k) {
        if (n[k][k] < kMinPivot) {
            return std::nullopt;
        }
        for (int i = k + 1; i < 3; ++i) {
            const double f = n[i][k] / n[k][k];
            for (int j = k; j < 3; ++j) {
                n[i][j] -= f * n[k][j];
            }
            r[i] -= f * r[k];
        }
    }
    Row x{};
    for (int i = 2; i >= 0; --i) {
        double s = r[i];
        for (int j = i + 1; j < 3; ++j) {
            s -= n[i][j] * x[j];
        }
        x[i] = s / n[i][i];
    }
    for (int i = 0; i < 3; ++i) {
        x[i] *= scale[i];
    }
    return x;
}

struct Window {
    Row terms{};         // speed change, integral of speed, integral of sign(speed)
    double torque = 0.0; // Kt times the integral of the current
};

} // namespace

MotorData MotorDataFromTable(int torqueConstantHundredths, int rotorInertiaHundredthsKgCm2) {
    // 0.01 kg cm^2 = 1e-6 kg m^2.
    return {torqueConstantHundredths / 100.0, rotorInertiaHundredthsKgCm2 * 1e-6};
}

namespace {

// The windows of one trace, `speedRpm` already advanced by the lag tried; adds to `windows` and
// keeps the largest speed change and the peak speed.
void AddWindows(const MotionTrace& trace, const std::vector<double>& speedRpm,
                const MotorData& motor, const IdentifySettings& settings,
                std::vector<Window>& windows, double& largestChange, double& peakRpm) {
    const std::size_t n = speedRpm.size();
    const std::size_t span = static_cast<std::size_t>(std::max(settings.windowSamples, 2));
    double peak = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        peak = std::max(peak, std::abs(speedRpm[k]));
    }
    peakRpm = std::max(peakRpm, peak);
    const double slow = std::max(settings.minSpeedRpm, settings.minSpeedShare * peak);
    for (std::size_t first = 0; first + span <= n; ++first) {
        const std::size_t last = first + span - 1;
        const double direction = speedRpm[first] > 0 ? 1.0 : -1.0;
        bool usable = true;
        Window w;
        for (std::size_t k = first; k <= last && usable; ++k) {
            usable = direction * speedRpm[k] >= slow;
            if (k > first && usable) {
                const double dt = trace.time[k] - trace.time[k - 1];
                usable = dt > 0.0;
                const double speed = 0.5 * (speedRpm[k] + speedRpm[k - 1]) * kRadPerSecondPerRpm;
                const double current = 0.5 * (trace.currentMa[k] + trace.currentMa[k - 1]) * 1e-3;
                w.terms[1] += speed * dt;
                w.terms[2] += direction * dt;
                w.torque += motor.torqueConstant * current * dt;
            }
        }
        if (!usable) {
            continue;
        }
        w.terms[0] = (speedRpm[last] - speedRpm[first]) * kRadPerSecondPerRpm;
        largestChange = std::max(largestChange, std::abs(w.terms[0]));
        windows.push_back(w);
    }
}

std::size_t Length(const MotionTrace& trace) {
    return std::min({trace.time.size(), trace.speedRpm.size(), trace.currentMa.size()});
}

// The speed of `trace` advanced by `lag` samples (linearly between samples); the last samples,
// which have nothing to advance to, are dropped.
std::vector<double> Advanced(const MotionTrace& trace, double lag) {
    const std::size_t n = Length(trace);
    if (lag == 0.0) {
        return {trace.speedRpm.begin(), trace.speedRpm.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    const auto whole = static_cast<std::size_t>(lag);
    const double part = lag - static_cast<double>(whole);
    std::vector<double> speed;
    for (std::size_t k = 0; k + whole + 1 < n; ++k) {
        speed.push_back(trace.speedRpm[k + whole] * (1.0 - part) +
                        trace.speedRpm[k + whole + 1] * part);
    }
    return speed;
}

// The fit at one alignment of the speed feedback.
Identification Fit(const std::vector<MotionTrace>& traces, double lag, const MotorData& motor,
                   const IdentifySettings& settings) {
    Identification out;
    std::vector<Window> windows;
    double largestChange = 0.0;
    double peak = 0.0;
    for (const MotionTrace& trace : traces) {
        const std::vector<double> speed = Advanced(trace, lag);
        AddWindows(trace, speed, motor, settings, windows, largestChange, peak);
    }
    if (windows.size() < static_cast<std::size_t>(std::max(settings.minWindows, 3))) {
        out.failure = IdentifyFailure::TooFewSamples;
        return out;
    }
    if (largestChange < kMinSpeedChangeShare * peak * kRadPerSecondPerRpm) {
        out.failure = IdentifyFailure::NoAcceleration;
        return out;
    }

    std::array<Row, 3> normal{};
    Row right{};
    for (const Window& w : windows) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                normal[i][j] += w.terms[i] * w.terms[j];
            }
            right[i] += w.terms[i] * w.torque;
        }
    }
    const auto x = SolveNormal(normal, right);
    if (!x) {
        out.failure = IdentifyFailure::Singular;
        return out;
    }
    if (!((*x)[0] > 0.0)) {
        out.failure = IdentifyFailure::NotPhysical;
        return out;
    }

    MachineModel m;
    m.inertia = (*x)[0];
    m.viscousFriction = (*x)[1];
    m.coulombFriction = (*x)[2];
    m.loadInertiaRatio = std::max(0.0, m.inertia / motor.rotorInertia - 1.0);
    m.windowsUsed = static_cast<int>(windows.size());
    double squares = 0.0;
    for (const Window& w : windows) {
        const double fit = m.inertia * w.terms[0] + m.viscousFriction * w.terms[1] +
                           m.coulombFriction * w.terms[2];
        const double miss = (w.torque - fit) / std::abs(w.terms[2]);
        squares += miss * miss;
    }
    m.residualRms = std::sqrt(squares / static_cast<double>(windows.size()));
    out.model = m;
    return out;
}

} // namespace

Identification IdentifyMachine(const MotionTrace& trace, const MotorData& motor,
                               const IdentifySettings& settings) {
    return IdentifyMachine(std::vector<MotionTrace>{trace}, motor, settings);
}

Identification IdentifyMachine(const std::vector<MotionTrace>& traces, const MotorData& motor,
                               const IdentifySettings& settings) {
    Identification out;
    if (!(motor.torqueConstant > 0.0) || !(motor.rotorInertia > 0.0)) {
        out.failure = IdentifyFailure::NotPhysical;
        return out;
    }
    // The drive filters its speed feedback, so the captured speed lags the current that moves
    // it. Unaligned, a window across the end of a ramp sees more speed change than its current
    // made, and the fit trades viscous for Coulomb friction. The lag is taken as the advance of
    // the speed (in tenths of a sample) that leaves the least residual.
    Identification best = Fit(traces, 0.0, motor, settings);
    if (!best.model) {
        return best;
    }
    for (int tenths = 1; tenths <= settings.maxLagSamples * 10; ++tenths) {
        const double lag = tenths / 10.0;
        Identification fit = Fit(traces, lag, motor, settings);
        if (fit.model && fit.model->residualRms < best.model->residualRms) {
            best = fit;
            best.model->speedLagSamples = lag;
        }
    }
    return best;
}

} // namespace kestova::tune
