// kestova-scope-screenshots DIR [WIDTHxHEIGHT]: draws the scope offscreen with a captured move
// (position error, speed feedback and target, A-phase current), during a drag and zoomed in, and
// writes the pictures to DIR.

#include "Cscope.h"
#include "SampleSweeps.h"
#include "ScriptedPresenter.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>

#include <cstdio>

namespace {

void SendMouse(QWidget& w, QEvent::Type type, QPoint p, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(p), w.mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(out);

    kttest::ScriptedPresenter presenter;
    QWidget page;
    kestova::Cscope scope(presenter, &page);
    QSize size(860, 420);
    if (argc > 2) {
        const QStringList wh = QString::fromLocal8Bit(argv[2]).split('x');
        if (wh.size() == 2) {
            size = QSize(wh[0].toInt(), wh[1].toInt());
        }
    }
    scope.resize(size);
    page.resize(scope.size());
    page.show();
    kttest::SetUpLikeHost(scope);
    kttest::Feed(scope, kttest::MoveSweep());

    bool ok = true;
    auto save = [&](const char* name) {
        QCoreApplication::processEvents();
        const QString path = out + "/" + name;
        if (!scope.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
            return;
        }
        std::printf("%s\n", qPrintable(path));
    };
    save("scope-sweeps.png");

    // Drag across the acceleration: from 4 ms to 60 ms, over the upper part of the plot.
    const kestova::ScopeRect plot = scope.Renderer().PlotRect();
    auto atTime = [&](double ms) {
        return plot.left + static_cast<int>(ms / 200.0 * plot.Width());
    };
    const QPoint from(atTime(4), plot.top + plot.Height() / 8);
    const QPoint to(atTime(60), plot.top + plot.Height() * 5 / 8);
    SendMouse(scope, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(scope, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(scope, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    save("scope-dragging.png");
    SendMouse(scope, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    save("scope-zoomed.png");
    return ok ? 0 : 1;
}
