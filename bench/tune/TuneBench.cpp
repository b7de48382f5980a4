// bench_tune: the tuning assistant's whole sequence (current loop, identification, loops) on the
// simulated drive at 38400 baud, for every model of the later protocol in the model database at
// load inertia ratios 1, 5 and 20, against a reference found without the tuner on the same
// simulated drive: every current-loop setting from 200 to 3000 per mille, and an exhaustive grid
// over the speed and position gains, each judged by the same check moves and the same figures.
//
// Prints per run: the identified against the simulated inertia ratio and friction, the tuned
// against the best settling time and peak following error (and the tuned overshoot), the tuned
// current-loop rise time against the fastest setting within 5 % overshoot, the captures and the
// time the sequence took, whether any alarm was raised, and whether Revert left every register
// exactly as it was.
//
// Usage: bench_tune [--database PATH] [--model CODE] [--stiffness soft|medium|stiff]

#include "DriveSimulator.h"
#include "KTCOM.h"
#include "ModelDatabase.h"
#include "MoveCheck.h"
#include "TuningSequencer.h"
#include "WholeMove.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

using namespace kestova::tune;
using kestova::sim::Drive;
using kestova::sim::DriveOptions;
using kestova::sim::DriveSimulator;
using kestova::sim::ModelDescription;

namespace {

constexpr double kRatios[] = {1.0, 5.0, 20.0};
constexpr double kSpeedGridHz[] = {5, 8, 10, 15, 20, 30, 40, 60, 80, 100};
constexpr double kPositionGrid[] = {5, 8, 10, 15, 20, 30, 40, 60, 80, 100, 150};
constexpr int kTestCurrentMa = 1000;

std::vector<TableRow> TableOf(const ModelDescription& model) {
    std::vector<TableRow> table;
    for (const auto& row : model.parameters) {
        table.push_back({row.address, "P" + std::to_string(row.address), row.name, row.units,
                         row.low, row.high});
    }
    return table;
}

// The registers a sequence may touch, as the drive holds them.
std::map<std::uint16_t, std::uint16_t> Snapshot(Drive& d, const std::vector<TableRow>& table) {
    std::map<std::uint16_t, std::uint16_t> held;
    auto keep = [&](std::uint16_t a) {
        const auto r = d.Read(a, 1);
        if (!r.error && !r.values.empty()) {
            held[a] = r.values[0];
        }
    };
    for (const TableRow& row : table) {
        keep(row.address);
    }
    for (std::uint16_t a : {0x00, 0x01, 0x04, 0x15, 0x16, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x40, 0x41,
                            0x42, 0x43, 0x44, 0xD0, 0xF5, 0xF6, 0xF7}) {
        keep(a);
    }
    return held;
}

bool AnyAlarm(const Drive& d) {
    for (int i = 0; i < 10; ++i) {
        if (d.Alarms().Entry(i) != 0) {
            return true;
        }
    }
    return false;
}

// ---- The reference: the same tests straight on a drive, no line -----------------------------

void W(Drive& d, std::uint16_t address, int value) {
    d.Write(address, {static_cast<std::uint16_t>(value)});
}
int R(Drive& d, std::uint16_t address) {
    return static_cast<std::int16_t>(d.Read(address, 1).values.at(0));
}

// Advances until the capture is complete and the drive at rest, at most `seconds`.
void RunUntilDone(Drive& d, double seconds) {
    const std::int64_t limit = d.Ticks() + static_cast<std::int64_t>(seconds / Drive::kTickSeconds);
    while (d.Ticks() < limit && (R(d, 0xDA) != 2 || d.MotionRunning())) {
        d.Advance(100);
    }
}

std::vector<float> Channel(Drive& d, int channel, int n) {
    std::vector<float> out;
    for (int i = 0; i < n; i += 125) {
        const auto count = static_cast<std::uint16_t>(std::min(125, n - i));
        const auto r = d.Read(static_cast<std::uint16_t>(0x1000 + 0x400 * channel + i), count);
        for (std::uint16_t v : r.values) {
            out.push_back(static_cast<std::int16_t>(v));
        }
    }
    return out;
}

struct Step {
    std::optional<double> riseMs;
    bool passes = false;
    bool alarm = false;
};

Step CurrentStep(Drive& d, int setting) {
    const int n = R(d, 0x46);
    W(d, 0x40, 0);
    for (std::uint16_t a = 0x41; a <= 0x44; ++a) {
        W(d, a, 0);
    }
    W(d, 0xF5, 0);
    W(d, 0xD0, 1);
    W(d, 0x00, setting);
    W(d, 0x01, setting);
    W(d, 0x04, kTestCurrentMa);
    W(d, 0x02, 1);
    RunUntilDone(d, 5.0);
    std::vector<float> response = Channel(d, 0, n);
    W(d, 0x02, 0);
    d.Advance(500); // the winding's current back to rest before the next step
    Step s;
    s.alarm = R(d, 16) != 0;
    if (s.alarm) {
        W(d, 16, 0);
        return s;
    }
    response.resize(kestova::PlateauEnd(response, kTestCurrentMa));
    const kestova::StepFigures f = kestova::ComputeStepFigures(response, 0.1, kTestCurrentMa);
    s.riseMs = f.riseTime;
    s.passes = f.riseTime && f.overshootPercent <= kMaxCurrentOvershootPercent &&
               !StepRings(response, kTestCurrentMa);
    return s;
}

struct Checked {
    MoveCheck check;
    bool alarm = false;
};

Checked CheckOnDrive(Drive& d, const TuningRows& rows, const TuneSettings& settings,
                     const SpeedPositionGains& gains) {
    const GainRegisterValues v = InDriveUnits(gains, rows.units);
    auto set = [&d](const std::optional<TableRow>& row, int value) {
        if (row) {
            W(d, row->address, std::clamp(value, row->lowest, row->highest));
        }
    };
    set(rows.speedGain, v.speedGain);
    set(rows.speedIntegral, v.speedIntegral);
    set(rows.positionGain, v.positionGain);
    const Move move = CheckMove(settings, gains.positionGain);
    const int n = R(d, 0x46);
    const int m = MoveMultiplier(move, 100, n);
    for (int c = 0; c < 4; ++c) {
        W(d, static_cast<std::uint16_t>(0x41 + c), kCheckSources[static_cast<std::size_t>(c)]);
    }
    kestova::motion::MotionProfile profile;
    profile.speed = move.speedRpm;
    profile.acceleration = move.acceleration;
    profile.distance = move.distance;
    W(d, 0x16, move.speedRpm);
    W(d, 0x15, move.acceleration);
    W(d, 0x18, move.distance);
    W(d, 0x19, 1);
    W(d, 0x1A, 0);
    W(d, 0x1B, move.intervalMs);
    W(d, 0x1C, 1);
    W(d, 0xD0, m);
    W(d, 0xF6, 0);
    W(d, 0xF7, kestova::motion::StartLevel(profile));
    W(d, 0xF5, 8);
    W(d, 0x09, 1);
    RunUntilDone(d, 60.0);
    Captured c;
    c.sampleMs = m * 0.1;
    for (int ch = 0; ch < 3; ++ch) {
        c.channel[static_cast<std::size_t>(ch)] = Channel(d, ch, n);
    }
    Checked out;
    out.alarm = R(d, 16) != 0;
    if (out.alarm) {
        W(d, 16, 0);
        d.Advance(1000);
    }
    out.check = JudgeCheck(c, move, 0);
    return out;
}

SpeedPositionGains GainsAt(double speedHz, double positionGain) {
    SpeedPositionGains g;
    const double wv = 2.0 * 3.14159265358979 * speedHz;
    g.speedBandwidthHz = speedHz;
    g.speedIntegralMs = 4.0 / wv * 1000.0;
    g.positionGain = positionGain;
    return g;
}

std::string Ratio(double a, double b, int decimals = 2) {
    char text[32];
    if (!(b > 0.0) || !std::isfinite(a)) {
        return "-";
    }
    std::snprintf(text, sizeof text, "%.*f", decimals, a / b);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::string database = kestova::sim::DefaultDatabasePath();
    std::optional<int> only;
    Stiffness stiffness = Stiffness::Medium;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--database") == 0) {
            database = argv[i + 1];
        } else if (std::strcmp(argv[i], "--model") == 0) {
            only = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--stiffness") == 0) {
            stiffness = std::strcmp(argv[i + 1], "soft") == 0    ? Stiffness::Soft
                        : std::strcmp(argv[i + 1], "stiff") == 0 ? Stiffness::Stiff
                                                                 : Stiffness::Medium;
        }
    }
    char pattern[] = "/tmp/kestova-bench-tune-XXXXXX";
    const std::string ports = ::mkdtemp(pattern);
    ::setenv("KESTOVA_PORT_DIR", ports.c_str(), 1);

    std::string error;
    const auto models = kestova::sim::ListModels(database, error);
    if (models.empty()) {
        std::printf("no models in %s: %s\n", database.c_str(), error.c_str());
        return 1;
    }
    std::printf("%-8s %5s | %-13s %-13s %-13s | %-15s %-15s %5s | %-13s | %4s %6s %5s %6s\n",
                "motor", "ratio", "J ratio id/sim", "Coulomb id/sim", "viscous id/sim",
                "settle tun/best", "FE tuned/best", "OS %", "rise tun/fast", "capt", "time s",
                "alarm", "revert");
    for (const auto& summary : models) {
        if (summary.protocolVersion < 300 || (only && *only != summary.driveCode)) {
            continue;
        }
        for (const double ratio : kRatios) {
            auto model = kestova::sim::LoadModel(database, summary.driveCode,
                                                 summary.protocolVersion, error);
            if (!model) {
                continue;
            }
            const std::vector<TableRow> table = TableOf(*model);
            const TuningRows rows = FindTuningRows(table);
            DriveOptions options;
            if (!rows.loadInertiaRatio) {
                options.load.inertiaRatio = ratio;
            }
            auto loadTheDrive = [&](Drive& d) {
                if (rows.loadInertiaRatio) {
                    W(d, rows.loadInertiaRatio->address, static_cast<int>(ratio * 100));
                }
            };

            // The sequence over the line at 38400 baud, in real time.
            kestova::sim::SimulatorOptions simOptions;
            simOptions.portName = "COM8";
            DriveSimulator sim(*model, options, simOptions);
            if (!sim.Start(error)) {
                std::printf("%s: %s\n", summary.name.c_str(), error.c_str());
                continue;
            }
            sim.WithDrive([&](Drive& d) {
                loadTheDrive(d);
                return 0;
            });
            const auto before = sim.WithDrive([&](Drive& d) { return Snapshot(d, table); });
            const auto k = sim.WithDrive([](Drive& d) { return d.Plant().Constants(); });
            TuneSettings settings;
            settings.stiffness = stiffness;
            if (!rows.torqueConstant || !rows.rotorInertia) {
                // The stepper tables carry no motor rows: the motor's data as its sheet gives it.
                settings.motor = MotorData{k.torqueConstant, k.rotorInertia};
            }
            CKTCOM link;
            link.ConfigCom("COM8", "38400", "8", "NONE", "1");
            link.SetReceiveTimeOut(500);
            link.OpenCom();
            link.SetCurrentUseMode(1);
            TuningSequencer sequencer(link, {1, summary.protocolVersion, true}, table, settings);
            const TuneOutcome o = sequencer.Run(TunePlan::All);
            const bool reverted = sequencer.Revert().empty();
            const auto after = sim.WithDrive([&](Drive& d) { return Snapshot(d, table); });
            const bool alarm = sim.WithDrive([](Drive& d) { return AnyAlarm(d); });
            link.CloseCom();
            sim.Stop();

            // The reference on the same simulated drive, straight, no line.
            Drive d(*model, options);
            loadTheDrive(d);
            d.Advance(1000);
            std::optional<double> fastest;
            for (int setting = 200; setting <= 3000; setting += 50) {
                const Step s = CurrentStep(d, setting);
                if (s.passes && (!fastest || *s.riseMs < *fastest)) {
                    fastest = s.riseMs;
                }
            }
            std::optional<double> bestSettle;
            std::optional<double> bestFe;
            for (const double hz : kSpeedGridHz) {
                for (const double kp : kPositionGrid) {
                    const Checked c = CheckOnDrive(d, rows, settings, GainsAt(hz, kp));
                    if (c.alarm || !c.check.settlingMs ||
                        c.check.overshootPercent > kMaxMoveOvershootPercent) {
                        continue;
                    }
                    bestSettle = std::min(bestSettle.value_or(1e9), *c.check.settlingMs);
                    bestFe = std::min(bestFe.value_or(1e9), c.check.peakFollowingError);
                }
            }
            std::optional<Checked> tuned;
            if (o.loops) {
                tuned = CheckOnDrive(d, rows, settings, o.loops->gains);
            }

            const double simRatio = ratio;
            char line[512];
            const std::string jr =
                o.machine ? Ratio(o.machine->loadInertiaRatio, 1.0) + "/" + Ratio(simRatio, 1.0, 0)
                          : "-";
            const std::string cf =
                o.machine ? Ratio(o.machine->coulombFriction, k.coulombFriction) : "-";
            const std::string vf =
                o.machine ? Ratio(o.machine->viscousFriction, k.viscousFriction) : "-";
            std::string settle = "-";
            std::string fe = "-";
            std::string os = "-";
            if (tuned && tuned->check.settlingMs && bestSettle) {
                char t[48];
                // A best that never left its band after the move settled "at once": one sample.
                const double best = std::max(*bestSettle, 1.0);
                std::snprintf(t, sizeof t, "%.0f/%.0f=%.2f", *tuned->check.settlingMs, best,
                              *tuned->check.settlingMs / best);
                settle = t;
            }
            if (tuned && bestFe) {
                char t[48];
                std::snprintf(t, sizeof t, "%.0f/%.0f=%.2f", tuned->check.peakFollowingError,
                              *bestFe, tuned->check.peakFollowingError / std::max(*bestFe, 1e-9));
                fe = t;
            }
            if (tuned) {
                char t[16];
                std::snprintf(t, sizeof t, "%.1f", tuned->check.overshootPercent);
                os = t;
            }
            std::string rise = "-";
            if (o.current && fastest) {
                char t[48];
                std::snprintf(t, sizeof t, "%.2f/%.2f=%.2f", o.current->riseTimeMs, *fastest,
                              o.current->riseTimeMs / *fastest);
                rise = t;
            }
            std::snprintf(line, sizeof line,
                          "%-8s %5.0f | %-13s %-13s %-13s | %-15s %-15s %5s | %-13s | %4d %6.1f "
                          "%5s %6s%s\n",
                          summary.name.c_str(), ratio, jr.c_str(), cf.c_str(), vf.c_str(),
                          settle.c_str(), fe.c_str(), os.c_str(), rise.c_str(), o.captures,
                          o.seconds, alarm ? "YES" : "no",
                          reverted && after == before ? "exact" : "DIFFERS",
                          o.end == TuneEnd::Done ? "" : ("  (" + o.message + ")").c_str());
            std::fputs(line, stdout);
            std::fflush(stdout);
        }
    }
    ::rmdir(ports.c_str());
    return 0;
}
