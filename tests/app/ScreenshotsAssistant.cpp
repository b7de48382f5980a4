#include "ScreenshotsAssistant.h"

#include "CConnect.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "CTuningAssistant.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "ResourceIds.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>

#include <cstdio>

namespace {

bool WaitFor(const std::function<bool()>& cond, int ms) {
    QDeadlineTimer deadline(ms);
    while (!cond() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return cond();
}

} // namespace

bool ShootAssistant(kestova::CMainDlg& window, const QString& databasePath,
                    const std::function<bool(const char* name, QWidget* what)>& save) {
    std::string error;
    auto model = kestova::sim::LoadModel(databasePath.toStdString(), 21, 320, error);
    if (!model) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    kestova::sim::SimulatorOptions options;
    options.portName = "COM6";
    kestova::sim::DriveSimulator drive(*model, {}, options);
    if (!drive.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    kestova::CConnect& connect = *window.ConnectPage();
    if (connect.ConnectButton()->text() == "Disconnect") {
        connect.ConnectButton()->click();
        QCoreApplication::processEvents();
    }
    connect.ListPresentPorts();
    connect.PortList()->setCurrentIndex(connect.PortList()->findText("COM6"));
    bool read = false;
    auto link = QObject::connect(window.ParametersPage(), &kestova::CParameterManage::transferEnded,
                                 [&] { read = true; });
    connect.ConnectButton()->click();
    const bool connected = WaitFor([&] { return read; }, 20000);
    QObject::disconnect(link);
    if (!connected) {
        std::fprintf(stderr, "the servo drive did not connect\n");
        return false;
    }

    window.OnCommand(kestova::res::ID_DRIVE_TUNING);
    kestova::CTuningAssistant* assistant = window.TuningAssistant();
    if (assistant == nullptr || !assistant->isVisible()) {
        std::fprintf(stderr, "the tuning assistant did not open\n");
        return false;
    }
    assistant->resize(1000, 700);
    bool ok = true;
    const char* const names[] = {"tuning-assistant-current.png", "tuning-assistant-identify.png",
                                 "tuning-assistant-loops.png"};
    // Each capture replaces its step's picture: the last one of each step stays.
    auto shots =
        QObject::connect(assistant, &kestova::CTuningAssistant::captureShown, [&](int step) {
            if (step >= 0 && step < 3) {
                ok = save(names[step], assistant) && ok;
            }
        });
    bool ended = false;
    auto end = QObject::connect(assistant, &kestova::CTuningAssistant::sequenceEnded,
                                [&] { ended = true; });
    assistant->StartButton()->click();
    const bool done = WaitFor([&] { return ended; }, 180000);
    QObject::disconnect(shots);
    QObject::disconnect(end);
    if (!done || !assistant->Outcome() ||
        assistant->Outcome()->end != kestova::tune::TuneEnd::Done) {
        std::fprintf(stderr, "the tuning sequence did not finish: %s\n",
                     assistant->Outcome() ? assistant->Outcome()->message.c_str() : "timed out");
        return false;
    }
    ok = save("tuning-assistant-result.png", assistant) && ok;
    assistant->RevertButton()->click();
    assistant->close();
    connect.ConnectButton()->click(); // the drive goes with this scene
    QCoreApplication::processEvents();
    return ok;
}
