#include "CTWaveMode.h"

#include "PageSupport.h"
#include "ProgramState.h"
#include "RegisterMap.h"
#include "ResourceIds.h"
#include "TestRegisters.h"
#include "UserSettings.h"
#include "WholeMove.h"

#include <QCheckBox>
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
    rotation->setGeometry(270, 2, 150, 64);
    clockwise_ = MakeRadio(rotation, 1043, "Clockwise", 19);
    counterclockwise_ = MakeRadio(rotation, 1044, "Counterclockwise", 40);
    auto* direction = new QGroupBox("Direction", this);
    direction->setGeometry(270, 70, 150, 64);
    oneWay_ = MakeRadio(direction, 1045, "unidirection", 19);
    backAndForth_ = MakeRadio(direction, 1046, "Back and forth", 40);
    clockwise_->setChecked(true);
    oneWay_->setChecked(true);

    wholeMove_ = new QCheckBox("Whole move", this);
    wholeMove_->setObjectName("wholeMove");
    wholeMove_->setGeometry(272, 140, 150, 20);
    wholeMove_->setToolTip("One capture from the move's start until it has settled: the sampling "
                           "follows speed, acceleration and distance, and the capture stays.");
    wholeMove_->setChecked(UserSettings().value(kWholeMoveKey, false).toBool());
    connect(wholeMove_, &QCheckBox::toggled, this, [this](bool on) {
        UserSettings().setValue(kWholeMoveKey, on);
        ShowWholeMove();
    });

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
    ShowWholeMove();
}

bool CTWaveMode::WholeMove() const {
    return wholeMove_->isChecked();
}

void CTWaveMode::SetWholeMove(bool on) {
    wholeMove_->setChecked(on);
}

// The earlier protocol's trace time is the person's to choose; its capture cannot be fitted.
void CTWaveMode::ShowWholeMove() {
    wholeMove_->setEnabled(LaterProtocol());
    samplingBox_->setEnabled(!(LaterProtocol() && WholeMove()));
}

MotionProfile CTWaveMode::ProfileOfFields() const {
    MotionProfile p;
    p.speed = LeadingInteger(speed_->text());
    p.acceleration = LeadingInteger(acceleration_->text());
    p.interval = LeadingInteger(interval_->text());
    p.repeat = LeadingInteger(repeat_->text());
    p.distance = ScaledDecimal(distance_->text().toStdString(), 2);
    p.traceTime = LeadingInteger(traceList_->currentText());
    p.rotation = clockwise_->isChecked() ? 0 : 1;
    p.direction = oneWay_->isChecked() ? 0 : 1;
    return p;
}

CaptureSettings CTWaveMode::RunSettings(const MotionProfile& profile) {
    CaptureSettings s = Settings();
    if (LaterProtocol() && WholeMove()) {
        FitToWholeMove(s, profile);
        // The box shows the sampling the capture takes, and the scope times the sweep by it.
        samplingBox_->setText(QString::number(s.multiplier));
    }
    return s;
}

WriteResult CTWaveMode::WriteSettings() {
    traceTime_ = LeadingInteger(traceList_->currentText());
    const MotionProfile p = ProfileOfFields();
    return WriteMotionProfile(Link(), RunSettings(p), p);
}

bool CTWaveMode::StartTest() {
    traceTime_ = LeadingInteger(traceList_->currentText());
    const MotionProfile p = ProfileOfFields();
    const CaptureSettings s = RunSettings(p);
    if (!Taken(WriteMotionProfile(Link(), s, p), kNotStarted) ||
        !Taken(StartMotion(Link(), Station()), kNotStarted)) {
        return false;
    }
    started_ = p;
    triggerSet_ = s.Triggered() && !Settings().Triggered();
    runner_.Start(s);
    return true;
}

// The move is stopped whether or not the capture thread still runs. The trigger a whole move set
// is taken off again: the drive would otherwise hand it to the page's next plain run.
void CTWaveMode::StopTest() {
    runner_.Stop();
    if (Taken(StopMotion(Link(), Station()), kMayStillRun) && triggerSet_) {
        // Kept when the drive did not take it, so the next Stop tries again.
        triggerSet_ =
            !Taken(WriteSetting(Link(), Station(), reg::TRIGGER_SOURCE, 0, "trigger source"),
                   "The drive's next capture may still wait for the move's trigger.");
    }
}

} // namespace kestova
