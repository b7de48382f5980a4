// The bus monitor holding a full log: 10^5 frames of a parameter read's traffic (requests, their
// answers, and a block read now and then), first in the plain log, then in the Diagnostics page
// drawn offscreen. Prints the memory each takes and how long one drain of them all takes.

#include "BusMonitor.h"
#include "CBusMonitor.h"
#include "ModbusFrame.h"
#include "ProgramState.h"
#include "QtPresenter.h"

#include <QApplication>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

constexpr int kFrames = 100'000;

// Resident memory of this process, in MB.
double ResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// Hands `count` frames to the tap as a parameter read puts them on the line. Returns the bytes.
std::size_t Feed(KtTap& tap, int count) {
    std::size_t bytes = 0;
    std::int64_t t = 0;
    for (int i = 0; i < count; ++i) {
        const bool request = i % 2 == 0;
        const bool block = i % 20 >= 18; // one exchange in ten reads 50 registers
        ktcom::Bytes frame;
        if (request) {
            frame = ktcom::ReadRequest(1, static_cast<std::uint16_t>(i / 2 % 300), block ? 50 : 1);
        } else {
            frame.assign(block ? 105 : 7, 0x11);
            frame[0] = 1;
            frame[1] = 3;
            frame[2] = static_cast<std::uint8_t>(frame.size() - 5);
        }
        KtTapFrame f;
        f.bytes = frame.data();
        f.count = frame.size();
        f.timeUs = t += 1500;
        f.station = 1;
        f.direction = request ? KtDirection::Sent : KtDirection::Received;
        f.verdict = request ? KtVerdict::Sent : KtVerdict::Taken;
        f.answerUs = request ? -1 : 1200;
        tap.Frame(f);
        bytes += frame.size();
    }
    return bytes;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Heap in use, in MB: what a part holds, whether or not freed memory went back to the system.
double HeapMb() {
    return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("bus monitor holding %d frames (goal: page under 50 MB)\n", kFrames);

    const double before = HeapMb();
    double plainMb = 0;
    std::size_t bytes = 0;
    {
        kestova::BusMonitor monitor;
        bytes = Feed(monitor, kFrames);
        monitor.Drain();
        plainMb = HeapMb() - before;
        std::printf("  plain log:         %6.1f MB of heap for %zu frames (%.1f bytes of frames on "
                    "average)\n",
                    plainMb, monitor.Size(), static_cast<double>(bytes) / kFrames);
    }

    const double pageBefore = HeapMb();
    kestova::ProgramState state(QCoreApplication::applicationDirPath());
    kestova::QtPresenter presenter;
    kestova::CBusMonitor page(state, presenter);
    page.resize(960, 600);
    page.show();
    QCoreApplication::processEvents();
    Feed(page.Tap(), kFrames);
    const auto start = std::chrono::steady_clock::now();
    page.Refresh();
    QCoreApplication::processEvents();
    const auto drained = std::chrono::steady_clock::now();
    page.grab(); // draws the counters and the end of the log
    const auto drawn = std::chrono::steady_clock::now();
    std::printf("  Bus Monitor page:  %6.1f MB of heap with %d rows in its log view (the page "
                "and its log)\n",
                HeapMb() - pageBefore, page.LogView()->model()->rowCount());
    std::printf("  whole process:     %6.1f MB resident (Qt, the offscreen platform and fonts "
                "included)\n",
                ResidentMb());
    std::printf("  one refresh taking all %d frames: %.1f ms, drawing the page: %.1f ms\n", kFrames,
                Ms(drained - start), Ms(drawn - drained));
    return 0;
}
