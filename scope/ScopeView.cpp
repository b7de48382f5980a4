#include "ScopeView.h"

namespace kestova {

ScopeView ViewOf(const ScopeState& state, const ScopeRect& plot) {
    ScopeView view;
    view.plot = plot;
    view.level = state.level;
    const auto L = static_cast<std::size_t>(state.level);
    view.index = state.axis.index[L];
    view.time = state.axis.time[L];
    view.timePerSample = state.axis.timePerSample;
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        view.channels[static_cast<std::size_t>(ch - 1)].min = state.Channel(ch).range[L].min;
    }
    if (plot.IsEmpty()) {
        return view;
    }
    view.hScale = (view.index.max - view.index.min) / static_cast<float>(plot.Width());
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const ScopeRange& r = state.Channel(ch).range[L];
        view.channels[static_cast<std::size_t>(ch - 1)].scale =
            (r.max - r.min) / static_cast<float>(plot.Height());
    }
    return view;
}

} // namespace kestova
