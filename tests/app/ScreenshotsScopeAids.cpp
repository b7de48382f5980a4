#include "ScreenshotsScopeAids.h"

#include "CMainDlg.h"
#include "CRunTest.h"
#include "CTWaveMode.h"
#include "Cscope.h"
#include "ResourceIds.h"
#include "ScopeChannels.h"

#include "QtWait.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using kestova::res::ControlName;

using kttest::WaitFor;

constexpr float kSpeed = 300.0F;

float Peak(const kestova::ScopeState& state, int channel) {
    float peak = 0.0F;
    for (const auto& s : state.Channel(channel).samples) {
        peak = std::max(peak, s.y);
    }
    return peak;
}

// The first time the sweep reaches `fraction` of its peak.
double FirstReaching(const kestova::ScopeState& state, int channel, double fraction) {
    const auto& samples = state.Channel(channel).samples;
    const float peak = Peak(state, channel);
    for (const auto& s : samples) {
        if (s.y >= fraction * peak) {
            return s.x * static_cast<double>(state.axis.timePerSample);
        }
    }
    return 0.0;
}

} // namespace

bool ShootScopeAids(kestova::CMainDlg& window,
                    const std::function<bool(const char* name, QWidget* what)>& save) {
    window.OnCommand(kestova::res::ID_CONFIG_MOTION_TEST);
    kestova::CRunTest& page = *window.MotionPage();
    kestova::CTWaveMode& move = *page.MotionPage();
    const auto set = [&](int id, const QString& text) {
        move.findChild<QLineEdit*>(ControlName(id))->setText(text);
    };
    set(kestova::res::IDC_SPEED, QString::number(kSpeed));
    set(kestova::res::IDC_ACCELERATION, "100");
    set(kestova::res::IDC_DISTANCE, "1");
    set(kestova::res::IDC_SAMPLING, "10");
    const auto choose = [&](int id, const char* text) {
        QComboBox* list = page.findChild<QComboBox*>(ControlName(id));
        list->setCurrentIndex(list->findText(text));
    };
    choose(kestova::res::IDC_CHANNEL_1, "Velocity Feedback (RPM)");
    choose(kestova::res::IDC_CHANNEL_2, "Position Error (P)");

    // The first capture starts with the move; stop before a second one shows it standing. On
    // a busy machine the capture can miss the start: then the move is run again.
    kestova::Cscope& scope = *page.Scope();
    QPushButton* run = page.findChild<QPushButton*>(ControlName(kestova::res::IDC_RUN));
    const auto captureMove = [&] {
        bool drawn = false;
        const QMetaObject::Connection once =
            QObject::connect(&page, &kestova::CRunTest::waveDrawn, [&] { drawn = true; });
        run->click();
        const bool captured = WaitFor([&] { return drawn; }, 20000);
        QObject::disconnect(once);
        run->click();
        const auto& samples = scope.State().Channel(1).samples;
        return captured && !samples.empty() && samples.front().y < 0.1F * kSpeed &&
               FirstReaching(scope.State(), 1, 0.9) > 0.0 && Peak(scope.State(), 1) > 0.9F * kSpeed;
    };
    bool moved = false;
    for (int attempt = 0; attempt < 3 && !moved; ++attempt) {
        moved = captureMove();
    }
    if (!moved) {
        std::fprintf(stderr, "the move was not captured\n");
        return false;
    }

    scope.SetCursorsOn(true);
    scope.PlaceCursor(1, FirstReaching(scope.State(), 1, 0.1));
    scope.PlaceCursor(2, FirstReaching(scope.State(), 1, 0.9));
    scope.SetStepChannel(1);
    return save("scope-cursors.png", &page);
}
