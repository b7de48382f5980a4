// Which model a drive is, from the model table: the query, the fallbacks and their messages.

#include "DbScript.h"
#include "DriveIdentity.h"
#include "KestovaDb.h"
#include "ShellFixture.h"

#include <QComboBox>

#include <chrono>

using kestova::MsgIcon;

namespace {

TEST(DriverQuery, keepsItsBlanksAndUsesTheStoredProtocol) {
    EXPECT_EQ(kestova::DriverQuery(5, kestova::ProtocolFromRegister(250)),
              "Select * from   DriverTable  Where DriverCode = 5 And ProtocolVerssion =200");
    EXPECT_EQ(kestova::DriverQuery(-1, 300),
              "Select * from   DriverTable  Where DriverCode = -1 And ProtocolVerssion =300");
}

TEST(DriveValues, areStoredAsTheConnectionPageStoresThem) {
    EXPECT_EQ(kestova::ProtocolFromRegister(299), 200);
    EXPECT_EQ(kestova::ProtocolFromRegister(300), 300);
    EXPECT_EQ(kestova::ProtocolFromRegister(-1), 200);
    EXPECT_EQ(kestova::FeatureBitsFromRegister(-1), 0);
    EXPECT_EQ(kestova::FeatureBitsFromRegister(6), 6);
    EXPECT_EQ(kestova::FeatureBitsFromRegister(-2), -2); // sign-extended
    EXPECT_EQ(kestova::FirmwareText(215), " V2.15");
    EXPECT_EQ(kestova::FirmwareText(0), " V0.00");
}

class Identifying : public ShellFixture {};

TEST_F(Identifying, anUnknownDriveKeepsThePreviousSeriesInTheCaption) {
    MakeProgramFolder();
    DriveAnswers(12, 310);
    Start();
    PressConnect();
    window->ShowPage(1);
    Connect().ConnectButton()->click(); // disconnect
    QCoreApplication::sendPostedEvents();

    DriveAnswers(99, 310);
    PressConnect();
    EXPECT_EQ(state->modelName, "Unknown Drive Model");
    EXPECT_EQ(state->seriesName, "TS Series");
    EXPECT_EQ(state->paraTableName, "ParaCS3");
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora for TS Series");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

// Disconnect while the parameter page still reads, and connect again at once: the page's pass
// ends with the link, and the new connection finds the drive now on the line.
TEST_F(Identifying, aReconnectInTheMiddleOfTheReadFindsTheNewDrive) {
    MakeProgramFolder();
    DriveAnswers(12, 310);
    Start();
    QComboBox* ports = Connect().PortList();
    ports->setCurrentIndex(ports->findText("COM7"));
    Connect().ConnectButton()->click();
    QCoreApplication::sendPostedEvents(); // link up: the page starts reading
    ASSERT_TRUE(slave.WaitForRequests(6, std::chrono::seconds(5)));
    window->ShowPage(1);
    Connect().ConnectButton()->click(); // disconnect mid-read
    QCoreApplication::sendPostedEvents();

    DriveAnswers(99, 310);
    presenter.Clear();
    Connect().ConnectButton()->click();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(state->driveCode, 99);
    EXPECT_EQ(state->modelName, "Unknown Drive Model");
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

TEST_F(Identifying, aFirstUnknownDriveGivesAnEmptySeriesInTheCaption) {
    MakeProgramFolder();
    DriveAnswers(99, 310);
    Start();
    PressConnect();
    EXPECT_EQ(state->modelName, "Unknown Drive Model");
    EXPECT_EQ(window->windowTitle(), "Tarkel Velmora for ");
}

TEST_F(Identifying, withoutTheDatabaseTheModelIsTypeError) {
    MakeProgramFolder(false);
    DriveAnswers();
    Start();
    presenter.Clear();
    PressConnect();
    EXPECT_EQ(state->modelName, "Type Error");
    const auto messages = presenter.Messages(); // the parameter page's own messages follow
    ASSERT_GE(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.startsWith("Data conneciton error:"))
        << messages[0].text.toStdString();
    EXPECT_GT(messages[0].text.size(), QString("Data conneciton error:").size());
    EXPECT_EQ(messages[0].caption, "Read parameter data error");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
}

TEST_F(Identifying, aRowWithoutSeriesStillGivesModelAndTable) {
    // A model table of our own in which one row has no series, and a key that appears twice.
    kdb::BuildDatabase(
        programDir.filePath("DATA.mdb").toStdString(), kdb::kPassword,
        {{"test", "CREATE TABLE DriverTable (DriverCode INTEGER, ProtocolVerssion INTEGER, "
                  "DriverType TEXT, Series TEXT, ParaTable TEXT);"
                  "INSERT INTO DriverTable VALUES (40, 300, 'NS-1', NULL, 'ParaNS');"
                  "INSERT INTO DriverTable VALUES (41, 300, 'First', 'One', 'ParaOne');"
                  "INSERT INTO DriverTable VALUES (41, 300, 'Second', 'Two', 'ParaTwo');"}});
    DriveAnswers(40, 300);
    Start();
    presenter.Clear(); // the parameter page has no ParameterTable in this database
    PressConnect();
    const auto messages = presenter.Messages(); // then the parameter page's: ParaNS is missing
    ASSERT_GE(messages.size(), 1);
    EXPECT_EQ(messages[0].text, "Product series information can't be found.");
    EXPECT_EQ(messages[0].caption, "");
    EXPECT_EQ(messages[0].icon, MsgIcon::None);
    EXPECT_EQ(messages[0].buttons, kestova::MsgButtons::Ok);
    EXPECT_EQ(state->modelName, "NS-1");
    EXPECT_EQ(state->paraTableName, "ParaNS");

    state->driveCode = 41;
    EXPECT_EQ(kestova::IdentifyDrive(*state, presenter, window.get(), 41), "First");
    EXPECT_EQ(state->seriesName, "One");
}

} // namespace
