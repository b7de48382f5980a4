#include "CTWaveMode.h"

#include "PageSupport.h"
#include "ProgramState.h"
#include "ResourceIds.h"
#include "TestRegisters.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace kestova {

using namespace motion;

namespace {

QRadioButton* MakeRadio(QWidget* group, int id, const QString& text, int y) {
    auto* radio = new QRadioButton(text, group);
    radio->setObjectName(res::ControlName(id));
    radio->setGeometry(10, y, 130, 20);
    return radio;
}

} // namespace

CTWaveMode::CTWaveMode(ProgramState& state, Presenter& presenter, QWidget* parent)
    : CTestPage(state, presenter, CaptureKind::Motion,
                {"Invalid sampling interval value", "Parameter Vaidate"}, parent) {
    setObjectName("page149");
    resize(DuX(297), DuY(102));
    speed_ = MakeFieldRow(1037, "Speed (rpm)", "100", 6);
    acceleration_ = MakeFieldRow(1040, "Accleration (r/s^2)", "100", 32);
    distance_ = MakeFieldRow(1038, "Distance (r)", "100", 58);
    interval_ = MakeFieldRow(1041, "Interval (ms)", "1000", 84);
    repeat_ = MakeFieldRow(1039, "Repeat # ", "1", 110);
    MakeTraceRow("Trace Time (ms)", 8, 136);
    MakeSamplingRow("Sampling time (0.1ms)", 8, 136);

    auto* rotation = new QGroupBox("Rotation", this);
    rotation->setGeometry(270, 2, 150, 72);
    clockwise_ = MakeRadio(rotation, 1043, "Clockwise", 22);
    counterclockwise_ = MakeRadio(rotation, 1044, "Counterclockwise", 46);
    auto* direction = new QGroupBox("Direction", this);
    direction->setGeometry(270, 80, 150, 72);
    oneWay_ = MakeRadio(direction, 1045, "unidirection", 22);
    backAndForth_ = MakeRadio(direction, 1046, "Back and forth", 46);
    clockwise_->setChecked(true);
    oneWay_->setChecked(true);

    diag::SwallowEnter(this);
}

void CTWaveMode::LoadSettings() {
    const MotionProfile p = ReadMotionProfile(Link(), Station());
    speed_->setText(QString::number(p.speed));
    acceleration_->setText(QString::number(p.acceleration));
    interval_->setText(QString::number(p.interval));
    repeat_->setText(QString::number(p.repeat));
    distance_->setText(QString::asprintf("%.1f", p.distance / 100.0));
    traceTime_ = p.traceTime;
    SelectTraceTime(traceList_, traceTime_);
    (p.rotation == 0 ? clockwise_ : counterclockwise_)->setChecked(true);
    (p.direction == 0 ? oneWay_ : backAndForth_)->setChecked(true);
    if (LaterProtocol()) {
        LoadSampling("Sampling Interval (%.1fms)");
    }
    ShowSamplingRow(LaterProtocol());
}

WriteResult CTWaveMode::WriteSettings() {
    MotionProfile p;
    p.speed = LeadingInteger(speed_->text());
    p.acceleration = LeadingInteger(acceleration_->text());
    p.interval = LeadingInteger(interval_->text());
    p.repeat = LeadingInteger(repeat_->text());
    p.distance = ScaledDecimal(distance_->text().toStdString(), 2);
    traceTime_ = LeadingInteger(traceList_->currentText());
    p.traceTime = traceTime_;
    p.rotation = clockwise_->isChecked() ? 0 : 1;
    p.direction = oneWay_->isChecked() ? 0 : 1;
    return WriteMotionProfile(Link(), Settings(), p);
}

bool CTWaveMode::StartTest() {
    if (!Taken(WriteSettings(), kNotStarted) ||
        !Taken(StartMotion(Link(), Station()), kNotStarted)) {
        return false;
    }
    runner_.Start(Settings());
    return true;
}

// The move is stopped whether or not the capture thread still runs.
void CTWaveMode::StopTest() {
    runner_.Stop();
    Taken(StopMotion(Link(), Station()), kMayStillRun);
}

int CTWaveMode::CommandedSpeed() const {
    return LeadingInteger(speed_->text());
}

} // namespace kestova
