#include "MoveCheck.h"

#include "WholeMove.h"

#include <algorithm>
#include <cmath>

namespace kestova::tune {

namespace {

// A move has settled when its position error stays within this share of its peak, and never
// needs to come closer than this many encoder counts.
constexpr double kSettlingShare = 0.02;
constexpr double kLeastSettlingBand = 5.0;
// The check's dwell between its two moves, in which the first one settles.
constexpr int kCheckDwellMs = 300;
constexpr int kLongestDwellMs = 2000;

} // namespace

Move LimitedMove(const TuneSettings& s, int speedRpm) {
    Move m;
    m.speedRpm = std::max(1, std::min(speedRpm, s.maxSpeedRpm));
    m.distance = std::max(1, static_cast<int>(std::floor(s.maxDistanceRev * 100.0)));
    const double v = s.maxSpeedRpm / 60.0;
    const double quarter = m.distance / 100.0 / 4.0;
    m.acceleration = std::clamp(static_cast<int>(std::ceil(v * v / (2.0 * quarter))), 1, 10000);
    return m;
}

Move CheckMove(const TuneSettings& s, double positionGain) {
    Move m = LimitedMove(s, std::max(1, s.maxSpeedRpm / 2));
    m.intervalMs = positionGain > 0.0 ? std::clamp(static_cast<int>(10000.0 / positionGain),
                                                   kCheckDwellMs, kLongestDwellMs)
                                      : kLongestDwellMs;
    return m;
}

int MoveMultiplier(const Move& move, int basePeriodUs, int samples) {
    motion::MotionProfile profile;
    profile.speed = move.speedRpm;
    profile.acceleration = move.acceleration;
    profile.distance = move.distance;
    const double window = 3.0 * motion::MoveDurationMs(profile) + move.intervalMs;
    const double m = std::ceil(
        window * 1000.0 / (static_cast<double>(std::max(basePeriodUs, 1)) * std::max(samples, 1)));
    return static_cast<int>(std::clamp(m, 1.0, static_cast<double>(motion::kMaxMultiplier)));
}

namespace {

// How long after the commanded move has ended the position error takes to come into its band
// for good: 2 % of its peak, at least a few counts, so the figure speaks of the loops and not of
// the encoder's last count. None when it is still outside as the samples end.
std::optional<double> PositionSettling(const std::vector<float>& error, double dt, double endMs) {
    if (error.empty() || !(dt > 0.0)) {
        return std::nullopt;
    }
    double peak = 0.0;
    for (float e : error) {
        peak = std::max(peak, static_cast<double>(std::fabs(e)));
    }
    const double band = std::max(kLeastSettlingBand, kSettlingShare * peak);
    const auto from = static_cast<std::size_t>(std::max(0.0, std::ceil(endMs / dt)));
    if (from >= error.size()) {
        return std::nullopt;
    }
    std::size_t last = from;
    bool outside = false;
    for (std::size_t i = from; i < error.size(); ++i) {
        if (std::fabs(error[i]) > band) {
            last = i;
            outside = true;
        }
    }
    if (!outside) {
        return 0.0;
    }
    if (last + 1 >= error.size()) {
        return std::nullopt;
    }
    return static_cast<double>(last + 1) * dt - endMs;
}

// How far the position went past its target once the commanded move had ended, in % of the
// move's peak following error: the error turning against the way it lagged. The speed's own
// overshoot over its plateau drowns, at low speeds, in the encoder's count steps; the position
// does not.
double PositionOvershoot(const std::vector<float>& error, double dt, double endMs) {
    float peak = 0.0F;
    for (float e : error) {
        if (std::fabs(e) > std::fabs(peak)) {
            peak = e;
        }
    }
    if (peak == 0.0F || !(dt > 0.0)) {
        return 0.0;
    }
    const auto from = static_cast<std::size_t>(std::max(0.0, std::ceil(endMs / dt)));
    double past = 0.0;
    for (std::size_t i = from; i < error.size(); ++i) {
        past = std::max(past, static_cast<double>(-error[i] / peak));
    }
    return past * 100.0;
}

} // namespace

// Each move against its own commanded profile: the out move from where the velocity target
// leaves rest, the back move from where it turns negative after the dwell.
MoveCheck JudgeMoves(const Captured& c, const Move& move, std::size_t feedbackChannel,
                     std::size_t targetChannel, std::size_t errorChannel, int followingLimit) {
    MoveCheck pair;
    const std::vector<float>& feedback = c.channel[feedbackChannel];
    const std::vector<float>& target = c.channel[targetChannel];
    const std::vector<float>* error =
        c.channel[errorChannel].empty() ? nullptr : &c.channel[errorChannel];
    const double dt = c.sampleMs;
    if (feedback.empty() || !(dt > 0.0)) {
        return pair;
    }
    const double distance = move.distance / 100.0;
    const CommandedMove outMove = CommandedMoveMs(move.speedRpm, move.acceleration, distance);
    const CommandedMove backMove = CommandedMoveMs(-move.speedRpm, move.acceleration, distance);
    const std::vector<float>& sweep = target.empty() ? feedback : target;
    const double outStart = MoveStart(sweep, move.speedRpm, outMove.rampUp / dt) * dt;
    const double oneMs = 2.0 * outMove.rampUp + outMove.plateau;
    const auto split = std::min(
        feedback.size(),
        static_cast<std::size_t>(std::max(0.0, (outStart + oneMs + 0.9 * move.intervalMs) / dt)));
    auto slice = [split](const std::vector<float>& v, bool first) {
        if (v.empty()) {
            return v;
        }
        const auto at = static_cast<std::ptrdiff_t>(std::min(split, v.size()));
        return first ? std::vector<float>(v.begin(), v.begin() + at)
                     : std::vector<float>(v.begin() + at, v.end());
    };
    const std::vector<float> outFeedback = slice(feedback, true);
    const std::vector<float> backFeedback = slice(feedback, false);
    const std::vector<float> outError = error ? slice(*error, true) : std::vector<float>{};
    const std::vector<float> backError = error ? slice(*error, false) : std::vector<float>{};
    pair.out = ComputeMoveFigures(outFeedback, dt, outStart, outMove, error ? &outError : nullptr);
    const std::vector<float> backSweep = slice(sweep, false);
    const double backStart = MoveStart(backSweep, -move.speedRpm, backMove.rampUp / dt) * dt;
    pair.back =
        ComputeMoveFigures(backFeedback, dt, backStart, backMove, error ? &backError : nullptr);
    if (error) {
        pair.out.settlingTime = PositionSettling(outError, dt, outStart + oneMs);
        pair.back.settlingTime = PositionSettling(backError, dt, backStart + oneMs);
        pair.out.overshootPercent = PositionOvershoot(outError, dt, outStart + oneMs);
        pair.back.overshootPercent = PositionOvershoot(backError, dt, backStart + oneMs);
    }
    pair.peakFollowingError = std::max(std::fabs(pair.out.peakFollowingError.value_or(0.0)),
                                       std::fabs(pair.back.peakFollowingError.value_or(0.0)));
    pair.overshootPercent = std::max(pair.out.overshootPercent, pair.back.overshootPercent);
    if (pair.out.settlingTime && pair.back.settlingTime) {
        pair.settlingMs = std::max(*pair.out.settlingTime, *pair.back.settlingTime);
    }
    pair.passed =
        pair.settlingMs && pair.overshootPercent <= kMaxMoveOvershootPercent &&
        (followingLimit == 0 || pair.peakFollowingError < kFollowingShare * followingLimit);
    return pair;
}

MoveCheck JudgeCheck(const Captured& c, const Move& move, int followingLimit) {
    return JudgeMoves(c, move, 0, 2, 1, followingLimit);
}

} // namespace kestova::tune
