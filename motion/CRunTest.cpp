#include "CRunTest.h"

#include "BusyCursor.h"
#include "CScopeMode.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ResourceIds.h"
#include "StepFiguresLink.h"
#include "StringTable.h"
#include "TestRegisters.h"
#include "WaveTraces.h"
#include "WindowMessage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace kestova {

using namespace motion;
using namespace res;

namespace {

// The signals offered in the channel lists, in list order (Q-axis current and the
// accelerations are left out).
constexpr int kOfferedSignals[] = {135, 136, 137, 138, 139, 140, 142, 143, 146, 147};
// What channel 1 carries in the current-loop test.
constexpr int kCurrentLoopSignal = 142;

QString IconPath(int bitmap) {
    return BitmapPath(bitmap);
}

// The wave-ready message of a capture thread, carrying that capture's own words: the thread
// re-arms and reads the next capture while the message waits in the queue.
class WaveReadyMessage : public WindowMessage {
public:
    WaveReadyMessage(int points, std::shared_ptr<const std::vector<std::int16_t>> samples)
        : WindowMessage(kestova::WM_WAVE_READY, static_cast<quintptr>(points), 0),
          samples_(std::move(samples)) {}
    const std::vector<std::int16_t>* Samples() const { return samples_.get(); }

private:
    std::shared_ptr<const std::vector<std::int16_t>> samples_;
};

} // namespace

std::uint16_t ChannelCodeOfText(const QString& text) {
    for (int id = IDS_CHANNEL_FIRST; id <= IDS_CHANNEL_LAST; ++id) {
        if (!text.isEmpty() && text == LoadString(id)) {
            return static_cast<std::uint16_t>(1U << (id - IDS_CHANNEL_FIRST));
        }
    }
    return 0;
}

QString ChannelTextOfCode(int code) {
    if (code == 0) {
        return LoadString(IDS_CHANNEL_NONE);
    }
    for (int id = IDS_CHANNEL_FIRST; id <= IDS_CHANNEL_LAST; ++id) {
        if (code == 1 << (id - IDS_CHANNEL_FIRST)) {
            return LoadString(id);
        }
    }
    return {};
}

CRunTest::CRunTest(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter) {
    setObjectName("page134");
    resize(DuX(359), DuY(283));
    motionPage_ = new CTWaveMode(state_, presenter_, this);
    torquePage_ = new CTorqueMode(state_, presenter_, this);
    scopePage_ = new CScopeMode(state_, presenter_, this);
    // Captures report on their own threads: a finished capture is posted as the page's message
    // with its words, a failure is queued with its text, and a quiet end says nothing.
    for (CTestPage* page :
         {static_cast<CTestPage*>(motionPage_), static_cast<CTestPage*>(torquePage_),
          static_cast<CTestPage*>(scopePage_)}) {
        page->SetReportSink([this](const CaptureReport& report) {
            if (report.type == CaptureReport::Type::WaveReady) {
                QCoreApplication::postEvent(this,
                                            new WaveReadyMessage(report.points, report.samples));
                return;
            }
            if (report.type != CaptureReport::Type::Failure) {
                return;
            }
            const QString text = QString::fromStdString(report.message);
            QMetaObject::invokeMethod(
                this, [this, text] { OnCaptureFailure(text); }, Qt::QueuedConnection);
        });
    }
    BuildControls();
    LayOut();

    for (QComboBox* list : {lists_[0], lists_[1], lists_[2], lists_[3], triggerSource_}) {
        for (int id : kOfferedSignals) {
            list->addItem(LoadString(id));
        }
        list->setCurrentIndex(0);
    }
    lists_[0]->setCurrentIndex(1);
    lists_[1]->setCurrentIndex(2);
    triggerPolarity_->addItem("Active High");
    triggerPolarity_->addItem("Active Low");
    triggerPolarity_->setCurrentIndex(0);
    triggerLevel_->setText("0");

    SelectTestType(TEST_TYPE_MOTION);
    SetRunButton(IDB_IDLE, "Run");
    motionRadio_->setChecked(true);
    InitScope();
    scope_->OfferAids(true);
    stepFigures_ = new StepFiguresLink(*this);
}

// The capture threads report to this page: they end before it does. The sub-pages, children of
// the page, go only after this body.
CRunTest::~CRunTest() {
    motionPage_->EndCaptures();
    torquePage_->EndCaptures();
    scopePage_->EndCaptures();
}

CTestPage* CRunTest::SubPage(int type) const {
    switch (type) {
    case TEST_TYPE_CURRENT_LOOP:
        return torquePage_;
    case TEST_TYPE_MOTION:
        return motionPage_;
    case TEST_TYPE_SCOPE:
        return scopePage_;
    default:
        return nullptr;
    }
}

void CRunTest::StopCurrentTest(int testType) {
    if (CTestPage* page = SubPage(testType)) {
        page->StopTest();
    }
}

void CRunTest::ReadCaptureSize() {
    sampleCount_ = ReadSampleCount(state_.Link(), state_.station);
    channelCount_ = ReadChannelCount(state_.Link(), state_.station);
    ApplyChannelCount(channelCount_);
}

void CRunTest::RefreshFromDrive() {
    basePeriod_ = ReadBasePeriod(state_.Link(), state_.station);
    ReadCaptureSize();
    LoadTriggerSettings();
    SelectTestType(currentTestType_);
}

void CRunTest::SelectTestType(int type) {
    CTestPage* page = SubPage(type);
    if (page == nullptr) {
        return;
    }
    if (type != currentTestType_ && running_ != 0) {
        presenter_.Message(this, "Before you can proceed, stop motion test first!",
                           "Stop Motion Test", MsgIcon::Error);
        CheckTypeRadio();
        return;
    }
    {
        const BusyCursor busy;
        page->LoadSettings();
    }
    for (CTestPage* other :
         {static_cast<CTestPage*>(motionPage_), static_cast<CTestPage*>(torquePage_),
          static_cast<CTestPage*>(scopePage_)}) {
        other->setVisible(other == page);
    }
    motionButton_->setEnabled(type != TEST_TYPE_MOTION);
    currentLoopButton_->setEnabled(type != TEST_TYPE_CURRENT_LOOP);
    scopeButton_->setEnabled(type != TEST_TYPE_SCOPE);
    if (type == TEST_TYPE_CURRENT_LOOP) {
        lists_[0]->setCurrentIndex(lists_[0]->findText(LoadString(kCurrentLoopSignal)));
        for (std::size_t c = 1; c < 4; ++c) {
            lists_[c]->setCurrentIndex(0);
        }
        for (QComboBox* list : lists_) {
            list->setEnabled(false);
        }
    } else {
        ReadCaptureSize();
    }
    currentTestType_ = type;
    CheckTypeRadio();
}

// The radios show the type in force, also after a refused change.
void CRunTest::CheckTypeRadio() {
    switch (currentTestType_) {
    case TEST_TYPE_CURRENT_LOOP:
        currentLoopRadio_->setChecked(true);
        break;
    case TEST_TYPE_SCOPE:
        scopeRadio_->setChecked(true);
        break;
    default:
        motionRadio_->setChecked(true);
        break;
    }
}

void CRunTest::ApplyChannelCount(int n) {
    if (n < -1 || n > 4) {
        return;
    }
    // No count (0, or a failed read) offers two lists and shows channel 1; one channel still
    // shows two.
    const int lists = n <= 0 ? 2 : n;
    const int ticked = n <= 0 ? 1 : std::max(n, 2);
    for (int c = 0; c < 4; ++c) {
        lists_[static_cast<std::size_t>(c)]->setEnabled(c < lists);
        boxes_[static_cast<std::size_t>(c)]->setChecked(c < ticked);
    }
}

void CRunTest::LoadTriggerSettings() {
    const bool supported = state_.HasFeature(1);
    for (QWidget* field :
         {static_cast<QWidget*>(triggerSource_), static_cast<QWidget*>(triggerPolarity_),
          static_cast<QWidget*>(triggerLevel_)}) {
        field->setEnabled(supported);
    }
    cyclic_->setChecked(true);
    triggered_->setChecked(false);
    if (!supported) {
        triggerSource_->setCurrentIndex(0);
        triggerPolarity_->setCurrentIndex(0);
        triggerLevel_->setText("0");
        return;
    }
    const TriggerSettings t = ReadTrigger(state_.Link(), state_.station);
    const int index = triggerSource_->findText(ChannelTextOfCode(t.source));
    if (index >= 0) {
        triggerSource_->setCurrentIndex(index);
    }
    triggerPolarity_->setCurrentIndex(t.polarity != 0 ? 1 : 0);
    triggerLevel_->setText(QString::asprintf("%d", t.level));
}

void CRunTest::OnCyclicClicked() {
    triggerSource_->setCurrentIndex(0);
    for (QWidget* field :
         {static_cast<QWidget*>(triggerSource_), static_cast<QWidget*>(triggerPolarity_),
          static_cast<QWidget*>(triggerLevel_)}) {
        field->setEnabled(false);
    }
}

void CRunTest::ReadChannelSelection() {
    for (std::size_t c = 0; c < 4; ++c) {
        channels_[c] =
            lists_[c]->currentIndex() < 0 ? 0 : ChannelCodeOfText(lists_[c]->currentText());
    }
}

bool CRunTest::WriteChannelSelection() {
    return CTestPage::Taken(presenter_, this,
                            WriteChannelSources(state_.Link(), state_.station, channels_),
                            CTestPage::kNotStarted);
}

void CRunTest::OnRun() {
    scope_->SetClientRect(0, 0, scope_->width(), scope_->height());
    scope_->Redraw();
    if (running_ != 0) {
        {
            const BusyCursor busy;
            StopCurrentTest(currentTestType_);
        }
        SetRunButton(IDB_IDLE, "Run");
        const QPointer<CRunTest> alive(this);
        SettleAfterStop();
        if (alive.isNull()) {
            return;
        }
    } else {
        // The sample buffers grow with N, but not without bound.
        if (sampleCount_ > kMaxSamplesPerChannel) {
            presenter_.Message(this,
                               QStringLiteral("The drive reports %1 samples per channel; at most "
                                              "%2 can be captured. The test was not started.")
                                   .arg(sampleCount_)
                                   .arg(kMaxSamplesPerChannel),
                               QString(), MsgIcon::Exclamation);
            return;
        }
        const BusyCursor busy;
        ReadChannelSelection();
        if (!WriteChannelSelection()) {
            return;
        }
        const int source = ChannelCodeOfText(triggerSource_->currentText());
        const int polarity = triggerPolarity_->currentIndex();
        const int level = ScaledDecimal(triggerLevel_->text().toStdString(), 0);
        const int cyclic = cyclic_->isChecked() ? 1 : 0;
        CTestPage* page = SubPage(currentTestType_);
        page->SetTrigger(cyclic, source, polarity, level);
        if (currentTestType_ == TEST_TYPE_CURRENT_LOOP) {
            page->SetChannels(channels_[0], channels_[1]);
        } else {
            page->SetChannels(channels_[0], channels_[1], channels_[2], channels_[3]);
        }
        page->SetSampleCount(sampleCount_);
        if (!page->StartTest()) {
            return; // the page is still idle
        }
        SetRunButton(IDB_RUNNING, "Stop");
    }
    running_ = ~running_;
}

void CRunTest::SetRunButton(int bitmap, const char* text) {
    runBitmap_ = bitmap;
    run_->setIcon(QIcon(IconPath(bitmap)));
    run_->setText(text);
}

// The drive is given a second to come to rest. The window keeps painting meanwhile, and what the
// person does is held back until it has passed.
void CRunTest::SettleAfterStop() {
    const BusyCursor busy;
    QEventLoop loop;
    QTimer::singleShot(kStopSettle, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CRunTest::OnCaptureFailure(const QString& message) {
    presenter_.Message(this, message, QString(), MsgIcon::None);
}

bool CRunTest::event(QEvent* event) {
    if (WindowMessage::Is(event, kestova::WM_WAVE_READY)) {
        const auto* message = static_cast<const WindowMessage*>(event);
        const int n = static_cast<int>(message->WParam());
        const auto* ready = dynamic_cast<const WaveReadyMessage*>(message);
        if (ready != nullptr && ready->Samples() != nullptr) {
            DrawWave(n, *ready->Samples());
        } else {
            OnWaveReady(n);
        }
        return true;
    }
    return QWidget::event(event);
}

void CRunTest::OnWaveReady(int n) {
    if (CTestPage* page = SubPage(currentTestType_)) {
        DrawWave(n, page->Samples());
    }
}

void CRunTest::DrawWave(int n, const std::vector<std::int16_t>& buffer) {
    CTestPage* page = SubPage(currentTestType_);
    if (page == nullptr) {
        return;
    }
    const int traceTime = page->GetTraceTime();
    const int multiplier = page->GetSamplingMultiplier();
    const WaveTraces traces =
        MakeWaveTraces(buffer, n, channels_, state_.protocolVersion >= kLaterProtocolVersion,
                       basePeriod_, multiplier, traceTime);

    const SweepTimeAxis time = TimeAxisOf(traces);
    scope_->BeginSweep({channels_[0], channels_[1], channels_[2], channels_[3]}, n, time.unit,
                       time.span);

    for (int c = 1; c <= 4; ++c) {
        EnableChannel(c, boxes_[static_cast<std::size_t>(c - 1)]->isChecked() ? 1 : 0);
    }
    for (int c = 1; c <= 4; ++c) {
        const auto k = static_cast<std::size_t>(c - 1);
        if (!traces.taken[k]) {
            if (c == 1) {
                scope_->EnableCh1(0);
            }
            continue;
        }
        if (c >= 3) {
            EnableChannel(c, 1);
        }
        const std::vector<float>& points = traces.samples[k];
        for (std::size_t i = 0; i < points.size(); ++i) {
            AddPoint(c, static_cast<int>(i), points[i]);
        }
    }
    emit waveDrawn();
}

void CRunTest::EnableChannel(int channel, std::uint8_t on) {
    switch (channel) {
    case 1:
        scope_->EnableCh1(on);
        break;
    case 2:
        scope_->EnableCh2(on);
        break;
    case 3:
        scope_->EnableCh3(on);
        break;
    default:
        scope_->EnableCh4(on);
        break;
    }
}

void CRunTest::AddPoint(int channel, int index, float value) {
    switch (channel) {
    case 1:
        scope_->AddCh1Point(index, value);
        break;
    case 2:
        scope_->AddCh2Point(index, value);
        break;
    case 3:
        scope_->AddCh3Point(index, value);
        break;
    default:
        scope_->AddCh4Point(index, value);
        break;
    }
}

} // namespace kestova
