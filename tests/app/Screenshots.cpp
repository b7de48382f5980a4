// kestova-screenshots DIR: draws the main window offscreen, before and after connecting to the
// simulated drive on a pseudo-terminal, the parameter page with the drive's values and with an
// edit open, the motion test page and the tuning walk-through, the alarm page, the IO function
// panel over the list of a TS-126C, the dictionary and registers pages polling, and writes the
// pictures to DIR for the README and the manual.

#include "CAlarm.h"
#include "CConnect.h"
#include "CIOSettings.h"
#include "CItemEdit.h"
#include "CListCtrlExt.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "ProgramState.h"
#include "PtySlave.h"
#include "ResourceIds.h"
#include "ScreenshotsAssistant.h"
#include "ScreenshotsBusMonitor.h"
#include "ScreenshotsCompare.h"
#include "ScreenshotsMotion.h"
#include "ScreenshotsScopeAids.h"
#include "ScreenshotsTuning.h"
#include "ScriptedPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

// The dictionary page polling: an entry written, the bus voltage read continuously in the first
// read group and the product code read once in the second.
bool ShootDictionary(kestova::CMainDlg& window, const std::function<bool(QWidget*)>& save) {
    window.OnCommand(32779);
    QWidget* page = window.Page(6);
    auto type = [page](int id, const char* text) {
        QTest::keyClicks(page->findChild<QLineEdit*>(QStringLiteral("id%1").arg(id)), text);
    };
    auto press = [page](int id) {
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("id%1").arg(id)),
                          Qt::LeftButton);
    };
    type(1074, "6081");
    type(1075, "0");
    type(1078, "300");
    press(1080);
    type(1082, "6079");
    type(1083, "0");
    page->findChild<QCheckBox*>("id1095")->setChecked(true);
    press(1081);
    type(1089, "1018");
    type(1090, "2");
    press(1088);
    QLineEdit* first = page->findChild<QLineEdit*>("id1085");
    QLineEdit* second = page->findChild<QLineEdit*>("id1092");
    QDeadlineTimer deadline(10000);
    while ((first->text().isEmpty() || second->text().isEmpty()) && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return save(nullptr);
}

// The registers page reading the simulated drive's register 5 (its bus voltage in 0.1 V)
// continuously.
static bool ShootRegisters(kestova::CMainDlg& window, const std::function<bool()>& save) {
    window.OnCommand(kestova::res::ID_DIAG_REGISTERS);
    QWidget* page = window.Page(7);
    QTest::keyClicks(page->findChild<QLineEdit*>("id1096"), "5");
    page->findChild<QCheckBox*>("id1098")->setChecked(true);
    QTest::mouseClick(page->findChild<QPushButton*>("id1097"), Qt::LeftButton);
    QLineEdit* value = page->findChild<QLineEdit*>("id1100");
    QDeadlineTimer deadline(10000);
    while (value->text().isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return !value->text().isEmpty() && save();
}

// The alarm page holding a history that the simulated drive logged: each alarm raised pushes the
// one in force into the log.
static bool ReadAlarmHistory(kestova::CMainDlg& window, kestova::sim::DriveSimulator& drive) {
    drive.WithDrive([](kestova::sim::Drive& d) {
        for (const std::int16_t code : {13, 4, 9, 5}) {
            d.RaiseAlarm(code);
        }
        return 0;
    });
    window.OnCommand(1006);
    kestova::CAlarm& page = *window.AlarmPage();
    page.Tabs()->setCurrentIndex(1);
    page.ReadButton()->click();
    return page.HistoryPage()->List()->topLevelItemCount() > 1;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName("Kestova");
    // The scenes' choices are not remembered for the person's own runs.
    QStandardPaths::setTestModeEnabled(true);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(out);

    kttest::TempPortDir ports;
    const QString programDir = QCoreApplication::applicationDirPath() + "/../bin";
    std::string error;
    auto model = kestova::sim::LoadModel((programDir + "/DATA.mdb").toStdString(), 12, 310, error);
    if (!model) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    kestova::sim::DriveSimulator drive(*model, {}, {});
    if (!drive.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    kestova::ProgramState state(programDir);
    kttest::ScriptedPresenter presenter;
    // The window's first size and place, not the ones this user last closed it with.
    QTemporaryDir userConfig;
    // The change journal of the pictures' edits goes there too, never to the user's own.
    qputenv("KESTOVA_JOURNAL_DIR", userConfig.filePath("journal").toUtf8());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userConfig.path());
    kestova::CMainDlg window(state, presenter);
    const QSize firstSize = window.size();
    window.resize(960, 680);
    window.show();
    QCoreApplication::processEvents();

    auto save = [&](const char* name, QWidget* what = nullptr) {
        QCoreApplication::processEvents();
        const QString path = out + "/" + name;
        if (!(what != nullptr ? what : &window)->grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    bool ok = save("main-disconnected.png");

    QComboBox* portList = window.ConnectPage()->PortList();
    portList->setCurrentIndex(portList->findText("COM9"));
    kestova::CParameterManage& page = *window.ParametersPage();
    bool read = false;
    QObject::connect(&page, &kestova::CParameterManage::transferEnded, [&] { read = true; });
    window.ConnectPage()->ConnectButton()->click();
    QDeadlineTimer deadline(20000);
    while (!read && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ok = save("main-connected.png") && ok;
    // The window at its first size: the hint beside the class filter, the short columns whole.
    window.resize(firstSize);
    ok = save("main-first-size.png") && ok;
    window.resize(960, 680);
    window.OnCommand(kestova::res::ID_DRIVE_COMMUNICATION);
    ok = save("communication.png") && ok;
    window.OnCommand(kestova::res::ID_CONFIG_PARAMETERS);
    ok = save("parameters.png", &page) && ok;

    // An edit in progress: two clicks on a Value cell, a new value typed.
    kestova::CListCtrlExt& list = *page.List();
    const QRect cell = list.visualRect(list.model()->index(6, kestova::params::kValueColumn));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    if (auto* editor = list.findChild<kestova::CItemEdit*>()) {
        editor->selectAll();
        QTest::keyClicks(editor, "25");
    }
    ok = save("parameter-edit.png", &page) && ok;
    QTest::keyClick(list.findChild<kestova::CItemEdit*>(), Qt::Key_Escape);
    window.OnCommand(1005);
    ok = save("product-information.png") && ok;
    // Before the alarms below, which stop the drive's motion.
    ok = ShootMotion(window, [&](const char* name, QWidget* what) { return save(name, what); }) &&
         ok;
    ok =
        ShootScopeAids(window, [&](const char* name, QWidget* what) { return save(name, what); }) &&
        ok;
    ok = ShootCompare(window, [&](const char* name, QWidget* what) { return save(name, what); }) &&
         ok;
    ok = ShootTuning(window, [&](const char* name, QWidget* what) { return save(name, what); }) &&
         ok;
    ok = ReadAlarmHistory(window, drive) && save("alarms.png") && ok;

    // The IO function panel: a TS-126C on a second port, its SI5 row opened with two clicks.
    auto ioModel =
        kestova::sim::LoadModel((programDir + "/DATA.mdb").toStdString(), 256, 310, error);
    if (!ioModel) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    kestova::sim::SimulatorOptions ioOptions;
    ioOptions.portName = "COM8";
    kestova::sim::DriveSimulator ioDrive(*ioModel, {}, ioOptions);
    if (!ioDrive.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    window.ConnectPage()->ConnectButton()->click(); // disconnect
    QCoreApplication::processEvents();
    window.ConnectPage()->ListPresentPorts();
    portList->setCurrentIndex(portList->findText("COM8"));
    read = false;
    window.ConnectPage()->ConnectButton()->click();
    deadline = QDeadlineTimer(20000);
    while (!read && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.CellText(row, 0) == "105") {
            const QModelIndex value = list.model()->index(row, kestova::params::kValueColumn);
            list.scrollTo(value, QAbstractItemView::PositionAtCenter);
            list.horizontalScrollBar()->setValue(0);
            const QRect ioCell = list.visualRect(value);
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ioCell.center());
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, ioCell.center());
            break;
        }
    }
    if (list.IoPanel() == nullptr || !list.IoPanel()->isVisible()) {
        std::fprintf(stderr, "the IO function panel did not open\n");
        return 1;
    }
    ok = save("io-panel.png", &page) && ok;
    ok = ShootDictionary(window, [&](QWidget* what) { return save("dictionary.png", what); }) && ok;
    ok = ShootRegisters(window, [&] { return save("registers.png"); }) && ok;
    ok = ShootBusMonitor(window, ioDrive,
                         [&](const char* name, QWidget* what) { return save(name, what); }) &&
         ok;
    ok = ShootAssistant(window, programDir + "/DATA.mdb",
                        [&](const char* name, QWidget* what) { return save(name, what); }) &&
         ok;
    return ok ? 0 : 1;
}
