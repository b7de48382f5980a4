// Saving and loading parameter files through the Project menu, with the simulated drive on a real
// pseudo-terminal, real files and the scripted presenter answering the file dialogs.

#include "ParameterFile.h"
#include "CListCtrlExt.h"
#include "SimulatedDriveFixture.h"

#include <QDeadlineTimer>
#include <QDir>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/resource.h>

namespace {

using kestova::CParameterManage;
using kestova::MsgIcon;
using kestova::MsgResult;
using kestova::params::kValueColumn;
using kestova::params::ParameterRows;

std::string Slurp(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// A parameter file as an editor may leave it: UTF-16LE text, written as it stands.
void PutText(const QString& path, const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    Put(path, bytes.toStdString());
}

class ParameterFiles : public SimulatedDriveFixture {
protected:
    void StartDrive() {
        LaunchDrive(12, 310, {}, 0);
        Page().wait = [this](std::chrono::milliseconds d) { drive->Step(d); };
        // Register 42 differs from the table's default (50), so a file shows whose value it holds.
        drive->WithDrive([](kestova::sim::Drive& d) { return d.Write(42, {61}); });
        ConnectAndRead();
        presenter.Clear();
    }

    ParameterRows WholeTable() {
        return kestova::params::LoadParameterRows(state->Db(), "ParaCS3", "All").rows;
    }

    QString FilePath(const QString& name) { return files.filePath(name); }

    QTemporaryDir files;
};

TEST_F(ParameterFiles, aSaveWithOneClassShownWritesEveryRowAsTheDriveHoldsItAndLoadsBack) {
    StartDrive();
    QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
    Page().ClassFilter()->setCurrentIndex(Page().ClassFilter()->findText("Motor"));
    ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
    ASSERT_LT(List().RowCount(), static_cast<int>(WholeTable().size()));

    const QString path = FilePath("drive.ktr");
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_SAVE_AS);
    ASSERT_EQ(presenter.Seen().size(), 1); // the dialog, no message
    EXPECT_EQ(presenter.Seen()[0].file.title, "Save As");

    const auto file = kestova::params::ReadParameterFile(Slurp(path));
    ASSERT_EQ(file.verdict, kestova::params::FileVerdict::Ok);
    EXPECT_EQ(file.driveCode, 12);
    EXPECT_EQ(file.modelName, "TS-126");
    const ParameterRows table = WholeTable();
    ASSERT_EQ(file.rows.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(file.rows[i].cells[0], table[i].cells[0]);
        if (table[i].cells[0] == "42") {
            EXPECT_EQ(file.rows[i].cells[kValueColumn], "61"); // the drive's, not the default
        }
    }
    EXPECT_EQ(Page().ClassFilter()->currentText(), "Motor");
    EXPECT_EQ(List().RowCount(), static_cast<int>(table.size()));

    const ParameterRows shown = List().Rows();
    presenter.AnswerFile(path);
    ASSERT_TRUE(Page().OpenParameterFile());
    const ParameterRows loaded = List().Rows();
    ASSERT_EQ(loaded.size(), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(loaded[i].cells, shown[i].cells);
    }
}

TEST_F(ParameterFiles, theProjectMenuOpenLoadsDownloadsAndSaysSo) {
    StartDrive();
    ParameterRows rows = List().Rows();
    for (auto& row : rows) {
        if (row.cells[0] == "42") {
            row.cells[kValueColumn] = "77";
        }
    }
    const QString path = FilePath("set.ktr");
    Put(path, kestova::params::WriteParameterFile(12, "TS-126", rows));
    QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_OPEN);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, "Configuration file has been loaded successfully.");
    EXPECT_EQ(messages[0].caption, "Load File");
    ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
    EXPECT_EQ(DriveValue(42), 77);
}

TEST_F(ParameterFiles, aFileOfAnotherDriveIsRefusedWhileADriveIsIdentified) {
    StartDrive();
    const QString path = FilePath("other.ktr");
    Put(path, kestova::params::WriteParameterFile(257, "TA-275C", List().Rows()));
    const auto requests = drive->RequestsAnswered();
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_OPEN);
    QCoreApplication::processEvents();
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1); // and no success message
    EXPECT_EQ(messages[0].text,
              "Current drive model TS-126 is different from the drive 257 in the data file. ");
    EXPECT_EQ(messages[0].caption, "Fatal Error");
    EXPECT_EQ(messages[0].buttons, kestova::MsgButtons::YesNo);
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_EQ(drive->RequestsAnswered(), requests);
}

TEST_F(ParameterFiles, withNoDriveAHeaderOnlyFileOfAnyDriveLoadsEmpty) {
    MakeProgramFolder();
    Start();
    const QString path = FilePath("empty.ktr");
    Put(path, kestova::params::WriteParameterFile(257, "TA-275C", {}));
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_OPEN);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, "Configuration file has been loaded successfully.");
    EXPECT_EQ(List().RowCount(), 0);
}

TEST_F(ParameterFiles, bytesThatAreNotAParameterFileGiveAMessageAndNoRows) {
    MakeProgramFolder();
    Start();
    const QString path = FilePath("notes.ktr");
    Put(path, "\xEF\xBB\xBF"
              "DriverCode|12\r\nDriverType|TS-126\r\n40|P1.01|x|0|0-6||\r\n");
    presenter.AnswerFile(path);
    EXPECT_FALSE(Page().OpenParameterFile());
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(path));
    EXPECT_EQ(List().RowCount(), 0);
}

// A file system that runs out of room part-way: the file size limit makes the writes fail the
// same way, without mount rights.
TEST_F(ParameterFiles, aSaveThatCannotBeWrittenLeavesTheOldFileAndSaysSo) {
    StartDrive();
    const QString path = FilePath("kept.ktr");
    const std::string old = kestova::params::WriteParameterFile(12, "TS-126", List().Rows());
    Put(path, old);

    presenter.AnswerFile(path);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    window->OnCommand(kestova::res::ID_PROJECT_SAVE_AS);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(path));
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{"kept.ktr"});
}

// A file is never saved from values that were not read without the person agreeing.
TEST_F(ParameterFiles, aSaveAfterAReadThatLostTheDriveAsksFirstAndNoWritesNothing) {
    StartDrive();
    state->Link().SetReceiveTimeOut(50);
    drive->Faults().Set(kestova::sim::LineFault::NoReply, {.count = 6, .rate = 0.0});
    const QString path = FilePath("partial.ktr");
    presenter.AnswerFile(path);
    presenter.AnswerMessage(MsgResult::Ok);
    presenter.AnswerMessage(MsgResult::No);
    window->OnCommand(kestova::res::ID_PROJECT_SAVE_AS);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].caption, "Read Parameters");
    EXPECT_EQ(messages[1].text,
              QString("%1 parameters were not read from the drive: the list shows values that "
                      "are not the drive's. Save the file anyway?")
                  .arg(WholeTable().size()));
    EXPECT_EQ(messages[1].caption, "Save As");
    EXPECT_EQ(messages[1].icon, MsgIcon::Warning);
    EXPECT_EQ(messages[1].buttons, kestova::MsgButtons::YesNo);
    EXPECT_EQ(messages[1].defaultButton, MsgResult::No);
    EXPECT_FALSE(QFile::exists(path));
}

// The message about the file stays as it is; the download's own failure follows it and names
// the rows that were not written.
TEST_F(ParameterFiles, aDownloadThatLosesTheDriveNamesTheRowsNotWrittenAfterTheLoadMessage) {
    StartDrive();
    const QString path = FilePath("set.ktr");
    Put(path, kestova::params::WriteParameterFile(12, "TS-126", List().Rows()));
    state->Link().SetReceiveTimeOut(50);
    drive->Faults().Set(kestova::sim::LineFault::NoReply, {.count = 6, .rate = 0.0});
    QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_OPEN);
    ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, "Configuration file has been loaded successfully.");
    EXPECT_TRUE(messages[1].text.startsWith(
        "The drive stopped answering at parameter P0.01 (Pulses per revolution). These "
        "parameters were not written: P0.01, P0.02, "))
        << messages[1].text.toStdString();
    EXPECT_EQ(messages[1].caption, "Download to Drive");
    EXPECT_EQ(messages[1].icon, MsgIcon::Error);
}

// Loading shows the file's rows as they stand, but only this drive's own parameters with values
// their ranges take may be written, and none until the person agrees. A blank line would have
// written 0 into register 0, a row of register 250 reset the drive to factory settings.
TEST_F(ParameterFiles, aFileOnlyWritesTheDrivesOwnParametersAndOnlyOnceAgreed) {
    StartDrive();
    const QString path = FilePath("hostile.ktr");
    PutText(path, "DriverCode|12\r\nDriverType|TS-126\r\n"
                  "42|P1.03|Gain|77|10-100||\r\n"
                  "\r\n"
                  "250|P0.99|Factory reset|1|0-1||\r\n"
                  "9|P9.09|Start|1|0-1||\r\n"
                  "165|P4.01|Following error limit|70000|0-70000||\r\n"
                  "41|P1.02|Gain|12.9|10-100||\r\n"
                  "   \r\n");
    for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        presenter.Clear();
        const auto requests = drive->RequestsAnswered();
        QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
        presenter.AnswerFile(path);
        presenter.AnswerMessage(answer);
        window->OnCommand(kestova::res::ID_PROJECT_OPEN);
        EXPECT_EQ(List().RowCount(), 5) << "blank lines are no rows";
        const auto messages = presenter.Messages();
        ASSERT_EQ(messages.size(), 2);
        EXPECT_EQ(messages[0].text, "These rows cannot be written to the drive:\n"
                                    "P0.99 (register 250): not a parameter of this drive\n"
                                    "P9.09 (register 9): not a parameter of this drive\n"
                                    "P4.01: 70000 is out of 0-65535\n"
                                    "P1.02: 12.9 is not a whole number in 10-100\n\n"
                                    "Write the other parameter?");
        EXPECT_EQ(messages[0].caption, "Download to Drive");
        EXPECT_EQ(messages[0].icon, MsgIcon::Warning);
        EXPECT_EQ(messages[0].buttons, kestova::MsgButtons::YesNo);
        EXPECT_EQ(messages[0].defaultButton, MsgResult::No);
        EXPECT_EQ(messages[1].text, "Configuration file has been loaded successfully.");
        if (answer == MsgResult::Yes) {
            ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
        }
        QCoreApplication::processEvents();
        // Agreed: the row is read for the change journal, then written.
        EXPECT_EQ(drive->RequestsAnswered() - requests, answer == MsgResult::Yes ? 2U : 0U);
        EXPECT_EQ(DriveValue(42), answer == MsgResult::Yes ? 77 : 61);
    }
    EXPECT_EQ(DriveValue(165), 4000);
    EXPECT_EQ(DriveValue(41), 100);
}

} // namespace
