// Scope drawing costs with 4 channels of 512 samples: a finished capture fed as the motion test
// page feeds it and painted, the full redraw (grid, labels, traces), the redraw of new data under
// an unchanged background, the paint (composition of the layers and the copy to the window's
// surface), one step of a rubber-band drag, and the memory of the layers; then the aids: one step
// of a cursor drag (the move and the whole paint with cursors and read-out) and what a held
// reference adds to a redraw. Prints figures.
// Goals at 1000 x 600: capture to painted under 5 ms (under 10 ms at a pixel ratio of 2), full
// redraw under 5 ms, data-only redraw under 0.3 ms, paint under 1 ms, drag step under 2 ms,
// layers under 10 MB, cursor drag step under 2 ms, reference under 1 ms more.
//
//   bench_scope [pixel ratio]     the control's pixel ratio (default 1)

#include "Cscope.h"
#include "QtPresenter.h"
#include "SampleSweeps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Figures {
    double median;
    double worst;
};

template <typename F> Figures Time(int runs, F&& step) {
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        step(i);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

void Report(const char* what, const Figures& f, double goal) {
    std::printf("  %-34s median %6.3f ms  worst %6.3f ms  (goal: under %.1f ms)\n", what, f.median,
                f.worst, goal);
}

void SendMouse(QWidget& to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), to.mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&to, &event);
}

// The control's own surface: its size in device pixels.
QImage SurfaceFor(const QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    QImage surface(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    surface.setDevicePixelRatio(ratio);
    return surface;
}

void MeasureAids(kestova::Cscope& scope, const kttest::Sweep& sweep, QImage& surface) {
    constexpr int runs = 300;
    auto redrawn = [&](int) {
        scope.Redraw();
        scope.render(&surface);
    };
    const Figures plain = Time(runs, redrawn);
    scope.KeepReference();
    kttest::Sweep other = sweep;
    for (auto& channel : other.values) {
        for (float& v : channel) {
            v *= 0.8F;
        }
    }
    kttest::Feed(scope, other);
    const Figures withReference = Time(runs, redrawn);
    Report("redraw + paint with a reference", withReference, 6);
    std::printf("  %-34s median %+6.3f ms  (goal: under 1 ms)\n", "  added by the reference",
                withReference.median - plain.median);
    scope.ClearReference();

    // The widget paints itself into the surface: picture, cursors and read-out.
    scope.SetCursorsOn(true);
    scope.render(&surface);
    const kestova::ScopeView& view = scope.View();
    const QPoint handle(*kestova::ScopeCursors::XOfTime(view, scope.Cursors().Time(1)),
                        view.plot.top + 3);
    SendMouse(scope, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    if (scope.Cursors().Grabbed() != 1) {
        std::printf("  the cursor's handle was not hit: no drag figures\n");
        return;
    }
    Report("cursor drag step (move + paint)",
           Time(runs,
                [&](int i) {
                    const QPoint at(view.plot.left + i % view.plot.Width(), view.plot.top + 40);
                    SendMouse(scope, QEvent::MouseMove, at, Qt::LeftButton);
                    scope.render(&surface);
                }),
           2);
    SendMouse(scope, QEvent::MouseButtonRelease, handle, Qt::NoButton);
    scope.SetCursorsOn(false);
}

// The renderer alone at a pixel ratio: a full redraw (the plot background's colour changes
// every time, so the grid and labels are drawn again), a redraw of the same view (the traces
// only, as for a new capture of unchanged ranges), and the paint.
void MeasureRenderer(const kestova::ScopeState& shown, int width, int height, qreal ratio,
                     double goalScale) {
    kestova::ScopeState state = shown;
    kestova::ScopeRenderer renderer;
    renderer.SetDevicePixelRatio(ratio);
    renderer.CreateLayers({width, height});
    QImage surface(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    surface.setDevicePixelRatio(ratio);
    constexpr int runs = 100;
    std::printf("  the renderer at a pixel ratio of %g:\n", ratio);
    const QColor backgrounds[] = {QColor(0, 0, 0), QColor(0, 0, 1)};
    Report("  full redraw",
           Time(runs,
                [&](int i) {
                    state.background = backgrounds[i % 2];
                    renderer.Redraw(state, {width, height});
                }),
           5 * goalScale);
    state.background = shown.background;
    renderer.Redraw(state, {width, height});
    Report("  data-only redraw",
           Time(runs,
                [&](int) {
                    renderer.Redraw(state, {width, height});
                }),
           0.3 * goalScale);
    Report("  paint (compose + copy)",
           Time(runs,
                [&](int) {
                    const QImage& picture = renderer.Compose(false);
                    QPainter p(&surface);
                    p.drawImage(QRectF(0, 0, width, height), picture,
                                QRectF(QPointF(0, 0), QSizeF(width, height) * ratio));
                }),
           1 * goalScale);
    std::printf("  %-34s %6.2f MiB\n", "  layers",
                static_cast<double>(renderer.LayerBytes()) / (1024.0 * 1024.0));
}

void Measure(int width, int height) {
    kestova::QtPresenter presenter; // never asked: nothing here shows a dialog
    kestova::Cscope scope(presenter);
    scope.resize(width, height);
    kttest::SetUpLikeHost(scope);
    const kttest::Sweep sweep = kttest::MoveSweep(512, 256);
    kttest::Feed(scope, sweep);

    // What the window system gives a paint: a surface the size of the control.
    QImage surface = SurfaceFor(scope);
    const qreal ratio = scope.devicePixelRatioF();
    constexpr int runs = 300;
    std::printf("%d x %d at a pixel ratio of %g, 4 channels x 512 samples:\n", width, height,
                ratio);
    // As the page does it: ranges, clear, the channels shown, every sample; then the paint.
    Report("capture end to painted",
           Time(runs,
                [&](int) {
                    kttest::Feed(scope, sweep);
                    scope.render(&surface);
                }),
           ratio > 1.0 ? 10 : 5);
    const kestova::ScopeRect plot = scope.Renderer().PlotRect();
    auto& renderer = const_cast<kestova::ScopeRenderer&>(scope.Renderer());
    auto paint = [&](bool dragging) {
        const QImage& picture = renderer.Compose(dragging);
        QPainter p(&surface);
        p.drawImage(QRectF(0, 0, width, height), picture,
                    QRectF(QPointF(0, 0), QSizeF(width, height) * ratio));
    };
    Report("drag step (band + paint)",
           Time(runs,
                [&](int i) {
                    const int x = plot.left + 20 + i % (plot.Width() - 40);
                    renderer.DrawSelection({plot.left + 10, plot.top + 10, x, plot.bottom - 10});
                    paint(true);
                }),
           2);
    const double mb = static_cast<double>(scope.Renderer().LayerBytes()) / (1024.0 * 1024.0);
    std::printf("  %-34s %6.2f MiB (goal: under 10 MB)\n", "layers", mb);
    std::printf("  %-34s %6.2f MiB\n", "layers at the largest picture",
                4.0 * kestova::ScopeRenderer::kMaxLayerWidth *
                    kestova::ScopeRenderer::kMaxLayerHeight * 4 / (1024.0 * 1024.0));
    MeasureAids(scope, sweep, surface);
    // Four times the pixels on a doubled screen: the goals are the plain screen's times four.
    MeasureRenderer(scope.State(), width, height, 1.0, 1.0);
    MeasureRenderer(scope.State(), width, height, 2.0, 4.0);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1) {
        qputenv("QT_SCALE_FACTOR", argv[1]);
    }
    QApplication app(argc, argv);
    Measure(1000, 600);
    Measure(1000, 700);
    return 0;
}
