// Diagnostics -> Bus Monitor against the simulated drive: the traffic of the other pages, counted
// with its faults, filtered, saved, and a log that stays within its capacity.

#include "CBusMonitor.h"
#include "CParameterManage.h"
#include "SimulatedDriveFixture.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

using kestova::sim::LineFault;

class BusMonitorPage : public SimulatedDriveFixture {
protected:
    // The parameter page reads every parameter again, on its worker thread.
    void ReadParameters() {
        QSignalSpy ended(&Page(), &kestova::CParameterManage::transferEnded);
        Page().ReadAllParameters();
        ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty(); }));
    }
};

TEST_F(BusMonitorPage, countsTheFaultsOfAnotherPagesTraffic_andSavesTheFilteredLog) {
    LaunchDrive(12, 310);
    ConnectAndRead();
    window->OnCommand(kestova::res::ID_DIAG_BUS_MONITOR);
    kestova::CBusMonitor& page = *window->BusMonitorPage();
    ASSERT_TRUE(page.isVisible());
    window->OnCommand(kestova::res::ID_CONFIG_PARAMETERS);
    drive->Faults().Set(LineFault::CrcError, {.count = 1});
    ReadParameters();

    window->OnCommand(kestova::res::ID_DIAG_BUS_MONITOR);
    page.Refresh(); // its timer's last refresh may have come while the read went on
    QTableWidget& counters = *page.CountersTable();
    ASSERT_EQ(counters.rowCount(), 1);
    EXPECT_EQ(counters.item(0, 5)->text(), "1");
    EXPECT_GT(page.LogView()->model()->rowCount(), 100);
    EXPECT_EQ(counters.item(0, 0)->text(), "1");
    EXPECT_EQ(counters.item(0, 3)->text(), "1"); // the retry after the spoilt answer
    EXPECT_EQ(counters.item(0, 1)->text().toInt(), counters.item(0, 2)->text().toInt());

    page.VerdictFilter()->setCurrentIndex(page.VerdictFilter()->findText("CRC failure"));
    QAbstractItemModel& log = *page.LogView()->model();
    ASSERT_EQ(log.rowCount(), 1);
    EXPECT_EQ(log.index(0, 4).data().toString(), "CRC failure");
    EXPECT_TRUE(log.index(0, 5).data().toString().endsWith("-> CRC failure"));

    QTemporaryDir dir;
    const QString path = dir.filePath("bus.txt");
    presenter.AnswerFile(path);
    page.SaveButton()->click();
    ASSERT_EQ(presenter.Seen().size(), 1);
    EXPECT_EQ(presenter.Seen()[0].kind, kttest::ScriptedPresenter::Shown::Kind::SaveFile);
    EXPECT_EQ(presenter.Seen()[0].file.title, "Save Log");
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(saved.readAll());
    EXPECT_EQ(text.count('\n'), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(" <-   1 03  CRC failure")) << text.toStdString();
}

TEST_F(BusMonitorPage, holdsNoMoreFramesThanItsCapacity) {
    LaunchDrive(12, 310);
    ConnectAndRead();
    kestova::CBusMonitor page(*state, presenter, nullptr, 50);
    page.show(); // the tap goes on
    ReadParameters();
    page.Refresh();
    ReadParameters(); // more than it holds, in the queue and in the log
    page.Refresh();
    EXPECT_EQ(page.Monitor().Size(), 50u);
    EXPECT_EQ(page.LogView()->model()->rowCount(), 50);
    EXPECT_GT(page.CountersTable()->item(0, 1)->text().toInt(), 100);
    // The frames that never reached the log are said.
    EXPECT_TRUE(page.StatusLabel()->text().contains(
        "lost: more came between two refreshes than the log holds"))
        << page.StatusLabel()->text().toStdString();
}

} // namespace
