#include "ScopeState.h"

#include "ScopeChannels.h"

#include <algorithm>
#include <cmath>

namespace kestova {

ScopeState::ScopeState() {
    channels[0].colour = QColor(255, 0, 0);
    channels[1].colour = QColor(0, 128, 255);
    channels[2].colour = QColor(255, 128, 0);
    channels[3].colour = QColor(128, 0, 255);
}

void ScopeState::SetYUnit(const QString& text) {
    channels[0].title = text;
    for (int ch = 2; ch <= kScopeChannels; ++ch) {
        Channel(ch).title.clear();
    }
}

void ScopeState::SetXRange(float min, float max, int decimals) {
    axis.index[static_cast<std::size_t>(level)] = {min, max};
    axis.decimals = decimals;
}

void ScopeState::SetTimeRange(int tmin, int tmax) {
    axis.time[static_cast<std::size_t>(level)] = {static_cast<float>(tmin),
                                                  static_cast<float>(tmax)};
    if (axis.sampleCount == 0) {
        axis.sampleCount = 1;
    }
    axis.timePerSample = axis.time[0].max / static_cast<float>(axis.sampleCount);
}

void ScopeState::SetRangeAt(ScopeChannel& channel, int atLevel, float min, float max) const {
    if (std::fabs(max - min) < 10.0f && atLevel == 0) {
        max += 5.0f;
        min -= 5.0f;
    }
    channel.range[static_cast<std::size_t>(atLevel)] = {min, max};
}

void ScopeState::SetChannelRange(int channel, float min, float max) {
    SetRangeAt(Channel(channel), level, min, max);
}

void ScopeState::SetChannelSources(std::uint32_t c1, std::uint32_t c2, std::uint32_t c3,
                                   std::uint32_t c4) {
    channels[0].source = c1;
    channels[1].source = c2;
    channels[2].source = c3;
    channels[3].source = c4;
}

bool ScopeState::AddPoint(int channel, int index, float value) {
    ScopeChannel& c = Channel(channel);
    // Double precision, so that 100 x 1.2 is exactly the 120 it reads as.
    const double r = std::fabs(static_cast<double>(value)) * 1.2;
    if (std::isfinite(r) && r > static_cast<double>(c.range[0].max)) {
        const double grown =
            r > 100.0 ? (std::trunc(r / 100.0) + 1.0) * 100.0 : (std::trunc(r / 10.0) + 1.0) * 10.0;
        SetChannelRange(channel, static_cast<float>(-grown), static_cast<float>(grown));
    }
    c.samples.push_back({static_cast<float>(index), value});
    if (index == static_cast<int>(axis.sampleCount) - 1) {
        UnifyScales();
        return true;
    }
    return false;
}

void ScopeState::UnifyScales() {
    std::array<float, kUnitGroups.size()> largest{};
    for (std::size_t g = 0; g < kUnitGroups.size(); ++g) {
        for (const ScopeChannel& c : channels) {
            if (InUnitGroup(c.source, kUnitGroups[g])) {
                largest[g] = std::max(largest[g], c.range[0].max);
            }
        }
    }
    for (std::size_t g = 0; g < kUnitGroups.size(); ++g) {
        for (ScopeChannel& c : channels) {
            if (InUnitGroup(c.source, kUnitGroups[g])) {
                // Level 0 only: a zoom the user holds keeps its own ranges.
                SetRangeAt(c, 0, -largest[g], largest[g]);
            }
        }
    }
}

void ScopeState::Clear() {
    level = 0;
    for (ScopeChannel& c : channels) {
        c.samples.clear();
    }
}

bool ScopeState::KeepReference() {
    ScopeReference kept;
    kept.timePerSample = axis.timePerSample;
    bool any = false;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const ScopeChannel& channel = channels[c];
        if (!channel.Shown() || channel.samples.empty()) {
            continue;
        }
        kept.sources[c] = channel.source;
        const std::size_t count = std::min<std::size_t>(channel.samples.size(), axis.sampleCount);
        kept.samples[c].assign(channel.samples.begin(),
                               channel.samples.begin() + static_cast<std::ptrdiff_t>(count));
        any = any || count != 0;
    }
    if (!any) {
        return false;
    }
    kept.sampleCount = axis.sampleCount;
    reference = std::move(kept);
    return true;
}

} // namespace kestova
