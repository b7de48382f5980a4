// The alarm page: its lists read on request from a scripted drive and from the simulated drive,
// explained from the real DATA.mdb.

#include "CAlarm.h"
#include "SimulatedDriveFixture.h"

#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

#include <atomic>

namespace {

using namespace std::chrono_literals;

QStringList Column(QTreeWidget* list, int column) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        texts << list->topLevelItem(row)->text(column);
    }
    return texts;
}

class AlarmPage : public SimulatedDriveFixture {
protected:
    void OpenPage() {
        window->OnCommand(kestova::res::IDC_BTN_ALARMS);
        ASSERT_EQ(window->PageTitle(), "Error Track");
        alarm = window->AlarmPage();
        ASSERT_TRUE(alarm->isVisible());
        alarm->wait = [this](std::chrono::milliseconds d) {
            waits.push_back(d);
            rowsWhileWaiting = alarm->HistoryPage()->List()->topLevelItemCount();
        };
    }
    void StartScripted() {
        MakeProgramFolder();
        DriveAnswers();
        slave.SetResponder([this](const kttest::Bytes& req) {
            ++requests;
            return bank.Answer(req);
        });
        Start();
        PressConnect();
        OpenPage();
    }
    void SelectTab(int index) {
        QTabBar* tabs = alarm->Tabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
        ASSERT_EQ(tabs->currentIndex(), index);
    }

    kestova::CAlarm* alarm = nullptr;
    std::vector<std::chrono::milliseconds> waits;
    int rowsWhileWaiting = -1;
    std::atomic<int> requests{0};
};

TEST_F(AlarmPage, noAlarmWithoutARecordShowsOneNoErrorFoundRow) {
    StartScripted();
    QTreeWidget* list = alarm->CurrentPage()->List();
    EXPECT_EQ(list->topLevelItemCount(), 0) << "nothing is read before Read";
    bank.Set(16, 0);
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "No error found");
    for (int column = 1; column < 4; ++column) {
        EXPECT_EQ(list->topLevelItem(0)->text(column), "");
    }
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

TEST_F(AlarmPage, historyShowsEveryRecordOfEachCodeInRegisterOrder) {
    StartScripted();
    const std::uint16_t log[10] = {5, 0, 5, 0, 9, 0, 0, 0, 0, 0xFFFF};
    for (int i = 0; i < 10; ++i) {
        bank.Set(static_cast<std::uint16_t>(16 + i), log[i]);
    }
    SelectTab(1);
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    QTreeWidget* list = alarm->HistoryPage()->List();
    EXPECT_EQ(Column(list, 0), QStringList({"5", "5", "9", "9"}));
    EXPECT_EQ(Column(list, 1), QStringList({"Over-temperature", "Over-temperature",
                                            "Encoder disconnected", "Encoder count error"}));
    EXPECT_EQ(Column(list, 2).first(), "Fault");
    EXPECT_TRUE(alarm->CurrentPage()->List()->topLevelItemCount() == 0);
}

// Issue 24: names show whole; a suggestion longer than the view reads in full in its tool tip.
TEST_F(AlarmPage, namesShowWholeAndEveryCellHasItsTextAsToolTip) {
    StartScripted();
    window->resize(1500, 700);
    const std::uint16_t log[10] = {5, 9, 0, 0, 0, 0, 0, 0, 0, 0xFFFF};
    for (int i = 0; i < 10; ++i) {
        bank.Set(static_cast<std::uint16_t>(16 + i), log[i]);
    }
    SelectTab(1);
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    QTreeWidget* list = alarm->HistoryPage()->List();
    ASSERT_GT(list->topLevelItemCount(), 1);
    const QFontMetrics metrics = list->fontMetrics();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        EXPECT_LT(metrics.horizontalAdvance(item->text(1)), list->columnWidth(1))
            << item->text(1).toStdString();
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(item->toolTip(column), item->text(column));
        }
    }
    EXPECT_GT(list->columnWidth(3), 900) << "the suggestion takes the rest of a wide page";
}

TEST_F(AlarmPage, switchingTabsReadsNothingAndKeepsTheLists) {
    StartScripted();
    bank.Set(16, 9);
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    ASSERT_EQ(alarm->CurrentPage()->List()->topLevelItemCount(), 2);
    const int before = requests;
    SelectTab(1);
    EXPECT_TRUE(alarm->HistoryPage()->isVisible());
    EXPECT_FALSE(alarm->CurrentPage()->isVisible());
    SelectTab(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, before);
    EXPECT_TRUE(alarm->CurrentPage()->isVisible());
    EXPECT_EQ(alarm->CurrentPage()->List()->topLevelItemCount(), 2);
}

TEST_F(AlarmPage, buttonsSitBelowTheTabsFromFortyPercentOfTheWidth) {
    StartScripted();
    alarm->resize(800, 500);
    const QSize button = alarm->ReadButton()->size();
    EXPECT_EQ(alarm->ReadButton()->geometry().topLeft(), QPoint(320, 495 - button.height()));
    EXPECT_EQ(alarm->ClearButton()->x(), 320 + button.width() + 8);
    const QRect tab = alarm->CurrentPage()->parentWidget()->geometry();
    EXPECT_EQ(tab, QRect(1, 1, 797, 500 - button.height() - 8 - 1));
    EXPECT_EQ(alarm->HistoryPage()->geometry(), QRect(1, 22, 797 - 3, tab.height() - 24));
}

// Against the simulated drive: its alarm log behaves as a drive's does.
class AlarmPageOnSimulatedDrive : public AlarmPage {
protected:
    void StartDrive(kestova::sim::DriveOptions driveOptions = {}) {
        LaunchDrive(12, 310, std::move(driveOptions));
        ConnectAndRead();
        OpenPage();
    }
};

TEST_F(AlarmPageOnSimulatedDrive, clearOnTheHistoryTabClearsTheLogWaitsAndReadsIt) {
    StartDrive();
    drive->WithDrive([](kestova::sim::Drive& d) {
        d.RaiseAlarm(5);
        d.RaiseAlarm(4); // 5 moves into the log behind it
        return 0;
    });
    SelectTab(1);
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    QTreeWidget* list = alarm->HistoryPage()->List();
    ASSERT_EQ(Column(list, 0), QStringList({"4", "5"}));

    QTest::mouseClick(alarm->ClearButton(), Qt::LeftButton);
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{500ms});
    EXPECT_EQ(rowsWhileWaiting, 2) << "read only after the wait";
    // The log behind the alarm in force is gone; clearing the alarm itself would have kept both.
    EXPECT_EQ(Column(list, 0), QStringList({"4"}));
}

TEST_F(AlarmPageOnSimulatedDrive, aFollowingErrorTripShowsOnRead) {
    kestova::sim::DriveOptions options;
    options.load.torque = 5.0; // far beyond what the motor can move
    StartDrive(options);
    CKTCOM& link = state->Link();
    link.WriteAddressValue(1, 0x16, 300); // speed
    link.WriteAddressValue(1, 0x18, 500); // distance
    link.WriteAddressValue(1, 0x09, 1);   // start
    QDeadlineTimer deadline(5000);
    while (link.ReadAddressValue(1, 16) == 0 && !deadline.hasExpired()) {
        QTest::qWait(20);
    }
    QTest::mouseClick(alarm->ReadButton(), Qt::LeftButton);
    QTreeWidget* list = alarm->CurrentPage()->List();
    EXPECT_EQ(Column(list, 1), QStringList({"Position following error"}));
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

} // namespace
