// The cursors' arithmetic: pixels and times, sample lookup, the read-out at known samples, and
// their place through a zoom. Samples 0..200 over 0..400 ms on a plot 400 x 220 at (60, 24): two
// pixels per sample, two ms per sample.

#include "ScopeCursors.h"
#include "ScopeChannels.h"
#include "ScopeZoom.h"

#include <gtest/gtest.h>

namespace {

using kestova::ScopeCursors;

class Cursors : public testing::Test {
protected:
    void SetUp() override {
        s.SetXUnit("ms");
        s.SetSampleCount(200);
        s.SetXRange(0, 200, 2);
        s.SetTimeRange(0, 400); // 2 ms per sample
        s.SetChannelSources(kestova::SRC_VELOCITY_FEEDBACK, kestova::SRC_A_PHASE_CURRENT,
                            kestova::SRC_BUS_VOLTAGE, 0);
        for (int i = 0; i < 200; ++i) {
            s.AddPoint(1, i, static_cast<float>(3 * i));
            s.AddPoint(2, i, static_cast<float>(-i));
            s.AddPoint(3, i, 7.0F);
        }
        s.Channel(1).enabled = 1;
        s.Channel(2).enabled = 1;
        s.Channel(3).enabled = 0; // hidden
        view = kestova::ViewOf(s, plot);
    }

    kestova::ScopeState s;
    const kestova::ScopeRect plot{60, 24, 460, 244};
    kestova::ScopeView view;
    ScopeCursors cursors;
};

TEST_F(Cursors, PixelsAndTimesMapBothWays) {
    // 100 ms is sample 50 at column 60 + 100.
    EXPECT_EQ(ScopeCursors::XOfTime(view, 100.0), 160);
    EXPECT_DOUBLE_EQ(ScopeCursors::TimeOfX(view, 161), 101.0);
    EXPECT_DOUBLE_EQ(ScopeCursors::TimeOfX(view, 10), 0.0); // clamped onto the plot
    EXPECT_FALSE(ScopeCursors::XOfTime(view, 500.0));       // beyond the window
}

TEST_F(Cursors, TheNearestSampleWithinTheSweepIsRead) {
    EXPECT_EQ(ScopeCursors::SampleAt(s, 100.9), 50);
    EXPECT_EQ(ScopeCursors::SampleAt(s, 101.1), 51);
    EXPECT_EQ(ScopeCursors::SampleAt(s, -30.0), 0);
    EXPECT_EQ(ScopeCursors::SampleAt(s, 9999.0), 199);
}

TEST_F(Cursors, ReadOutGivesValuesDtAndDeltasOfShownChannels) {
    cursors.SetTime(1, 20.0);  // sample 10
    cursors.SetTime(2, 100.0); // sample 50
    const kestova::CursorReadout r = cursors.Read(s);
    EXPECT_EQ(r.value[0][0], 30.0);
    EXPECT_EQ(r.value[1][1], -50.0);
    EXPECT_FALSE(r.value[0][2]); // hidden
    EXPECT_DOUBLE_EQ(r.dt, 80.0);
    EXPECT_EQ(r.delta[0], 120.0);
    EXPECT_EQ(r.delta[1], -40.0);
    const QStringList lines = kestova::ReadoutLines(r, s);
    EXPECT_TRUE(lines.contains("Cursor 2: 100 ms"));
    EXPECT_TRUE(lines.contains("  Ch1 150 RPM"));
    EXPECT_TRUE(lines.contains("1/dt: 12.5 Hz"));
    EXPECT_TRUE(lines.contains("  dCh2 -40.0 mA"));
}

TEST_F(Cursors, DraggingLandsOnASampleAndTheHandleFollows) {
    cursors.SwitchOn(s, view);
    ASSERT_EQ(cursors.HandleAt(view, {*ScopeCursors::XOfTime(view, cursors.Time(2)), 30}), 2);
    cursors.Grab(2);
    cursors.DragTo(s, view, 159); // 99 ms: halfway between samples 49 and 50 goes up
    cursors.Release();
    EXPECT_DOUBLE_EQ(cursors.Time(2), 100.0);
    EXPECT_EQ(cursors.HandleAt(view, {160, 30}), 2);
    EXPECT_EQ(cursors.HandleAt(view, {160, 60}), 0); // below the handle: the zoom's
}

TEST_F(Cursors, ACursorKeepsItsTimeThroughAZoom) {
    cursors.SetTime(1, 100.0);
    // Into samples 30..80 (60..160 ms): 100 ms stands at 2/5 of the plot.
    ASSERT_EQ(kestova::ZoomIn(s, view, {120, 30, 225, 200}), kestova::ZoomOutcome::Zoomed);
    const kestova::ScopeView zoomed = kestova::ViewOf(s, plot);
    EXPECT_EQ(ScopeCursors::XOfTime(zoomed, cursors.Time(1)), 60 + 400 * 2 / 5);
    EXPECT_EQ(cursors.Read(s).value[0][0], 150.0);
    kestova::ZoomOut(s);
    EXPECT_EQ(ScopeCursors::XOfTime(kestova::ViewOf(s, plot), cursors.Time(1)), 160);
}

} // namespace
