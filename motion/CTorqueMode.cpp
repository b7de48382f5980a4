#include "CTorqueMode.h"

#include "BusyCursor.h"
#include "PageSupport.h"
#include "ResourceIds.h"
#include "TestRegisters.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace kestova {

using namespace motion;

CTorqueMode::CTorqueMode(ProgramState& state, Presenter& presenter, QWidget* parent)
    : CTestPage(state, presenter, CaptureKind::CurrentLoop, {"Sampling interval error", ""},
                parent) {
    setObjectName("page150");
    resize(DuX(302), DuY(101));
    kp_ = MakeFieldRow(1050, "KP", "1000", 6);
    ki_ = MakeFieldRow(1051, "KI", "1000", 32);
    current_ = MakeFieldRow(1052, "Test current(A)", "1000", 58);
    MakeSamplingRow("Sampling interval (0.1ms)", 8, 84);
    auto_ = new QCheckBox("Auto configuration", this);
    auto_->setObjectName(res::ControlName(1053));
    auto_->setGeometry(220, 6, 180, 22);
    connect(auto_, &QCheckBox::clicked, this, &CTorqueMode::OnAutoConfiguration);
    diag::SwallowEnter(this);
}

void CTorqueMode::LoadSettings() {
    const CurrentLoopTest t = ReadCurrentLoopTest(Link(), Station());
    kp_->setText(QString::number(t.kp));
    ki_->setText(QString::number(t.ki));
    current_->setText(QString::asprintf("%.2f", t.current / 1000.0));
    if (LaterProtocol()) {
        LoadSampling("Sampling interval (%.1fms)");
    }
    ShowSamplingRow(LaterProtocol());
}

// Takes effect on the drive at once, not at the next Run. A write the drive did not take leaves
// the box and the fields as the drive still has them.
void CTorqueMode::OnAutoConfiguration() {
    const bool on = auto_->isChecked();
    WriteResult failed;
    {
        const BusyCursor busy;
        failed = SetAutoConfiguration(Link(), Station(), on);
    }
    if (!Taken(failed, "")) {
        auto_->setChecked(!on);
        return;
    }
    kp_->setEnabled(!on);
    ki_->setEnabled(!on);
    current_->setEnabled(!on);
}

bool CTorqueMode::StartTest() {
    CurrentLoopTest t;
    t.kp = LeadingInteger(kp_->text());
    t.ki = LeadingInteger(ki_->text());
    t.current = ScaledDecimal(current_->text().toStdString(), 3);
    const CaptureSettings s = Settings();
    if (!Taken(StartCurrentLoopTest(Link(), s, t), kNotStarted)) {
        return false;
    }
    runner_.Start(s);
    return true;
}

void CTorqueMode::StopTest() {
    runner_.Stop();
    Taken(StopCurrentLoopTest(Link(), Station()), kMayStillRun);
}

int CTorqueMode::TestCurrent() const {
    return ScaledDecimal(current_->text().toStdString(), 3);
}

} // namespace kestova
