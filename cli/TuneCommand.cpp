// tune: the tuning assistant's sequence headless. It prints the before/after table of every
// parameter it changed with the figures of each step; unless told --apply or --store it writes
// the original values back afterwards, as the assistant's Revert does.

#include "AlarmLookup.h"
#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "LinkFailure.h"
#include "Output.h"
#include "ParameterTable.h"
#include "ParameterTransfer.h"
#include "RegisterMap.h"
#include "TestRegisters.h"
#include "TuningSequencer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <thread>

namespace kestova::cli {

using namespace tune;

namespace {

TunePlan PlanOf(const std::string& step) {
    if (step == "current") {
        return TunePlan::Current;
    }
    if (step == "identify") {
        return TunePlan::Identify;
    }
    if (step == "loops") {
        return TunePlan::Loops;
    }
    if (step == "all") {
        return TunePlan::All;
    }
    throw CliError(kUsage, "tune wants current, identify, loops or all, not " + step);
}

Stiffness StiffnessOf(const std::string& word) {
    if (word == "soft") {
        return Stiffness::Soft;
    }
    if (word == "medium") {
        return Stiffness::Medium;
    }
    if (word == "stiff") {
        return Stiffness::Stiff;
    }
    throw CliError(kUsage, "--stiffness wants soft, medium or stiff, not " + word);
}

const params::ParameterRow* RowAt(const params::ParameterRows& rows, std::uint16_t address) {
    for (const params::ParameterRow& row : rows) {
        if (params::LeadingInteger(row.Cell(params::kAddressColumn)) == address) {
            return &row;
        }
    }
    return nullptr;
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* EndName(TuneEnd end) {
    switch (end) {
    case TuneEnd::Done:
        return "done";
    case TuneEnd::Stopped:
        return "stopped";
    case TuneEnd::Alarm:
        return "alarm";
    case TuneEnd::LinkFailure:
        return "link failure";
    case TuneEnd::Refused:
        return "refused";
    case TuneEnd::Failed:
        return "failed";
    }
    return "";
}

std::vector<std::pair<std::string, std::string>> Figures(const TuneOutcome& o) {
    std::vector<std::pair<std::string, std::string>> f;
    if (o.current) {
        const CurrentLoopResult& c = *o.current;
        f.push_back({"current loop", "setting " + std::to_string(c.setting) + ", rise " +
                                         Fixed(c.riseTimeMs, 3) + " ms, overshoot " +
                                         Fixed(c.overshootPercent, 1) + " %, bandwidth " +
                                         Fixed(c.bandwidthHz, 0) + " Hz"});
    }
    if (o.machine) {
        const MachineModel& m = *o.machine;
        const std::string per = o.machinePerAmpere ? " (per N m/A)" : "";
        f.push_back({"machine", "inertia " + Fixed(m.inertia * 1e4, 3) + " kg cm^2" + per +
                                    ", load inertia ratio " + Fixed(m.loadInertiaRatio, 2) +
                                    ", Coulomb " + Fixed(m.coulombFriction, 4) + " N m" + per +
                                    ", viscous " + Fixed(m.viscousFriction * 1e3, 4) +
                                    " mN m s/rad" + per});
    }
    if (o.loops) {
        const LoopResult& l = *o.loops;
        f.push_back(
            {"loops", "speed loop " + Fixed(l.gains.speedBandwidthHz, 1) + " Hz, position gain " +
                          Fixed(l.gains.positionGain, 1) + " 1/s, peak following error " +
                          Fixed(l.peakFollowingError, 0) + " counts, overshoot " +
                          Fixed(l.overshootPercent, 1) + " %, settling " +
                          (l.settlingMs ? Fixed(*l.settlingMs, 1) + " ms" : "none") +
                          (l.backOffs > 0 ? ", backed off " + std::to_string(l.backOffs) : "")});
    }
    f.push_back({"captures", std::to_string(o.captures) + " in " + Fixed(o.seconds, 1) + " s"});
    return f;
}

Json OutcomeJson(const TuneOutcome& o, const std::vector<ParameterChange>& changes,
                 const std::string& left) {
    Json rows = Json::array();
    for (const ParameterChange& c : changes) {
        rows.push_back({{"number", c.number},
                        {"name", c.name},
                        {"before", c.before},
                        {"after", c.after},
                        {"unit", c.units}});
    }
    Json unrestored = Json::array();
    for (const ParameterChange& c : o.unrestored) {
        unrestored.push_back({{"address", c.address}, {"name", c.name}, {"original", c.before}});
    }
    Json doc = {{"end", EndName(o.end)},    {"message", o.message}, {"restored", o.restored},
                {"unrestored", unrestored}, {"changes", rows},      {"left", left},
                {"captures", o.captures},   {"seconds", o.seconds}};
    if (o.alarm != 0) {
        doc["alarm"] = o.alarm;
    }
    if (o.current) {
        doc["current"] = {{"setting", o.current->setting},
                          {"riseTimeMs", o.current->riseTimeMs},
                          {"overshootPercent", o.current->overshootPercent},
                          {"bandwidthHz", o.current->bandwidthHz}};
    }
    if (o.machine) {
        doc["machine"] = {{"inertia", o.machine->inertia},
                          {"loadInertiaRatio", o.machine->loadInertiaRatio},
                          {"coulombFriction", o.machine->coulombFriction},
                          {"viscousFriction", o.machine->viscousFriction},
                          {"perAmpere", o.machinePerAmpere}};
    }
    if (o.loops) {
        doc["loops"] = {{"speedBandwidthHz", o.loops->gains.speedBandwidthHz},
                        {"positionGain", o.loops->gains.positionGain},
                        {"peakFollowingError", o.loops->peakFollowingError},
                        {"overshootPercent", o.loops->overshootPercent},
                        {"settlingMs", o.loops->settlingMs ? Json(*o.loops->settlingMs) : Json()},
                        {"backOffs", o.loops->backOffs}};
    }
    return doc;
}

// Ctrl-C while the sequence runs is its Stop: the handler only raises a flag, which a watcher
// thread hands to the sequencer (Stop takes a lock, which a signal handler must not).
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
    interrupted.store(true);
}

class InterruptStops {
public:
    explicit InterruptStops(TuningSequencer& sequencer) {
        interrupted.store(false);
        previous_ = std::signal(SIGINT, OnInterrupt);
        watcher_ = std::thread([this, &sequencer] {
            while (!done_.load()) {
                if (interrupted.exchange(false)) {
                    sequencer.Stop();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    ~InterruptStops() {
        done_.store(true);
        watcher_.join();
        std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    }
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

private:
    void (*previous_)(int) = SIG_DFL;
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

} // namespace

int Tune(Context& c, const TuneOptions& o) {
    const TunePlan plan = PlanOf(o.step);
    TuneSettings settings;
    settings.stiffness = StiffnessOf(o.stiffness);
    if (o.apply && o.store) {
        throw CliError(kUsage, "--apply keeps the values in working memory, --store also stores "
                               "them: give one");
    }
    if (o.maxDistance) {
        const int hundredths = motion::ScaledDecimal(*o.maxDistance, 2);
        if (hundredths < 1 || hundredths > 32767) {
            throw CliError(kRefused, "--max-distance " + *o.maxDistance +
                                         " is out of the range 0.01-327.67 revolutions");
        }
        settings.maxDistanceRev = hundredths / 100.0;
    }
    if (o.maxSpeed) {
        if (*o.maxSpeed < 1 || *o.maxSpeed > 32767) {
            throw CliError(kRefused, "--max-speed " + std::to_string(*o.maxSpeed) +
                                         " is out of the range 1-32767 rpm");
        }
        settings.maxSpeedRpm = *o.maxSpeed;
    }
    if (c.link.offline) {
        throw CliError(kRefused, "tuning needs a drive; offline there is none");
    }

    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const params::ParameterRows rows = s.LoadRows("All");
    TuneDrive drive;
    drive.station = s.Station();
    drive.protocol = s.Id().protocol;
    drive.triggerSupported = (s.Id().featureBits & reg::FEATURE_TRIGGERED_CAPTURE) != 0;
    TuningSequencer sequencer(s.Link(), drive, TableOfParameterRows(rows), settings);

    CommandJournal journal(s, c.err, "tune");
    Progress progress(c.err, c.terminal.err);
    sequencer.SetProgress([&](const TuneProgress& p) {
        if (p.kind == TuneProgress::Kind::Written && p.change != nullptr) {
            if (const params::ParameterRow* row = RowAt(rows, p.change->address)) {
                journal.Written(*row, std::to_string(p.change->before),
                                std::to_string(p.change->after));
            }
            return;
        }
        if (p.kind == TuneProgress::Kind::Trying || p.kind == TuneProgress::Kind::Step) {
            progress.Show(std::string(StepName(p.step)) + ": " + p.text);
        }
    });
    TuneOutcome outcome;
    {
        const InterruptStops stops(sequencer);
        outcome = sequencer.Run(plan);
    }
    progress.Clear();

    std::string left = "reverted";
    std::vector<ParameterChange> changes = outcome.changes;
    int status = kSuccess;
    if (outcome.end == TuneEnd::Done) {
        if (o.store) {
            if (params::RunDriveCommand(s.Link(), s.Station(), reg::STORE, Session::Wait)) {
                journal.Stored();
                left = "stored";
            } else {
                left = "applied";
                status = kRefused;
                c.err << "the drive did not confirm the store; the values are in working memory\n";
            }
        } else if (o.apply) {
            left = "applied";
        } else {
            outcome.unrestored = sequencer.Revert();
            outcome.restored = outcome.unrestored.empty();
        }
    } else {
        std::string message = outcome.message;
        if (outcome.end == TuneEnd::Alarm) {
            const params::AlarmLookup lookup =
                params::LookUpAlarm(s.Db(), static_cast<std::int16_t>(outcome.alarm));
            if (!lookup.rows.empty()) {
                message += " (" + lookup.rows.front().name + ")";
            }
        }
        c.err << "kestova-cli: " << message << "; "
              << (outcome.restored ? "every original value was written back"
                                   : "not every original value could be written back")
              << '\n';
        status = outcome.end == TuneEnd::LinkFailure ? StatusAfterFailure(s.Link(), s.Station())
                                                     : kRefused;
        if (status == kSuccess) {
            status = kRefused;
        }
    }
    if (!outcome.restored) {
        status = std::max<int>(status, kRefused);
        for (const ParameterChange& r : outcome.unrestored) {
            c.err << "register " << r.address << " (" << r.name << ") did not take back "
                  << r.before << '\n';
        }
    }

    if (c.link.json) {
        PrintJson(c.out, OutcomeJson(outcome, changes, left));
        return status;
    }
    TextTable table({"NUMBER", "NAME", "BEFORE", "AFTER", "UNIT"});
    for (const ParameterChange& change : changes) {
        table.Add({change.number, change.name, std::to_string(change.before),
                   std::to_string(change.after), change.units});
    }
    if (!table.Empty()) {
        table.Print(c.out);
    }
    PrintFields(c.out, Figures(outcome));
    if (outcome.end == TuneEnd::Done) {
        c.out << (left == "reverted" ? "the original values are back (--apply keeps the tuned "
                                       "ones, --store also stores them)"
                  : left == "stored" ? "the tuned values are applied and stored"
                                     : "the tuned values are applied in working memory, not stored")
              << '\n';
    }
    return status;
}

} // namespace kestova::cli
