#include "CRunTest.h"

#include "CScopeMode.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ResourceIds.h"
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

namespace kestova {

using namespace motion;
using namespace res;

namespace {

// The signals offered in the channel lists, in list order (Q-axis current and the
// accelerations are left out).
constexpr int kOfferedSignals[] = {135, 136, 137, 138, 139, 140, 142, 143, 146, 147};
// What channel 1 carries in the current-loop test.
constexpr int kCurrentLoopSignal = 142;

// Sizes of the controls, which the layout keeps.
constexpr int kBoxWidth[] = {95, 90, 65, 65};
constexpr int kBoxHeight = 20;
constexpr int kListWidth = 175;
constexpr int kListHeight = 22;
constexpr int kFrameHeight = 180;
constexpr int kGroupWidth = 165;
constexpr int kGroupHeight = 125;
constexpr int kRadioWidth = 150;
constexpr int kRadioHeight = 20;
constexpr int kRunWidth = 100;
constexpr int kRunHeight = 40;
constexpr int kHiddenButtonWidth = 90;
constexpr int kHiddenButtonHeight = 24;
constexpr int kTriggerFrameWidth = 240;
constexpr int kTriggerFrameHeight = 130;

QString IconPath(int bitmap) {
    return BitmapPath(bitmap);
}

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
    // Captures report on their own threads: a finished capture is posted as the page's message,
    // a failure is queued with its text.
    for (CTestPage* page :
         {static_cast<CTestPage*>(motionPage_), static_cast<CTestPage*>(torquePage_),
          static_cast<CTestPage*>(scopePage_)}) {
        page->SetReportSink([this](const CaptureReport& report) {
            if (report.type == CaptureReport::Type::WaveReady) {
                WindowMessage::Post(this, kestova::WM_WAVE_READY,
                                    static_cast<quintptr>(report.points), 0);
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
}

// The capture threads report to this page: they end before it does. The sub-pages, children of
// the page, go only after this body.
CRunTest::~CRunTest() {
    motionPage_->EndCaptures();
    torquePage_->EndCaptures();
    scopePage_->EndCaptures();
}

void CRunTest::BuildControls() {
    scope_ = new Cscope(presenter_, this);
    scope_->setObjectName(ControlName(IDC_SCOPE));
    scope_->setGeometry(DuX(2), 0, DuX(356), DuY(167));

    frame_ = new QGroupBox(this);
    frame_->setObjectName(ControlName(IDC_SUBPAGE_FRAME));
    frame_->resize(DuX(297) + 4, kFrameHeight);
    frame_->lower();

    const char* boxTexts[] = {"Channel  1", "Channel 2", "Chn 3", "Chn 4"};
    const int listIds[] = {IDC_CHANNEL_1, IDC_CHANNEL_2, IDC_CHANNEL_3, IDC_CHANNEL_4};
    for (int c = 0; c < 4; ++c) {
        auto* box = new QCheckBox(boxTexts[c], this);
        box->setObjectName(ControlName(IDC_SHOW_CHANNEL_1 + c));
        box->resize(kBoxWidth[c], kBoxHeight);
        auto* list = new QComboBox(this);
        list->setObjectName(ControlName(listIds[c]));
        list->resize(kListWidth, kListHeight);
        if (c >= 2) {
            box->hide();
            list->hide();
        }
        connect(box, &QCheckBox::clicked, this, [this, c](bool ticked) {
            const std::uint8_t on = ticked ? 1 : 0;
            switch (c) {
            case 0:
                scope_->EnableCh1(on);
                break;
            case 1:
                scope_->EnableCh2(on);
                break;
            case 2:
                scope_->EnableCh3(on);
                break;
            default:
                scope_->EnableCh4(on);
                break;
            }
        });
        boxes_[static_cast<std::size_t>(c)] = box;
        lists_[static_cast<std::size_t>(c)] = list;
    }

    typeGroup_ = new QGroupBox("Motion Test Type", this);
    typeGroup_->setObjectName(ControlName(IDC_TEST_TYPE_GROUP));
    typeGroup_->resize(kGroupWidth, kGroupHeight);
    const auto radio = [this](int id, const char* text) {
        auto* r = new QRadioButton(text, this);
        r->setObjectName(ControlName(id));
        r->resize(kRadioWidth, kRadioHeight);
        r->raise();
        return r;
    };
    motionRadio_ = radio(IDC_TYPE_MOTION, "Performance Tuning");
    scopeRadio_ = radio(IDC_TYPE_SCOPE, "Scope");
    currentLoopRadio_ = radio(IDC_TYPE_CURRENT_LOOP, "Current Loop");
    connect(motionRadio_, &QRadioButton::clicked, this,
            [this] { SelectTestType(TEST_TYPE_MOTION); });
    connect(scopeRadio_, &QRadioButton::clicked, this, [this] { SelectTestType(TEST_TYPE_SCOPE); });
    connect(currentLoopRadio_, &QRadioButton::clicked, this,
            [this] { SelectTestType(TEST_TYPE_CURRENT_LOOP); });

    const auto hiddenButton = [this](int id, const char* text, int type) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(ControlName(id));
        b->resize(kHiddenButtonWidth, kHiddenButtonHeight);
        b->hide();
        connect(b, &QPushButton::clicked, this, [this, type] { SelectTestType(type); });
        return b;
    };
    motionButton_ = hiddenButton(IDC_BTN_MOTION, "Motion Test", TEST_TYPE_MOTION);
    currentLoopButton_ = hiddenButton(IDC_BTN_CURRENT_LOOP, "Current Loop", TEST_TYPE_CURRENT_LOOP);
    currentLoopButton_->setEnabled(false);
    scopeButton_ = hiddenButton(IDC_BTN_SCOPE, "Scope", TEST_TYPE_SCOPE);

    run_ = new QPushButton("Run", this);
    run_->setObjectName(ControlName(IDC_RUN));
    run_->resize(kRunWidth, kRunHeight);
    run_->setIconSize(QSize(28, 28));
    connect(run_, &QPushButton::clicked, this, &CRunTest::OnRun);

    // The trigger settings: kept, read and written, but not offered. Like the template's group
    // box, the frame does not own the controls drawn in it: its state is not theirs.
    triggerFrame_ = new QGroupBox(this);
    triggerFrame_->setObjectName(ControlName(IDC_TRIGGER_FRAME));
    triggerFrame_->resize(kTriggerFrameWidth, kTriggerFrameHeight);
    triggerFrame_->setEnabled(false);
    triggerFrame_->hide();
    cyclic_ = new QRadioButton("Cyclic Sampling", this);
    cyclic_->setObjectName(ControlName(IDC_CYCLIC));
    cyclic_->resize(140, kRadioHeight);
    triggered_ = new QRadioButton("Triggering Sampling", this);
    triggered_->setObjectName(ControlName(IDC_TRIGGERED));
    triggered_->resize(160, kRadioHeight);
    triggered_->setEnabled(false);
    // The test-type radios and the sampling radios are two choices among siblings.
    auto* types = new QButtonGroup(this);
    for (QRadioButton* r : {motionRadio_, scopeRadio_, currentLoopRadio_}) {
        types->addButton(r);
    }
    auto* sampling = new QButtonGroup(this);
    sampling->addButton(cyclic_);
    sampling->addButton(triggered_);
    const auto labelled = [this](int labelId, const char* text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setObjectName(ControlName(labelId));
        label->resize(70, 16);
        label->hide();
        field->resize(150, kListHeight);
        field->hide();
        triggerRows_.push_back({label, field});
    };
    triggerSource_ = new QComboBox(this);
    triggerSource_->setObjectName(ControlName(IDC_TRIGGER_SOURCE));
    labelled(IDC_TRIGGER_SOURCE_LABEL, "Type", triggerSource_);
    triggerPolarity_ = new QComboBox(this);
    triggerPolarity_->setObjectName(ControlName(IDC_TRIGGER_POLARITY));
    labelled(IDC_TRIGGER_POLARITY_LABEL, "Pulse Type", triggerPolarity_);
    triggerLevel_ = new QLineEdit(this);
    triggerLevel_->setObjectName(ControlName(IDC_TRIGGER_LEVEL));
    labelled(IDC_TRIGGER_LEVEL_LABEL, "Scale", triggerLevel_);
    cyclic_->hide();
    triggered_->hide();
    connect(cyclic_, &QRadioButton::clicked, this, &CRunTest::OnCyclicClicked);
    connect(triggered_, &QRadioButton::clicked, this, &CRunTest::LoadTriggerSettings);
}

void CRunTest::InitScope() {
    scope_->SetYUnit("Current mA");
    scope_->SetXUnit("ms");
    scope_->SetSampleCount(200);
    scope_->SetXRange(0.0F, 200.0F, 2);
    scope_->SetTimeRange(0, 200);
    scope_->SetCh1Range(-5.0F, 5.0F, 1);
    scope_->SetCh2Range(-5.0F, 5.0F);
    scope_->SetCh3Range(-5.0F, 5.0F);
    scope_->SetCh4Range(-5.0F, 5.0F);
    scope_->InitScope();
    scope_->ClearScope();
}

void CRunTest::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CRunTest::LayOut() {
    const int w = width();
    const int h = height();
    const int runW = run_->width();

    const int frameTop = h - 5 - kFrameHeight;
    const int frameRight = w - runW - 125;
    frame_->setGeometry(8, frameTop, std::max(frameRight - 8, 1), kFrameHeight);

    int x = 20;
    for (std::size_t c = 0; c < 4; ++c) {
        boxes_[c]->move(x, frameTop - 3 - boxes_[c]->height());
        x += boxes_[c]->width() + (c == 0 ? 5 : 2);
        lists_[c]->move(x, frameTop - lists_[c]->height());
        x += lists_[c]->width() + (c == 0 ? 30 : 10);
    }

    scope_->setGeometry(3, 0, std::max(w - 6, 1),
                        std::max(h - kFrameHeight - lists_[0]->height() - 10, 1));

    const int groupLeft = w - runW - 113;
    typeGroup_->move(groupLeft, frameTop + 5);
    motionRadio_->move(groupLeft + 10, frameTop + 35);
    scopeRadio_->move(groupLeft + 10, frameTop + 70);
    currentLoopRadio_->move(groupLeft + 10, frameTop + 100);

    run_->move(w - runW - 112, h - 10 - run_->height());

    const QPoint t(4, h - 5 - triggerFrame_->height());
    triggerFrame_->move(t);
    cyclic_->move(t + QPoint(8, 8));
    triggered_->move(t + QPoint(8, 30));
    int rowY = 54;
    for (const auto& [label, field] : triggerRows_) {
        label->move(t + QPoint(8, rowY + 3));
        field->move(t + QPoint(80, rowY));
        rowY += 24;
    }
    int y = frameTop + 10;
    for (QPushButton* b : {motionButton_, currentLoopButton_, scopeButton_}) {
        b->move(w - runW - 13, y);
        y += b->height() + 3;
    }
    PlaceSubPages();
}

void CRunTest::PlaceSubPages() {
    const QRect f = frame_->geometry();
    const QRect place(f.left() + 1, f.top() + 10, std::max(f.width() - 2, 1),
                      std::max(f.height() - 11, 1));
    for (QWidget* page : {static_cast<QWidget*>(motionPage_), static_cast<QWidget*>(torquePage_),
                          static_cast<QWidget*>(scopePage_)}) {
        page->setGeometry(place);
    }
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
    page->LoadSettings();
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

void CRunTest::WriteChannelSelection() {
    WriteChannelSources(state_.Link(), state_.station, channels_);
}

void CRunTest::OnRun() {
    scope_->SetClientRect(0, 0, scope_->width(), scope_->height());
    scope_->Redraw();
    if (running_ != 0) {
        StopCurrentTest(currentTestType_);
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
        ReadChannelSelection();
        WriteChannelSelection();
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
        page->StartTest();
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
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QEventLoop loop;
    QTimer::singleShot(kStopSettle, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
}

void CRunTest::OnCaptureFailure(const QString& message) {
    presenter_.Message(this, message, QString(), MsgIcon::None);
}

bool CRunTest::event(QEvent* event) {
    if (WindowMessage::Is(event, kestova::WM_WAVE_READY)) {
        OnWaveReady(static_cast<int>(static_cast<const WindowMessage*>(event)->WParam()));
        return true;
    }
    return QWidget::event(event);
}

void CRunTest::OnWaveReady(int n) {
    CTestPage* page = SubPage(currentTestType_);
    if (page == nullptr) {
        return;
    }
    const std::vector<std::int16_t> buffer = page->Samples();
    const int traceTime = page->GetTraceTime();
    const int multiplier = page->GetSamplingMultiplier();
    const WaveTraces traces =
        MakeWaveTraces(buffer, n, channels_, state_.protocolVersion >= kLaterProtocolVersion,
                       basePeriod_, multiplier, traceTime);

    scope_->SetChannelSources(channels_[0], channels_[1], channels_[2], channels_[3]);
    scope_->SetCh1Range(-5.0F, 5.0F, 1);
    scope_->SetCh2Range(-5.0F, 5.0F);
    scope_->SetCh3Range(-5.0F, 5.0F);
    scope_->SetCh4Range(-5.0F, 5.0F);
    scope_->SetXRange(0.0F, static_cast<float>(n), 2);
    scope_->SetSampleCount(static_cast<std::uint16_t>(n));
    scope_->SetTimeRange(0, traces.timeSpan);
    scope_->ClearScope();

    using Enable = void (Cscope::*)(std::uint8_t);
    using Add = void (Cscope::*)(int, float);
    constexpr Enable enable[] = {&Cscope::EnableCh1, &Cscope::EnableCh2, &Cscope::EnableCh3,
                                 &Cscope::EnableCh4};
    constexpr Add add[] = {&Cscope::AddCh1Point, &Cscope::AddCh2Point, &Cscope::AddCh3Point,
                           &Cscope::AddCh4Point};
    for (std::size_t c = 0; c < 4; ++c) {
        (scope_->*enable[c])(boxes_[c]->isChecked() ? 1 : 0);
    }
    for (std::size_t c = 0; c < 4; ++c) {
        if (!traces.taken[c]) {
            if (c == 0) {
                scope_->EnableCh1(0);
            }
            continue;
        }
        if (c >= 2) {
            (scope_->*enable[c])(1);
        }
        const std::vector<float>& points = traces.samples[c];
        for (std::size_t k = 0; k < points.size(); ++k) {
            (scope_->*add[c])(static_cast<int>(k), points[k]);
        }
    }
}

} // namespace kestova
