#pragma once

// Mouse zoom of the scope: the rubber band's geometry (edge snapping, clamping, the click rule)
// and the arithmetic that turns a dragged rectangle into the next level of every range stack.

#include "ScopeLayout.h"
#include "ScopeState.h"
#include "ScopeView.h"

#include <QPoint>

namespace kestova {

// A band narrower or lower than this many pixels is a click.
constexpr int kClickPixels = 6;
// Band ends this close to the plot's left or right edge snap onto it.
constexpr int kSnapPixels = 10;

class ScopeDrag {
public:
    enum class Release { Click, ZoomIn, Cancelled };

    // Returns true when a drag starts (the press is inside the plot). A press outside starts no
    // drag but still moves the band's start to the plot's top-left corner.
    bool Press(const ScopeRect& plot, QPoint p);
    // Follows the pointer while dragging; outside the plot the end is clamped onto its edge.
    void Move(const ScopeRect& plot, QPoint p);
    // Ends the drag. Inside the plot: a click (band under 6 pixels either way) or a zoom into
    // Band(); outside: cancelled.
    Release Finish(const ScopeRect& plot, QPoint p);

    bool InProgress() const { return inProgress_; }
    QPoint Start() const { return start_; }
    QPoint End() const { return end_; }
    // The band from start to end with left <= right and top <= bottom.
    ScopeRect Band() const;

private:
    QPoint start_;
    QPoint end_;
    bool inProgress_ = false;
};

enum class ZoomOutcome { Zoomed, AlreadyMaximized };

// Zooms into `band` (pixels of view.plot) using the scales of `view`, the drawing on screen,
// which must be of the state's current level: the sample-index window
// starts at the band's left edge and spans whole tens of time units, channel 1 takes the band's
// height, and channels 2 to 4 follow channel 1 in proportion. AlreadyMaximized, with the level
// unchanged, at level 14, for a band under 10 time units or an empty channel-1 range.
ZoomOutcome ZoomIn(ScopeState& state, const ScopeView& view, const ScopeRect& band);

// One level back to ranges still in the stacks; false at level 0.
bool ZoomOut(ScopeState& state);

// Channels 2 to 4 at level `to` from their level `from`, zoomed as channel 1 was between them.
void ScaleOtherChannels(ScopeState& state, int from, int to);

} // namespace kestova
