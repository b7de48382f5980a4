// The read-out of one capture of 4 x 512 samples (the built-in servo, later protocol) from the
// simulated drive at 38400 baud with its wire timing, beside the time the same exchanges need on
// the wire: the completion poll and 4 x 11 block reads. Prints the median and the ratio (goal: at
// most 1.1).
//
//   bench_motion_capture [rounds]

#include "BuiltinModels.h"
#include "CaptureProtocol.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "TestRegisters.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestova::motion;
using namespace kestova::sim;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int kBaud = 38400;
constexpr double kBitsPerByte = 10.0; // 8N1
constexpr double kTurnaroundMs = 0.5;
constexpr std::uint8_t kStation = 1;

double ExchangeMs(int bytes) {
    return bytes * kBitsPerByte * 1000.0 / kBaud + kTurnaroundMs;
}

// The completion poll (8 + 7 bytes) and every block of every channel (8 + 2L + 5 bytes).
double WireMs(int channels, int n) {
    double ms = ExchangeMs(8 + 7);
    for (int i = 0; i < BlockCount(n); ++i) {
        ms += channels * ExchangeMs(8 + 2 * BlockLength(i, n) + 5);
    }
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char pattern[] = "/tmp/kestova-bench-ports-XXXXXX";
    const std::string portDir = ::mkdtemp(pattern);
    ::setenv("KESTOVA_PORT_DIR", portDir.c_str(), 1);

    SimulatorOptions options;
    options.portName = "COM9";
    options.timing.baud = kBaud;
    DriveSimulator sim(*BuiltinModel(256), DriveOptions{}, options);
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        return 1;
    }
    CKTCOM link;
    link.ConfigCom("COM9", "38400", "8", "NONE", "1");
    // The program's response time-out: the link's own 50 ms leaves a 50-word block (about 30 ms
    // on the wire) too little slack on a loaded machine.
    link.SetReceiveTimeOut(500);
    if (link.OpenCom() != 1) {
        std::fprintf(stderr, "cannot open the line\n");
        return 1;
    }
    link.SetCurrentUseMode(1);

    CaptureSettings s;
    s.station = kStation;
    s.sampleCount = ReadSampleCount(link, kStation);
    s.basePeriod = ReadBasePeriod(link, kStation);
    s.sources = {1, 2, 4, 8};
    s.cyclic = 0;
    // Read out as a triggered capture that has already fired: the loop then neither arms nor
    // waits longer than one poll, and what is timed is the read-out.
    s.triggerSource = 2;
    if (WriteChannelSources(link, kStation, s.sources)) {
        std::fprintf(stderr, "the drive did not take the channel sources\n");
        return 1;
    }

    std::vector<double> times;
    CaptureSession session;
    for (int r = 0; r < rounds; ++r) {
        link.WriteAddressValue(kStation, 0x14, 1);
        while (link.ReadAddressValue(kStation, 0xDA) != 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        session.running.store(0);
        int posted = 0;
        CaptureProtocol capture(link, session, session.Token(), s, CaptureKind::ScopeOnly,
                                [&](const CaptureReport& report) {
                                    posted += report.type == CaptureReport::Type::WaveReady;
                                });
        const auto start = clock_type::now();
        capture.CaptureLoop();
        const auto end = clock_type::now();
        if (posted != 1) {
            std::fprintf(stderr, "round %d: the capture did not complete\n", r);
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    const double wire = WireMs(4, s.sampleCount);
    const double median = Median(times);
    std::printf("capture read-out, 4 x %d samples at %d baud, %d rounds\n", s.sampleCount, kBaud,
                rounds);
    std::printf("  wire time      %8.1f ms\n", wire);
    std::printf("  read-out       %8.1f ms (median)\n", median);
    std::printf("  ratio          %8.3f   (goal: at most 1.1)\n", median / wire);
    link.CloseCom();
    sim.Stop();
    std::filesystem::remove_all(portDir);
    return 0;
}
