// The control with real mouse events on the offscreen platform: drag zooms in, click zooms out,
// a release outside cancels, the zoom limit's message, the context menu's colours and what the
// control posts to its parent.

#include "Cscope.h"
#include "SampleSweeps.h"
#include "ScopeChannels.h"
#include "ScriptedPresenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>

namespace {

using kestova::Cscope;
using kestova::MsgButtons;
using kestova::MsgIcon;
using kestova::ScopeRect;
using kestova::WindowMessage;

struct Posted {
    unsigned message;
    quintptr wParam;
    qintptr lParam;
};

// The motion test page as far as the scope sees it: a parent that receives its messages.
class HostPage : public QWidget {
public:
    bool event(QEvent* e) override {
        const auto type = static_cast<unsigned>(e->type());
        if (type == kestova::WM_SCOPE_COLOR || type == kestova::WM_SCOPE_NCLBUTTONDOWN) {
            const auto* m = static_cast<WindowMessage*>(e);
            posted.push_back({m->Message(), m->WParam(), m->LParam()});
            return true;
        }
        return QWidget::event(e);
    }
    std::vector<Posted> Take() {
        QCoreApplication::sendPostedEvents(this);
        std::vector<Posted> out;
        out.swap(posted);
        return out;
    }
    std::vector<Posted> posted;
};

class ScopeWidget : public testing::Test {
protected:
    void SetUp() override {
        scope = new Cscope(presenter, &host);
        scope->resize(860, 420);
        host.resize(scope->size());
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        kttest::SetUpLikeHost(*scope);
        kttest::Feed(*scope, kttest::MoveSweep(200, 200));
        host.Take();
        plot = scope->Renderer().PlotRect();
    }

    void Press(QPoint p) { QTest::mousePress(scope, Qt::LeftButton, {}, p); }
    void MoveTo(QPoint p) { QTest::mouseMove(scope, p); }
    void Release(QPoint p) { QTest::mouseRelease(scope, Qt::LeftButton, {}, p); }
    void DragFromTo(QPoint from, QPoint to) {
        Press(from);
        MoveTo((from + to) / 2);
        MoveTo(to);
        Release(to);
    }
    void Click(QPoint p) {
        Press(p);
        Release(p);
    }
    // Full width (both ends snap), most of the height: the time span stays, channel 1 narrows.
    // The plot moves as the labels widen with the zoom level, so it is read afresh.
    void ZoomOnce() {
        plot = scope->Renderer().PlotRect();
        DragFromTo({plot.left + 3, plot.top + 10}, {plot.right - 3, plot.bottom - 10});
        plot = scope->Renderer().PlotRect();
    }
    QPoint Mid() const { return {(plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2}; }

    static void ExpectReleaseNotice(const std::vector<Posted>& posted) {
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].message, kestova::WM_SCOPE_NCLBUTTONDOWN);
        EXPECT_EQ(posted[0].wParam, 2u);
        EXPECT_EQ(posted[0].lParam, 0);
    }

    kttest::ScriptedPresenter presenter;
    HostPage host;
    Cscope* scope = nullptr;
    ScopeRect plot;
};

TEST_F(ScopeWidget, DraggingZoomsIntoTheBand) {
    const QPoint from(plot.left + 125, plot.top + 40);
    const QPoint to(plot.left + 380, plot.bottom - 40);
    DragFromTo(from, to);
    EXPECT_EQ(scope->ZoomLevel(), 1);
    const auto& s = scope->State();
    const auto time = s.axis.time[1];
    const double hs = s.axis.index[0].max / plot.Width();
    EXPECT_EQ(time.min, static_cast<int>(125 * hs)); // one sample per millisecond
    EXPECT_EQ(static_cast<int>(time.max - time.min) % 10, 0);
    EXPECT_GT(time.max, 0.9 * 255 * hs + time.min - 10);
    EXPECT_LT(s.Channel(1).range[1].max, s.Channel(1).range[0].max);
    EXPECT_FALSE(scope->Drag().InProgress());
    ExpectReleaseNotice(host.Take());
}

TEST_F(ScopeWidget, TheBandShowsWithACrossHairWhileDragging) {
    scope->setCursor(Qt::PointingHandCursor);
    const QPoint from(plot.left + 100, plot.top + 30);
    const QPoint to(plot.left + 200, plot.top + 130);
    Press(from);
    EXPECT_EQ(scope->cursor().shape(), Qt::CrossCursor);
    MoveTo(to);
    ASSERT_TRUE(scope->Drag().InProgress());
    const QImage during = scope->grab().toImage();
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(during.pixel(from.x() + 50, from.y()), white);
    EXPECT_EQ(during.pixel(from.x(), from.y() + 50), white);
    EXPECT_EQ(during.pixel(to.x() - 1, from.y() + 50), white);
    EXPECT_EQ(during.pixel(from.x() + 50, to.y() - 1), white);

    Release({scope->width() + 20, to.y()}); // outside: cancelled
    EXPECT_EQ(scope->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(scope->ZoomLevel(), 0);
    const QImage after = scope->grab().toImage();
    EXPECT_NE(after.pixel(from.x() + 50, from.y()), white);
    ExpectReleaseNotice(host.Take());
}

TEST_F(ScopeWidget, ACursorNotSetBeforeIsUnsetAgain) {
    Press(Mid());
    EXPECT_TRUE(scope->testAttribute(Qt::WA_SetCursor));
    Release(Mid());
    EXPECT_FALSE(scope->testAttribute(Qt::WA_SetCursor));
}

TEST_F(ScopeWidget, AClickGoesBackOneLevelAndNeverBelowZero) {
    ZoomOnce();
    ZoomOnce();
    ASSERT_EQ(scope->ZoomLevel(), 2);
    const auto level1 = scope->State().Channel(1).range[1];
    host.Take();
    // a 100 x 4 band counts as a click
    DragFromTo(Mid(), Mid() + QPoint(100, 4));
    EXPECT_EQ(scope->ZoomLevel(), 1);
    EXPECT_EQ(scope->State().Channel(1).range[1].max, level1.max);
    EXPECT_EQ(scope->Renderer().ChannelDecimals(), 1);
    ExpectReleaseNotice(host.Take());
    Click(Mid());
    EXPECT_EQ(scope->ZoomLevel(), 0);
    ExpectReleaseNotice(host.Take());
    Click(Mid());
    EXPECT_EQ(scope->ZoomLevel(), 0);
    ExpectReleaseNotice(host.Take()); // posted even when nothing changed
}

TEST_F(ScopeWidget, APressOutsideThenAReleaseInsideZoomsFromTheTopLeftCorner) {
    Press({plot.left - 20, plot.top + 50});
    EXPECT_FALSE(scope->Drag().InProgress());
    EXPECT_FALSE(scope->testAttribute(Qt::WA_SetCursor));
    Release({plot.left + 300, plot.top + 150});
    EXPECT_EQ(scope->ZoomLevel(), 1);
    EXPECT_EQ(scope->State().axis.time[1].min, 0);
}

TEST_F(ScopeWidget, BeyondFourteenLevelsItSaysAlreadyMaximized) {
    for (int i = 0; i < 14; ++i) {
        ZoomOnce();
    }
    ASSERT_EQ(scope->ZoomLevel(), 14);
    EXPECT_TRUE(presenter.Messages().isEmpty());
    const auto deepest = scope->State().Channel(1).range[14];
    ZoomOnce();
    EXPECT_EQ(scope->ZoomLevel(), 14);
    EXPECT_EQ(scope->State().Channel(1).range[14].max, deepest.max);
    const auto shown = presenter.Messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Already maximized!");
    EXPECT_EQ(shown[0].caption, "Maximize");
    EXPECT_EQ(shown[0].icon, MsgIcon::None);
    EXPECT_EQ(shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(scope->Renderer().ChannelDecimals(), 3);
}

TEST_F(ScopeWidget, ABandUnderTenTimeUnitsIsRefusedWithTheSameMessage) {
    // 12 pixels of a 200 ms plot about 600 wide: 4 ms
    DragFromTo({plot.left + 100, plot.top + 20}, {plot.left + 112, plot.bottom - 20});
    EXPECT_EQ(scope->ZoomLevel(), 0);
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(presenter.Messages()[0].text, "Already maximized!");
    ExpectReleaseNotice(host.Take());
}

struct ColourCase {
    int id;
    QColor preset;
    int channel; // 0: background
    friend std::ostream& operator<<(std::ostream& os, const ColourCase& c) { return os << c.id; }
};

class ColourCommand : public ScopeWidget, public testing::WithParamInterface<ColourCase> {};

TEST_P(ColourCommand, ConfirmedColourIsStoredChannelsArePosted) {
    const ColourCase c = GetParam();
    presenter.AnswerColor(QColor(10, 20, 30));
    scope->OnCommand(c.id);
    ASSERT_EQ(presenter.Seen().size(), 1);
    EXPECT_EQ(presenter.Seen()[0].initialColor, c.preset);
    const auto posted = host.Take();
    if (c.channel == 0) {
        EXPECT_EQ(scope->State().background, QColor(10, 20, 30));
        EXPECT_TRUE(posted.empty());
        // the plot shows it at once: (10, 20, 30) | (5, 0, 0)
        const QImage shown = scope->grab().toImage();
        EXPECT_EQ(shown.pixel(plot.left + 3, plot.top + 2), qRgb(15, 20, 30));
    } else {
        EXPECT_EQ(scope->State().Channel(c.channel).colour, QColor(10, 20, 30));
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].message, kestova::WM_SCOPE_COLOR);
        EXPECT_EQ(posted[0].wParam, static_cast<quintptr>(c.channel));
        EXPECT_EQ(posted[0].lParam, 0x001E140A); // 0x00BBGGRR
    }
}

TEST_P(ColourCommand, CancelledChangesNothing) {
    const ColourCase c = GetParam();
    const kestova::ScopeState before = scope->State();
    presenter.AnswerColor(std::nullopt);
    scope->OnCommand(c.id);
    EXPECT_TRUE(host.Take().empty());
    EXPECT_EQ(scope->State().background, before.background);
    for (int ch = 1; ch <= 4; ++ch) {
        EXPECT_EQ(scope->State().Channel(ch).colour, before.Channel(ch).colour);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ColourCommand,
                         testing::Values(ColourCase{1124, QColor(255, 0, 0), 0},
                                         ColourCase{1125, QColor(196, 8, 21), 1},
                                         ColourCase{1126, QColor(0, 64, 0), 2},
                                         ColourCase{1127, QColor(128, 0, 255), 3},
                                         ColourCase{1128, QColor(0, 0, 255), 4}));

TEST_F(ScopeWidget, TheContextMenuOffersTheFiveColoursInOrder) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* a : menu->actions()) {
            texts << a->text();
        }
        menu->setActiveAction(menu->actions().at(3));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    presenter.AnswerColor(QColor(1, 2, 3));
    QContextMenuEvent event(QContextMenuEvent::Mouse, Mid(), scope->mapToGlobal(Mid()));
    QApplication::sendEvent(scope, &event);
    EXPECT_EQ(texts, (QStringList{"BG color", "Channel 1 color", "Channel 2 color",
                                  "Channel 3 color", "Channel 4 color"}));
    EXPECT_EQ(scope->State().Channel(3).colour, QColor(1, 2, 3));
    const auto posted = host.Take();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].wParam, 3u);
    EXPECT_EQ(posted[0].lParam, 0x00030201);
}

// The manual tells of the menu's colour items by their captions; it once offered a grid colour
// that the menu never had.
TEST_F(ScopeWidget, TheManualNamesTheColourItemsTheMenuHasAndNoOther) {
    QStringList colours;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* a : menu->actions()) {
            if (a->text().contains("color", Qt::CaseInsensitive)) {
                colours << a->text();
            }
        }
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, Mid(), scope->mapToGlobal(Mid()));
    QApplication::sendEvent(scope, &event);
    ASSERT_FALSE(colours.isEmpty());

    QFile manual(KESTOVA_MANUAL_MD);
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly | QIODevice::Text));
    QString line; // the whole bullet, over its lines
    while (!manual.atEnd() && !line.contains("Right-click for the menu")) {
        line = QString::fromUtf8(manual.readLine());
    }
    ASSERT_TRUE(line.contains("Right-click for the menu")) << "the oscilloscope's menu bullet";
    for (QString next;
         !manual.atEnd() && (next = QString::fromUtf8(manual.readLine())).startsWith("  ");) {
        line += next;
    }
    QStringList named;
    const QRegularExpression italic("\\*([^*]+)\\*");
    for (auto m = italic.globalMatch(line); m.hasNext();) {
        named << m.next().captured(1);
    }
    EXPECT_EQ(named.join(", ").toStdString(), colours.join(", ").toStdString());
    EXPECT_FALSE(line.contains("grid", Qt::CaseInsensitive)) << line.toStdString();
}

TEST_F(ScopeWidget, ASweepShowsOnlyWithItsLastSample) {
    kttest::Sweep sweep = kttest::MoveSweep(200, 200);
    sweep.sources = {kestova::SRC_POSITION_ERROR, 0, 0, 0};
    scope->SetChannelSources(sweep.sources[0], 0, 0, 0);
    scope->ClearScope();
    auto redPixels = [&] {
        int n = 0;
        const QImage& trace = scope->Renderer().TraceLayer();
        for (int y = plot.top; y < plot.bottom; ++y) {
            for (int x = plot.left; x < plot.right; ++x) {
                n += trace.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_EQ(redPixels(), 0);
    for (int i = 0; i < 199; ++i) {
        scope->AddCh1Point(i, sweep.values[0][static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(redPixels(), 0);
    scope->AddCh1Point(199, sweep.values[0][199]);
    EXPECT_GT(redPixels(), 200);
}

TEST_F(ScopeWidget, TheNextSweepReturnsToTheUnzoomedView) {
    ZoomOnce();
    ZoomOnce();
    ASSERT_EQ(scope->ZoomLevel(), 2);
    kttest::Feed(*scope, kttest::MoveSweep(400, 200));
    EXPECT_EQ(scope->ZoomLevel(), 0);
    EXPECT_EQ(scope->Renderer().TimeLabels().last(), "200");
    // one RPM scale for speed feedback and target
    EXPECT_EQ(scope->State().Channel(2).range[0].max, scope->State().Channel(3).range[0].max);
}

TEST_F(ScopeWidget, ResizingRedrawsForTheNewClient) {
    scope->resize(640, 300);
    EXPECT_EQ(scope->Renderer().ClientRect(), (ScopeRect{0, 0, 640, 300}));
    EXPECT_EQ(scope->Renderer().PlotRect().Height() % 10, 0);
    EXPECT_LT(scope->Renderer().PlotRect().right, 640);
}

// Issue 24: the page's eleven redraws of one sweep (clear, four channels, each channel's last
// sample) draw the layers once, at the paint; a sweep of unchanged ranges keeps the background.
TEST_F(ScopeWidget, ASweepIsDrawnOnceAtThePaintAndKeepsAnUnchangedBackground) {
    const kttest::Sweep sweep = kttest::MoveSweep(200, 200);
    const int draws = scope->Renderer().Draws();
    const int backgrounds = scope->Renderer().BackgroundDraws();
    kttest::Feed(*scope, sweep);
    scope->grab();
    EXPECT_EQ(scope->Renderer().Draws(), draws + 1);
    EXPECT_EQ(scope->Renderer().BackgroundDraws(), backgrounds);
}

TEST(ScopeBeforeInit, PaintsPlainWhiteAndIgnoresRedraws) {
    kttest::ScriptedPresenter presenter;
    Cscope scope(presenter);
    scope.resize(300, 200);
    scope.Redraw();
    scope.EnableCh1(1);
    const QImage shown = scope.grab().toImage();
    EXPECT_EQ(shown.pixel(150, 100), qRgb(255, 255, 255));
    EXPECT_FALSE(scope.Renderer().HasLayers());
}

} // namespace
