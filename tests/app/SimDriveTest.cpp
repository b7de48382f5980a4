// The program against the simulated drive on a real pseudo-terminal, at the line's real speed:
// the same road an engineer takes with no drive attached.

#include "InfoDialogs.h"
#include "SimulatedDriveFixture.h"

namespace {

class WithSimulatedDrive : public SimulatedDriveFixture {
protected:
    void StartDrive(int code, int protocol) { LaunchDrive(code, protocol); }

    void ConnectTo(const QString& port) {
        QComboBox* list = Connect().PortList();
        list->setCurrentIndex(list->findText(port));
        ASSERT_EQ(list->currentText(), port);
        Connect().ConnectButton()->click();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

TEST_F(WithSimulatedDrive, connectingIdentifiesTheModelAndNamesItsSeries) {
    StartDrive(22, 320);
    ConnectTo("COM9");
    EXPECT_TRUE(presenter.Messages().isEmpty());
    EXPECT_EQ(state->driveCode, 22);
    EXPECT_EQ(state->protocolVersion, 320);
    EXPECT_EQ(state->modelName, "TA-275");
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora for TA Series");
    EXPECT_EQ(window->PageTitle(), "Parameters");
}

TEST_F(WithSimulatedDrive, anEarlierProtocolDriveIsLookedUpAs200) {
    StartDrive(11, 200);
    ConnectTo("COM9");
    EXPECT_EQ(state->protocolVersion, 200);
    EXPECT_EQ(state->modelName, "TS-112");
}

TEST_F(WithSimulatedDrive, productInformationReadsTheDrivesFirmware) {
    StartDrive(12, 310);
    ConnectTo("COM9");
    window->OnCommand(57670);
    const QString firmware = window->ProductInfoDialog()->firmwareText;
    EXPECT_TRUE(firmware.startsWith(" V")) << firmware.toStdString();
    EXPECT_NE(firmware, " V0.00");
}

TEST_F(WithSimulatedDrive, stoppingTheDriveTakesItsPortAway) {
    StartDrive(12, 310);
    ConnectTo("COM9");
    window->ShowPage(1);
    Connect().ConnectButton()->click(); // disconnect
    QCoreApplication::sendPostedEvents();
    drive->Stop();
    presenter.Clear();
    Connect().ListPresentPorts();
    EXPECT_EQ(Connect().PortList()->findText("COM9"), -1); // its port entry went with it
}

} // namespace
