#pragma once

// The moves the tuner makes and how it judges them: a back-and-forth move within the person's
// limits, the capture window it needs, and a check's figures from its captured channels: the
// peak following error, how far the position went past its target once the move had ended (in %
// of that peak), and how long it took to settle. Plain values: the
// sequencer and the benchmark's reference search judge moves by the same rules.

#include "StepFigures.h"
#include "TuningSequencer.h"

#include <array>
#include <optional>
#include <vector>

namespace kestova::tune {

// A back-and-forth move: out and back once, with a dwell between.
struct Move {
    int speedRpm = 0;
    int acceleration = 0; // rev/s^2
    int distance = 0;     // hundredths of a revolution
    int intervalMs = 100;
};

// A finished capture's channels, in the drive's units, and the time between samples.
struct Captured {
    double sampleMs = 0.0;
    std::array<std::vector<float>, 4> channel;
};

// A move at `speedRpm` (capped by the limit) over the distance allowed, with ramps that take at
// most a quarter of the distance at the highest speed allowed, so every move has a plateau.
Move LimitedMove(const TuneSettings& settings, int speedRpm);
// The loops' check: at half the speed allowed, where the plateau lasts long enough to settle
// on, with a dwell of ten time constants of a position loop of `positionGain` (1/s).
Move CheckMove(const TuneSettings& settings, double positionGain);
// The sampling multiplier whose `samples` samples of `basePeriodUs` span both moves, the dwell,
// and as long again as a move.
int MoveMultiplier(const Move& move, int basePeriodUs, int samples);

// The channels a check is captured with: velocity feedback, position error, velocity target.
inline constexpr std::array<std::uint16_t, 4> kCheckSources{2, 1, 8, 0};

// Bounds a check passes: overshoot past the target, and a peak following error below a share of the
// drive's following-error limit (no bound when the limit is 0).
inline constexpr double kMaxMoveOvershootPercent = 5.0;
inline constexpr double kFollowingShare = 0.5;

struct MoveCheck {
    kestova::StepFigures out;         // the out move's figures, settling from the position error
    kestova::StepFigures back;        // the back move's
    double peakFollowingError = 0.0;  // counts, the larger of the two
    double overshootPercent = 0.0;    // the larger of the two
    std::optional<double> settlingMs; // the slower of the two; none when one did not settle
    bool passed = false;
};

// Judges both moves of a capture from its channels (indices into `c.channel`).
MoveCheck JudgeMoves(const Captured& c, const Move& move, std::size_t feedbackChannel,
                     std::size_t targetChannel, std::size_t errorChannel, int followingLimit);
// A check captured with kCheckSources.
MoveCheck JudgeCheck(const Captured& c, const Move& move, int followingLimit);

} // namespace kestova::tune
