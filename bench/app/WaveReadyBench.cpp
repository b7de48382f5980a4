// From a finished capture to the scope drawn: the program connected to the simulated servo
// (4 channels of 512 samples) takes one real scope-only capture; then the capture thread's
// message is posted again from another thread, as the capture thread posts it, and timed until
// the page has copied the samples, fed the scope, ranged and drawn it, and the scope has painted.
// Goals: under 5 ms at a pixel ratio of 1, under 10 ms at 2.
//
//   bench_app_wave_ready [rounds] [pixel ratio]

#include "CConnect.h"
#include "CMainDlg.h"
#include "CParameterManage.h"
#include "CRunTest.h"
#include "Cscope.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "ProgramState.h"
#include "QtPresenter.h"
#include "ResourceIds.h"
#include "WindowMessage.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

bool WaitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestova;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2) {
        qputenv("QT_SCALE_FACTOR", argv[2]);
    }
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 51;

    QTemporaryDir ports;
    qputenv("KESTOVA_PORT_DIR", ports.path().toLocal8Bit());
    const QString dir = QCoreApplication::applicationDirPath();
    std::string error;
    auto model = sim::LoadModel((dir + "/DATA.mdb").toStdString(), 22, 320, error);
    if (!model) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    sim::DriveSimulator drive(*model, {}, {});
    if (!drive.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    ProgramState state(dir);
    QtPresenter presenter;
    CMainDlg window(state, presenter);
    window.resize(1200, 900);
    window.show();
    bool read = false;
    QObject::connect(window.ParametersPage(), &CParameterManage::transferEnded,
                     [&] { read = true; });
    QComboBox* ports_ = window.ConnectPage()->PortList();
    ports_->setCurrentIndex(ports_->findText("COM9"));
    window.ConnectPage()->ConnectButton()->click();
    if (!WaitFor([&] { return read; })) {
        std::fprintf(stderr, "the drive was not read\n");
        return 1;
    }

    window.OnCommand(res::ID_CONFIG_MOTION_TEST);
    CRunTest& page = *window.MotionPage();
    page.findChild<QRadioButton*>(res::ControlName(res::IDC_TYPE_SCOPE))->click();
    const char* signals_[] = {"Velocity Feedback (RPM)", "Position Error (P)",
                              "A Phase Current (mA)", "Bus Voltage (0.1V)"};
    const int lists[] = {res::IDC_CHANNEL_1, res::IDC_CHANNEL_2, res::IDC_CHANNEL_3,
                         res::IDC_CHANNEL_4};
    for (int c = 0; c < 4; ++c) {
        auto* list = page.findChild<QComboBox*>(res::ControlName(lists[c]));
        list->setCurrentIndex(list->findText(signals_[c]));
    }
    QPushButton* run = page.findChild<QPushButton*>(res::ControlName(res::IDC_RUN));
    page.Scope()->ClearScope();
    run->click();
    const bool captured =
        WaitFor([&] { return !page.Scope()->State().Channel(4).samples.empty(); });
    run->click();
    if (!captured) {
        std::fprintf(stderr, "no capture was drawn\n");
        return 1;
    }
    const int n = page.SampleCount();

    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        std::thread([&] {
            WindowMessage::Post(&page, WM_WAVE_READY, static_cast<quintptr>(n), 0);
        }).join();
        QCoreApplication::sendPostedEvents(&page);
        page.Scope()->repaint();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    const qreal ratio = page.Scope()->devicePixelRatioF();
    std::printf("finished capture to scope drawn, 4 x %d samples, scope %d x %d at a pixel ratio "
                "of %g, %d rounds\n",
                n, page.Scope()->width(), page.Scope()->height(), ratio, rounds);
    std::printf("  median %6.2f ms, worst %6.2f ms   (goal: under %d ms)\n", ms[ms.size() / 2],
                ms.back(), ratio > 1.0 ? 10 : 5);
    return 0;
}
