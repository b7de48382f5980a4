// The scope's aids on the motion test page against the simulated drive: the step figures of
// the current-loop test, and the picture of the cursors and figures.

#include "CRunTest.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "ScreenshotsScopeAids.h"
#include "SimulatedDriveFixture.h"
#include "StepFiguresLink.h"

#include <QImage>
#include <QLineEdit>
#include <QRadioButton>

namespace {

using kestova::res::ControlName;

class ScopeAidsPage : public SimulatedDriveFixture {
protected:
    void Open() {
        ASSERT_NO_FATAL_FAILURE(LaunchDrive(12, 310));
        ConnectAndRead();
        window->OnCommand(kestova::res::ID_CONFIG_MOTION_TEST);
        presenter.Clear();
    }
    kestova::CRunTest& Motion() { return *window->MotionPage(); }
    void Set(QWidget* in, int id, const QString& text) {
        in->findChild<QLineEdit*>(ControlName(id))->setText(text);
    }
    void PressRun() {
        Motion().findChild<QPushButton*>(ControlName(kestova::res::IDC_RUN))->click();
    }
};

TEST_F(ScopeAidsPage, AHigherCurrentGainGivesAShorterRiseTime) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Motion().findChild<QRadioButton*>(ControlName(kestova::res::IDC_TYPE_CURRENT_LOOP))->click();
    kestova::CTorqueMode* loop = Motion().CurrentLoopPage();
    Set(loop, kestova::res::IDC_TEST_CURRENT, "1");
    Set(loop, kestova::res::IDC_SAMPLING, "1");
    Motion().Scope()->SetStepChannel(1);
    const auto riseWith = [&](const char* kp) {
        Set(loop, kestova::res::IDC_CURRENT_KP, kp);
        bool drawn = false;
        const auto c =
            QObject::connect(&Motion(), &kestova::CRunTest::waveDrawn, [&] { drawn = true; });
        PressRun();
        EXPECT_TRUE(WaitUntil([&] { return drawn; }));
        QObject::disconnect(c);
        PressRun();
        const auto& figures = Motion().StepFigures()->Last();
        EXPECT_TRUE(figures && figures->riseTime);
        EXPECT_EQ(Motion().StepFigures()->LastTarget()->value, 1000.0);
        return figures && figures->riseTime ? *figures->riseTime : 0.0;
    };
    const double slow = riseWith("200");
    const double fast = riseWith("1000");
    EXPECT_GT(fast, 0.0);
    EXPECT_LT(fast, slow);
    EXPECT_TRUE(Motion().Scope()->StepFiguresText().join('\n').contains("Rise 10-90 %"));
    // The 40 ms capture is timed in microseconds, so a zoom can close in on the rise.
    EXPECT_EQ(Motion().Scope()->State().axis.unit, "us");
    EXPECT_LT(fast, 1000.0);
}

// After a 400 ms move measured on channel 2 with the cursors on, a current step (channel 1
// only, 40 ms) moves the figures to the channel that has a sweep and the cursors onto its span.
TEST_F(ScopeAidsPage, AidsFollowTheCaptureOnScreen) {
    ASSERT_NO_FATAL_FAILURE(Open());
    kestova::Cscope& scope = *Motion().Scope();
    const auto runOnce = [&] {
        bool drawn = false;
        const auto c =
            QObject::connect(&Motion(), &kestova::CRunTest::waveDrawn, [&] { drawn = true; });
        PressRun();
        EXPECT_TRUE(WaitUntil([&] { return drawn; }));
        QObject::disconnect(c);
        PressRun();
    };
    Set(Motion().MotionPage(), kestova::res::IDC_SAMPLING, "10");
    scope.SetCursorsOn(true);
    scope.SetStepChannel(2);
    runOnce();
    EXPECT_NEAR(scope.Cursors().Time(2), 266.7, 1.0);

    Motion().findChild<QRadioButton*>(ControlName(kestova::res::IDC_TYPE_CURRENT_LOOP))->click();
    Set(Motion().CurrentLoopPage(), kestova::res::IDC_SAMPLING, "1");
    runOnce();
    EXPECT_EQ(scope.StepChannel(), 1);
    EXPECT_FALSE(scope.StepFiguresText().join('\n').contains("No sweep yet"));
    EXPECT_TRUE(scope.StepFiguresText().join('\n').contains("test current"));
    const double span = scope.State().axis.timePerSample * scope.State().axis.sampleCount;
    const double sample = scope.State().axis.timePerSample;
    EXPECT_NEAR(scope.Cursors().Time(1), span / 3.0, sample);
    EXPECT_NEAR(scope.Cursors().Time(2), 2.0 * span / 3.0, sample);
}

TEST_F(ScopeAidsPage, ThePictureOfCursorsAndFiguresIsTakenOfAMove) {
    ASSERT_NO_FATAL_FAILURE(Open());
    QTemporaryDir dir;
    QString written;
    const bool ok = ShootScopeAids(*window, [&](const char* name, QWidget* what) {
        written = dir.filePath(name);
        return what->grab().save(written);
    });
    ASSERT_TRUE(ok);
    EXPECT_TRUE(written.endsWith("scope-cursors.png"));
    EXPECT_FALSE(QImage(written).isNull());
    const kestova::Cscope& scope = *Motion().Scope();
    EXPECT_LT(scope.Cursors().Time(1), scope.Cursors().Time(2));
    const auto& figures = Motion().StepFigures()->Last();
    ASSERT_TRUE(figures && figures->riseTime);
    // The cursors stand around the rise, at 10 % and 90 % of the sweep's peak; the figures
    // take 10 % and 90 % of the commanded speed, which the peak overshoots.
    EXPECT_GT(scope.Cursors().Time(2) - scope.Cursors().Time(1), 0.5 * *figures->riseTime);
    EXPECT_TRUE(scope.StepFiguresText().join('\n').contains("commanded speed"));
}

} // namespace
