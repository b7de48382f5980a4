// The renderer into real images: grid lines where they belong, traces on their polylines,
// margins that do not depend on what is shown, label precision by zoom level, the rubber band,
// and the bitwise-OR composition.

#include "ScopeChannels.h"
#include "ScopeRenderer.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ostream>

namespace {

using kestova::ScopeRange;
using kestova::ScopeRect;
using kestova::ScopeRenderer;
using kestova::ScopeState;

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

const QRgb kMajor = Rgb(0, 130, 0);
const QRgb kMinor = Rgb(0, 60, 0);
const QRgb kBlack = Rgb(0, 0, 0);
const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kTraceFill = Rgb(5, 0, 0);

class Render : public testing::Test {
protected:
    void SetUp() override {
        s.SetSampleCount(200);
        s.SetXRange(0, 200, 2);
        s.SetTimeRange(0, 200);
        s.SetChannelRange(1, -100, 100);
        for (int ch = 2; ch <= 4; ++ch) {
            s.SetChannelRange(ch, -5, 5);
        }
        s.SetChannelSources(kestova::SRC_POSITION_ERROR, 0, 0, 0);
        s.Channel(1).enabled = 1;
        r.CreateLayers({1000, 600});
    }

    // A client sized so that the plot is exactly w x h (h a multiple of 10); the margins
    // depend on the label texts only.
    void RenderPlot(int w, int h) {
        r.Redraw(s, {1000, 600});
        const auto m = r.Margins();
        client = QSize(m.left + w + m.right, m.top + 10 + h + m.bottom);
        r.Redraw(s, client);
        plot = r.PlotRect();
        ASSERT_EQ(plot.Width(), w);
        ASSERT_EQ(plot.Height(), h);
    }

    // Pixels that differ from white in a rectangle of the background layer.
    int InkIn(const QRect& area, bool (*pick)(QRgb)) const {
        int n = 0;
        const QImage& img = r.BackgroundLayer();
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                n += pick(img.pixel(x, y)) ? 1 : 0;
            }
        }
        return n;
    }

    ScopeState s;
    ScopeRenderer r;
    QSize client;
    ScopeRect plot;
};

// Time 0..200 on 500 pixels: 5 minor divisions per major column, so 49 minor lines 10 pixels
// apart (every fifth under a major one) and 9 major lines 50 apart.
TEST_F(Render, VerticalGridLinesForZeroToTwoHundred) {
    RenderPlot(500, 220);
    EXPECT_EQ(r.XDivisionsShown(), 5);
    const QImage& bg = r.BackgroundLayer();
    const int y = plot.top + 2; // between the frame and the first horizontal line
    int minor = 0;
    int major = 0;
    for (int x = plot.left + 1; x < plot.right; ++x) {
        const int dx = x - plot.left;
        const QRgb want = dx % 50 == 0 ? kMajor : dx % 10 == 0 ? kMinor : kBlack;
        ASSERT_EQ(bg.pixel(x, y), want) << "x = " << dx;
        minor += want == kMinor ? 1 : 0;
        major += want == kMajor ? 1 : 0;
    }
    EXPECT_EQ(minor, 40);
    EXPECT_EQ(major, 9);
    // plot frame on all four sides, the right and bottom edges outside the filled area
    EXPECT_EQ(bg.pixel(plot.left, y), kMajor);
    EXPECT_EQ(bg.pixel(plot.right, y), kMajor);
    EXPECT_EQ(bg.pixel(plot.left + 7, plot.bottom), kMajor);
    EXPECT_EQ(bg.pixel(plot.left + 7, plot.top), kMajor);
    // the control frame on the client's edge
    EXPECT_EQ(bg.pixel(0, 5), kMajor);
    EXPECT_EQ(bg.pixel(client.width() - 1, 5), kMajor);
    EXPECT_EQ(bg.pixel(5, client.height() - 1), kMajor);
    EXPECT_EQ(bg.pixel(5, 1), kWhite);
}

// Channel 1 at -100..100: 5 minor rows per major row of 22 pixels, i.e. every 4.4 pixels.
TEST_F(Render, HorizontalGridLinesFollowChannelOne) {
    RenderPlot(500, 220);
    EXPECT_EQ(r.YDivisionsShown(), 5);
    const QImage& bg = r.BackgroundLayer();
    const int x = plot.left + 5;
    for (int y = plot.top + 1; y < plot.bottom; ++y) {
        const int dy = y - plot.top;
        bool minor = false;
        for (int j = 1; j < 50; ++j) {
            minor = minor || y == static_cast<int>(plot.top + j * 4.4);
        }
        const QRgb want = dy % 22 == 0 ? kMajor : minor ? kMinor : kBlack;
        ASSERT_EQ(bg.pixel(x, y), want) << "y = " << dy;
    }
}

// Distance from p to the segment a-b.
double SegmentDistance(QPointF p, QPointF a, QPointF b) {
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    const double t = len2 == 0 ? 0.0 : std::clamp(QPointF::dotProduct(p - a, ab) / len2, 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::sqrt(QPointF::dotProduct(d, d));
}

// Every sample's point, placed by the scales of the drawing, is met by the trace, and every
// trace pixel lies on the polyline through them (within the painter's one-pixel rounding).
TEST_F(Render, TracePixelsLieOnTheSamplesPolyline) {
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(1, i, static_cast<float>(80.0 * std::sin(i / 15.0)));
    }
    RenderPlot(500, 220);
    const QImage& trace = r.TraceLayer();
    const QRgb red = Rgb(255, 0, 0);
    const double hs = r.View().hScale;
    const double vs = r.View().Channel(1).scale;
    std::vector<QPointF> points;
    for (const auto& p : s.Channel(1).samples) {
        points.emplace_back(static_cast<int>(p.x / hs) + plot.left,
                            plot.bottom - static_cast<int>((p.y + 100.0) / vs));
    }
    ASSERT_EQ(points.front(), QPointF(plot.left, plot.bottom - 109)); // 0 at 100 / (200 / 220)
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPoint p = points[i].toPoint();
        int near = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                near += trace.pixel(p.x() + dx, p.y() + dy) == red ? 1 : 0;
            }
        }
        ASSERT_GT(near, 0) << "sample " << i;
    }
    int pixels = 0;
    for (int y = plot.top; y < plot.bottom; ++y) {
        for (int x = plot.left; x < plot.right; ++x) {
            if (trace.pixel(x, y) != red) {
                ASSERT_EQ(trace.pixel(x, y), kTraceFill);
                continue;
            }
            ++pixels;
            double best = 1e9;
            for (std::size_t i = 1; i < points.size(); ++i) {
                best = std::min(best, SegmentDistance(QPointF(x, y), points[i - 1], points[i]));
            }
            ASSERT_LE(best, 1.0) << x << "," << y;
        }
    }
    EXPECT_GT(pixels, 500);
}

TEST_F(Render, OnlySampleCountRecordsAreDrawn) {
    s.SetSampleCount(100);
    s.SetXRange(0, 100, 2);
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(1, i % 100, i < 100 ? 50.0f : -50.0f);
    }
    RenderPlot(500, 220);
    const int yDrawn = plot.bottom - static_cast<int>(150.0 / r.View().Channel(1).scale);
    const int ySkipped = plot.bottom - static_cast<int>(50.0 / r.View().Channel(1).scale);
    EXPECT_EQ(r.TraceLayer().pixel(plot.left + 100, yDrawn), Rgb(255, 0, 0));
    EXPECT_EQ(r.TraceLayer().pixel(plot.left + 100, ySkipped), kTraceFill);
}

TEST_F(Render, CompositionOrsTheTracesIntoThePlotOnly) {
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(1, i, 0.0f);
    }
    RenderPlot(500, 220);
    const QImage& out = r.Compose(false);
    const int zeroY = plot.bottom - static_cast<int>(100.0 / r.View().Channel(1).scale);
    EXPECT_EQ(out.pixel(plot.left + 5, plot.top + 2), Rgb(5, 0, 0));    // black | fill
    EXPECT_EQ(out.pixel(plot.left + 50, plot.top + 2), Rgb(5, 130, 0)); // major | fill
    EXPECT_EQ(out.pixel(plot.left + 55, zeroY), Rgb(255, 0, 0));        // red | black
    EXPECT_EQ(out.pixel(plot.left + 50, zeroY), Rgb(255, 130, 0));      // red | major
    EXPECT_EQ(out.pixel(plot.right, plot.top + 2), kMajor); // frame outside the ORed area
    EXPECT_EQ(out.pixel(2, 2), kWhite);
}

TEST_F(Render, TheRubberBandShowsOnlyItsWhiteFrameWhileDragging) {
    RenderPlot(500, 220);
    const ScopeRect band{plot.left + 40, plot.top + 30, plot.left + 140, plot.top + 90};
    r.DrawSelection(band);
    const QImage& sel = r.SelectionLayer();
    EXPECT_EQ(sel.pixel(band.left, band.top), kWhite);
    EXPECT_EQ(sel.pixel(band.right - 1, band.bottom - 1), kWhite);
    EXPECT_EQ(sel.pixel(band.left + 50, band.bottom - 1), kWhite);
    EXPECT_EQ(sel.pixel(band.left + 50, band.top + 10), kBlack);
    EXPECT_EQ(sel.pixel(band.right, band.top + 10), kTraceFill);
    EXPECT_EQ(sel.pixel(band.left - 1, band.top + 10), kTraceFill);

    const QImage plain = r.Compose(false).copy();
    const QImage& dragging = r.Compose(true);
    EXPECT_EQ(dragging.pixel(band.left + 50, band.top), kWhite);
    EXPECT_NE(plain.pixel(band.left + 50, band.top), kWhite);
    EXPECT_EQ(dragging.pixel(band.left + 50, band.top + 10),
              plain.pixel(band.left + 50, band.top + 10));
    EXPECT_EQ(r.Compose(false).pixel(band.left + 50, band.top),
              plain.pixel(band.left + 50, band.top));

    // the next band replaces this one entirely
    const ScopeRect next{plot.left + 200, plot.top + 100, plot.left + 260, plot.top + 200};
    r.DrawSelection(next);
    for (int y = band.top; y < band.bottom; ++y) {
        for (int x = band.left; x < band.right; ++x) {
            ASSERT_EQ(sel.pixel(x, y), kTraceFill) << x << "," << y;
        }
    }
    EXPECT_EQ(sel.pixel(next.left, next.top), kWhite);
}

// A hidden channel keeps its margin column but draws no labels, title or trace.
TEST_F(Render, HiddenChannelKeepsItsMarginButDrawsNothing) {
    s.SetChannelSources(kestova::SRC_POSITION_ERROR, kestova::SRC_VELOCITY_FEEDBACK, 0, 0);
    s.SetChannelRange(2, -4000, 4000);
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(2, i, static_cast<float>(i * 10));
    }
    s.Channel(2).enabled = 1;
    RenderPlot(500, 220);
    const auto shownRight = r.Margins().right;
    auto bluish = [](QRgb c) { return qBlue(c) > qRed(c) + 40; };
    const QRect rightColumn(plot.right + 2, 1, client.width() - plot.right - 4, plot.bottom);
    EXPECT_GT(InkIn(rightColumn, bluish), 50);

    s.Channel(2).enabled = 0;
    r.Redraw(s, client);
    EXPECT_EQ(r.Margins().right, shownRight);
    EXPECT_EQ(r.PlotRect(), plot);
    EXPECT_EQ(InkIn(rightColumn, [](QRgb c) { return c != qRgb(255, 255, 255); }), 0);
    const QImage& trace = r.TraceLayer();
    for (int y = plot.top; y < plot.bottom; ++y) {
        for (int x = plot.left; x < plot.right; ++x) {
            ASSERT_EQ(trace.pixel(x, y), kTraceFill);
        }
    }
}

TEST_F(Render, ChannelThreeStandsBesideTheColumnChannelTwoLastDrew) {
    s.SetChannelSources(kestova::SRC_POSITION_ERROR, kestova::SRC_VELOCITY_FEEDBACK,
                        kestova::SRC_VELOCITY_TARGET, 0);
    s.SetChannelRange(2, -800, 800);
    s.SetChannelRange(3, -800, 800);
    s.Channel(3).enabled = 1;
    RenderPlot(500, 220);
    auto leftmostOrange = [&] {
        const QImage& bg = r.BackgroundLayer();
        for (int x = plot.right + 1; x < client.width(); ++x) {
            for (int y = plot.top; y < plot.bottom; ++y) {
                const QRgb c = bg.pixel(x, y);
                if (qRed(c) > qBlue(c) + 60) {
                    return x - plot.right;
                }
            }
        }
        return -1;
    };
    EXPECT_EQ(r.Column2Width(), 0); // channel 2 never drawn
    const int alone = leftmostOrange();
    EXPECT_GE(alone, 10);
    EXPECT_LE(alone, 12);

    s.Channel(2).enabled = 1;
    r.Redraw(s, client);
    const int c2 = r.Column2Width();
    EXPECT_EQ(c2, QFontMetrics(r.LabelFont()).horizontalAdvance("-800") + 8);
    EXPECT_EQ(leftmostOrange(), alone + c2);

    // hidden again, channel 3 keeps the column of channel 2's last drawing
    s.Channel(2).enabled = 0;
    r.Redraw(s, client);
    EXPECT_EQ(leftmostOrange(), alone + c2);
}

struct PrecisionCase {
    int level;
    ScopeRange time;
    ScopeRange ch1;
    const char* top;
    const char* bottom;
    QStringList timeLabels;
    friend std::ostream& operator<<(std::ostream& os, const PrecisionCase& c) {
        return os << "level " << c.level;
    }
};

class LabelPrecision : public Render, public testing::WithParamInterface<PrecisionCase> {};

TEST_P(LabelPrecision, ChannelDecimalsFollowTheLevelTimeHasNone) {
    const PrecisionCase c = GetParam();
    s.level = c.level;
    const auto L = static_cast<std::size_t>(c.level);
    s.axis.time[L] = c.time;
    s.axis.index[L] = c.time;
    s.Channel(1).range[L] = c.ch1;
    r.Redraw(s, {860, 420});
    EXPECT_EQ(s.Channel(1).maxText, c.top);
    EXPECT_EQ(s.Channel(1).minText, c.bottom);
    EXPECT_EQ(r.ChannelDecimals(), std::min(c.level, 3));
    EXPECT_EQ(r.TimeLabels(), c.timeLabels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabelPrecision,
    testing::Values(
        PrecisionCase{0,
                      {0, 200},
                      {-100, 100},
                      "100",
                      "-100",
                      {"0", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"}},
        PrecisionCase{1,
                      {20, 70},
                      {-50, 50},
                      "50.0",
                      "-50.0",
                      {"20", "25", "30", "35", "40", "45", "50", "55", "60", "65", "70"}},
        PrecisionCase{5,
                      {23, 33},
                      {-1.5f, 2.25f},
                      "2.250",
                      "-1.500",
                      {"23", "24", "25", "26", "27", "28", "29", "30", "31", "32", "33"}}));

TEST_F(Render, TickValuesStepFromTheTopToTheBottomLine) {
    RenderPlot(500, 220);
    const auto& ticks = s.Channel(1).tickValues;
    for (int i = 0; i <= 10; ++i) {
        EXPECT_NEAR(ticks[static_cast<std::size_t>(i)], -100 + 20 * i, 1e-3) << i;
    }
}

TEST_F(Render, ZeroScalesAndOddSamplesDrawNoTrace) {
    s.SetXRange(50, 50, 2); // no horizontal span
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(1, i, i % 2 ? NAN : 1e30f);
    }
    RenderPlot(500, 220);
    EXPECT_EQ(r.View().hScale, 0.0f);
    for (int x = plot.left; x < plot.right; x += 7) {
        for (int y = plot.top; y < plot.bottom; y += 3) {
            ASSERT_EQ(r.TraceLayer().pixel(x, y), kTraceFill);
        }
    }
}

TEST_F(Render, NoLayersNoDrawing) {
    ScopeRenderer fresh;
    fresh.Redraw(s, {400, 300});
    EXPECT_FALSE(fresh.HasLayers());
    EXPECT_TRUE(fresh.Compose(false).isNull());
    EXPECT_EQ(fresh.View().hScale, 0.0f);
}

TEST_F(Render, LayersFollowTheClientGrowingOnlyUpToTheirLimit) {
    ScopeRenderer layers;
    layers.CreateLayers({300, 200});
    EXPECT_EQ(layers.ComposeLayer().size(), QSize(300, 200));
    EXPECT_EQ(layers.LayerBytes(), 4 * 300 * 200 * 4);
    layers.Redraw(s, {500, 100});
    EXPECT_EQ(layers.ComposeLayer().size(), QSize(500, 200));
    layers.Redraw(s, {100, 100});
    EXPECT_EQ(layers.TraceLayer().size(), QSize(500, 200));
    layers.Redraw(s, {2600, 150});
    EXPECT_EQ(layers.BackgroundLayer().size(), QSize(2000, 200));
    EXPECT_EQ(layers.ClientRect(), (ScopeRect{0, 0, 2600, 150}));
}

// On a doubled screen the layers carry two pixels per unit and the trace is placed on that finer
// grid: it is not the ordinary picture doubled, yet every pixel still lies on the polyline (within
// the half-unit truncation and the pen's half width), and
// the composition rules hold pixel for pixel.
TEST_F(Render, OnADoubledScreenTracesAreDrawnAtDeviceResolution) {
    for (int i = 0; i < 200; ++i) {
        s.AddPoint(1, i, static_cast<float>(80.0 * std::sin(i / 15.0)));
    }
    RenderPlot(500, 220);
    const QImage single = r.TraceLayer().copy();
    r.SetDevicePixelRatio(2.0);
    r.Redraw(s, client);
    ASSERT_EQ(r.PlotRect(), plot);
    const QImage& fine = r.TraceLayer();
    ASSERT_EQ(fine.size(), 2 * r.LayerSize());
    EXPECT_EQ(fine.devicePixelRatio(), 2.0);

    const QRgb red = Rgb(255, 0, 0);
    const double hs = r.View().hScale;
    const double vs = r.View().Channel(1).scale;
    std::vector<QPointF> points;
    for (const auto& p : s.Channel(1).samples) {
        points.emplace_back(p.x / hs + plot.left, plot.bottom - (p.y + 100.0) / vs);
    }
    int differing = 0;
    for (int y = 2 * plot.top; y < 2 * plot.bottom; ++y) {
        for (int x = 2 * plot.left; x < 2 * plot.right; ++x) {
            const bool onFine = fine.pixel(x, y) == red;
            differing += onFine != (single.pixel(x / 2, y / 2) == red) ? 1 : 0;
            if (!onFine) {
                continue;
            }
            double best = 1e9;
            for (std::size_t i = 1; i < points.size(); ++i) {
                best = std::min(best, SegmentDistance(QPointF((x + 0.5) / 2, (y + 0.5) / 2),
                                                      points[i - 1], points[i]));
            }
            ASSERT_LE(best, 1.25) << x << "," << y;
        }
    }
    EXPECT_GT(differing, 200);

    const QImage& out = r.Compose(false);
    EXPECT_EQ(out.pixel(2 * (plot.left + 50), 2 * (plot.top + 2)), Rgb(5, 130, 0));
    EXPECT_EQ(out.pixel(2 * plot.right, 2 * (plot.top + 2)), kMajor);
}

// Issue 24: new samples redraw the traces only; a change the background shows draws it again,
// the same as a renderer drawing that state afresh.
TEST_F(Render, NewSamplesKeepTheBackgroundAndWhatItShowsRedrawsIt) {
    r.Redraw(s, {1000, 600});
    const int backgrounds = r.BackgroundDraws();
    s.AddPoint(1, 0, 50.0f);
    r.Redraw(s, {1000, 600});
    EXPECT_EQ(r.BackgroundDraws(), backgrounds);

    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"channel colour", [&] { s.Channel(1).colour = QColor(10, 200, 30); }},
        {"plot background", [&] { s.background = QColor(0, 0, 40); }},
        {"channel range", [&] { s.SetChannelRange(1, -300, 300); }},
        {"time range", [&] { s.SetTimeRange(0, 400); }},
        {"unit", [&] { s.SetXUnit("s"); }},
        {"channel shown", [&] { s.Channel(1).enabled = 0; }},
    };
    for (const auto& [what, change] : changes) {
        change();
        r.Redraw(s, {1000, 600});
        ScopeRenderer fresh;
        fresh.CreateLayers({1000, 600});
        ScopeState same = s;
        fresh.Redraw(same, {1000, 600});
        EXPECT_TRUE(r.BackgroundLayer() == fresh.BackgroundLayer()) << what;
    }
    r.Redraw(s, {900, 600});
    EXPECT_EQ(r.ClientRect().Width(), 900);
    EXPECT_EQ(r.BackgroundDraws(), backgrounds + static_cast<int>(changes.size()) + 1);
}

TEST_F(Render, TitlesComeFromTheSources) {
    s.SetYUnit("Current mA");
    s.SetChannelSources(kestova::SRC_Q_AXIS_CURRENT, 0, kestova::SRC_BUS_VOLTAGE, 0);
    r.Redraw(s, {860, 420});
    EXPECT_EQ(s.Channel(1).title, "Q Axis Current (mA)");
    EXPECT_EQ(s.Channel(2).title, "<--Select--");
    EXPECT_EQ(s.Channel(3).title, "Bus Voltage (0.1V)");
}

// A step figure too long for the read-out column goes on at the next line instead of being cut.
TEST(ReadoutLines, wrapAtTheLastFittingSpaceAndIndentTheRest) {
    const QFontMetrics fm{QFont("DejaVu Sans", 9)};
    const QString text = "Steady-state error: 256.9 RPM";
    const int width = fm.horizontalAdvance("Steady-state error:") + 2;
    EXPECT_EQ(kestova::WrapToWidth(text, fm, width),
              (QStringList{"Steady-state error:", "  256.9 RPM"}));
    EXPECT_EQ(kestova::WrapToWidth(text, fm, fm.horizontalAdvance(text)), QStringList{text});
    // A single word wider than the column is elided, not looped over.
    const QStringList narrow = kestova::WrapToWidth("Overshoot:", fm, fm.horizontalAdvance("Ov"));
    ASSERT_EQ(narrow.size(), 1);
    EXPECT_TRUE(narrow[0].endsWith(QChar(0x2026)));
}

} // namespace
