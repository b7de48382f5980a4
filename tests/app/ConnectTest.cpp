// Connecting to a drive on a real pseudo-terminal: what goes on the wire, what is stored, what the
// window does about it.

#include "ShellFixture.h"

#include <QCursor>
#include <QGuiApplication>

#include <atomic>

using kestova::MsgIcon;

namespace {

kttest::Bytes ReadOf(std::uint16_t address) {
    return kttest::WithCrc({0x01, 0x03, static_cast<std::uint8_t>(address >> 8),
                            static_cast<std::uint8_t>(address & 0xFF), 0x00, 0x01});
}

class Connecting : public ShellFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }
};

TEST_F(Connecting, readsDriveCodeFeaturesAndProtocolThenIdentifiesTheModel) {
    DriveAnswers(12, 310, 5);
    Start();
    PressConnect();
    const auto seen = slave.Requests(); // then the parameter page reads its values
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0], ReadOf(0xFD));
    EXPECT_EQ(seen[1], ReadOf(0x49));
    EXPECT_EQ(seen[2], ReadOf(0x47));
    EXPECT_EQ(state->driveCode, 12);
    EXPECT_EQ(state->featureBits, 5);
    EXPECT_EQ(state->protocolVersion, 310);
    EXPECT_EQ(state->Link().GetCurrentUseMode(), 1);
    EXPECT_EQ(Connect().ConnectButton()->text(), "Disconnect");

    EXPECT_EQ(state->modelName, "TS-126");
    EXPECT_EQ(state->seriesName, "TS Series");
    EXPECT_EQ(state->paraTableName, "ParaCS3");
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora for TS Series");
    EXPECT_TRUE(window->Page(2)->isVisible());
    EXPECT_FALSE(window->Page(1)->isVisible());
    EXPECT_EQ(window->PageTitle(), "Parameters");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

TEST_F(Connecting, linkUpEnablesTheDriveCommandsAndSwapsThePictures) {
    DriveAnswers();
    Start();
    PressConnect();
    for (int id : {32791, 32787, 32803, 32793, 32797, 32775, 32776, 57670, 32779, 32780}) {
        EXPECT_TRUE(window->Action(id)->isEnabled()) << id;
    }
    const std::pair<int, kestova::res::ImageSet> expected[] = {{1003, {210, 211, 209}},
                                                               {1004, {214, 213, 212}},
                                                               {1006, {208, 207, 206}},
                                                               {1023, {217, 216, 215}}};
    for (const auto& [id, set] : expected) {
        kestova::CButtonExt* button = window->Button(id);
        EXPECT_TRUE(button->isEnabled()) << id;
        EXPECT_EQ(button->NormalBitmap(), set.normal) << id;
        EXPECT_EQ(button->HoverBitmap(), set.hover) << id;
        EXPECT_EQ(button->PressedBitmap(), set.pressed) << id;
    }
}

TEST_F(Connecting, aDriveCodeOfZeroIsNoDrive) {
    DriveAnswers(0);
    Start();
    PressConnect();
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text,
              "Failed to connect! Make sure all wires are correctly connected, the green LED "
              "light of the drive is on, and the correct COM port has been selected.");
    EXPECT_EQ(messages[0].caption, "Communication Error");
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(state->Link().GetConnectStatus(), 0);
    EXPECT_EQ(Connect().ConnectButton()->text(), "Connect");
    EXPECT_FALSE(window->Action(32775)->isEnabled());
    EXPECT_TRUE(window->Page(1)->isVisible());
}

TEST_F(Connecting, aSilentPortIsNoDriveEither) {
    slave.SetResponder({});
    Start();
    PressConnect();
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(presenter.Messages()[0].caption, "Communication Error");
    EXPECT_EQ(slave.RequestCount(), 3u); // the drive code, asked three times; nothing after it
    EXPECT_EQ(state->Link().GetConnectStatus(), 0);
}

// A protocol version taken as 200 in place of one not read would name the drive's older model
// and its parameter table.
TEST_F(Connecting, anIdentityRegisterThatIsNotReadFailsTheConnection) {
    DriveAnswers(12, 310);
    slave.SetResponder([this](const kttest::Bytes& request) {
        return request == ReadOf(0x47) ? kttest::Bytes{} : bank.Answer(request);
    });
    Start();
    PressConnect();
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text,
              "Failed to connect! Make sure all wires are correctly connected, the green LED "
              "light of the drive is on, and the correct COM port has been selected.");
    EXPECT_EQ(messages[0].caption, "Communication Error");
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(state->driveCode, 0);
    EXPECT_EQ(state->Link().GetConnectStatus(), 0);
    EXPECT_TRUE(state->modelName.isEmpty());
    EXPECT_EQ(Connect().ConnectButton()->text(), "Connect");
}

// The cursor is looked at from the drive's side of the line while the window waits for an answer
// that never comes, and again as the failure is reported.
TEST_F(Connecting, busyCursorIsSetDuringAConnectToASilentPortAndRestoredAfter) {
    std::atomic<int> busyWhileAsked{0};
    std::atomic<int> asked{0};
    slave.SetResponder([&](const kttest::Bytes&) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        if (cursor != nullptr && cursor->shape() == Qt::BusyCursor) {
            ++busyWhileAsked;
        }
        ++asked;
        return kttest::Bytes{};
    });
    bool busyAtMessage = true;
    presenter.onMessage = [&](const kestova::MessageRequest&) {
        busyAtMessage = QGuiApplication::overrideCursor() != nullptr;
    };
    Start();
    PressConnect();
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(asked.load(), 3);
    EXPECT_EQ(busyWhileAsked.load(), 3);
    EXPECT_FALSE(busyAtMessage);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Connecting, protocolBelow300IsStoredAs200AndFeatureFFFFAsNone) {
    DriveAnswers(11, 299, 0xFFFF);
    Start();
    PressConnect();
    EXPECT_EQ(state->protocolVersion, 200);
    EXPECT_EQ(state->featureBits, 0);
    EXPECT_EQ(state->modelName, "TS-112");
}

TEST_F(Connecting, disconnectSendsNothingAndKeepsThePage) {
    DriveAnswers();
    Start();
    PressConnect();
    const auto before = slave.RequestCount();
    window->ShowPage(1);
    Connect().ConnectButton()->click();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(slave.RequestCount(), before);
    EXPECT_EQ(state->Link().GetConnectStatus(), 0);
    EXPECT_EQ(state->driveCode, 0);
    EXPECT_EQ(Connect().ConnectButton()->text(), "Connect");
    EXPECT_FALSE(window->Action(32775)->isEnabled());
    EXPECT_EQ(window->Button(1003)->NormalBitmap(), 1010);
    EXPECT_TRUE(window->Page(1)->isVisible());
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora for TS Series");
    // The link stays online with the port closed: page operations fail at once.
    EXPECT_EQ(state->Link().GetCurrentUseMode(), 1);
    EXPECT_EQ(state->Link().ReadAddressValue(1, 0xFD), -1);
    EXPECT_EQ(state->Link().GetLastErrors(), LINK_ERR_NOT_OPEN);
}

TEST_F(Connecting, listAllOffersCom1ToCom19AndUncheckingListsThePortsPresent) {
    Start();
    QComboBox* ports = Connect().PortList();
    EXPECT_EQ(ports->itemText(0), "COM7"); // registered ports come first
    Connect().ListAllBox()->click();
    ASSERT_EQ(ports->count(), 19);
    EXPECT_EQ(ports->itemText(0), "COM1");
    EXPECT_EQ(ports->itemText(18), "COM19");
    EXPECT_EQ(ports->currentIndex(), 0);
    Connect().ListAllBox()->click();
    EXPECT_EQ(ports->itemText(0), "COM7");
}

} // namespace
