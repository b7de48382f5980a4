// The scope's data model: range setting, growth while samples arrive, unit groups, the sweep's
// last index, the time axis, and setters that write the current zoom level.

#include "ScopeState.h"
#include "ScopeChannels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace {

using kestova::ScopeRange;
using kestova::ScopeState;

void ExpectRange(const ScopeRange& r, float min, float max) {
    EXPECT_FLOAT_EQ(r.min, min);
    EXPECT_FLOAT_EQ(r.max, max);
}

struct RangeCase {
    int level;
    float min, max;
    float wantMin, wantMax;
    friend std::ostream& operator<<(std::ostream& os, const RangeCase& c) {
        return os << "level " << c.level << ": " << c.min << ".." << c.max;
    }
};

class RangeSetting : public testing::TestWithParam<RangeCase> {};

TEST_P(RangeSetting, WidensNarrowSpansOnlyWhenUnzoomed) {
    const RangeCase c = GetParam();
    ScopeState s;
    s.level = c.level;
    s.SetChannelRange(2, c.min, c.max);
    ExpectRange(s.Channel(2).range[static_cast<std::size_t>(c.level)], c.wantMin, c.wantMax);
    if (c.level != 0) {
        ExpectRange(s.Channel(2).range[0], 0.0f, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RangeSetting,
                         testing::Values(RangeCase{0, -3, 3, -8, 8}, // widened by 5 each side
                                         RangeCase{2, -3, 3, -3, 3}, // zoomed: as given
                                         RangeCase{0, -5, 5, -5, 5}, // exactly 10 stays
                                         RangeCase{0, 0, 9.5f, -5, 14.5f},
                                         RangeCase{0, 5, -5, 5, -5}, // inverted, not swapped
                                         RangeCase{0, 3, 2, -2, 7},  // inverted and narrow
                                         RangeCase{14, 1, 1, 1, 1}));

struct GrowthCase {
    float levelZeroMax; // the range before the sample, symmetric
    float value;
    float want; // resulting symmetric maximum
    friend std::ostream& operator<<(std::ostream& os, const GrowthCase& c) {
        return os << c.value << " into " << c.levelZeroMax;
    }
};

class SampleGrowth : public testing::TestWithParam<GrowthCase> {};

TEST_P(SampleGrowth, GrowsInStepsOfTenOrHundred) {
    const GrowthCase c = GetParam();
    ScopeState s;
    s.SetSampleCount(200);
    s.SetChannelRange(1, -c.levelZeroMax, c.levelZeroMax);
    s.AddPoint(1, 0, c.value);
    ExpectRange(s.Channel(1).range[0], -c.want, c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, SampleGrowth,
                         testing::Values(GrowthCase{5, 50, 70},     // r 60 -> 70
                                         GrowthCase{5, 90, 200},    // r 108 -> 200
                                         GrowthCase{120, 100, 120}, // r exactly 120: no growth
                                         GrowthCase{5, -260, 400},  // sign does not matter
                                         GrowthCase{5, 83.3f, 100}, // r 99.96 -> tens
                                         GrowthCase{5, 84, 200},    // r 100.8 -> hundreds
                                         GrowthCase{5, 4, 5},       // r 4.8 fits
                                         GrowthCase{5, 8, 10},      // r 9.6 -> 10, not widened
                                         GrowthCase{400, 300, 400}, // never shrinks
                                         GrowthCase{5, NAN, 5}, GrowthCase{5, INFINITY, 5}));

TEST(SampleIntake, GrowthWritesTheCurrentLevelButComparesLevelZero) {
    ScopeState s;
    s.SetSampleCount(10);
    s.SetChannelRange(1, -5, 5);
    s.level = 2;
    s.SetChannelRange(1, -1000, 1000);
    s.AddPoint(1, 0, 50);
    ExpectRange(s.Channel(1).range[2], -70, 70);
    ExpectRange(s.Channel(1).range[0], -5, 5);
}

struct LastIndexCase {
    int count;
    int index;
    bool complete;
    friend std::ostream& operator<<(std::ostream& os, const LastIndexCase& c) {
        return os << c.index << " of " << c.count;
    }
};

class LastIndex : public testing::TestWithParam<LastIndexCase> {};

TEST_P(LastIndex, OnlyTheLastIndexCompletesASweep) {
    const LastIndexCase c = GetParam();
    ScopeState s;
    s.SetSampleCount(static_cast<std::uint16_t>(c.count));
    EXPECT_EQ(s.AddPoint(3, c.index, 1.0f), c.complete);
    ASSERT_EQ(s.Channel(3).samples.size(), 1u);
    EXPECT_FLOAT_EQ(s.Channel(3).samples[0].x, static_cast<float>(c.index));
    EXPECT_FLOAT_EQ(s.Channel(3).samples[0].y, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Cases, LastIndex,
                         testing::Values(LastIndexCase{200, 199, true},
                                         LastIndexCase{200, 198, false},
                                         LastIndexCase{200, 200, false}, // beyond: appended only
                                         LastIndexCase{65535, 65534, true},
                                         LastIndexCase{0, -1, true}, // signed comparison
                                         LastIndexCase{0, 65535, false}));

TEST(SampleIntake, SamplesKeepArrivalOrderPastTheSampleCount) {
    ScopeState s;
    s.SetSampleCount(3);
    for (int i : {0, 1, 2, 3, 1}) {
        s.AddPoint(1, i, static_cast<float>(10 * i));
    }
    const auto& list = s.Channel(1).samples;
    ASSERT_EQ(list.size(), 5u);
    EXPECT_FLOAT_EQ(list[3].x, 3.0f);
    EXPECT_FLOAT_EQ(list[4].y, 10.0f);
}

// A sweep as the host feeds it: the P group unifies to its largest range at the last sample,
// not before; other groups and source-less channels keep theirs.
TEST(UnifyScales, PGroupSharesTheLargestRangeAfterTheLastSample) {
    ScopeState s;
    s.SetSampleCount(3);
    s.SetChannelSources(kestova::SRC_POSITION_ERROR, kestova::SRC_POSITION_TARGET,
                        kestova::SRC_VELOCITY_FEEDBACK, 0);
    for (int ch = 1; ch <= 4; ++ch) {
        s.SetChannelRange(ch, -5, 5);
    }
    s.SetChannelRange(4, -1000, 1000);
    const float ch1[] = {10, 260, -3};
    const float ch2[] = {40, -12, 7};
    const float ch3[] = {2, -2, 1};
    for (int i = 0; i < 3; ++i) {
        s.AddPoint(2, i, ch2[i]);
        s.AddPoint(3, i, ch3[i]);
    }
    ExpectRange(s.Channel(2).range[0], -50, 50);
    for (int i = 0; i < 2; ++i) {
        s.AddPoint(1, i, ch1[i]);
    }
    ExpectRange(s.Channel(2).range[0], -50, 50); // not yet: channel 1 is still arriving
    EXPECT_TRUE(s.AddPoint(1, 2, ch1[2]));
    ExpectRange(s.Channel(1).range[0], -400, 400);
    ExpectRange(s.Channel(2).range[0], -400, 400);
    ExpectRange(s.Channel(3).range[0], -5, 5);
    ExpectRange(s.Channel(4).range[0], -1000, 1000); // source 0: neither counted nor changed
}

struct GroupCase {
    std::uint32_t a, b; // sources of channels 1 and 2
    float aMin, aMax, bMin, bMax;
    float wantAMin, wantAMax, wantBMin, wantBMax;
    friend std::ostream& operator<<(std::ostream& os, const GroupCase& c) {
        return os << c.a << " and " << c.b;
    }
};

class UnifyGroups : public testing::TestWithParam<GroupCase> {};

TEST_P(UnifyGroups, SymmetricLargestRangePerGroup) {
    const GroupCase c = GetParam();
    ScopeState s;
    s.SetChannelSources(c.a, c.b, 0, 0);
    s.Channel(1).range[0] = {c.aMin, c.aMax};
    s.Channel(2).range[0] = {c.bMin, c.bMax};
    s.UnifyScales();
    ExpectRange(s.Channel(1).range[0], c.wantAMin, c.wantAMax);
    ExpectRange(s.Channel(2).range[0], c.wantBMin, c.wantBMax);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnifyGroups,
    testing::Values(
        // speed feedback and target share RPM
        GroupCase{2, 8, -30, 30, -800, 800, -800, 800, -800, 800},
        // all four current codes are one group
        GroupCase{32, 2048, -70, 70, -2500, 2500, -2500, 2500, -2500, 2500},
        GroupCase{256, 512, -20, 20, -10, 10, -20, 20, -20, 20},
        // different groups stay apart (a lone member becomes symmetric)
        GroupCase{1, 2, -100, 40, -300, 300, -40, 40, -300, 300},
        // a largest maximum under 5 is widened, one at or under 0 ends as -5..5
        GroupCase{1, 4, -20, 3, -20, 2, -8, 8, -8, 8},
        GroupCase{128, 0, -30, -10, 0, 0, -5, 5, 0, 0},
        // a code outside every group (two bits from different groups) keeps its range
        GroupCase{3, 1, -7, 9, -50, 50, -7, 9, -50, 50}));

TEST(UnifyScales, TouchesOnlyLevelZero) {
    ScopeState s;
    s.SetChannelSources(1, 4, 0, 0);
    s.Channel(1).range[0] = {-100, 100};
    s.Channel(2).range[0] = {-50, 50};
    s.Channel(2).range[3] = {-1, 2};
    s.level = 3;
    s.UnifyScales();
    ExpectRange(s.Channel(2).range[0], -100, 100);
    ExpectRange(s.Channel(2).range[3], -1, 2);
}

struct TimeCase {
    int count;
    int tmin, tmax;
    int wantCount;
    float wantPerSample;
    friend std::ostream& operator<<(std::ostream& os, const TimeCase& c) {
        return os << c.tmin << ".." << c.tmax << " over " << c.count;
    }
};

class TimeRange : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeRange, TimePerSampleFromLevelZero) {
    const TimeCase c = GetParam();
    ScopeState s;
    s.SetSampleCount(static_cast<std::uint16_t>(c.count));
    s.SetTimeRange(c.tmin, c.tmax);
    EXPECT_EQ(s.axis.sampleCount, c.wantCount);
    EXPECT_FLOAT_EQ(s.axis.timePerSample, c.wantPerSample);
    ExpectRange(s.axis.time[0], static_cast<float>(c.tmin), static_cast<float>(c.tmax));
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeRange,
                         testing::Values(TimeCase{200, 0, 200, 200, 1.0f},
                                         TimeCase{0, 0, 100, 1, 100.0f}, // no division by zero
                                         TimeCase{512, 0, 256, 512, 0.5f},
                                         TimeCase{3, 0, 1, 3, 1.0f / 3.0f},
                                         TimeCase{200, 0, 0, 200, 0.0f}));

// The user zoomed to level 2, then the host prepares a sweep: the setters land in level 2, level 0
// keeps the previous sweep's ranges, and the next sweep's ranging starts from those.
TEST(CurrentLevel, SettersWriteTheZoomLevelInForce) {
    ScopeState s;
    s.SetSampleCount(200);
    s.SetXRange(0, 200, 2);
    s.SetTimeRange(0, 200);
    s.SetChannelRange(1, -400, 400);
    s.level = 2;
    s.SetChannelRange(1, -5, 5);
    s.SetXRange(0, 100, 2);
    s.SetTimeRange(0, 50);
    ExpectRange(s.Channel(1).range[2], -5, 5);
    ExpectRange(s.axis.index[2], 0, 100);
    ExpectRange(s.axis.time[2], 0, 50);
    ExpectRange(s.Channel(1).range[0], -400, 400);
    ExpectRange(s.axis.index[0], 0, 200);
    EXPECT_FLOAT_EQ(s.axis.timePerSample, 1.0f); // from level 0's 200

    s.Clear();
    EXPECT_EQ(s.level, 0);
    s.AddPoint(1, 0, 300); // r 360 fits the old 400
    ExpectRange(s.Channel(1).range[0], -400, 400);
    ExpectRange(s.Channel(1).range[2], -5, 5); // deeper history kept until overwritten
}

TEST(State, ClearEmptiesEveryListAndReturnsToLevelZero) {
    ScopeState s;
    s.SetSampleCount(10);
    for (int ch = 1; ch <= 4; ++ch) {
        s.AddPoint(ch, 0, 1.0f);
    }
    s.level = 7;
    s.Clear();
    EXPECT_EQ(s.level, 0);
    for (const auto& c : s.channels) {
        EXPECT_TRUE(c.samples.empty());
    }
}

TEST(State, YUnitNamesChannelOneAndBlanksTheOthers) {
    ScopeState s;
    s.Channel(3).title = "old";
    s.SetYUnit("Current mA");
    EXPECT_EQ(s.Channel(1).title, "Current mA");
    EXPECT_TRUE(s.Channel(3).title.isEmpty());
}

TEST(Channels, NamesAndGroups) {
    const std::pair<std::uint32_t, const char*> names[] = {
        {1, "Position Error (P)"},
        {2, "Velocity Feedback (RPM)"},
        {4, "Position Feedback (P)"},
        {8, "Velocity Targeted  (RPM)"},
        {16, "Position Targeted (P)"},
        {32, "Q Axis Current (mA)"},
        {64, "Synthetic Current (mA)"},
        {128, "Bus Voltage (0.1V)"},
        {256, "Acceleration Targeted (R/S^2)"},
        {512, "Acceleration Feedback (R/S^2)"},
        {1024, "A Phase Current (mA)"},
        {2048, "B Phase Current (mA)"},
        {0, "<--Select--"},
        {3, "<--Select--"},
        {4096, "<--Select--"},
    };
    for (const auto& [code, name] : names) {
        EXPECT_EQ(kestova::ChannelName(code), QString::fromLatin1(name)) << code;
    }
    EXPECT_TRUE(kestova::InUnitGroup(1 | 16, kestova::GROUP_P));
    EXPECT_FALSE(kestova::InUnitGroup(0, kestova::GROUP_P));
    EXPECT_FALSE(kestova::InUnitGroup(1 | 2, kestova::GROUP_P));
    EXPECT_TRUE(kestova::InUnitGroup(1024, kestova::GROUP_MA));
}

TEST(State, DefaultColours) {
    const ScopeState s;
    EXPECT_EQ(s.background, QColor(0, 0, 0));
    EXPECT_EQ(s.Channel(1).colour, QColor(255, 0, 0));
    EXPECT_EQ(s.Channel(2).colour, QColor(0, 128, 255));
    EXPECT_EQ(s.Channel(3).colour, QColor(255, 128, 0));
    EXPECT_EQ(s.Channel(4).colour, QColor(128, 0, 255));
}

} // namespace
