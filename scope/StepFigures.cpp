#include "StepFigures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kestova {

namespace {

constexpr double kSettlingBand = 0.02;

// The time at which the progress first reaches `level`, interpolated; none if it never does.
std::optional<double> FirstCrossing(const std::vector<double>& progress, double dt, double level) {
    for (std::size_t i = 0; i < progress.size(); ++i) {
        if (progress[i] < level) {
            continue;
        }
        if (i == 0) {
            return 0.0;
        }
        const double a = progress[i - 1];
        const double b = progress[i];
        return (static_cast<double>(i - 1) + (level - a) / (b - a)) * dt;
    }
    return std::nullopt;
}

} // namespace

StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target,
                               double initial) {
    StepFigures f;
    const double step = target - initial;
    if (response.empty() || step == 0.0 || !std::isfinite(step)) {
        return f;
    }
    f.valid = true;
    // Progress: 0 at the initial value, 1 at the target, whichever way the step goes.
    std::vector<double> progress(response.size());
    std::transform(response.begin(), response.end(), progress.begin(),
                   [&](float y) { return (y - initial) / step; });

    const std::optional<double> t10 = FirstCrossing(progress, dt, 0.1);
    const std::optional<double> t90 = FirstCrossing(progress, dt, 0.9);
    if (t10 && t90) {
        f.riseTime = *t90 - *t10;
    }

    const double peak = *std::max_element(progress.begin(), progress.end());
    f.overshootPercent = std::max(0.0, peak - 1.0) * 100.0;

    // The last sample outside the band; the response settles between it and the next one.
    std::size_t outside = progress.size();
    for (std::size_t i = progress.size(); i-- > 0;) {
        if (std::fabs(progress[i] - 1.0) > kSettlingBand) {
            outside = i;
            break;
        }
    }
    if (outside == progress.size()) {
        f.settlingTime = 0.0;
    } else if (outside + 1 < progress.size()) {
        const double a = std::fabs(progress[outside] - 1.0);
        const double b = std::fabs(progress[outside + 1] - 1.0);
        f.settlingTime = (static_cast<double>(outside) + (a - kSettlingBand) / (a - b)) * dt;
    }

    const std::size_t tail = std::max<std::size_t>(1, response.size() / 10);
    const double sum =
        std::accumulate(response.end() - static_cast<std::ptrdiff_t>(tail), response.end(), 0.0);
    f.steadyStateError = target - sum / static_cast<double>(tail);
    return f;
}

CommandedMove CommandedMoveMs(double speedRpm, double acceleration, double distance) {
    CommandedMove m;
    const double v = std::fabs(speedRpm) / 60.0; // rev/s
    const double a = std::fabs(acceleration);
    const double d = std::fabs(distance);
    if (v <= 0.0 || a <= 0.0 || d <= 0.0) {
        return m;
    }
    // A triangle when the distance runs out before the speed is reached.
    const double peak = std::min(v, std::sqrt(d * a));
    m.speed = std::copysign(peak * 60.0, speedRpm);
    m.rampUp = peak / a * 1000.0;
    m.plateau = (d - peak * peak / a) / peak * 1000.0;
    return m;
}

StepFigures ComputeMoveFigures(const std::vector<float>& feedback, double dt, double start,
                               const CommandedMove& move, const std::vector<float>* positionError) {
    StepFigures f;
    if (feedback.empty() || move.speed == 0.0 || !(dt > 0.0)) {
        return f;
    }
    f.valid = true;
    const double speed = move.speed;
    // Progress toward the plateau from rest, whichever way the move turns.
    std::vector<double> progress(feedback.size());
    std::transform(feedback.begin(), feedback.end(), progress.begin(),
                   [&](float y) { return y / speed; });
    const auto index = [&](double t) {
        return static_cast<std::size_t>(
            std::clamp(std::ceil(t / dt - 1e-9), 0.0, static_cast<double>(feedback.size())));
    };
    const std::size_t first = index(start);

    const std::vector<double> fromStart(progress.begin() + static_cast<std::ptrdiff_t>(first),
                                        progress.end());
    const std::optional<double> t10 = FirstCrossing(fromStart, dt, 0.1);
    const std::optional<double> t90 = FirstCrossing(fromStart, dt, 0.9);
    if (t10 && t90) {
        f.riseTime = *t90 - *t10;
    }

    const double peak = *std::max_element(progress.begin(), progress.end());
    f.overshootPercent = std::max(0.0, peak - 1.0) * 100.0;

    // The plateau as far as the capture holds it.
    const double rampEnd = start + move.rampUp;
    const std::size_t from = index(rampEnd);
    const std::size_t to = index(rampEnd + move.plateau);
    if (from < to) {
        std::optional<std::size_t> outside;
        for (std::size_t i = to; i-- > from;) {
            if (std::fabs(progress[i] - 1.0) > kSettlingBand) {
                outside = i;
                break;
            }
        }
        if (!outside) {
            f.settlingTime = 0.0;
        } else if (*outside + 1 < to) {
            f.settlingTime = static_cast<double>(*outside + 1) * dt - rampEnd;
        }
        const std::size_t tail = std::max<std::size_t>(1, (to - from) / 4);
        const double sum =
            std::accumulate(feedback.begin() + static_cast<std::ptrdiff_t>(to - tail),
                            feedback.begin() + static_cast<std::ptrdiff_t>(to), 0.0);
        f.steadyStateError = speed - sum / static_cast<double>(tail);
    }

    if (positionError != nullptr && !positionError->empty()) {
        const auto extreme =
            std::max_element(positionError->begin(), positionError->end(),
                             [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        f.peakFollowingError = *extreme;
    }
    return f;
}

StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target) {
    return ComputeStepFigures(response, dt, target, response.empty() ? 0.0 : response.front());
}

namespace {
// Where a move counts as started: this part of the plateau speed.
constexpr double kStartShare = 0.05;
} // namespace

std::size_t PlateauEnd(const std::vector<float>& response, double target) {
    const double height = std::fabs(target - (response.empty() ? 0.0 : response.front()));
    for (std::size_t i = response.size(); i-- > 0;) {
        if (std::fabs(response[i] - target) <= 0.1 * height) {
            return i + 1;
        }
    }
    return response.size();
}

double MoveStart(const std::vector<float>& sweep, double speed, double rampSamples) {
    if (speed == 0.0) {
        return 0.0;
    }
    for (std::size_t i = 0; i < sweep.size(); ++i) {
        if (sweep[i] / speed >= kStartShare) {
            return std::max(0.0, static_cast<double>(i) - kStartShare * rampSamples);
        }
    }
    return 0.0;
}

} // namespace kestova
