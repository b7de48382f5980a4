#pragma once

// What one drawing of the scope shows: the plot rectangle, the sample-index and time windows of
// the current zoom level, and how many index or value units one pixel stands for. The renderer
// returns it from every redraw; the zoom, the cursors and the read-out work from it, so they
// always use the scales of the picture on screen.

#include "ScopeLayout.h"
#include "ScopeState.h"

#include <array>

namespace kestova {

struct ChannelView {
    float min = 0.0f;   // value at the plot's bottom edge
    float scale = 0.0f; // value units per pixel
};

struct ScopeView {
    ScopeRect plot;
    int level = 0;
    ScopeRange index; // sample-index window
    ScopeRange time;  // the same window as labelled
    float timePerSample = 0.0f;
    float hScale = 0.0f; // sample-index units per pixel
    std::array<ChannelView, kScopeChannels> channels{};

    const ChannelView& Channel(int number) const {
        return channels[static_cast<std::size_t>(number - 1)];
    }
};

// The view of `state` at its current level drawn into `plot`. An empty plot has zero scales.
ScopeView ViewOf(const ScopeState& state, const ScopeRect& plot);

} // namespace kestova
