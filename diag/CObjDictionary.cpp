#include "CObjDictionary.h"

#include "NumberText.h"
#include "PageSupport.h"
#include "ParameterRules.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ui_Dictionary.h"

#include <QPointer>

#include <thread>

namespace kestova {

using namespace diag;

namespace {

constexpr int kPollPeriodMs = 300;

const char* const kBadIndex = "Invalid indexing input data, check and try again!";
const char* const kBadSubIndex = "Invalid sub-indexing input data, check and try again!";
const char* const kBadValue = "Invalid input value, check and try again";

void PauseThread(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

EntryName NameOf(const QLineEdit* index, const QLineEdit* subIndex) {
    return {static_cast<std::uint16_t>(params::ParseHexText(FieldText(index))),
            static_cast<std::uint16_t>(params::ParseHexText(FieldText(subIndex)))};
}

} // namespace

CObjDictionary::CObjDictionary(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter),
      ui_(std::make_unique<Ui::DictionaryForm>()) {
    ui_->setupUi(this);
    setObjectName("page167");

    Group& first = groups_[0];
    first.window = ReadGroup::First;
    first.index = ui_->id1082;
    first.subIndex = ui_->id1083;
    first.hex = ui_->id1085;
    first.dec = ui_->id1086;
    first.continuous = ui_->id1095;
    Group& second = groups_[1];
    second.window = ReadGroup::Second;
    second.index = ui_->id1089;
    second.subIndex = ui_->id1090;
    second.hex = ui_->id1092;
    second.dec = ui_->id1093;
    second.continuous = ui_->id1096;
    for (Group& group : groups_) {
        group.timer.setInterval(kPollPeriodMs);
        connect(&group.timer, &QTimer::timeout, this, [this, &group] { Tick(group); });
    }

    connect(ui_->id1080, &QPushButton::clicked, this, &CObjDictionary::WriteEntry);
    connect(ui_->id1081, &QPushButton::clicked, this, [this] { StartReading(groups_[0]); });
    connect(ui_->id1088, &QPushButton::clicked, this, [this] { StartReading(groups_[1]); });
    connect(ui_->id1077, &QLineEdit::textChanged, this, &CObjDictionary::SyncDecimal);
    connect(ui_->id1078, &QLineEdit::textChanged, this, &CObjDictionary::SyncHex);
    SwallowEnter(this);
}

CObjDictionary::~CObjDictionary() = default;

bool CObjDictionary::Polling(int group) const {
    return groups_[group == 2 ? 1 : 0].timer.isActive();
}

void CObjDictionary::StartReading(Group& group) {
    group.timer.start(); // a running timer starts over
}

void CObjDictionary::Tick(Group& group) {
    if (!isVisible()) {
        group.timer.stop();
        return;
    }
    if (busy_) {
        group.pending = true; // read as soon as the exchange in hand ends
        return;
    }
    ReadEntry(&group == &groups_[0] ? 1 : 2);
}

bool CObjDictionary::CheckField(QLineEdit* field, const char* message) {
    if (IsHexField(FieldText(field))) {
        return true;
    }
    field->setFocus();
    presenter_.Message(this, message, QString(), MsgIcon::None);
    return false;
}

bool CObjDictionary::Exchange(const std::function<void()>& work) {
    if (busy_) {
        return false;
    }
    busy_ = true;
    const QPointer<CObjDictionary> alive(this);
    RunPainting(work);
    if (alive.isNull()) {
        return false;
    }
    busy_ = false;
    for (Group& group : groups_) {
        if (group.pending) {
            group.pending = false;
            QTimer::singleShot(0, this, [this, &group] { Tick(group); });
        }
    }
    return true;
}

void CObjDictionary::WriteEntry() {
    if (!CheckField(ui_->id1074, kBadIndex) || !CheckField(ui_->id1075, kBadSubIndex) ||
        !CheckField(ui_->id1077, kBadValue)) {
        return;
    }
    const EntryName entry = NameOf(ui_->id1074, ui_->id1075);
    const std::uint32_t value = params::ParseHexText(FieldText(ui_->id1077));
    CKTCOM& link = state_.Link();
    const std::uint8_t station = state_.station;
    Exchange([&] { diag::WriteEntry(link, station, entry, value, PauseThread); });
}

void CObjDictionary::ReadEntry(int number) {
    Group& group = groups_[number == 2 ? 1 : 0];
    if (!group.continuous->isChecked()) {
        group.timer.stop(); // this read still takes place: one press, one read
    }
    const bool named = IsHexField(FieldText(group.index)) && IsHexField(FieldText(group.subIndex));
    if (!named) {
        group.timer.stop();
        if (CheckField(group.index, kBadIndex)) {
            CheckField(group.subIndex, kBadSubIndex);
        }
        return;
    }
    const EntryName entry = NameOf(group.index, group.subIndex);
    CKTCOM& link = state_.Link();
    const std::uint8_t station = state_.station;
    const ReadGroup window = group.window;
    std::uint32_t value = 0;
    if (Exchange([&] { value = diag::ReadEntry(link, station, window, entry, PauseThread); })) {
        group.hex->setText(HexText(value));
        group.dec->setText(DecText(value));
    }
}

void CObjDictionary::SyncDecimal() {
    const std::uint32_t hex = params::ParseHexText(FieldText(ui_->id1077));
    const auto dec = static_cast<std::uint32_t>(params::LeadingInteger(FieldText(ui_->id1078)));
    if (hex != dec) {
        ui_->id1078->setText(DecText(hex));
    }
}

void CObjDictionary::SyncHex() {
    const auto dec = static_cast<std::uint32_t>(params::LeadingInteger(FieldText(ui_->id1078)));
    const std::uint32_t hex = params::ParseHexText(FieldText(ui_->id1077));
    if (hex != dec) {
        ui_->id1077->setText(HexText(dec));
    }
}

} // namespace kestova
