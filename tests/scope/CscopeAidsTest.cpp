// The scope's aids with real mouse events on the offscreen platform: cursors dragged by their
// handles beside the rubber-band zoom, the read-out column, saving through the file dialog, the
// context menu's order and the reference drawn under the live traces.

#include "Cscope.h"
#include "SampleSweeps.h"
#include "ScopeAidIds.h"
#include "ScopeExport.h"
#include "ScriptedPresenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using kestova::Cscope;
using kestova::ScopeCursors;

class ScopeAids : public testing::Test {
protected:
    void SetUp() override {
        scope.resize(860, 420);
        scope.OfferAids(true);
        scope.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&scope));
        kttest::SetUpLikeHost(scope);
        kttest::Feed(scope, kttest::MoveSweep(200, 200));
    }
    QPoint HandleOf(int cursor) const {
        const auto x = ScopeCursors::XOfTime(scope.View(), scope.Cursors().Time(cursor));
        return {x.value_or(-1), scope.View().plot.top + 4};
    }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(&scope, Qt::LeftButton, {}, from);
        QTest::mouseMove(&scope, (from + to) / 2);
        QTest::mouseMove(&scope, to);
        QTest::mouseRelease(&scope, Qt::LeftButton, {}, to);
    }

    kttest::ScriptedPresenter presenter;
    Cscope scope{presenter};
};

TEST_F(ScopeAids, AHandleDragMovesTheCursorAndADragElsewhereStillZooms) {
    scope.SetCursorsOn(true);
    EXPECT_EQ(scope.PictureSize().width(), 860 - Cscope::kReadoutWidth);
    const kestova::ScopeRect plot = scope.View().plot;
    Drag(HandleOf(1), {plot.left + 40, plot.top + 60});
    EXPECT_EQ(scope.ZoomLevel(), 0);
    EXPECT_NEAR(scope.Cursors().Time(1), ScopeCursors::TimeOfX(scope.View(), plot.left + 40), 1.0);
    const double kept = scope.Cursors().Time(1);

    Drag({plot.left + 5, plot.top + 20}, {plot.right - 5, plot.bottom - 20});
    ASSERT_EQ(scope.ZoomLevel(), 1);
    EXPECT_EQ(scope.Cursors().Time(1), kept);
    ASSERT_TRUE(ScopeCursors::XOfTime(scope.View(), kept));

    scope.SetCursorsOn(false);
    EXPECT_EQ(scope.PictureSize().width(), 860);
}

TEST_F(ScopeAids, TheMenuListsTheAidsBelowTheColours) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* a : menu->actions()) {
            texts << a->text();
        }
        menu->setActiveAction(menu->actions().at(6)); // Cursors
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, {100, 100},
                            scope.mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(&scope, &event);
    EXPECT_EQ(texts,
              (QStringList{"BG color", "Channel 1 color", "Channel 2 color", "Channel 3 color",
                           "Channel 4 color", "", "Cursors", "Step figures", "Keep as reference",
                           "Clear reference", "Save capture as CSV", "Save picture as PNG"}));
    EXPECT_TRUE(scope.Cursors().On());
    EXPECT_FALSE(scope.ReadoutText().isEmpty());
}

TEST_F(ScopeAids, CaptureAndPictureAreSavedWhereTheDialogSays) {
    QTemporaryDir dir;
    const QString csv = dir.filePath("capture.csv");
    const QString png = dir.filePath("picture.png");
    presenter.AnswerFile(csv);
    presenter.AnswerFile(png);
    scope.OnCommand(kestova::ID_SCOPE_SAVE_CSV);
    scope.OnCommand(kestova::ID_SCOPE_SAVE_PNG);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), kestova::CaptureCsv(scope.State()));
    EXPECT_EQ(QImage(png).size(), scope.size());
    ASSERT_EQ(presenter.Seen().size(), 2);
    EXPECT_EQ(presenter.Seen()[0].file.defaultSuffix, "csv");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

// The reference shows only in pixels: its traces in the dimmed colours, under the live ones.
TEST_F(ScopeAids, AReferenceIsDrawnDimmedUntilCleared) {
    const auto dimmedPixels = [&] {
        const QImage& trace = scope.Renderer().TraceLayer();
        const QRgb dim =
            kestova::ScopeRenderer::ReferenceColour(scope.State().Channel(2).colour).rgb();
        int n = 0;
        const kestova::ScopeRect plot = scope.View().plot;
        for (int y = plot.top; y < plot.bottom; ++y) {
            for (int x = plot.left; x < plot.right; ++x) {
                n += trace.pixel(x, y) == dim ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_EQ(dimmedPixels(), 0);
    ASSERT_TRUE(scope.KeepReference());
    kttest::Sweep slower = kttest::MoveSweep(200, 200);
    for (float& v : slower.values[1]) {
        v *= 0.5F;
    }
    kttest::Feed(scope, slower);
    EXPECT_GT(dimmedPixels(), 100);
    scope.OnCommand(kestova::ID_SCOPE_CLEAR_REFERENCE);
    EXPECT_EQ(dimmedPixels(), 0);
}

} // namespace
