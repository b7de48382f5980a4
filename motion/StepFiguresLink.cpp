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

// The value of largest magnitude, sign kept: the plateau of a move's speed either way round.
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

} // namespace

std::size_t PlateauEnd(const std::vector<float>& response, double target,
                       const std::vector<float>& targetSweep) {
    if (!targetSweep.empty()) {
        const double plateau = Extreme(targetSweep);
        for (std::size_t i = targetSweep.size(); i-- > 0;) {
            if (std::fabs(targetSweep[i] - plateau) <= 0.02 * std::fabs(plateau)) {
                return std::min(i + 1, response.size());
            }
        }
        return response.size();
    }
    const double height = std::fabs(target - (response.empty() ? 0.0 : response.front()));
    for (std::size_t i = response.size(); i-- > 0;) {
        if (std::fabs(response[i] - target) <= 0.1 * height) {
            return i + 1;
        }
    }
    return response.size();
}

StepFiguresLink::StepFiguresLink(CRunTest& page) : QObject(&page), page_(page) {
    connect(page_.Scope(), &Cscope::stepChannelChanged, this, &StepFiguresLink::Update);
    connect(&page_, &CRunTest::waveDrawn, this, &StepFiguresLink::Update);
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
        t.samples = PlateauEnd(response, t.value, {});
        return t;
    }
    if (source != SRC_VELOCITY_FEEDBACK) {
        return std::nullopt;
    }
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        if (state.Channel(ch).source == SRC_VELOCITY_TARGET && !state.Channel(ch).samples.empty()) {
            const std::vector<float> target = SweepOf(state, ch);
            t.value = Extreme(target);
            t.what = QStringLiteral("velocity target");
            t.samples = PlateauEnd(response, t.value, target);
            return t;
        }
    }
    // The commanded speed, turned the way the move went.
    const double speed = std::abs(page_.MotionPage()->CommandedSpeed());
    t.value = Extreme(response) < 0.0F ? -speed : speed;
    t.what = QStringLiteral("commanded speed");
    t.samples = PlateauEnd(response, t.value, {});
    return t;
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
                     (last_->riseTime ? Figure(*last_->riseTime, 2, time) : QStringLiteral("-"));
        lines << QStringLiteral("Overshoot: ") + Figure(last_->overshootPercent, 1, "%");
        lines << QStringLiteral("Settling 2 %: ") + (last_->settlingTime
                                                         ? Figure(*last_->settlingTime, 2, time)
                                                         : QStringLiteral("not settled"));
        lines << QStringLiteral("Steady-state error: ") + Figure(last_->steadyStateError, 1, unit);
    }
    scope.SetStepFigures(lines);
}

} // namespace kestova
