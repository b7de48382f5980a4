#pragma once

// One run of the tuning sequencer: its conversation with the drive (reads, checked writes,
// captures, the alarm), the originals it keeps, and the three steps. Private to the sequencer.

#include "TuningSequencer.h"

#include "CaptureSettings.h"
#include "MoveCheck.h"

#include <chrono>

namespace kestova::tune {

// Ends the sequence early; Run catches it, stops the test and writes the originals back.
struct TuneAbort {
    TuneEnd end = TuneEnd::Failed;
    std::string message;
    int alarm = 0;
};

// A register the sequence may write, with what it held before the first write.
struct KeptRegister {
    std::uint16_t address = 0;
    std::string number; // the parameter's number; empty for a test register
    std::string name;
    std::string units;
    bool isUnsigned = false;
    int original = 0;
};

class Sequence {
public:
    Sequence(TuningSequencer& owner, TuneOutcome& outcome);

    void KeepOriginals(TunePlan plan);
    void CurrentStep();
    void IdentifyStep();
    void LoopsStep();
    // Stops any test and writes every original back; the registers that kept another value.
    std::vector<ParameterChange> Restore();

    // ---- The conversation ----------------------------------------------------------------
    int Read(std::uint16_t address, const char* what);
    void Write(std::uint16_t address, int value, const char* what);
    // Writes a parameter, clamped to its row's range, and reads it back.
    int WriteParameter(const TableRow& row, int value);
    void CheckAlarm();
    void CheckStop();
    void Say(TuneProgress::Kind kind, TuneStep step, std::string text);
    // One capture of `kind` with the settings; the test must have been started.
    Captured Capture(TuneStep step, motion::CaptureKind kind, const motion::CaptureSettings& st,
                     const std::string& what, int timeoutMs);
    void Report(TuneStep step, const std::string& what, const Captured& captured,
                const std::array<std::uint16_t, 4>& sources, const kestova::StepFigures& figures);
    Captured RunMove(TuneStep step, const Move& move, const std::array<std::uint16_t, 4>& sources,
                     const std::string& what);
    void WaitForRest();

private:
    motion::CaptureSettings BaseSettings() const;

    TuningSequencer& owner_;
    TuneOutcome& outcome_;
    TuningRows rows_;
    std::vector<KeptRegister> kept_;
    MotorData motor_;
    bool perAmpere_ = false;
    int samples_ = 0;
    int basePeriod_ = 100;
    double currentBandwidthHz_ = 0.0;
};

// A step's gains scaled back: bandwidths and the position gain times `factor`, the integral time
// divided by it.
SpeedPositionGains Scaled(const SpeedPositionGains& gains, double factor);

} // namespace kestova::tune
