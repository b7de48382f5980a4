#pragma once

// The current loop's setting chosen from a series of current-step tests at rising gains: the
// fastest step that overshoots at most 5 % and does not ring, taken from the settings below the
// first one that fails (a higher setting that passes again after a failure is not trusted).

#include <optional>
#include <vector>

namespace kestova::tune {

inline constexpr double kMaxCurrentOvershootPercent = 5.0;

// One current-step test: the setting it ran with (the drive's current-loop gain, both KP and KI
// in per mille of its self-tuned gains) and the step's figures.
struct CurrentStepResult {
    int setting = 0;
    std::optional<double> riseTime; // s, 10 % to 90 %; none when the step never got there
    double overshootPercent = 0.0;
    bool ringing = false;
};

// Whether a step response rings: after first reaching the target it leaves the band of 2 % of the
// step about the target at least three times, alternately above and below.
bool StepRings(const std::vector<float>& response, double target, double initial = 0.0);

struct CurrentLoopPick {
    std::optional<std::size_t> index; // into the series; none when no step passed
    int setting = 0;
    double riseTime = 0.0;
    double overshootPercent = 0.0;
    double bandwidthHz = 0.0; // of a first-order loop with that rise time: 0.35 / rise time
};

CurrentLoopPick PickCurrentLoop(const std::vector<CurrentStepResult>& series);

} // namespace kestova::tune
