#include "ScreenshotsTuning.h"

#include "CItemEdit.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "CRunTest.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "ParameterRules.h"
#include "ResourceIds.h"

#include "QtWait.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

using namespace kestova;

using kttest::WaitFor;

template <class T> T* Find(QWidget* in, int id) {
    return in->findChild<T*>(res::ControlName(id));
}

// A parameter's value as the list shows it.
QString ParameterValue(CMainDlg& window, const QString& number) {
    CListCtrlExt& list = *window.ParametersPage()->List();
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.CellText(row, params::kNumberColumn) == number) {
            return list.CellText(row, params::kValueColumn);
        }
    }
    return {};
}

// A parameter set as the user does it: two clicks on its Value cell, the value typed, Enter.
bool SetParameter(CMainDlg& window, const QString& number, const QString& value) {
    window.OnCommand(res::ID_CONFIG_PARAMETERS);
    CParameterManage& page = *window.ParametersPage();
    CListCtrlExt& list = *page.List();
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.CellText(row, params::kNumberColumn) != number) {
            continue;
        }
        const QModelIndex index = list.model()->index(row, params::kValueColumn);
        list.scrollTo(index);
        const QRect cell = list.visualRect(index);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
        // The editor just opened; the one of the previous edit may not be deleted yet.
        CItemEdit* editor = nullptr;
        for (CItemEdit* open : list.findChildren<CItemEdit*>()) {
            editor = open->isVisible() ? open : editor;
        }
        if (editor == nullptr) {
            break;
        }
        editor->selectAll();
        QTest::keyClicks(editor, value);
        QTest::keyClick(editor, Qt::Key_Return);
        if (WaitFor(
                [&] {
                    return page.Marks()->IsUnstored(row) &&
                           list.CellText(row, params::kValueColumn) == value;
                },
                10000)) {
            return true;
        }
        break;
    }
    std::fprintf(stderr, "%s could not be set to %s\n", qPrintable(number), qPrintable(value));
    return false;
}

// Run, wait for the first sweep, Stop. A move must be caught from its start: the channel
// `watch` (a velocity feedback) starts near rest and reaches `speed`; else the move runs again.
bool Capture(CRunTest& page, int watch = 0, float speed = 0.0F) {
    Cscope& scope = *page.Scope();
    QPushButton* run = Find<QPushButton>(&page, res::IDC_RUN);
    for (int attempt = 0; attempt < 3; ++attempt) {
        scope.ClearScope(); // unzoomed, fresh scales; a held reference stays
        bool drawn = false;
        const QMetaObject::Connection once =
            QObject::connect(&page, &CRunTest::waveDrawn, [&] { drawn = true; });
        run->click();
        const bool captured = WaitFor([&] { return drawn; }, 20000);
        QObject::disconnect(once);
        run->click();
        if (!captured) {
            break;
        }
        if (watch == 0) {
            return true;
        }
        const auto& samples = scope.State().Channel(watch).samples;
        float peak = 0.0F;
        for (const auto& s : samples) {
            peak = std::max(peak, s.y);
        }
        if (!samples.empty() && samples.front().y < 0.1F * speed && peak > 0.9F * speed) {
            return true;
        }
        std::fprintf(stderr, "the capture missed the move (%zu samples, peak %.0f)\n",
                     samples.size(), static_cast<double>(peak));
    }
    std::fprintf(stderr, "no capture was drawn\n");
    return false;
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint p, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(p), w.mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

// Zooms as the user does, dragging a rectangle over the plot: from time t0 to t1 (axis unit) and
// from the value `high` down to `low` of channel 1, as far as the plot reaches.
void Zoom(Cscope& scope, double t0, double t1, float low, float high) {
    const ScopeRect plot = scope.Renderer().PlotRect();
    const ScopeState& state = scope.State();
    const ScopeRange x = state.axis.index[0];
    const ScopeRange y = state.Channel(1).range[0];
    auto px = [&](double ms) {
        const double index = ms / static_cast<double>(state.axis.timePerSample);
        return plot.left + static_cast<int>((index - x.min) / (x.max - x.min) * plot.Width());
    };
    auto py = [&](float v) {
        return plot.top + static_cast<int>((y.max - v) / (y.max - y.min) * plot.Height());
    };
    // Inside the plot, where a drag starts.
    auto at = [&](int x, int y) {
        return QPoint(std::clamp(x, plot.left, plot.right - 1),
                      std::clamp(y, plot.top, plot.bottom - 1));
    };
    const QPoint from = at(px(t0), py(high));
    const QPoint to = at(px(t1), py(low));
    SendMouse(scope, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(scope, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(scope, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(scope, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void Choose(CRunTest& page, int list, const char* text) {
    QComboBox* box = Find<QComboBox>(&page, list);
    box->setCurrentIndex(box->findText(QString::fromLatin1(text)));
}

constexpr float kStepCurrentMa = 1000.0F;
constexpr float kSpeed = 300.0F;

// The current step at low gains (KP and KI together keep the drive's ratio), then at the
// drive's own gains over the low ones, zoomed into the first 3 ms where the current rises (a
// capture this short is timed in microseconds).
bool ShootCurrentLoop(CRunTest& page, const std::function<bool(const char*, QWidget*)>& save) {
    Cscope& scope = *page.Scope();
    Find<QRadioButton>(&page, res::IDC_TYPE_CURRENT_LOOP)->click();
    QWidget* loop = page.CurrentLoopPage();
    Find<QLineEdit>(loop, res::IDC_TEST_CURRENT)->setText("1");
    Find<QLineEdit>(loop, res::IDC_SAMPLING)->setText("1");
    scope.ClearReference();
    scope.SetStepChannel(1);
    auto step = [&](const char* kp, const char* name) {
        Find<QLineEdit>(loop, res::IDC_CURRENT_KP)->setText(QString::fromLatin1(kp));
        Find<QLineEdit>(loop, res::IDC_CURRENT_KI)->setText(QString::fromLatin1(kp));
        if (!Capture(page)) {
            return false;
        }
        Zoom(scope, 0.0, 3050.0, 0.0F, 1.4F * kStepCurrentMa);
        return save(name, &page);
    };
    bool ok = step("250", "tuning-current-low.png");
    ok = ok && scope.KeepReference() && step("1000", "tuning-current-higher.png");
    scope.ClearReference();
    scope.SetStepChannel(0);
    return ok;
}

// One revolution at 300 rpm, sampled every millisecond.
void SetMove(CRunTest& page) {
    QWidget* move = page.MotionPage();
    Find<QLineEdit>(move, res::IDC_SPEED)->setText(QString::number(kSpeed));
    Find<QLineEdit>(move, res::IDC_ACCELERATION)->setText("100");
    Find<QLineEdit>(move, res::IDC_DISTANCE)->setText("1");
    Find<QLineEdit>(move, res::IDC_SAMPLING)->setText("10");
}

// A move with each of two gains, the step figures on the velocity feedback.
bool ShootMoveGains(CMainDlg& window, const QString& number, const char* low, const char* higher,
                    const char* lowName, const char* higherName,
                    const std::function<bool(const char*, QWidget*)>& save) {
    CRunTest& page = *window.MotionPage();
    Cscope& scope = *page.Scope();
    auto move = [&](const char* gain, const char* name) {
        if (!SetParameter(window, number, QString::fromLatin1(gain))) {
            return false;
        }
        // The page reloads the profile the drive holds when it is shown; the move is set again.
        window.OnCommand(res::ID_CONFIG_MOTION_TEST);
        SetMove(page);
        return Capture(page, 2, kSpeed) && save(name, &page);
    };
    scope.SetStepChannel(2);
    const bool ok = move(low, lowName) && move(higher, higherName);
    scope.SetStepChannel(0);
    return ok;
}

} // namespace

bool ShootTuning(CMainDlg& window,
                 const std::function<bool(const char* name, QWidget* what)>& save) {
    const QString positionGain = ParameterValue(window, "P2.03");
    const QString speedGain = ParameterValue(window, "P2.05");
    window.OnCommand(res::ID_CONFIG_MOTION_TEST);
    CRunTest& page = *window.MotionPage();
    page.Scope()->SetCursorsOn(false);
    QCoreApplication::processEvents();
    bool ok = ShootCurrentLoop(page, save);

    Find<QRadioButton>(&page, res::IDC_TYPE_MOTION)->click();
    Choose(page, res::IDC_CHANNEL_1, "Velocity Targeted  (RPM)");
    Choose(page, res::IDC_CHANNEL_2, "Velocity Feedback (RPM)");
    Choose(page, res::IDC_CHANNEL_3, "--Select--");
    Choose(page, res::IDC_CHANNEL_4, "--Select--");
    // The speed loop first, with the position loop at its default; then the position loop on
    // the tuned speed loop, its following error on channel 1.
    ok = ShootMoveGains(window, "P2.05", "600", "3000", "tuning-speed-low.png",
                        "tuning-speed-higher.png", save) &&
         ok;
    Choose(page, res::IDC_CHANNEL_1, "Position Error (P)");
    ok = ShootMoveGains(window, "P2.03", "1000", "8000", "tuning-position-low.png",
                        "tuning-position-higher.png", save) &&
         ok;
    ok = SetParameter(window, "P2.03", positionGain) && SetParameter(window, "P2.05", speedGain) &&
         ok;
    return ok;
}
