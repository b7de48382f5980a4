// kestova-screenshots DIR: draws the main window offscreen, before and after connecting to a drive
// on a pseudo-terminal, and writes the pictures to DIR for the README.

#include "CButtonExt.h"
#include "CConnect.h"
#include "CMainDlg.h"
#include "PortNames.h"
#include "ProgramState.h"
#include "PtySlave.h"
#include "RegisterMap.h"
#include "ScriptedPresenter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName("Kestova");
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(out);

    kttest::TempPortDir ports;
    kttest::PtySlave slave;
    kttest::RegisterBank bank;
    bank.Set(kestova::reg::DRIVE_CODE, 12);
    bank.Set(kestova::reg::PROTOCOL_VERSION, 310);
    bank.Set(kestova::reg::FEATURE_BITS, 7);
    bank.Set(kestova::reg::FIRMWARE_VERSION, 215);
    slave.SetResponder([&](const kttest::Bytes& req) { return bank.Answer(req); });
    ktcom::RegisterPort("COM9", slave.SlavePath());

    kestova::ProgramState state(QCoreApplication::applicationDirPath() + "/../bin");
    kttest::ScriptedPresenter presenter;
    kestova::CMainDlg window(state, presenter);
    window.resize(960, 680);
    window.show();
    QCoreApplication::processEvents();

    auto save = [&](const char* name) {
        QCoreApplication::processEvents();
        const QString path = out + "/" + name;
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    bool ok = save("main-disconnected.png");

    QComboBox* portList = window.ConnectPage()->PortList();
    portList->setCurrentIndex(portList->findText("COM9"));
    window.ConnectPage()->ConnectButton()->click();
    QCoreApplication::sendPostedEvents();
    ok = save("main-connected.png") && ok;
    window.OnCommand(1005);
    ok = save("product-information.png") && ok;
    return ok ? 0 : 1;
}
