// The parameter list's aids against the simulated drive on a real pseudo-terminal: the marks of
// the Value cells, the comparison with a parameter set file and the search box.

#include "CCompareDialog.h"
#include "CItemEdit.h"
#include "CListMarks.h"
#include "ParameterFile.h"
#include "SimulatedDriveFixture.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <fstream>
#include <set>

namespace {

using kestova::CParameterManage;
using kestova::params::kValueColumn;
using kestova::params::ParameterRows;

class ParameterAids : public SimulatedDriveFixture {
protected:
    void StartDrive() {
        LaunchDrive(12, 310, {}, 0);
        Page().wait = [this](std::chrono::milliseconds d) { drive->Step(d); };
        Page().runCompare = [](QDialog& dialog) { dialog.show(); };
        ConnectAndRead();
        presenter.Clear();
    }

    QString ToolTip(int row) {
        return List().model()->index(row, kValueColumn).data(Qt::ToolTipRole).toString();
    }

    // A file of this drive holding the list's rows with `changed` rows one above the drive.
    QString FileWithChanges(std::size_t changed, std::set<int>& addresses) {
        ParameterRows rows = List().Rows();
        for (auto& row : rows) {
            const int address = kestova::params::LeadingInteger(row.cells[0]);
            const std::string raised =
                std::to_string(kestova::params::LeadingInteger(row.cells[kValueColumn]) + 1);
            if (addresses.size() < changed && address != kestova::params::kBitFieldAddress &&
                !kestova::params::IsUnsignedAddress(address) &&
                kestova::params::ValueToWrite(row, raised)) {
                row.cells[kValueColumn] = raised;
                addresses.insert(address);
            }
        }
        const QString path = files.filePath("set.ktr");
        std::ofstream(path.toStdString(), std::ios::binary)
            << kestova::params::WriteParameterFile(12, "TS-126", rows);
        return path;
    }

    QTemporaryDir files;
};

TEST_F(ParameterAids, anEditMarksItsValueAndWriteToDriveClearsTheUnstoredMark) {
    StartDrive();
    const int row = RowOf(42);
    ASSERT_EQ(List().CellText(row, kValueColumn), "50"); // the model's default
    EXPECT_EQ(ToolTip(row), "");
    Type(row, "61");
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(42) == 61; }));
    EXPECT_EQ(ToolTip(row), "Differs from the default (50)\nWritten since the last store: in the "
                            "drive's working memory only, lost at power-off until Write to Drive");
    EXPECT_EQ(List().model()->index(row, kValueColumn).data(Qt::BackgroundRole).value<QBrush>(),
              QBrush(kestova::CListMarks::kUnstored));
    EXPECT_FALSE(Page().Marks()->IsUnstored(RowOf(41)));

    presenter.AnswerMessage(kestova::MsgResult::Yes);
    window->OnCommand(kestova::res::ID_DRIVE_WRITE);
    ASSERT_EQ(presenter.Messages().size(), 2);
    EXPECT_EQ(presenter.Messages()[1].caption, "Download to Drive Success");
    EXPECT_FALSE(Page().Marks()->IsUnstored(row));
    EXPECT_EQ(ToolTip(row), "Differs from the default (50)");
}

// The highlight says which row a second click edits; a mark's tint must not hide it.
TEST_F(ParameterAids, theHighlightedRowsValueCellShowsTheHighlightOverItsMark) {
    StartDrive();
    const int row = RowOf(42);
    Type(row, "61");
    ASSERT_TRUE(WaitUntil([&] { return DriveValue(42) == 61; }));
    ASSERT_TRUE(Page().Marks()->IsUnstored(row));
    Click(row, 2); // the row highlighted and armed
    ASSERT_EQ(List().HighlightedRow(), row);
    const QRect cell = List().visualRect(List().model()->index(row, kValueColumn));
    const QImage shown = List().viewport()->grab().toImage();
    const qreal ratio = shown.devicePixelRatio();
    const QPoint blank(cell.right() - 4, cell.center().y()); // right of the short value's text
    EXPECT_EQ(shown.pixelColor(blank * ratio), QColor(0, 250, 128));
}

TEST_F(ParameterAids, aLoadedFileMarksEveryRowItWroteAsUnstored) {
    StartDrive();
    std::set<int> changed;
    const QString path = FileWithChanges(1, changed);
    QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_OPEN);
    ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; }));
    for (int row = 0; row < List().RowCount(); ++row) {
        EXPECT_TRUE(Page().Marks()->IsUnstored(row)) << row;
        EXPECT_EQ(Page().Marks()->DiffersFromDefault(row),
                  changed.count(List().CellText(row, 0).toInt()) != 0)
            << row;
    }
}

TEST_F(ParameterAids, aCompareWithThreeDifferingRowsAppliesExactlyThose) {
    StartDrive();
    std::set<int> changed;
    const QString path = FileWithChanges(3, changed);
    ASSERT_EQ(changed.size(), 3u);
    std::map<int, int> expected = DriveValues();
    for (const int address : changed) {
        ++expected[address];
    }

    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_COMPARE);
    ASSERT_EQ(presenter.Seen().size(), 1); // the file dialog, no message
    EXPECT_EQ(presenter.Seen()[0].file.title, "Compare with File");
    kestova::CCompareDialog* dialog = Page().CompareDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    ASSERT_EQ(dialog->Rows()->topLevelItemCount(), 3);
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled()); // nothing ticked yet

    dialog->SetAllTicked(true);
    dialog->ApplyButton()->click();
    EXPECT_EQ(DriveValues(), expected);
    EXPECT_EQ(dialog->Rows()->topLevelItemCount(), 0);
    for (int row = 0; row < List().RowCount(); ++row) {
        const int address = List().CellText(row, 0).toInt();
        EXPECT_EQ(Page().Marks()->IsUnstored(row), changed.count(address) != 0) << address;
    }
}

TEST_F(ParameterAids, theTickedRowsSaveAsTheDriveSetWithTheFileValues) {
    StartDrive();
    std::set<int> changed;
    const QString path = FileWithChanges(2, changed);
    presenter.AnswerFile(path);
    ASSERT_TRUE(Page().CompareWithFile());
    kestova::CCompareDialog* dialog = Page().CompareDialog();
    ASSERT_EQ(dialog->Rows()->topLevelItemCount(), 2);
    dialog->Rows()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    const QString saved = files.filePath("merged.ktr");
    presenter.AnswerFile(saved);
    dialog->SaveButton()->click();

    std::string bytes;
    ASSERT_FALSE(kestova::params::LoadFileBytes(saved.toStdString(), bytes));
    const auto file = kestova::params::ReadParameterFile(bytes);
    ParameterRows expected = List().Rows();
    const QTreeWidgetItem* ticked = dialog->Rows()->topLevelItem(1);
    int row = -1;
    for (int r = 0; r < List().RowCount(); ++r) {
        if (List().CellText(r, 1) == ticked->text(0)) {
            row = r;
        }
    }
    ASSERT_GE(row, 0);
    expected[static_cast<std::size_t>(row)].cells[kValueColumn] = ticked->text(3).toStdString();
    ASSERT_EQ(file.rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(file.rows[i].cells, expected[i].cells);
    }
    // Nothing was written.
    EXPECT_EQ(DriveValue(List().CellText(row, 0).toInt()),
              List().CellText(row, kValueColumn).toInt());
}

TEST_F(ParameterAids, aFileOfAnotherDriveIsRefusedAsOpenRefusesIt) {
    StartDrive();
    const QString path = files.filePath("other.ktr");
    std::ofstream(path.toStdString(), std::ios::binary)
        << kestova::params::WriteParameterFile(257, "TA-275C", List().Rows());
    presenter.AnswerFile(path);
    window->OnCommand(kestova::res::ID_PROJECT_COMPARE);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text,
              "Current drive model TS-126 is different from the drive 257 in the data file. ");
    EXPECT_EQ(messages[0].caption, "Fatal Error");
    EXPECT_EQ(Page().CompareDialog(), nullptr);
}

TEST_F(ParameterAids, aSearchLooksAcrossClassesAndClearingItRestoresTheClass) {
    StartDrive();
    QSignalSpy ended(&Page(), &CParameterManage::transferEnded);
    Page().ClassFilter()->setCurrentIndex(Page().ClassFilter()->findText("Motor"));
    ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }));
    const int motorRows = List().RowCount();

    // The Par. # of a row outside the class, typed as a person types it.
    const auto whole = kestova::params::LoadParameterRows(state->Db(), "ParaCS3", "All").rows;
    ASSERT_GT(static_cast<int>(whole.size()), motorRows);
    std::string wanted;
    for (const auto& row : whole) {
        if (row.cells[0] == "42") {
            wanted = row.cells[1];
        }
    }
    ASSERT_FALSE(wanted.empty());
    QTest::keyClicks(Page().SearchBox(), QString::fromStdString(wanted).toLower());
    ASSERT_TRUE(WaitUntil([&] { return ended.count() >= 2; }));
    EXPECT_EQ(Page().ClassFilter()->currentText(), "All Parameters");
    ASSERT_EQ(List().RowCount(), static_cast<int>(whole.size()));
    for (int row = 0; row < List().RowCount(); ++row) {
        const bool shown = List().CellText(row, 1).contains(QString::fromStdString(wanted));
        EXPECT_EQ(List().isRowHidden(row), !shown) << row;
    }
    EXPECT_FALSE(List().isRowHidden(RowOf(42)));

    Page().SearchBox()->clear();
    ASSERT_TRUE(WaitUntil([&] { return ended.count() >= 3; }));
    EXPECT_EQ(Page().ClassFilter()->currentText(), "Motor");
    EXPECT_EQ(List().RowCount(), motorRows);
    for (int row = 0; row < List().RowCount(); ++row) {
        EXPECT_FALSE(List().isRowHidden(row));
    }
}

} // namespace
