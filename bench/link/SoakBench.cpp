// Soak of the link against the simulated drive on a pseudo-terminal: reads and writes of
// registers whose values are known, with each line fault switched on in turn for about 1 % of
// the requests: spoilt, lost and cut replies, replies late by 1.2, 2 and 4 response time-outs,
// stray bytes, exceptions, noise, and requests lost on their way to the drive. Counts exchanges,
// failed attempts and exchanges by code, and wrong values for each fault: a value returned
// without an error that the register cannot hold. Exits 1 when any value was wrong.
//
//   bench_link_soak [--exchanges N] [--timeout MS] [--rate P] [--baud B] [--fault NAME] [--seed S]
//
// NAME is one of the fault names printed in the table (late-reply-2x and so on).

#include "BuiltinModels.h"
#include "DriveSimulator.h"
#include "KTCOM.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace kestova::sim;
using Clock = std::chrono::steady_clock;

struct Options {
    long exchanges = 100000;
    int timeoutMs = 50;
    double rate = 0.01;
    std::uint32_t seed = 7;
    int baud = 0;     // the simulated line's speed; 0 answers at once
    std::string only; // one fault's name, or all of them in turn
};

struct Register {
    std::uint16_t address;
    std::int32_t low;
    std::int32_t high;
    std::set<std::uint16_t> possible; // what the drive may hold; one value once a read confirmed it
};

struct Tally {
    long exchanges = 0;
    long mismatched = 0;
    std::map<std::uint16_t, long> failures; // exchanges that failed, by code
    std::map<std::uint16_t, long> attempts; // failed attempts the link reported, by code
    void Merge(const Tally& t) {
        exchanges += t.exchanges;
        mismatched += t.mismatched;
        for (const auto& [code, n] : t.failures) {
            failures[code] += n;
        }
        for (const auto& [code, n] : t.attempts) {
            attempts[code] += n;
        }
    }
};

// Counts the link's reports: one per failed attempt.
class ReportCounter : public KtReportTarget {
public:
    void Post(unsigned, std::uintptr_t, std::intptr_t code) override {
        ++counts_[static_cast<std::uint16_t>(code)];
    }
    std::map<std::uint16_t, long> Take() { return std::exchange(counts_, {}); }

private:
    std::map<std::uint16_t, long> counts_; // posted on the exchanging thread, which is ours
};

class Soak {
public:
    Soak(CKTCOM& link, const ModelDescription& model, std::uint32_t seed)
        : link_(link), random_(seed) {
        for (const ParameterRow& row : model.parameters) {
            // Plain parameters only: no packed bits, no commands.
            if (row.address >= 14 && row.address < 200 && row.address != 16 &&
                !Known(row.address)) {
                registers_.push_back({row.address, row.low, row.high, {}});
            }
        }
    }

    bool Ready() const { return !registers_.empty(); }

    // Learns the drive's values with a clean line.
    bool Learn() {
        for (Register& r : registers_) {
            const std::int16_t v = link_.ReadAddressValue(1, r.address);
            if (link_.GetLastErrors() != 0) {
                return false;
            }
            r.possible = {static_cast<std::uint16_t>(v)};
        }
        return true;
    }

    Tally Run(long count) {
        Tally t;
        std::uniform_int_distribution<std::size_t> pick(0, registers_.size() - 1);
        for (long i = 0; i < count; ++i) {
            Register& r = registers_[pick(random_)];
            if (random_() % 3 == 0) {
                Write(r, t);
            } else {
                Read(r, t);
            }
            ++t.exchanges;
        }
        return t;
    }

private:
    bool Known(std::uint16_t address) const {
        for (const Register& r : registers_) {
            if (r.address == address) {
                return true;
            }
        }
        return false;
    }

    void Read(Register& r, Tally& t) {
        const auto v = static_cast<std::uint16_t>(link_.ReadAddressValue(1, r.address));
        const std::uint16_t code = link_.GetLastErrors();
        if (code != 0) {
            ++t.failures[code];
            return;
        }
        if (r.possible.count(v) == 0) {
            ++t.mismatched;
            std::fprintf(stderr, "mismatch: register %u read %u\n", r.address, v);
        }
        r.possible = {v};
    }

    void Write(Register& r, Tally& t) {
        std::uniform_int_distribution<std::int32_t> value(r.low, r.high);
        const std::int32_t wanted = value(random_);
        const auto bits = static_cast<std::uint16_t>(wanted);
        const auto echo = static_cast<std::uint16_t>(
            link_.WriteAddressValue(1, r.address, static_cast<std::int16_t>(bits)));
        const std::uint16_t code = link_.GetLastErrors();
        if (code != 0) {
            // The request may have reached the drive before its answer was lost.
            ++t.failures[code];
            r.possible.insert(bits);
            return;
        }
        if (echo != bits) {
            ++t.mismatched;
            std::fprintf(stderr, "mismatch: register %u wrote %u, echo %u\n", r.address, bits,
                         echo);
        }
        r.possible = {bits};
    }

    CKTCOM& link_;
    std::mt19937 random_;
    std::vector<Register> registers_;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--exchanges") {
            o.exchanges = std::atol(argv[i + 1]);
        } else if (a == "--timeout") {
            o.timeoutMs = std::atoi(argv[i + 1]);
        } else if (a == "--rate") {
            o.rate = std::atof(argv[i + 1]);
        } else if (a == "--fault") {
            o.only = argv[i + 1];
        } else if (a == "--baud") {
            o.baud = std::atoi(argv[i + 1]);
        } else if (a == "--seed") {
            o.seed = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        }
    }
    return o;
}

void PrintCodes(const char* what, const std::map<std::uint16_t, long>& codes) {
    std::printf("  %s:", what);
    if (codes.empty()) {
        std::printf(" none");
    }
    for (const auto& [code, n] : codes) {
        std::printf(" %u x%ld", code, n);
    }
}

void Print(const char* name, const Tally& t, double seconds) {
    std::printf("  %-18s %7ld exchanges %6.1f s  mismatched %ld ", name, t.exchanges, seconds,
                t.mismatched);
    PrintCodes("failed attempts", t.attempts);
    PrintCodes("failed exchanges", t.failures);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    char dir[] = "/tmp/kestova-soak-XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    ::setenv("KESTOVA_PORT_DIR", dir, 1);

    const auto model = BuiltinModel(1);
    SimulatorOptions so;
    so.portName = "COM4";
    so.timing.baud = o.baud;
    so.clockRate = 0; // registers only: the motor stands still
    so.seed = o.seed;
    DriveSimulator sim(*model, {}, so);
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "cannot start the simulated drive: %s\n", error.c_str());
        return 2;
    }

    int status = 0;
    {
        CKTCOM link;
        link.ConfigCom("COM4", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(static_cast<std::uint16_t>(o.timeoutMs));
        if (link.OpenCom() != 1) {
            std::fprintf(stderr, "cannot open the link\n");
            return 2;
        }
        link.SetCurrentUseMode(1);
        ReportCounter reports;
        link.SetReportHWND(&reports);
        Soak soak(link, *model, o.seed);
        if (!soak.Ready() || !soak.Learn()) {
            std::fprintf(stderr, "cannot learn the registers\n");
            return 2;
        }

        // The clean rate sets the noise bursts per second to about one per hundred requests.
        const auto c0 = Clock::now();
        soak.Run(500);
        const double perSecond = 500 / std::chrono::duration<double>(Clock::now() - c0).count();

        // Late replies are tried at three lateness, measured in response time-outs.
        struct Mode {
            std::string name;
            LineFault fault;
            double lateBy = 0;
        };
        std::vector<Mode> modes;
        for (LineFault fault :
             {LineFault::CrcError, LineFault::NoReply, LineFault::LateReply, LineFault::StrayByte,
              LineFault::ShortReply, LineFault::ExceptionReply, LineFault::LineNoise,
              LineFault::LostRequest}) {
            if (fault == LineFault::LateReply) {
                for (const auto& [suffix, times] :
                     {std::pair{"-1.2x", 1.2}, std::pair{"-2x", 2.0}, std::pair{"-4x", 4.0}}) {
                    modes.push_back({std::string(LineFaultName(fault)) + suffix, fault, times});
                }
            } else {
                modes.push_back({LineFaultName(fault), fault});
            }
        }
        const long kinds = o.only.empty() ? static_cast<long>(modes.size()) : 1;
        const long each = std::max(1L, o.exchanges / kinds);
        std::printf("link soak against the simulated drive at %s, %ld exchanges per fault, "
                    "time-out %d ms, fault rate %.3f\n",
                    o.baud == 0 ? "--baud 0" : (std::to_string(o.baud) + " baud").c_str(), each,
                    o.timeoutMs, o.rate);
        Tally total;
        for (const Mode& mode : modes) {
            if (!o.only.empty() && o.only != mode.name) {
                continue;
            }
            sim.Faults().ClearAll();
            sim.Faults().SetLateBy(std::chrono::microseconds(
                static_cast<long long>(mode.lateBy * o.timeoutMs * 1000)));
            const double rate = mode.fault == LineFault::LineNoise ? o.rate * perSecond : o.rate;
            sim.Faults().Set(mode.fault, {.count = 0, .rate = rate});
            const auto start = Clock::now();
            reports.Take();
            Tally t = soak.Run(each);
            t.attempts = reports.Take();
            Print(mode.name.c_str(), t,
                  std::chrono::duration<double>(Clock::now() - start).count());
            total.Merge(t);
        }
        sim.Faults().ClearAll();
        Print("all", total, 0);
        std::printf("mismatched values: %ld\n", total.mismatched);
        status = total.mismatched == 0 ? 0 : 1;
        link.SetReportHWND(nullptr);
    }
    sim.Stop();
    ::rmdir(dir);
    return status;
}
