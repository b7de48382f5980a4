#pragma once

// The simulated drive: its registers over a motor, its control loops, its motion sequencer and
// its wave memory, advanced in base periods of 100 us. Not thread-safe: the server serialises.

#include "AlarmLog.h"
#include "DiagnosticWindows.h"
#include "ModelDescription.h"
#include "MotionProfile.h"
#include "MotorPlant.h"
#include "ParameterStore.h"
#include "RtuSlave.h"
#include "ServoLoops.h"
#include "WaveCapture.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestova::sim {

struct DriveOptions {
    std::string stateFile; // non-volatile parameter memory; empty: none
    std::optional<std::uint16_t> featureBits;
    std::optional<MotorKind> motor;
    Load load;
};

struct ReadResult {
    std::vector<std::uint16_t> values;
    std::optional<ExceptionCode> error;
};

class Drive {
public:
    static constexpr double kTickSeconds = 100e-6;
    static constexpr std::uint16_t kBasePeriodUs = 100;
    static constexpr double kStoreSeconds = 0.5; // writing the parameter memory
    static constexpr double kResetSeconds = 0.3;

    Drive(ModelDescription model, DriveOptions options);

    // Modbus register access: a read of `count` registers from `address`, a write of one or
    // more registers. Errors are the exception a real drive answers with.
    ReadResult Read(std::uint16_t address, std::uint16_t count);
    std::optional<ExceptionCode> Write(std::uint16_t address,
                                       const std::vector<std::uint16_t>& values);

    void Advance(std::int64_t ticks);
    std::int64_t Ticks() const { return ticks_; }
    double Seconds() const { return static_cast<double>(ticks_) * kTickSeconds; }

    void RaiseAlarm(std::int16_t code);
    const AlarmLog& Alarms() const { return alarms_; }

    const ModelDescription& Model() const { return model_; }
    const MotorPlant& Plant() const { return plant_; }
    MotorPlant& Plant() { return plant_; }
    const ServoLoops& Loops() const { return loops_; }
    const WaveCapture& Capture() const { return capture_; }
    const ParameterStore& Parameters() const { return params_; }
    bool MotionRunning() const { return motion_.Running(); }
    bool CurrentTestRunning() const { return loops_.Mode() == LoopMode::CurrentTest; }

    // What the drive has to say to whoever runs it (state file trouble, loading notes).
    std::vector<std::string> TakeNotes();

    SignalFrame Signals() const;
    // Registers the drive serves itself, which a parameter row must not take.
    static bool IsFunctionRegister(std::uint16_t address, bool laterProtocol);
    // Internal registers seen through the register monitor window.
    std::optional<std::uint16_t> InternalRegister(std::uint16_t address) const;

private:
    void Tick();
    void ApplyParameters();
    LoopGains TestGains() const;
    void AutoTuneCurrentLoop();
    void StartMotion();
    void StartCurrentTest();
    void StopCurrentTest();
    void Enable();
    void FinishCommands();
    bool SaveStoredValues();
    void BuildDictionary();

    std::optional<std::uint16_t> ReadOne(std::uint16_t address) const;
    std::optional<ExceptionCode> WriteOne(std::uint16_t address, std::uint16_t value);
    std::optional<ExceptionCode> WriteProfile(std::uint16_t address, std::uint16_t value);
    std::optional<ExceptionCode> WriteCurrentTest(std::uint16_t address, std::uint16_t value);
    std::optional<ExceptionCode> WriteTrigger(std::uint16_t address, std::uint16_t value);
    std::optional<ExceptionCode> CheckIoFunction(std::uint16_t address, std::uint16_t value) const;
    bool ReadBlock(std::uint16_t address, std::uint16_t count, ReadResult& result) const;

    ModelDescription model_;
    DriveOptions options_;
    ParameterStore params_;
    MotorPlant plant_;
    ServoLoops loops_;
    MotionProfile motion_;
    WaveCapture capture_;
    AlarmLog alarms_;
    ObjectDictionaryWindow dictionary_;
    RegisterMonitorWindow monitor_;

    std::int64_t ticks_ = 0;
    std::vector<std::string> notes_;

    // Current-loop test registers.
    std::uint16_t currentKp_ = 0;
    std::uint16_t currentKi_ = 0;
    std::uint16_t testCurrentMa_ = 1000;
    bool autoConfigure_ = false;

    // Motion test registers.
    std::uint16_t acceleration_ = 100;
    std::uint16_t speed_ = 100;
    std::uint16_t distance_ = 100; // hundredths of a revolution
    std::uint16_t repeat_ = 1;
    std::uint16_t rotation_ = 0;
    std::uint16_t interval_ = 1000;
    std::uint16_t directionMode_ = 0;
    double motionOrigin_ = 0.0; // pulses, where the sequence started
    double command_ = 0.0;      // pulses, the position loop's command

    // Commands acknowledged by reading 0 once done; -1 when none is running.
    std::int64_t storeDoneAt_ = -1;
    std::int64_t resetDoneAt_ = -1;
    bool storeFailed_ = false; // until a store succeeds
    bool resetFailed_ = false;

    bool enabled_ = true; // the control word's enable
    std::uint16_t controlWord_ = 0x000F;
    double temperature_ = 25.0; // winding, deg C
    std::int32_t followingLimit_ = 0;
    LoopGains runGains_;
};

} // namespace kestova::sim
