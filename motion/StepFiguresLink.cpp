#include "StepFiguresLink.h"

#include "CRunTest.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "CaptureSettings.h"
#include "Cscope.h"
#include "ScopeChannels.h"
#include "ScopeLayout.h"

#include <algorithm>
#include <cmath>

namespace kestova {

namespace {

std::vector<float> SweepOf(const ScopeState& state, int channel) {
    const ScopeChannel& c = state.Channel(channel);
    const std::size_t count = std::min<std::size_t>(c.samples.size(), state.axis.sampleCount);
    std::vector<float> values;
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(c.samples[i].y);
    }
    return values;
}

// The sweep of the first channel that carries `source`; empty when none does.
std::vector<float> SweepOfSource(const ScopeState& state, std::uint32_t source) {
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        if (state.Channel(ch).source == source && !state.Channel(ch).samples.empty()) {
            return SweepOf(state, ch);
        }
    }
    return {};
}

// The value of largest magnitude, sign kept: which way a move turned.
float Extreme(const std::vector<float>& values) {
    float extreme = 0.0F;
    for (float v : values) {
        if (std::fabs(v) > std::fabs(extreme)) {
            extreme = v;
        }
    }
    return extreme;
}

QString Figure(double v, int decimals, const QString& unit) {
    return FormatFixed(v, decimals) + QLatin1Char(' ') + unit;
}

// Decimals of a time: whole microseconds, hundredths of a millisecond.
int TimeDecimals(const QString& unit) {
    return unit == QLatin1String("us") ? 0 : 2;
}

// Milliseconds in one unit of the time axis.
double MsPerUnit(const QString& unit) {
    return unit == QLatin1String("us") ? 0.001 : 1.0;
}

} // namespace

StepFiguresLink::StepFiguresLink(CRunTest& page) : QObject(&page), page_(page) {
    connect(page_.Scope(), &Cscope::stepChannelChanged, this, &StepFiguresLink::Update);
    connect(&page_, &CRunTest::waveDrawn, this, &StepFiguresLink::OnWaveDrawn);
}

int StepFiguresLink::ChannelWithSweep() const {
    const ScopeState& state = page_.Scope()->State();
    int any = 0;
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const ScopeChannel& c = state.Channel(ch);
        if (!c.Shown() || c.samples.empty()) {
            continue;
        }
        if (TargetOf(ch, SweepOf(state, ch))) {
            return ch;
        }
        if (any == 0) {
            any = ch;
        }
    }
    return any;
}

void StepFiguresLink::OnWaveDrawn() {
    Cscope& scope = *page_.Scope();
    const ScopeState& state = scope.State();
    const double span = static_cast<double>(state.axis.timePerSample) * state.axis.sampleCount;
    if (scope.Cursors().On() && (span != cursorSpan_ || state.axis.unit != cursorUnit_)) {
        scope.PlaceCursor(1, span / 3.0);
        scope.PlaceCursor(2, 2.0 * span / 3.0);
    }
    cursorSpan_ = span;
    cursorUnit_ = state.axis.unit;

    const int chosen = scope.StepChannel();
    if (chosen != 0 && (!state.Channel(chosen).Shown() || state.Channel(chosen).samples.empty())) {
        if (const int other = ChannelWithSweep(); other != 0) {
            scope.SetStepChannel(other); // recomputes
            return;
        }
    }
    Update();
}

std::optional<StepTarget> StepFiguresLink::TargetOf(int channel,
                                                    const std::vector<float>& response) const {
    const ScopeState& state = page_.Scope()->State();
    const std::uint32_t source = state.Channel(channel).source;
    StepTarget t;
    if (page_.CurrentTestType() == motion::TEST_TYPE_CURRENT_LOOP) {
        if (!InUnitGroup(source, GROUP_MA)) {
            return std::nullopt;
        }
        t.value = page_.CurrentLoopPage()->TestCurrent();
        t.what = QStringLiteral("test current");
        t.samples = PlateauEnd(response, t.value);
        return t;
    }
    if (source != SRC_VELOCITY_FEEDBACK) {
        return std::nullopt;
    }
    // The plateau of the move that was started, turned the way the move went.
    const motion::MotionProfile& p = page_.MotionPage()->StartedProfile();
    const CommandedMove move = CommandedMoveMs(p.speed, p.acceleration, p.distance / 100.0);
    t.value = Extreme(response) < 0.0F ? -std::fabs(move.speed) : std::fabs(move.speed);
    t.what = QStringLiteral("commanded speed");
    t.samples = response.size();
    return t;
}

void StepFiguresLink::MoveLines(const std::vector<float>& response, const QString& speedUnit,
                                QStringList& lines) {
    const ScopeState& state = page_.Scope()->State();
    const QString time = state.axis.unit;
    const double dt = state.axis.timePerSample;
    const motion::MotionProfile& p = page_.MotionPage()->StartedProfile();
    CommandedMove move = CommandedMoveMs(p.speed, p.acceleration, p.distance / 100.0);
    move.speed = target_->value;
    // The profile's times in the axis unit.
    const double unit = MsPerUnit(time);
    move.rampUp /= unit;
    move.plateau /= unit;

    std::vector<float> start = SweepOfSource(state, SRC_VELOCITY_TARGET);
    if (start.empty()) {
        start = response;
    }
    const double startAt = dt > 0.0 ? MoveStart(start, move.speed, move.rampUp / dt) * dt : 0.0;
    const std::vector<float> error = SweepOfSource(state, SRC_POSITION_ERROR);
    last_ = ComputeMoveFigures(response, dt, startAt, move, error.empty() ? nullptr : &error);

    lines << QStringLiteral("Plateau: %1").arg(Figure(move.speed, 0, speedUnit));
    lines << QStringLiteral("  (%1)").arg(target_->what);
    lines << QStringLiteral("Rise 10-90 %: ") +
                 (last_->riseTime ? Figure(*last_->riseTime, TimeDecimals(time), time)
                                  : QStringLiteral("-"));
    lines << QStringLiteral("Overshoot: ") + Figure(last_->overshootPercent, 1, "%");
    const bool plateauCaptured =
        move.plateau > 0.0 && startAt + move.rampUp < static_cast<double>(response.size()) * dt;
    if (!plateauCaptured) {
        lines << QStringLiteral("Settling 2 %: no plateau captured");
    } else {
        lines << QStringLiteral("Settling 2 % after the ramp: ") +
                     (last_->settlingTime ? Figure(*last_->settlingTime, TimeDecimals(time), time)
                                          : QStringLiteral("not settled"));
        lines << QStringLiteral("Steady-state error: ") +
                     Figure(last_->steadyStateError, 1, speedUnit);
    }
    if (last_->peakFollowingError) {
        lines << QStringLiteral("Peak following error: ") +
                     Figure(*last_->peakFollowingError, 0, ChannelUnit(SRC_POSITION_ERROR));
    }
}

void StepFiguresLink::Update() {
    Cscope& scope = *page_.Scope();
    last_.reset();
    target_.reset();
    const int channel = scope.StepChannel();
    if (channel == 0) {
        return;
    }
    const ScopeState& state = scope.State();
    const ScopeChannel& c = state.Channel(channel);
    const QString unit = ChannelUnit(c.source);
    QStringList lines{QStringLiteral("Step figures, channel %1").arg(channel)};
    std::vector<float> response = SweepOf(state, channel);
    target_ = response.empty() ? std::nullopt : TargetOf(channel, response);
    if (!target_) {
        lines << (response.empty() ? QStringLiteral("No sweep yet")
                                   : QStringLiteral("No step target for this signal"));
        scope.SetStepFigures(lines);
        return;
    }
    if (page_.CurrentTestType() != motion::TEST_TYPE_CURRENT_LOOP) {
        MoveLines(response, unit, lines);
        scope.SetStepFigures(lines);
        return;
    }
    response.resize(target_->samples);
    const double dt = state.axis.timePerSample;
    last_ = ComputeStepFigures(response, dt, target_->value, 0.0);
    const QString time = state.axis.unit;
    lines << QStringLiteral("Target: %1").arg(Figure(target_->value, 0, unit));
    lines << QStringLiteral("  (%1)").arg(target_->what);
    if (!last_->valid) {
        lines << QStringLiteral("No step");
    } else {
        lines << QStringLiteral("Rise 10-90 %: ") +
                     (last_->riseTime ? Figure(*last_->riseTime, TimeDecimals(time), time)
                                      : QStringLiteral("-"));
        lines << QStringLiteral("Overshoot: ") + Figure(last_->overshootPercent, 1, "%");
        lines << QStringLiteral("Settling 2 %: ") +
                     (last_->settlingTime ? Figure(*last_->settlingTime, TimeDecimals(time), time)
                                          : QStringLiteral("not settled"));
        lines << QStringLiteral("Steady-state error: ") + Figure(last_->steadyStateError, 1, unit);
    }
    scope.SetStepFigures(lines);
}

} // namespace kestova
