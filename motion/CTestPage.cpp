#include "CTestPage.h"

#include "KTCOM.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "RegisterMap.h"
#include "ResourceIds.h"
#include "TestRegisters.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace kestova {

using namespace motion;

namespace {

constexpr int kTraceTimes[] = {100,  200,  300,  400,  500,  600,  700,  800,  900,  1000, 1100,
                               1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2500, 3000};
constexpr int kRowHeight = 22;
constexpr int kRowLabelWidth = 170;
constexpr int kRowFieldWidth = 70;
// The settings column: labels from the left edge, fields after them.
constexpr int kColumnLabelWidth = 125;
constexpr int kColumnFieldX = 135;

} // namespace

CTestPage::CTestPage(ProgramState& state, Presenter& presenter, CaptureKind kind,
                     SamplingCheck check, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter), runner_(state.Link(), kind),
      check_(check) {}

// The runner's own end stops and joins too; the page ends the captures earlier, before what
// they report to goes.
CTestPage::~CTestPage() = default;

QString CTestPage::SettingFailureText(const RegisterFailure& failure, const QString& consequence) {
    const QString name = QString::fromUtf8(failure.setting);
    const QString hex = QString::number(failure.address, 16).toUpper().rightJustified(2, '0');
    const QString where = QStringLiteral("(register 0x%1)").arg(hex);
    QString text;
    if (!failure.sent) {
        text = QStringLiteral("The %1 %2 does not fit in a drive register.")
                   .arg(name)
                   .arg(failure.value);
    } else if (failure.Refused()) {
        text = QStringLiteral("The drive refused the %1 %2.").arg(name, where);
    } else if (failure.code != 0) {
        text = QStringLiteral("The drive did not take the %1 %2: link failure %3.")
                   .arg(name, where)
                   .arg(failure.code);
    } else {
        text = QStringLiteral("The drive did not take the %1 %2.").arg(name, where);
    }
    return consequence.isEmpty() ? text : text + ' ' + consequence;
}

bool CTestPage::Taken(Presenter& presenter, QWidget* owner, const WriteResult& result,
                      const char* consequence) {
    if (!result) {
        return true;
    }
    // A value the drive refused, or one that could not be sent, is a matter of the data; the
    // rest are failures of the line.
    const bool data = !result->sent || result->Refused();
    presenter.Message(owner, SettingFailureText(*result, consequence), QString(),
                      data ? MsgIcon::Exclamation : MsgIcon::Error);
    return false;
}

int CTestPage::GetSamplingMultiplier() const {
    return LeadingInteger(samplingBox_->text());
}

void CTestPage::SetTrigger(int cyclic, int source, int polarity, int level) {
    handed_.cyclic = cyclic;
    handed_.triggerSource = source;
    handed_.triggerPolarity = polarity;
    handed_.triggerLevel = level;
}

void CTestPage::SetChannels(std::uint16_t ch1, std::uint16_t ch2, std::uint16_t ch3,
                            std::uint16_t ch4) {
    handed_.sources = {ch1, ch2, ch3, ch4};
}

void CTestPage::EndCaptures() {
    runner_.Stop();
    runner_.Join();
}

CaptureSettings CTestPage::Settings() const {
    CaptureSettings s = handed_;
    s.station = state_.station;
    s.laterProtocol = LaterProtocol();
    s.triggerSupported = state_.HasFeature(1);
    s.basePeriod = basePeriod_;
    s.multiplier = GetSamplingMultiplier();
    s.traceTime = GetTraceTime();
    return s;
}

bool CTestPage::LaterProtocol() const {
    return state_.protocolVersion >= kLaterProtocolVersion;
}

std::uint8_t CTestPage::Station() const {
    return state_.station;
}

CKTCOM& CTestPage::Link() {
    return state_.Link();
}

void CTestPage::LoadSampling(const char* format) {
    basePeriod_ = ReadBasePeriod(Link(), Station());
    const int m = ReadMultiplier(Link(), Station());
    samplingLabel_->setText(QString::asprintf(format, basePeriod_ / 1000.0));
    samplingBox_->setText(QString::number(m));
}

void CTestPage::ShowSamplingRow(bool later) {
    samplingLabel_->setVisible(later);
    samplingBox_->setVisible(later);
    if (traceList_ != nullptr) {
        traceLabel_->setVisible(!later);
        traceList_->setVisible(!later);
    }
}

void CTestPage::FillTraceTimes(QComboBox* list) {
    for (int t : kTraceTimes) {
        list->addItem(QString::number(t));
    }
    SelectTraceTime(list, 1000);
}

void CTestPage::SelectTraceTime(QComboBox* list, int t) {
    for (int i = 0; i < list->count(); ++i) {
        if (LeadingInteger(list->itemText(i)) == t) {
            list->setCurrentIndex(i);
            return;
        }
    }
}

int CTestPage::LeadingInteger(const QString& text) {
    return ScaledDecimal(text.toStdString(), 0);
}

QLineEdit* CTestPage::MakeField(int id, const QString& text, int x, int y, int width) {
    auto* field = new QLineEdit(text, this);
    field->setObjectName(res::ControlName(id));
    field->setGeometry(x, y, width, kRowHeight);
    return field;
}

QLabel* CTestPage::MakeLabel(const QString& name, const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setGeometry(x, y + 3, width, kRowHeight - 4);
    return label;
}

QLineEdit* CTestPage::MakeFieldRow(int id, const char* label, const char* text, int y) {
    MakeLabel(QStringLiteral("label%1").arg(id), label, 8, y, kColumnLabelWidth);
    return MakeField(id, text, kColumnFieldX, y, kRowFieldWidth);
}

void CTestPage::MakeSamplingRow(const QString& label, int x, int y) {
    samplingLabel_ = MakeLabel(res::ControlName(1056), label, x, y, kRowLabelWidth);
    samplingBox_ = MakeField(1054, "1", x + kRowLabelWidth + 5, y, kRowFieldWidth);
    connect(samplingBox_, &QLineEdit::textEdited, this, &CTestPage::CheckSamplingBox);
}

void CTestPage::MakeTraceRow(const QString& label, int x, int y) {
    traceLabel_ = MakeLabel(res::ControlName(1059), label, x, y, kRowLabelWidth);
    traceList_ = new QComboBox(this);
    traceList_->setObjectName(res::ControlName(1042));
    traceList_->setGeometry(x + kRowLabelWidth + 5, y, kRowFieldWidth, kRowHeight);
    FillTraceTimes(traceList_);
}

// Every edit is checked as it is made, so a box emptied to type anew is reset at once.
void CTestPage::CheckSamplingBox() {
    if (GetSamplingMultiplier() >= 1) {
        return;
    }
    samplingBox_->setText("1");
    presenter_.Message(this, check_.text, check_.caption, MsgIcon::None);
}

} // namespace kestova
