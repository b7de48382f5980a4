// Zoom arithmetic and the rubber band's rules, on a plot 500 x 220 at (60, 24) showing samples
// 0..200 over 0..200 ms with channel 1 at -100..100, the scales as the drawing leaves them.

#include "ScopeZoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace {

using kestova::ScopeDrag;
using kestova::ScopeRange;
using kestova::ScopeRect;
using kestova::ScopeState;
using kestova::ZoomOutcome;

// Within float rounding of the values involved.
void ExpectRange(const ScopeRange& r, float min, float max) {
    EXPECT_NEAR(r.min, min, 1e-6f * std::max(100.0f, std::fabs(min)));
    EXPECT_NEAR(r.max, max, 1e-6f * std::max(100.0f, std::fabs(max)));
}

class Zoom : public testing::Test {
protected:
    void SetUp() override {
        s.SetSampleCount(200);
        s.SetXRange(0, 200, 2);
        s.SetTimeRange(0, 200);
        s.SetChannelRange(1, -100, 100);
        s.SetChannelRange(2, -400, 400);
        s.SetChannelRange(3, -5, 5);
        s.SetChannelRange(4, -2500, 2500);
        ComputeScales();
    }
    // The view a redraw returns for the zoom to use.
    void ComputeScales() { view = kestova::ViewOf(s, plot); }
    ScopeRect Band(int left, int top, int right, int bottom) const {
        return {left, top, right, bottom};
    }

    ScopeState s;
    const ScopeRect plot{60, 24, 560, 244};
    kestova::ScopeView view;
};

TEST_F(Zoom, TimeWindowStartsAtTheBandAndSpansWholeTens) {
    // 110..242: samples 20..72.8, whose 52.8 ms are cut to 50
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::Zoomed);
    EXPECT_EQ(s.level, 1);
    ExpectRange(s.axis.index[1], 20, 70);
    ExpectRange(s.axis.time[1], 20, 70);
    ExpectRange(s.axis.index[0], 0, 200);
    EXPECT_FLOAT_EQ(s.axis.timePerSample, 1.0f);
}

TEST_F(Zoom, ChannelOneTakesTheBandAndTheOthersFollowInProportion) {
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::Zoomed);
    ExpectRange(s.Channel(1).range[1], -50, 50);
    ExpectRange(s.Channel(2).range[1], -200, 200);
    ExpectRange(s.Channel(3).range[1], -2.5f, 2.5f); // halved, no widening past level 0
    ExpectRange(s.Channel(4).range[1], -1250, 1250);
    ExpectRange(s.Channel(2).range[0], -400, 400);
}

TEST_F(Zoom, AnOffCentreBandShiftsEveryChannelAlike) {
    // Channel 1's upper half: 0..100 -> the other channels' upper halves.
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(60, 24, 560, 134)), ZoomOutcome::Zoomed);
    ExpectRange(s.Channel(1).range[1], 0, 100);
    ExpectRange(s.Channel(2).range[1], 0, 400);
    // A second zoom from a range ending at exactly 0 takes fractions of each channel's span:
    // the middle half of 0..100 is 25..75, so 0..400 becomes 100..300.
    ComputeScales();
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(60, 79, 560, 189)), ZoomOutcome::Zoomed);
    ExpectRange(s.Channel(1).range[2], 25, 75);
    ExpectRange(s.Channel(2).range[2], 100, 300);
    ExpectRange(s.Channel(4).range[2], 625, 1875);
}

TEST_F(Zoom, ZeroAtTheTopOfChannelOneIsHandledTheSameWay) {
    s.Channel(1).range[0] = {-100, 0};
    ComputeScales();
    // the middle half of -100..0
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(60, 79, 560, 189)), ZoomOutcome::Zoomed);
    ExpectRange(s.Channel(1).range[1], -75, -25);
    ExpectRange(s.Channel(2).range[1], -200, 200);
    for (const auto& c : s.channels) {
        EXPECT_TRUE(std::isfinite(c.range[1].min) && std::isfinite(c.range[1].max));
    }
}

TEST_F(Zoom, AtLevelFourteenNothingChanges) {
    s.level = 14;
    s.Channel(1).range[14] = {-100, 100};
    s.axis.index[14] = {0, 200};
    const auto before = s.Channel(2).range;
    EXPECT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::AlreadyMaximized);
    EXPECT_EQ(s.level, 14);
    ExpectRange(s.axis.index[14], 0, 200);
    ExpectRange(s.Channel(2).range[14], before[14].min, before[14].max);
}

struct RefusedCase {
    const char* why;
    ScopeRect band;
    friend std::ostream& operator<<(std::ostream& os, const RefusedCase& c) { return os << c.why; }
};

class ZoomRefused : public Zoom, public testing::WithParamInterface<RefusedCase> {};

TEST_P(ZoomRefused, LevelAndRangesStay) {
    const auto level1 = s.Channel(1).range[1];
    EXPECT_EQ(kestova::ZoomIn(s, view, GetParam().band), ZoomOutcome::AlreadyMaximized);
    EXPECT_EQ(s.level, 0);
    ExpectRange(s.Channel(1).range[1], level1.min, level1.max);
    ExpectRange(s.axis.time[1], 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ZoomRefused,
                         testing::Values(RefusedCase{"8 ms wide", {110, 79, 130, 189}},
                                         RefusedCase{"9.6 ms wide", {110, 79, 134, 189}},
                                         RefusedCase{"no height", {110, 100, 300, 100}}));

TEST_F(Zoom, ATwentyFiveMillisecondBandGivesTwenty) {
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 175, 189)), ZoomOutcome::Zoomed);
    ExpectRange(s.axis.time[1], 20, 40);
}

TEST_F(Zoom, WithoutTimePerSampleItRefusesInsteadOfDividingByZero) {
    s.SetTimeRange(0, 0);
    EXPECT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::AlreadyMaximized);
    EXPECT_EQ(s.level, 0);
    EXPECT_TRUE(std::isfinite(s.axis.index[1].max));
}

TEST_F(Zoom, WithAnEmptyChannelOneRangeItRefuses) {
    s.Channel(1).range[0] = {30, 30};
    ComputeScales();
    EXPECT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::AlreadyMaximized);
}

TEST_F(Zoom, ZoomingOutReturnsToTheRangesStillInTheStacks) {
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::Zoomed);
    ComputeScales();
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(60, 24, 310, 134)), ZoomOutcome::Zoomed);
    EXPECT_EQ(s.level, 2);
    EXPECT_TRUE(kestova::ZoomOut(s));
    EXPECT_EQ(s.level, 1);
    ExpectRange(s.axis.time[1], 20, 70);
    ExpectRange(s.Channel(1).range[1], -50, 50);
    EXPECT_TRUE(kestova::ZoomOut(s));
    EXPECT_FALSE(kestova::ZoomOut(s));
    EXPECT_EQ(s.level, 0);
}

// A tenth of a time unit per sample (1000 samples over 0..100), which binary fractions cannot
// hold exactly: two samples per pixel.
class ZoomAtATenth : public Zoom {
protected:
    void SetUp() override {
        Zoom::SetUp();
        s.SetSampleCount(1000);
        s.SetXRange(0, 1000, 2);
        s.SetTimeRange(0, 100);
        ComputeScales();
    }
};

// Regression: about half of such bands went through as a zero-width window with no trace and
// eleven equal time labels, because the window's two ends were rounded to different precisions.
TEST_F(ZoomAtATenth, NoBandUnderTenTimeUnitsGetsThroughWhereverItStarts) {
    for (int left = plot.left; left + 48 <= plot.right; ++left) { // 48 pixels: 9.6 time units
        ASSERT_EQ(kestova::ZoomIn(s, view, Band(left, 79, left + 48, 189)),
                  ZoomOutcome::AlreadyMaximized)
            << "band from " << left;
        ASSERT_EQ(s.level, 0);
    }
}

TEST_F(ZoomAtATenth, AWideBandStillGetsWholeTensFromItsLeftEdge) {
    // 110..242: samples 100..364, 10..36.4 time units, cut to 10..30
    ASSERT_EQ(kestova::ZoomIn(s, view, Band(110, 79, 242, 189)), ZoomOutcome::Zoomed);
    ExpectRange(s.axis.time[1], 10, 30);
    ExpectRange(s.axis.index[1], 100, 300);
}

// The rubber band on the same plot (left 60, top 24, right 560, bottom 244).
class Drag : public testing::Test {
protected:
    ScopeDrag drag;
    const ScopeRect plot{60, 24, 560, 244};
};

struct SnapCase {
    int pressX, releaseX;
    int wantLeft, wantRight;
    friend std::ostream& operator<<(std::ostream& os, const SnapCase& c) {
        return os << c.pressX << " to " << c.releaseX;
    }
};

class DragSnap : public Drag, public testing::WithParamInterface<SnapCase> {};

TEST_P(DragSnap, EndsNearTheSidesSnapOntoThem) {
    const SnapCase c = GetParam();
    ASSERT_TRUE(drag.Press(plot, {c.pressX, 50}));
    ASSERT_EQ(drag.Finish(plot, {c.releaseX, 150}), ScopeDrag::Release::ZoomIn);
    EXPECT_EQ(drag.Band(), (ScopeRect{c.wantLeft, 50, c.wantRight, 150}));
}

INSTANTIATE_TEST_SUITE_P(Cases, DragSnap,
                         testing::Values(SnapCase{65, 551, 60, 560}, // 5 right, 9 left
                                         SnapCase{69, 550, 60, 550}, // 9 right snaps; 10 not
                                         SnapCase{70, 300, 70, 300},
                                         SnapCase{300, 100, 100, 300})); // right to left

struct ClickCase {
    QPoint press, release;
    ScopeDrag::Release want;
    friend std::ostream& operator<<(std::ostream& os, const ClickCase& c) {
        return os << c.press.x() << "," << c.press.y() << " to " << c.release.x() << ","
                  << c.release.y();
    }
};

class DragClick : public Drag, public testing::WithParamInterface<ClickCase> {};

TEST_P(DragClick, UnderSixPixelsEitherWayIsAClick) {
    const ClickCase c = GetParam();
    drag.Press(plot, c.press);
    EXPECT_EQ(drag.Finish(plot, c.release), c.want);
    EXPECT_FALSE(drag.InProgress());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DragClick,
    testing::Values(ClickCase{{100, 100}, {200, 104}, ScopeDrag::Release::Click},  // 100 x 4
                    ClickCase{{100, 100}, {105, 200}, ScopeDrag::Release::Click},  // 5 x 100
                    ClickCase{{100, 100}, {106, 106}, ScopeDrag::Release::ZoomIn}, // 6 x 6
                    ClickCase{{100, 100}, {100, 100}, ScopeDrag::Release::Click},
                    ClickCase{{100, 100}, {560, 150}, ScopeDrag::Release::Cancelled}, // right edge
                    ClickCase{{100, 100}, {300, 244}, ScopeDrag::Release::Cancelled},
                    // a press outside starts nothing, but a release inside zooms from the
                    // plot's top-left corner
                    ClickCase{{10, 10}, {200, 150}, ScopeDrag::Release::ZoomIn}));

TEST_F(Drag, APressOutsideAnchorsTheBandAtTheTopLeftCorner) {
    EXPECT_FALSE(drag.Press(plot, {30, 200}));
    EXPECT_FALSE(drag.InProgress());
    ASSERT_EQ(drag.Finish(plot, {200, 150}), ScopeDrag::Release::ZoomIn);
    EXPECT_EQ(drag.Band(), (ScopeRect{60, 24, 200, 150}));
}

TEST_F(Drag, MovesOutsideAreClampedOntoTheEdges) {
    ASSERT_TRUE(drag.Press(plot, {300, 100}));
    EXPECT_TRUE(drag.InProgress());
    drag.Move(plot, {900, -40});
    EXPECT_EQ(drag.End(), QPoint(560, 24));
    drag.Move(plot, {-5, 500});
    EXPECT_EQ(drag.End(), QPoint(60, 244));
    drag.Move(plot, {555, 120}); // inside, 5 from the right: snapped
    EXPECT_EQ(drag.End(), QPoint(560, 120));
    EXPECT_EQ(drag.Band(), (ScopeRect{300, 100, 560, 120}));
}

} // namespace
