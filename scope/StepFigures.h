#pragma once

// The figures of a step response: how fast it rose, how far it overshot, when it settled and
// how far from the target it ended.

#include <optional>
#include <vector>

namespace kestova {

struct StepFigures {
    // False when the step has no height (the target equals the initial value) or there are no
    // samples; the other figures are then meaningless.
    bool valid = false;
    // From 10 % to 90 % of the step, in the time unit of `dt`; none when 90 % is never reached.
    std::optional<double> riseTime;
    // How far the peak went past the target, in % of the step; 0 when it never passed it.
    double overshootPercent = 0.0;
    // From the first sample until the response last entered the band of 2 % of the step about
    // the target; none when it ends outside the band.
    std::optional<double> settlingTime;
    // Target minus the mean of the last tenth of the samples, in the response's unit.
    double steadyStateError = 0.0;
};

// The step from `initial` to `target`, sampled every `dt` from the moment of the step. Crossing
// times are interpolated between samples.
StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target,
                               double initial);
// The same, starting from the first sample.
StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target);

} // namespace kestova
