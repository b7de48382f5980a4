// The change journal on the parameter page against the simulated drive on a real pseudo-terminal:
// what an edit and a download journal, History showing it, and undo of a run.

#include "CHistoryDialog.h"
#include "CItemEdit.h"
#include "CListMarks.h"
#include "ParameterFile.h"
#include "SimulatedDriveFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>
#include <map>

namespace {

using kestova::CParameterManage;
using kestova::MsgIcon;
using kestova::MsgResult;
using namespace kestova::params;

class ParameterHistory : public SimulatedDriveFixture {
protected:
    void StartDrive() {
        LaunchDrive(12, 310, {}, 0);
        Page().wait = [this](std::chrono::milliseconds d) { drive->Step(d); };
        Page().runHistory = [](QDialog& dialog) { dialog.show(); };
        ConnectAndRead();
        presenter.Clear();
    }
    // Opens a file of this drive with every fourth plain row raised by one; the page downloads it.
    void DownloadChangedFile() {
        ParameterRows rows = List().Rows();
        for (std::size_t i = 0; i < rows.size(); i += 4) {
            const int address = LeadingInteger(rows[i].cells[0]);
            const std::string raised =
                std::to_string(LeadingInteger(rows[i].cells[kValueColumn]) + 1);
            if (address != kBitFieldAddress && !IsUnsignedAddress(address) &&
                ValueToWrite(rows[i], raised)) {
                rows[i].cells[kValueColumn] = raised;
            }
        }
        const QString path = files.filePath("set.ktr");
        std::ofstream(path.toStdString(), std::ios::binary)
            << WriteParameterFile(12, "TS-126", rows);
        QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
        presenter.AnswerFile(path);
        window->OnCommand(kestova::res::ID_PROJECT_OPEN);
        ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
    }
    QTemporaryDir files;
};

TEST_F(ParameterHistory, anEditAndADownloadAreJournalledAndUndoOfTheDownloadGivesEveryValueBack) {
    StartDrive();
    const int row = RowOf(42);
    Type(row, "61");
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(42) == 61; }));
    const std::map<int, int> beforeDownload = DriveValues();
    DownloadChangedFile();
    ASSERT_NE(DriveValues(), beforeDownload);
    // A line a crash left torn is named and passed over.
    const std::string path = Page().JournalPathNow();
    std::ofstream(path, std::ios::app) << "K2\ttorn";
    presenter.Clear();

    window->OnCommand(kestova::res::ID_DRIVE_HISTORY);
    kestova::CHistoryDialog* history = Page().HistoryDialog();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(history->isVisible());
    EXPECT_NE(history->Heading()->text().indexOf("1 damaged entry(s) skipped (line"), -1)
        << history->Heading()->text().toStdString();
    QTreeWidget* entries = history->Entries();
    ASSERT_EQ(entries->topLevelItemCount(), 1 + List().RowCount());
    const QTreeWidgetItem* edit = entries->topLevelItem(0);
    EXPECT_EQ(edit->text(2), List().CellText(row, kNumberColumn));
    EXPECT_EQ(edit->text(4), "50");
    EXPECT_EQ(edit->text(5), "61");
    EXPECT_EQ(edit->text(6), "edit");
    EXPECT_EQ(edit->text(7), "no");
    EXPECT_EQ(edit->background(0).color(), kestova::CListMarks::kUnstored);
    EXPECT_EQ(entries->topLevelItem(1)->text(6), "download");

    entries->setCurrentItem(entries->topLevelItem(entries->topLevelItemCount() - 1));
    presenter.AnswerMessage(MsgResult::Yes);
    history->UndoRunButton()->click();
    EXPECT_EQ(DriveValues(), beforeDownload);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].caption, "Undo");
    EXPECT_EQ(messages[1].icon, MsgIcon::Information);
    EXPECT_TRUE(
        messages[1].text.endsWith("are back to their values before run 2. They are in "
                                  "the drive's working memory: Write to Drive stores them."))
        << messages[1].text.toStdString();
    // The undo is a run of its own in the journal.
    EXPECT_EQ(entries->topLevelItem(entries->topLevelItemCount() - 1)->text(6), "undo");
}

TEST_F(ParameterHistory, aJournalThatCannotBeWrittenIsSaidOnceAndTheEditsStand) {
    StartDrive();
    const QString blocked = files.filePath("blocked");
    std::ofstream(blocked.toStdString()) << "x";
    qputenv("KESTOVA_JOURNAL_DIR", (blocked + "/journal").toUtf8());
    Type(RowOf(42), "61");
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(42) == 61; }));
    Type(RowOf(42), "62");
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(42) == 62; }));
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].caption, "Change Journal");
    EXPECT_EQ(messages[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(messages[0].text.startsWith("The change journal " + blocked))
        << messages[0].text.toStdString();
}

} // namespace
