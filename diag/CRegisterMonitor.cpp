#include "CRegisterMonitor.h"

#include "DriveWindows.h"
#include "NumberText.h"
#include "PageSupport.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ui_Registers.h"

#include <QPointer>

#include <thread>

namespace kestova {

using namespace diag;

namespace {

constexpr int kPollPeriodMs = 300;

} // namespace

CRegisterMonitor::CRegisterMonitor(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter),
      ui_(std::make_unique<Ui::RegistersForm>()) {
    ui_->setupUi(this);
    setObjectName("page168");
    timer_.setInterval(kPollPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CRegisterMonitor::Tick);
    connect(ui_->id1097, &QPushButton::clicked, this, [this] { timer_.start(); });
    SwallowEnter(this);
}

CRegisterMonitor::~CRegisterMonitor() = default;

void CRegisterMonitor::Tick() {
    if (!isVisible()) {
        timer_.stop();
        return;
    }
    if (!busy_) { // a tick during a slow read is passed over; the next one reads
        ReadRegister();
    }
}

void CRegisterMonitor::ReadRegister() {
    if (!ui_->id1098->isChecked()) {
        timer_.stop(); // this read still takes place: one press, one read
    }
    const std::string text = FieldText(ui_->id1096);
    if (!IsHexField(text)) {
        timer_.stop();
        ui_->id1096->setFocus();
        presenter_.Message(this, "Invalid register data, check and try again!", QString(),
                           MsgIcon::None);
        return;
    }
    if (busy_) {
        return;
    }
    const auto address = static_cast<std::uint16_t>(params::ParseHexText(text));
    CKTCOM& link = state_.Link();
    const std::uint8_t station = state_.station;
    std::int16_t value = 0;
    busy_ = true;
    const QPointer<CRegisterMonitor> alive(this);
    RunPainting([&] {
        value = diag::ReadRegister(link, station, address, [](std::chrono::milliseconds pause) {
            std::this_thread::sleep_for(pause);
        });
    });
    if (alive.isNull()) {
        return;
    }
    busy_ = false;
    const auto extended = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    ui_->id1099->setText(HexText(extended));
    ui_->id1100->setText(DecText(extended));
}

} // namespace kestova
