#include "ScreenshotsBusMonitor.h"

#include "CBusMonitor.h"
#include "CMainDlg.h"
#include "DriveSimulator.h"
#include "ResourceIds.h"

#include "QtWait.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

bool ShootBusMonitor(kestova::CMainDlg& window, kestova::sim::DriveSimulator& drive,
                     const std::function<bool(const char* name, QWidget* what)>& save) {
    using kestova::sim::LineFault;
    window.OnCommand(kestova::res::ID_DIAG_BUS_MONITOR); // the tap goes on
    kestova::CBusMonitor& monitor = *window.BusMonitorPage();
    drive.Faults().Set(LineFault::CrcError, {.count = 1});
    drive.Faults().Set(LineFault::NoReply, {.count = 1});
    drive.Faults().Set(LineFault::ExceptionReply, {.count = 1});

    window.OnCommand(kestova::res::ID_DIAG_REGISTERS);
    QWidget* registers = window.Page(7);
    QLineEdit* address = registers->findChild<QLineEdit*>("id1096");
    address->clear();
    QTest::keyClicks(address, "5");
    registers->findChild<QCheckBox*>("id1098")->setChecked(true);
    QTest::mouseClick(registers->findChild<QPushButton*>("id1097"), Qt::LeftButton);
    // Until every fault has been met, and some plain reads after them.
    const bool seen = kttest::WaitFor(
        [&] {
            monitor.Refresh();
            const auto counts = monitor.Monitor().Counters();
            return !counts.empty() && counts[0].second.crcFailures > 0 &&
                   counts[0].second.timeOuts > 0 && counts[0].second.ExceptionTotal() > 0 &&
                   monitor.Monitor().Size() > 60;
        },
        20000);
    registers->findChild<QCheckBox*>("id1098")->setChecked(false);
    window.OnCommand(kestova::res::ID_DIAG_BUS_MONITOR);
    monitor.Refresh();
    return seen && save("bus-monitor.png", nullptr);
}
