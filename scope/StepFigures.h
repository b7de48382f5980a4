#pragma once

// The figures of a step response: how fast it rose, how far it overshot, when it settled and
// how far from the target it ended.

#include <cstddef>
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
    // A move's largest position error in either direction, sign kept; none when not captured.
    std::optional<double> peakFollowingError;
};

// The commanded move as its profile lays it out in time, from the move's start: a ramp up to the
// plateau speed, the plateau, a ramp down. A move too short to reach the speed has no plateau.
struct CommandedMove {
    double speed = 0.0;   // the plateau, signed as the move turns
    double rampUp = 0.0;  // from the start to the plateau, in the time unit of the capture
    double plateau = 0.0; // how long the speed holds
};

// The profile of a move of `speedRpm` with `acceleration` rev/s^2 over `distance` revolutions,
// timed in ms; negative speeds turn the other way.
CommandedMove CommandedMoveMs(double speedRpm, double acceleration, double distance);

// A move's speed feedback measured against the commanded plateau over the whole capture, the
// move starting at `start` (time unit of `dt`): rise from 10 % to 90 % of the plateau from the
// start, overshoot of the peak over the plateau, settling into 2 % of it counted from the end of
// the ramp (none when the feedback is still outside the band as the plateau ends, or the capture
// ends before the ramp does), and the plateau minus the feedback's mean over the last quarter of
// the plateau the capture holds. With `positionError`, its peak over the capture.
StepFigures ComputeMoveFigures(const std::vector<float>& feedback, double dt, double start,
                               const CommandedMove& move,
                               const std::vector<float>* positionError = nullptr);

// The step from `initial` to `target`, sampled every `dt` from the moment of the step. Crossing
// times are interpolated between samples.
StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target,
                               double initial);
// The same, starting from the first sample.
StepFigures ComputeStepFigures(const std::vector<float>& response, double dt, double target);

// The part of a current step's sweep that belongs to the step: up to the last sample of the
// response within 10 % of the step's height of the target.
std::size_t PlateauEnd(const std::vector<float>& response, double target);

// Where a move starts in a capture, in samples from its first: where `sweep` (the velocity
// target when captured, else the feedback) first passes 5 % of the plateau `speed`, less the
// 5 % of the ramp the profile took to get there. 0 when it never does.
double MoveStart(const std::vector<float>& sweep, double speed, double rampSamples);

} // namespace kestova
