#include "ScopeZoom.h"

#include <algorithm>
#include <cmath>

namespace kestova {

bool ScopeDrag::Press(const ScopeRect& plot, QPoint p) {
    if (!plot.Contains(p)) {
        start_ = QPoint(plot.left, plot.top);
        inProgress_ = false;
        return false;
    }
    const int x = p.x() - plot.left < kSnapPixels ? plot.left : p.x();
    start_ = QPoint(x, p.y());
    end_ = start_;
    inProgress_ = true;
    return true;
}

void ScopeDrag::Move(const ScopeRect& plot, QPoint p) {
    if (plot.Contains(p)) {
        const int x = plot.right - p.x() < kSnapPixels ? plot.right : p.x();
        end_ = QPoint(x, p.y());
    } else {
        end_ = QPoint(std::clamp(p.x(), plot.left, std::max(plot.left, plot.right)),
                      std::clamp(p.y(), plot.top, std::max(plot.top, plot.bottom)));
    }
}

ScopeDrag::Release ScopeDrag::Finish(const ScopeRect& plot, QPoint p) {
    inProgress_ = false;
    if (!plot.Contains(p)) {
        return Release::Cancelled;
    }
    const int x = plot.right - p.x() < kSnapPixels ? plot.right : p.x();
    end_ = QPoint(x, p.y());
    const ScopeRect band = Band();
    if (band.Width() < kClickPixels || band.Height() < kClickPixels) {
        return Release::Click;
    }
    return Release::ZoomIn;
}

ScopeRect ScopeDrag::Band() const {
    return {std::min(start_.x(), end_.x()), std::min(start_.y(), end_.y()),
            std::max(start_.x(), end_.x()), std::max(start_.y(), end_.y())};
}

ZoomOutcome ZoomIn(ScopeState& state, const ScopeView& view, const ScopeRect& band) {
    const int from = state.level;
    if (from >= kMaxZoomLevel) {
        return ZoomOutcome::AlreadyMaximized;
    }
    const auto L = static_cast<std::size_t>(from);
    const double k = state.axis.timePerSample;
    const ScopeRect& plot = view.plot;
    const double hs = view.hScale;
    const double vs = view.Channel(1).scale;
    const ScopeRange& indexFrom = state.axis.index[L];
    const ScopeRange& ch1From = state.channels[0].range[L];

    ScopeRange index{static_cast<float>((band.left - plot.left) * hs + indexFrom.min),
                     static_cast<float>((band.right - plot.left) * hs + indexFrom.min)};
    const ScopeRange ch1{static_cast<float>((plot.bottom - band.bottom) * vs + ch1From.min),
                         static_cast<float>((plot.bottom - band.top) * vs + ch1From.min)};

    // Without a time per sample the window cannot be converted back into sample indices.
    if (k == 0.0 || !std::isfinite(k)) {
        return ZoomOutcome::AlreadyMaximized;
    }
    // The window starts at the band's left edge and spans whole tens of time units. Both ends
    // stay in double: rounding one of them to float can lift it above the other for a band
    // under 10 time units (at 0.1 per sample, every other one), and so pass an empty window.
    const double tmin = static_cast<double>(index.min) * k;
    const double tens = std::trunc((static_cast<double>(index.max) * k - tmin) / 10.0);
    const double tmax = tmin + 10.0 * tens;
    index.max = static_cast<float>(tmax / k);
    if (tmax <= tmin || ch1.max <= ch1.min) {
        return ZoomOutcome::AlreadyMaximized;
    }

    const int to = from + 1;
    const auto n = static_cast<std::size_t>(to);
    state.axis.index[n] = index;
    state.channels[0].range[n] = ch1;
    state.level = to;
    ScaleOtherChannels(state, from, to);
    state.SetTimeRange(TruncToInt(tmin), TruncToInt(tmax));
    state.SetChannelRange(1, ch1.min, ch1.max);
    return ZoomOutcome::Zoomed;
}

bool ZoomOut(ScopeState& state) {
    if (state.level < 1) {
        return false;
    }
    --state.level;
    return true;
}

void ScaleOtherChannels(ScopeState& state, int from, int to) {
    const auto L = static_cast<std::size_t>(from);
    const auto n = static_cast<std::size_t>(to);
    const ScopeRange before = state.channels[0].range[L];
    const ScopeRange after = state.channels[0].range[n];
    const double span1 = static_cast<double>(before.max) - before.min;
    for (int ch = 2; ch <= kScopeChannels; ++ch) {
        RangeStack& r = state.Channel(ch).range;
        if (before.max != 0.0f && before.min != 0.0f) {
            // Each end scales by channel 1's ratio at that end: for ranges symmetric about 0
            // every channel shows the same band of its own range as channel 1.
            const double a = static_cast<double>(after.max) / before.max;
            const double b = static_cast<double>(after.min) / before.min;
            r[n] = {static_cast<float>(b * r[L].min), static_cast<float>(a * r[L].max)};
        } else if (span1 != 0.0) {
            // Channel 1 ends exactly at 0, where the ratio is undefined: take the same
            // fractions of each channel's own span instead, which is what the ratios give for
            // symmetric ranges.
            const double low = (static_cast<double>(after.min) - before.min) / span1;
            const double high = (static_cast<double>(after.max) - before.min) / span1;
            const double span = static_cast<double>(r[L].max) - r[L].min;
            r[n] = {static_cast<float>(r[L].min + low * span),
                    static_cast<float>(r[L].min + high * span)};
        } else {
            r[n] = r[L];
        }
    }
}

} // namespace kestova
