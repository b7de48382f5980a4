#include "ScreenshotsMotion.h"

#include "CMainDlg.h"
#include "CRunTest.h"
#include "CScopeMode.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

namespace {

using namespace kestova;

template <class T> T* Find(QWidget* in, int id) {
    return in->findChild<T*>(res::ControlName(id));
}

void Set(QWidget* in, int id, const char* text) {
    Find<QLineEdit>(in, id)->setText(QString::fromLatin1(text));
}

void Choose(CRunTest& page, int list, const char* text) {
    QComboBox* box = Find<QComboBox>(&page, list);
    box->setCurrentIndex(box->findText(QString::fromLatin1(text)));
}

// Run, wait for the first sweep to be drawn, Stop (which settles for a second).
bool RunOneSweep(CRunTest& page) {
    page.Scope()->ClearScope();
    Find<QPushButton>(&page, res::IDC_RUN)->click();
    QDeadlineTimer deadline(20000);
    while (page.Scope()->State().Channel(1).samples.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    Find<QPushButton>(&page, res::IDC_RUN)->click();
    if (page.Scope()->State().Channel(1).samples.empty()) {
        std::fprintf(stderr, "no sweep was drawn\n");
        return false;
    }
    return true;
}

} // namespace

bool ShootMotion(CMainDlg& window,
                 const std::function<bool(const char* name, QWidget* what)>& save) {
    window.OnCommand(res::ID_CONFIG_MOTION_TEST);
    CRunTest& page = *window.MotionPage();
    QCoreApplication::processEvents();

    // Three revolutions at 600 rpm captured whole, from the start until the move has settled,
    // with the position error beside the speeds and the step figures of the feedback against
    // the plateau.
    QWidget* move = page.MotionPage();
    Set(move, res::IDC_SPEED, "600");
    Set(move, res::IDC_ACCELERATION, "200");
    Set(move, res::IDC_DISTANCE, "3");
    page.MotionPage()->SetWholeMove(true);
    Choose(page, res::IDC_CHANNEL_1, "Velocity Targeted  (RPM)");
    Choose(page, res::IDC_CHANNEL_2, "Velocity Feedback (RPM)");
    Choose(page, res::IDC_CHANNEL_3, "Position Error (P)");
    Choose(page, res::IDC_CHANNEL_4, "--Select--");
    page.Scope()->SetStepChannel(2);
    bool ok = RunOneSweep(page) && save("motion-move.png", nullptr);
    page.Scope()->SetStepChannel(0);
    page.MotionPage()->SetWholeMove(false);

    // A 1 A step on the winding with the drive's own gains, sampled every 0.1 ms.
    Find<QRadioButton>(&page, res::IDC_TYPE_CURRENT_LOOP)->click();
    QWidget* loop = page.CurrentLoopPage();
    Set(loop, res::IDC_CURRENT_KP, "1000");
    Set(loop, res::IDC_TEST_CURRENT, "1");
    Set(loop, res::IDC_SAMPLING, "1");
    ok = RunOneSweep(page) && save("motion-current-step.png", nullptr) && ok;

    // A scope-only trace of the drive at rest: the bus voltage and the motor current, on the two
    // channels the page offers.
    Find<QRadioButton>(&page, res::IDC_TYPE_SCOPE)->click();
    Set(page.ScopePage(), res::IDC_SAMPLING, "10");
    Choose(page, res::IDC_CHANNEL_1, "Bus Voltage (0.1V)");
    Choose(page, res::IDC_CHANNEL_2, "Synthetic Current (mA)");
    Choose(page, res::IDC_CHANNEL_3, "--Select--");
    Choose(page, res::IDC_CHANNEL_4, "--Select--");
    ok = RunOneSweep(page) && save("motion-scope.png", nullptr) && ok;

    Find<QRadioButton>(&page, res::IDC_TYPE_MOTION)->click();
    return ok;
}
