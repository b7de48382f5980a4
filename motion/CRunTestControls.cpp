#include "CRunTest.h"

#include "CScopeMode.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "ResourceIds.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

// The motion test page's controls and where they go as the page is resized.

namespace kestova {

using namespace motion;
using namespace res;

namespace {

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

} // namespace

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
        connect(box, &QCheckBox::clicked, this,
                [this, c](bool ticked) { EnableChannel(c + 1, ticked ? 1 : 0); });
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
    scope_->InitEmpty();
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

} // namespace kestova
