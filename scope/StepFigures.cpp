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

StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target) {
    return ComputeStepFigures(response, dt, target, response.empty() ? 0.0 : response.front());
}

} // namespace kestova
