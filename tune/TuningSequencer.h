#pragma once

// The tuning assistant's conversation with the drive: the current loop from current-step tests at
// rising gains, the machine from back-and-forth moves, the speed and position loops from the gain
// rules, each checked with the drive's own captures. It runs on the calling thread over a
// connected link; the page and the command-line tool share it.
//
// Safety first: every register the sequence may write is read before the first write (a read
// that fails ends it with nothing written); any alarm in force, a link failure, a capture the
// drive would not give, or Stop ends the sequence, stops the test and writes every original back,
// each write checked by reading it back. Moves stay within the distance and speed the caller
// allows. Nothing is stored in non-volatile memory: that is the caller's own command.

#include "CurrentLoopPick.h"
#include "GainRules.h"
#include "MachineIdentification.h"
#include "StepFigures.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CKTCOM;

namespace kestova::motion {
class CaptureSession;
}

namespace kestova::tune {

// What a sequence runs. Loops needs the machine, so it identifies it first; All is the three.
enum class TunePlan { Current, Identify, Loops, All };
enum class TuneStep { Current, Identify, Loops };

// A row of the drive's parameter table, as the model database gives it.
struct TableRow {
    std::uint16_t address = 0;
    std::string number; // "P2.02"
    std::string name;   // "Speed loop gain"
    std::string units;  // "Hz", "1/s", "0.1 ms", "%", "" ...
    int lowest = 0;     // the row's range
    int highest = 0;
};

// The drive on the line, as its identification found it.
struct TuneDrive {
    std::uint8_t station = 1;
    int protocol = 300;
    bool triggerSupported = false;
};

struct TuneSettings {
    Stiffness stiffness = Stiffness::Medium;
    double maxDistanceRev = 2.0; // no move goes further than this from where it starts
    int maxSpeedRpm = 600;       // nor faster
    int testCurrentMa = 1000;    // the current-loop test's step
    // The motor's data when its rows are not in the table (the drive measures them itself):
    // without either the machine is identified per ampere and has no inertia ratio.
    std::optional<MotorData> motor;
};

// One capture as the scope shows it: the channels taken, their samples, and the step figures.
struct TuneCapture {
    TuneStep step = TuneStep::Current;
    int number = 0;                         // 1-based, across the whole sequence
    std::string what;                       // "current step at setting 1400"
    double sampleMs = 0.0;                  // time between samples
    std::array<std::uint16_t, 4> sources{}; // channel source codes; 0 not taken
    std::array<std::vector<float>, 4> samples;
    // Of the channel the step is judged on, in ms: a current step's against the test current; a
    // move's (the out move of an out-and-back capture) against its commanded profile, with the
    // overshoot past the target and the settling taken from the position error.
    kestova::StepFigures figures;
};

// A parameter the sequence changed.
struct ParameterChange {
    std::uint16_t address = 0;
    std::string number;
    std::string name;
    std::string units;
    int before = 0;
    int after = 0;
};

struct TuneProgress {
    enum class Kind {
        Step,      // a step starts: `text` names it
        Trying,    // what is tried next: `text`
        Capture,   // a capture came in: `capture`
        Result,    // a step's result: `text`
        Restoring, // the sequence ends early and writes the originals back: `text` says why
        Written,   // a parameter was written and read back: `change` (a journal's entry)
    };
    Kind kind = Kind::Step;
    TuneStep step = TuneStep::Current;
    std::string text;
    const TuneCapture* capture = nullptr;    // Capture only; valid during the call
    const ParameterChange* change = nullptr; // Written only; valid during the call
};
// Called on the sequence's thread.
using TuneProgressSink = std::function<void(const TuneProgress&)>;

struct CurrentLoopResult {
    int setting = 0; // per mille of the drive's self-tuned gains
    double riseTimeMs = 0.0;
    double overshootPercent = 0.0;
    double bandwidthHz = 0.0;
    int stepsTried = 0;
};

struct LoopResult {
    SpeedPositionGains gains;
    double peakFollowingError = 0.0; // encoder counts, the larger of the check's moves
    double overshootPercent = 0.0;
    std::optional<double> settlingMs; // the slower move's; none when one did not settle
    int backOffs = 0;                 // steps taken back from the stiffness asked for
    bool passed = false;              // the last check met every bound
};

enum class TuneEnd {
    Done,
    Stopped,     // Stop was called
    Alarm,       // the drive raised an alarm (over-current, following error, any other)
    LinkFailure, // the drive stopped answering
    Refused,     // the drive refused a read, a write or a capture
    Failed,      // a step found nothing it could use (no current step passed, no fit)
};

struct TuneOutcome {
    TuneEnd end = TuneEnd::Done;
    std::string message; // what happened, for the person
    int alarm = 0;       // the alarm in force when the end is Alarm
    // After an early end: every original written back and read back equal. After Done: true.
    bool restored = true;
    std::vector<ParameterChange> unrestored; // registers that kept another value
    std::vector<ParameterChange> changes;    // parameters left changed (after Done)
    std::optional<CurrentLoopResult> current;
    std::optional<MachineModel> machine;
    bool machinePerAmpere =
        false; // no motor data: inertia and friction per N m/A of torque constant
    std::optional<LoopResult> loops;
    int captures = 0;
    double seconds = 0.0;
};

// The parameter rows the sequence reads and writes, found in the table by name and unit.
struct TuningRows {
    std::optional<TableRow> currentKp, currentKi, currentBandwidth;
    std::optional<TableRow> speedGain, speedIntegral, positionGain, loadInertiaRatio;
    std::optional<TableRow> torqueConstant, rotorInertia, encoderResolution;
    std::optional<TableRow> followingLimit;
    GainUnits units;
};
TuningRows FindTuningRows(const std::vector<TableRow>& table);

class Sequence;

class TuningSequencer {
public:
    TuningSequencer(CKTCOM& link, TuneDrive drive, std::vector<TableRow> table,
                    TuneSettings settings);
    ~TuningSequencer();
    TuningSequencer(const TuningSequencer&) = delete;
    TuningSequencer& operator=(const TuningSequencer&) = delete;

    void SetProgress(TuneProgressSink sink) { progress_ = std::move(sink); }

    // Runs the plan to its end on the calling thread. After an early end the originals are back
    // (see the outcome's `restored`); after Done the new values stay in the drive's working
    // memory.
    TuneOutcome Run(TunePlan plan);
    // Ends a running sequence at its next wait or exchange; callable from any thread. A
    // sequencer once stopped stays stopped: a new run wants a new sequencer.
    void Stop();
    bool Stopping() const { return stop_.load(); }

    // Apply is to leave the values as Run left them. Revert writes every original back, each
    // checked by reading it back; the registers that kept another value are returned.
    std::vector<ParameterChange> Revert();

    // The originals as read before the first write (empty before Run).
    const std::vector<ParameterChange>& Originals() const { return originals_; }

private:
    friend class Sequence;

    CKTCOM& link_;
    TuneDrive drive_;
    std::vector<TableRow> table_;
    TuneSettings settings_;
    TuneProgressSink progress_;
    std::atomic<bool> stop_{false};
    std::vector<ParameterChange> originals_; // `before` the original, `after` unused
    std::vector<ParameterChange> written_;   // parameters written since: original, last value
    std::unique_ptr<motion::CaptureSession> session_; // what a Stop ends a capture's waits by
};

const char* StepName(TuneStep step);

} // namespace kestova::tune
