// Layout arithmetic: grid subdivisions, the plot rectangle, safe truncation, label texts.

#include "ScopeLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace {

using kestova::ScopeMargins;
using kestova::ScopeRect;

struct DivCase {
    float a, b;
    int previous; // YDivisions only
    int want;
    friend std::ostream& operator<<(std::ostream& os, const DivCase& c) {
        return os << c.a << " - " << c.b << " after " << c.previous;
    }
};

class XDivisionsCase : public testing::TestWithParam<DivCase> {};

TEST_P(XDivisionsCase, LargestDivisorOfTheSpanInTens) {
    const DivCase c = GetParam();
    EXPECT_EQ(kestova::XDivisions(c.a, c.b), c.want) << c.a << " - " << c.b;
}

INSTANTIATE_TEST_SUITE_P(Cases, XDivisionsCase,
                         testing::Values(DivCase{200, 0, 0, 5},   // 20: 2, 4, 5 divide; 5 last
                                         DivCase{10, 0, 0, 1},    // span 10
                                         DivCase{110, 0, 0, 2},   // 11: no divisor -> 2
                                         DivCase{130, 0, 0, 2},   // 13: likewise
                                         DivCase{70, 0, 0, 7},    // 7 stays 7 on this axis
                                         DivCase{120, 0, 0, 6},   // 12: 2, 3, 4, 6
                                         DivCase{30, 0, 0, 3},    // 3
                                         DivCase{29.9f, 0, 0, 1}, // 2.99 truncates to 2
                                         DivCase{70, 20, 0, 5},   // the zoomed 20..70 window
                                         DivCase{0, 200, 0, 1},   // inverted span
                                         DivCase{NAN, 0, 0, 1},
                                         DivCase{1e30f, 0, 0,
                                                 4})); // saturated at 2^24, no overflow

class YDivisionsCase : public testing::TestWithParam<DivCase> {};

TEST_P(YDivisionsCase, DivisorThreeToSevenKeepsPreviousSevenIsTwo) {
    const DivCase c = GetParam();
    EXPECT_EQ(kestova::YDivisions(c.a, c.b, c.previous), c.want) << c.a << " - " << c.b;
}

INSTANTIATE_TEST_SUITE_P(Cases, YDivisionsCase,
                         testing::Values(DivCase{5, -5, 2, 1},     // 1
                                         DivCase{20, -20, 2, 4},   // 4
                                         DivCase{100, -100, 2, 5}, // 20: 4, 5
                                         DivCase{70, -70, 2, 2},   // 14: 7 -> 2
                                         DivCase{35, -35, 4, 2},   // 7: 7 -> 2
                                         DivCase{300, -300, 4, 2}, // 60 >= 50
                                         DivCase{250, -250, 3, 2}, // exactly 50
                                         DivCase{245, -245, 3, 2}, // 49: 7 -> 2
                                         DivCase{55, -55, 4, 4},   // 11: keeps the previous
                                         DivCase{55, -55, 5, 5},
                                         DivCase{-100, 100, 2, 5}, // the magnitude counts
                                         DivCase{15, -15, 2, 3},   // 3
                                         DivCase{12, -12, 6, 1})); // 2.4 -> 2: one division

struct PlotCase {
    ScopeRect client;
    ScopeMargins margins;
    ScopeRect want;
    friend std::ostream& operator<<(std::ostream& os, const PlotCase& c) {
        return os << c.client.Width() << "x" << c.client.Height();
    }
};

class PlotRectCase : public testing::TestWithParam<PlotCase> {};

TEST_P(PlotRectCase, HeightBecomesWholeRows) {
    const PlotCase c = GetParam();
    const ScopeRect plot = kestova::PlotRect(c.client, c.margins);
    EXPECT_EQ(plot, c.want);
    if (!plot.IsEmpty()) {
        EXPECT_EQ(plot.Height() % 10, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlotRectCase,
    testing::Values(
        // 700 x 290 with margins 60, 14, 70, 42: 570 wide, 234 high -> 220, top down by 14
        PlotCase{{0, 0, 700, 290}, {60, 14, 70, 42}, {60, 28, 630, 248}},
        // already whole rows: still one row less (top down by 10)
        PlotCase{{0, 0, 700, 254}, {60, 14, 70, 40}, {60, 24, 630, 214}},
        // too small: empty, whatever its corners
        PlotCase{{0, 0, 100, 40}, {60, 14, 70, 42}, {60, 18, 30, -2}}));

TEST(Rect, ContainsLeftTopButNotRightBottom) {
    const ScopeRect r{60, 24, 560, 244};
    EXPECT_TRUE(r.Contains({60, 24}));
    EXPECT_TRUE(r.Contains({559, 243}));
    EXPECT_FALSE(r.Contains({560, 100}));
    EXPECT_FALSE(r.Contains({100, 244}));
    EXPECT_FALSE(r.Contains({59, 100}));
    EXPECT_EQ(r.ToQRect(), QRect(60, 24, 500, 220));
}

TEST(Trunc, TowardZeroAndSaturating) {
    EXPECT_EQ(kestova::TruncToInt(2.9), 2);
    EXPECT_EQ(kestova::TruncToInt(-2.9), -2);
    EXPECT_EQ(kestova::TruncToInt(NAN), 0);
    EXPECT_EQ(kestova::TruncToInt(INFINITY), kestova::kTruncLimit);
    EXPECT_EQ(kestova::TruncToInt(-1e300), -kestova::kTruncLimit);
}

struct FormatCase {
    double value;
    int decimals;
    const char* want;
    friend std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
        return os << c.value << " with " << c.decimals;
    }
};

class Format : public testing::TestWithParam<FormatCase> {};

TEST_P(Format, AsPrintfPrintsWithoutMinusZero) {
    const FormatCase c = GetParam();
    EXPECT_EQ(kestova::FormatFixed(c.value, c.decimals), QString::fromLatin1(c.want));
}

INSTANTIATE_TEST_SUITE_P(Cases, Format,
                         testing::Values(FormatCase{200, 0, "200"}, FormatCase{-50, 3, "-50.000"},
                                         FormatCase{12.5, 0, "12"}, // ties to even, as printf
                                         FormatCase{13.5, 0, "14"}, FormatCase{0.05, 1, "0.1"},
                                         FormatCase{-1e-12, 0, "0"}, // a hair below zero
                                         FormatCase{-0.0004, 3, "0.000"},
                                         FormatCase{-0.0006, 3, "-0.001"},
                                         FormatCase{1e6, 2, "1000000.00"}));

} // namespace
