#include "CConnect.h"

#include "BusyCursor.h"
#include "DriveIdentity.h"
#include "PortNames.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "WindowMessage.h"
#include "ui_Connect.h"

namespace kestova {

namespace {

constexpr quintptr kLinkUp = 1000;
constexpr quintptr kLinkDown = 1001;

// The link takes port and speed as short 8-bit texts.
QByteArray LinkText(const QString& text) {
    return text.toLocal8Bit().left(9);
}

} // namespace

CConnect::CConnect(ProgramState& state, Presenter& presenter, QObject* notify, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter), notify_(notify),
      ui_(std::make_unique<Ui::ConnectForm>()) {
    ui_->setupUi(this);
    setObjectName("page131");
    setFixedSize(size());

    FillNumberedPorts();
    ui_->id1007->addItems({"38400", "115200"});
    ui_->id1007->setCurrentIndex(0);
    for (int station = 1; station <= 63; ++station) {
        ui_->id1008->addItem(QString::number(station));
    }
    ui_->id1008->setCurrentIndex(0);
    ListPresentPorts();

    connect(ui_->id1000, &QPushButton::clicked, this, &CConnect::OnConnect);
    connect(ui_->id1066, &QCheckBox::clicked, this, &CConnect::OnListAll);
    connect(ui_->id1009, &QPushButton::clicked, this, &CConnect::OnOffline);
}

CConnect::~CConnect() = default;

QComboBox* CConnect::PortList() const {
    return ui_->id1006;
}
QCheckBox* CConnect::ListAllBox() const {
    return ui_->id1066;
}
QPushButton* CConnect::ConnectButton() const {
    return ui_->id1000;
}

void CConnect::FillNumberedPorts() {
    ui_->id1006->clear();
    for (int n = 1; n <= 19; ++n) {
        ui_->id1006->addItem(QString::asprintf("COM%d", n));
    }
    ui_->id1006->setCurrentIndex(0);
}

void CConnect::ListPresentPorts() {
    ui_->id1006->clear();
    for (const std::string& name : ktcom::ListPorts()) {
        ui_->id1006->addItem(QString::fromStdString(name));
    }
    if (ui_->id1006->count() > 0) {
        ui_->id1006->setCurrentIndex(0);
    }
}

void CConnect::OnListAll() {
    if (ui_->id1066->isChecked()) {
        FillNumberedPorts();
    } else {
        ListPresentPorts();
    }
}

void CConnect::OnConnect() {
    // A port that stays silent holds the window for every retry of the identity reads.
    BusyCursor busy;
    CKTCOM& link = state_.Link();
    state_.station = static_cast<std::uint8_t>(ui_->id1008->currentText().toInt());
    const QByteArray port = LinkText(ui_->id1006->currentText());
    const QByteArray speed = LinkText(ui_->id1007->currentText());
    link.ConfigCom(port.constData(), speed.constData(), "8", "NONE", "1");
    link.SetReceiveTimeOut(500);
    state_.portName = QString::fromUtf8(port);

    if (link.GetConnectStatus() != 0) {
        link.CloseCom();
        state_.driveCode = 0;
        ui_->id1000->setText("Connect");
        WindowMessage::Post(notify_, WM_LINK_NOTIFY, kLinkDown, 0);
        return;
    }

    if (link.OpenCom() != 0) {
        link.SetCurrentUseMode(1);
        // A register that was not read fails the connection: feature bits or a protocol version
        // taken in its place would name another model and its parameter table.
        const IdentityRead identity = ReadIdentity(link, state_.station);
        state_.driveCode = identity.failure == 0 ? identity.driveCode : std::int16_t{0};
        state_.featureBits = identity.featureBits;
        state_.protocolVersion = identity.protocol;
    }
    if (state_.driveCode < 1) {
        link.CloseCom();
        busy.End();
        presenter_.Message(
            this,
            "Failed to connect! Make sure all wires are correctly connected, the green LED "
            "light of the drive is on, and the correct COM port has been selected.",
            "Communication Error", MsgIcon::Error);
        return;
    }
    WindowMessage::Post(notify_, WM_LINK_NOTIFY, kLinkUp, 0);
    ui_->id1000->setText("Disconnect");
}

void CConnect::OnOffline() {
    state_.driveCode = 0;
    state_.Link().SetCurrentUseMode(0);
    WindowMessage::Post(notify_, WM_LINK_NOTIFY, kLinkDown, 0);
}

} // namespace kestova
