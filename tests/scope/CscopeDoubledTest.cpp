// The control on a doubled screen (QT_SCALE_FACTOR=2; ctest runs this file's test a second time
// with it): what the window shows is the composed layers pixel for pixel, neither stretched nor
// cut to a quarter.

#include "Cscope.h"
#include "SampleSweeps.h"
#include "ScriptedPresenter.h"

#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(DoubledScreen, theScopeShowsItsLayersPixelForPixel) {
    if (qGuiApp->devicePixelRatio() != 2.0) {
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    }
    kttest::ScriptedPresenter presenter;
    QWidget host;
    auto* scope = new kestova::Cscope(presenter, &host);
    scope->resize(600, 300);
    host.resize(scope->size());
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    kttest::SetUpLikeHost(*scope);
    kttest::Feed(*scope, kttest::MoveSweep(200, 200));

    const QImage shown = scope->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(1200, 600));
    const QImage& layers = scope->Renderer().ComposeLayer();
    ASSERT_EQ(layers.devicePixelRatio(), 2.0);
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            differing += shown.pixel(x, y) != layers.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
}

} // namespace
