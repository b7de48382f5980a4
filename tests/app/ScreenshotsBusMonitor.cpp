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

#include <cstdio>

bool ShootBusMonitor(kestova::CMainDlg& window, kestova::sim::DriveSimulator& drive,
                     const std::function<bool(const char* name, QWidget* what)>& save) {
    using kestova::sim::LineFault;
    window.OnCommand(kestova::res::ID_DIAG_BUS_MONITOR); // the tap goes on
    kestova::CBusMonitor& monitor = *window.BusMonitorPage();
    window.OnCommand(kestova::res::ID_DIAG_REGISTERS);
    QWidget* registers = window.Page(7);
    QLineEdit* address = registers->findChild<QLineEdit*>("id1096");
    address->clear();
    QTest::keyClicks(address, "5");
    registers->findChild<QCheckBox*>("id1098")->setChecked(true);
    QTest::mouseClick(registers->findChild<QPushButton*>("id1097"), Qt::LeftButton);

    // One fault at a time (the drive applies all that are due to one reply), each waited for.
    auto counts = [&] {
        monitor.Refresh();
        const auto all = monitor.Monitor().Counters();
        return all.empty() ? KtStationCounts{} : all[0].second;
    };
    auto meet = [&](LineFault fault, auto seen) {
        drive.Faults().Set(fault, {.count = 1});
        return kttest::WaitFor([&] { return seen(counts()); }, 10000);
    };
    const bool ok =
        meet(LineFault::CrcError, [](const KtStationCounts& c) { return c.crcFailures > 0; }) &&
        meet(LineFault::NoReply, [](const KtStationCounts& c) { return c.timeOuts > 0; }) &&
        meet(LineFault::ExceptionReply,
             [](const KtStationCounts& c) { return c.ExceptionTotal() > 0; });
    registers->findChild<QCheckBox*>("id1098")->setChecked(false);
    if (!ok) {
        std::fprintf(stderr, "the bus monitor did not see the three faults\n");
    }
    window.OnCommand(kestova::res::ID_DIAG_BUS_MONITOR);
    monitor.Refresh();
    return ok && save("bus-monitor.png", nullptr);
}
