// Prints two figures of the simulated drive:
//  - simulated-time rate: how many times faster than real time the physics runs on one core
//    while a motion test and a capture are going (goal: at least 50x);
//  - request-to-reply latency over a pseudo-terminal with --baud 0 (goal: median under 100 us).
// Usage: bench_sim [--database PATH] [--model CODE]

#include "BuiltinModels.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "RtuSlave.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace kestova::sim;
using Clock = std::chrono::steady_clock;

namespace {

ModelDescription PickModel(int argc, char** argv) {
    std::string database = DefaultDatabasePath();
    int code = 12;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--database") == 0) {
            database = argv[i + 1];
        } else if (std::strcmp(argv[i], "--model") == 0) {
            code = std::atoi(argv[i + 1]);
        }
    }
    std::string error;
    if (auto m = LoadModel(database, code, std::nullopt, error)) {
        std::printf("model %s (drive code %d) from %s\n", m->name.c_str(), code, database.c_str());
        return *m;
    }
    std::printf("model database not usable (%s); built-in model 1\n", error.c_str());
    return *BuiltinModel(1);
}

void SimulatedTimeRate(const ModelDescription& model) {
    Drive d(model, {});
    auto w = [&d](std::uint16_t a, std::uint16_t v) { d.Write(a, {v}); };
    w(0x41, 2);
    w(0x42, 4);
    w(0x43, 32);
    w(0x44, 1024);
    w(0xD0, 5);
    w(0x16, 600);
    w(0x15, 100);
    w(0x18, 200);
    w(0x19, 1000);
    w(0x1B, 100);
    w(0x1C, 1);
    w(0x09, 1);
    const double simulated = 20.0; // seconds
    const auto ticks = static_cast<std::int64_t>(simulated / Drive::kTickSeconds);
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < ticks; done += 2000) {
        if (d.Capture().Status() != 1) {
            w(0x14, 1); // keep a capture running, as a cyclic trace does
        }
        d.Advance(2000);
    }
    const double real = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("simulated-time rate: %.0fx real time (%.1f s simulated in %.3f s, %.0f ns per "
                "100 us period)\n",
                simulated / real, simulated, real, real / static_cast<double>(ticks) * 1e9);
}

void Latency(const ModelDescription& model) {
    SimulatorOptions o;
    o.portName = "BENCHSIM";
    o.registerPort = false;
    o.timing.baud = 0;
    DriveSimulator sim(model, {}, o);
    std::string error;
    if (!sim.Start(error)) {
        std::printf("latency: cannot start (%s)\n", error.c_str());
        return;
    }
    const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    Bytes request{1, 0x03, 0x00, 0xFD, 0x00, 0x01};
    AppendRtuCrc(request);
    std::vector<double> us;
    std::uint8_t buffer[64];
    for (int i = 0; i < 3000; ++i) {
        const auto t0 = Clock::now();
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            break;
        }
        std::size_t got = 0;
        while (got < 7) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 500) <= 0) {
                break;
            }
            const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        const double took = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        if (got == 7 && i >= 100) { // the first exchanges warm the caches
            us.push_back(took);
        }
    }
    ::close(fd);
    sim.Stop();
    if (us.empty()) {
        std::printf("latency: no replies\n");
        return;
    }
    std::sort(us.begin(), us.end());
    std::printf("request-to-reply latency, --baud 0, %zu one-register reads over a pty: median "
                "%.1f us, p90 %.1f us, p99 %.1f us\n",
                us.size(), us[us.size() / 2], us[us.size() * 9 / 10], us[us.size() * 99 / 100]);
}

} // namespace

int main(int argc, char** argv) {
    const ModelDescription model = PickModel(argc, argv);
    SimulatedTimeRate(model);
    Latency(model);
    return 0;
}
