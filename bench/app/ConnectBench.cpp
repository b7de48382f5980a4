// Connect probe: time from pressing Connect to the drive identified (caption set), against the
// simulated drive at 38400 baud, next to the wire time of the three identity reads plus the
// database lookup. Goal: within 1.2x of that sum.

#include "CConnect.h"
#include "CMainDlg.h"
#include "DriveIdentity.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "PortNames.h"
#include "ProgramState.h"
#include "QtPresenter.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;

    QTemporaryDir ports;
    qputenv("KESTOVA_PORT_DIR", ports.path().toLocal8Bit());
    const QString dir = QCoreApplication::applicationDirPath();
    std::string error;
    auto model = kestova::sim::LoadModel((dir + "/DATA.mdb").toStdString(), 12, 310, error);
    if (!model) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    kestova::sim::SimulatorOptions options;
    options.portName = "COM9";
    kestova::sim::DriveSimulator drive(*model, {}, options);
    if (!drive.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    kestova::ProgramState state(dir);
    kestova::QtPresenter presenter;
    kestova::CMainDlg window(state, presenter);
    window.show();
    QComboBox* list = window.ConnectPage()->PortList();
    list->setCurrentIndex(list->findText("COM9"));

    std::vector<double> connect;
    std::vector<double> lookup;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.ConnectPage()->ConnectButton()->click();
        QCoreApplication::sendPostedEvents(); // the link-up message: identification and caption
        connect.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (state.modelName != "TS-126") {
            std::fprintf(stderr, "not identified\n");
            return 1;
        }
        window.ConnectPage()->ConnectButton()->click(); // disconnect: nothing on the wire
        QCoreApplication::sendPostedEvents();

        class Silent : public kestova::Presenter {
        public:
            using Presenter::Message;
            kestova::MsgResult Message(QWidget*, const kestova::MessageRequest&) override {
                return {};
            }
            QString OpenFileName(QWidget*, const kestova::FileDialogRequest&) override {
                return {};
            }
            QString SaveFileName(QWidget*, const kestova::FileDialogRequest&) override {
                return {};
            }
            std::optional<QColor> ChooseColor(QWidget*, const QColor&) override { return {}; }
        } silent;
        timer.restart();
        kestova::IdentifyDrive(state, silent, nullptr, 12);
        lookup.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(connect.begin(), connect.end());
    std::sort(lookup.begin(), lookup.end());
    const double wire = 3 * options.timing.ExchangeTime(8, 7).count() / 1000.0;
    const double medianConnect = connect[connect.size() / 2];
    const double medianLookup = lookup[lookup.size() / 2];
    std::printf("connect to identified, median of %d: %.2f ms\n", rounds, medianConnect);
    std::printf(
        "  three identity reads on the wire at 38400 baud (with the drive's turnaround): %.2f ms\n",
        wire);
    std::printf("  database lookup: %.2f ms\n", medianLookup);
    std::printf("  ratio to wire + lookup: %.2f (goal: within 1.20)\n",
                medianConnect / (wire + medianLookup));
    return 0;
}
