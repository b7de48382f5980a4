#include "ScopeCursors.h"

#include "ScopeChannels.h"

#include <algorithm>
#include <cmath>

namespace kestova {

namespace {

bool Usable(double v) {
    return v != 0.0 && std::isfinite(v);
}

int SampleCount(const ScopeState& state) {
    std::size_t most = 0;
    for (const ScopeChannel& c : state.channels) {
        most = std::max(most, c.samples.size());
    }
    return static_cast<int>(std::min<std::size_t>(most, state.axis.sampleCount));
}

double SnapToSample(const ScopeState& state, double t) {
    const int i = ScopeCursors::SampleAt(state, t);
    return i < 0 ? t : i * static_cast<double>(state.axis.timePerSample);
}

// Three significant digits at least, no more decimals than a sample's value needs.
QString Number(double v) {
    const double a = std::fabs(v);
    const int decimals = a >= 100.0 ? 0 : a >= 10.0 ? 1 : a >= 1.0 ? 2 : 3;
    return FormatFixed(v, decimals);
}

} // namespace

void ScopeCursors::SwitchOn(const ScopeState& state, const ScopeView& view) {
    on_ = true;
    grabbed_ = 0;
    const double k = view.timePerSample;
    const double from = view.index.min * k;
    const double span = (static_cast<double>(view.index.max) - view.index.min) * k;
    time_ = {SnapToSample(state, from + span / 3.0), SnapToSample(state, from + 2.0 * span / 3.0)};
}

void ScopeCursors::SwitchOff() {
    on_ = false;
    grabbed_ = 0;
}

std::optional<int> ScopeCursors::XOfTime(const ScopeView& view, double t) {
    if (!Usable(view.hScale) || !Usable(view.timePerSample)) {
        return std::nullopt;
    }
    const double index = t / view.timePerSample;
    const int x = TruncToInt((index - view.index.min) / view.hScale) + view.plot.left;
    if (x < view.plot.left || x > view.plot.right) {
        return std::nullopt;
    }
    return x;
}

double ScopeCursors::TimeOfX(const ScopeView& view, int x) {
    const int column = std::clamp(x, view.plot.left, std::max(view.plot.left, view.plot.right));
    const double index =
        (column - view.plot.left) * static_cast<double>(view.hScale) + view.index.min;
    return index * view.timePerSample;
}

int ScopeCursors::SampleAt(const ScopeState& state, double t) {
    const int count = SampleCount(state);
    const double k = state.axis.timePerSample;
    if (count == 0 || !Usable(k)) {
        return -1;
    }
    const double i = std::round(t / k);
    return static_cast<int>(std::clamp(i, 0.0, static_cast<double>(count - 1)));
}

QRect ScopeCursors::HandleRect(const ScopeView& view, int x) {
    return {x - kHandleWidth / 2, view.plot.top, kHandleWidth, kHandleHeight};
}

int ScopeCursors::HandleAt(const ScopeView& view, QPoint p) const {
    if (!on_) {
        return 0;
    }
    for (int cursor = 2; cursor >= 1; --cursor) {
        const std::optional<int> x = XOfTime(view, Time(cursor));
        if (x && HandleRect(view, *x).contains(p)) {
            return cursor;
        }
    }
    return 0;
}

void ScopeCursors::DragTo(const ScopeState& state, const ScopeView& view, int x) {
    if (grabbed_ == 0) {
        return;
    }
    SetTime(grabbed_, SnapToSample(state, TimeOfX(view, x)));
}

CursorReadout ScopeCursors::Read(const ScopeState& state) const {
    CursorReadout r;
    for (std::size_t k = 0; k < 2; ++k) {
        r.time[k] = time_[k];
        const int i = SampleAt(state, time_[k]);
        for (std::size_t c = 0; c < state.channels.size(); ++c) {
            const ScopeChannel& channel = state.channels[c];
            const auto count =
                std::min<std::size_t>(channel.samples.size(), state.axis.sampleCount);
            if (channel.Shown() && i >= 0 && static_cast<std::size_t>(i) < count) {
                r.value[k][c] = channel.samples[static_cast<std::size_t>(i)].y;
            }
        }
    }
    r.dt = time_[1] - time_[0];
    for (std::size_t c = 0; c < state.channels.size(); ++c) {
        if (r.value[0][c] && r.value[1][c]) {
            r.delta[c] = *r.value[1][c] - *r.value[0][c];
        }
    }
    return r;
}

QStringList ReadoutLines(const CursorReadout& readout, const ScopeState& state) {
    const QString unit = state.axis.unit;
    QStringList lines;
    const auto channelLine = [&](int ch, double v) {
        const ScopeChannel& c = state.Channel(ch);
        return QStringLiteral("  Ch%1 %2 %3").arg(ch).arg(Number(v), ChannelUnit(c.source));
    };
    for (std::size_t k = 0; k < 2; ++k) {
        lines << QStringLiteral("Cursor %1: %2 %3").arg(k + 1).arg(Number(readout.time[k]), unit);
        for (int ch = 1; ch <= kScopeChannels; ++ch) {
            if (const auto& v = readout.value[k][static_cast<std::size_t>(ch - 1)]) {
                lines << channelLine(ch, *v);
            }
        }
    }
    lines << QStringLiteral("dt: %1 %2").arg(Number(readout.dt), unit);
    if (readout.dt == 0.0) {
        lines << QStringLiteral("1/dt: -");
    } else if (unit == QLatin1String("ms")) {
        lines << QStringLiteral("1/dt: %1 Hz").arg(Number(1000.0 / std::fabs(readout.dt)));
    } else if (unit == QLatin1String("us")) {
        lines << QStringLiteral("1/dt: %1 Hz").arg(Number(1e6 / std::fabs(readout.dt)));
    } else {
        lines << QStringLiteral("1/dt: %1 /%2").arg(Number(1.0 / std::fabs(readout.dt)), unit);
    }
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        if (const auto& d = readout.delta[static_cast<std::size_t>(ch - 1)]) {
            lines << QStringLiteral("  dCh%1 %2 %3")
                         .arg(ch)
                         .arg(Number(*d), ChannelUnit(state.Channel(ch).source));
        }
    }
    return lines;
}

} // namespace kestova
