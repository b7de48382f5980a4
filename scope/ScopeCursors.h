#pragma once

// The scope's two vertical cursors: where they stand (as times of the sweep, so they keep their
// place through zooms), the pixel <-> time arithmetic of the view on screen, the handles they
// are dragged by, and what they read from the sweeps.

#include "ScopeLayout.h"
#include "ScopeState.h"
#include "ScopeView.h"

#include <QRect>
#include <QStringList>

#include <array>
#include <optional>

namespace kestova {

// What the cursors read. Times are in the axis unit; a channel not shown, or without a sample
// under a cursor, reads nothing.
struct CursorReadout {
    std::array<double, 2> time{};
    std::array<std::array<std::optional<double>, kScopeChannels>, 2> value{};
    double dt = 0.0; // cursor 2 minus cursor 1
    std::array<std::optional<double>, kScopeChannels> delta{};
};

class ScopeCursors {
public:
    // Handles: this wide, this tall from the plot's top edge down.
    static constexpr int kHandleWidth = 11;
    static constexpr int kHandleHeight = 12;

    bool On() const { return on_; }
    // Puts the cursors at a third and two thirds of the window on screen, on samples.
    void SwitchOn(const ScopeState& state, const ScopeView& view);
    void SwitchOff();
    // Cursor 1 or 2.
    double Time(int cursor) const { return time_[static_cast<std::size_t>(cursor - 1)]; }
    void SetTime(int cursor, double t) { time_[static_cast<std::size_t>(cursor - 1)] = t; }

    // The column a time is drawn at, as the traces place their samples; nothing outside the
    // plot or without a horizontal scale.
    static std::optional<int> XOfTime(const ScopeView& view, double t);
    // The time under a column, the column first clamped into the plot.
    static double TimeOfX(const ScopeView& view, int x);
    // The sample nearest a time, within the sweep; -1 for a sweep without samples.
    static int SampleAt(const ScopeState& state, double t);

    // The handle of a cursor standing at column x.
    static QRect HandleRect(const ScopeView& view, int x);
    // The cursor whose handle is under p (cursor 2 first, as it is drawn on top); 0 for none.
    int HandleAt(const ScopeView& view, QPoint p) const;

    // Dragging: Grab a cursor, follow the pointer (the cursor lands on the nearest sample),
    // Release. Grabbed() is 0 when no drag runs.
    void Grab(int cursor) { grabbed_ = cursor; }
    void DragTo(const ScopeState& state, const ScopeView& view, int x);
    void Release() { grabbed_ = 0; }
    int Grabbed() const { return grabbed_; }

    CursorReadout Read(const ScopeState& state) const;

private:
    bool on_ = false;
    int grabbed_ = 0;
    std::array<double, 2> time_{};
};

// The read-out as lines of text: per cursor its time and each shown channel's value with its
// unit, then dt, 1/dt (in Hz for a millisecond or microsecond axis) and each channel's delta.
QStringList ReadoutLines(const CursorReadout& readout, const ScopeState& state);

} // namespace kestova
