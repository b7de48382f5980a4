#pragma once

// The drive's wave memory: up to four channels, each sampling one internal signal at a fixed
// interval after an arm, free-running or from a trigger edge on a chosen signal.

#include "RtuSlave.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestova::sim {

// Signal codes, one bit each, and their raw units.
enum SignalCode : std::uint16_t {
    kPositionError = 1,          // pulses
    kVelocityFeedback = 2,       // rpm
    kPositionFeedback = 4,       // pulses, from the position at the arm
    kVelocityTarget = 8,         // rpm
    kPositionTarget = 16,        // pulses, from the position at the arm
    kQCurrent = 32,              // mA
    kSyntheticCurrent = 64,      // mA, magnitude of the current vector
    kBusVoltage = 128,           // 0.1 V
    kAccelerationTarget = 256,   // rev/s^2
    kAccelerationFeedback = 512, // rev/s^2
    kPhaseACurrent = 1024,       // mA
    kPhaseBCurrent = 2048,       // mA
};
inline constexpr int kSignalCount = 12;

bool IsSignalCode(std::uint16_t code);
int SignalIndex(std::uint16_t code); // 0..11 for a valid code

struct SignalFrame {
    std::array<double, kSignalCount> values{}; // positions absolute, in pulses
    double testCurrent = 0.0;                  // mA, the current-loop test's feedback

    double Get(std::uint16_t code) const { return values[SignalIndex(code)]; }
};

struct CaptureLayout {
    bool laterProtocol = true;
    int channelCount = 4;
    int samplesPerChannel = 400; // later protocol; the earlier one takes 200 per channel
    double basePeriodUs = 100.0;
};

class WaveCapture {
public:
    static constexpr int kLegacySamples = 200;
    static constexpr double kLegacyCurrentTraceUs = 200'000.0;

    explicit WaveCapture(const CaptureLayout& layout);

    std::uint16_t Source(int channel) const { return sources_[channel]; }
    std::optional<ExceptionCode> SetSource(int channel, std::uint16_t code);
    std::uint16_t Setting() const { return setting_; }
    std::optional<ExceptionCode> SetSetting(std::uint16_t value);
    std::uint16_t TriggerSource() const { return triggerSource_; }
    std::optional<ExceptionCode> SetTriggerSource(std::uint16_t code);
    std::uint16_t TriggerPolarity() const { return polarity_; }
    std::optional<ExceptionCode> SetTriggerPolarity(std::uint16_t value);
    std::int16_t TriggerLevel() const { return level_; }
    void SetTriggerLevel(std::int16_t level) { level_ = level; }

    // Arms at time `nowUs`; positions are then sampled relative to `frame`'s.
    void Arm(double nowUs, const SignalFrame& frame, bool testCapture = false);
    void Disarm();
    void OnTick(double nowUs, const SignalFrame& frame);

    std::uint16_t ArmState() const {
        return state_ == State::Idle || state_ == State::Done ? 0 : 1;
    }
    std::uint16_t Status() const; // 0 idle, 1 busy, 2 complete
    std::uint16_t TriggerStatus() const;
    bool Busy() const { return state_ == State::Waiting || state_ == State::Sampling; }

    int SamplesPerChannel() const;
    double IntervalUs() const;
    // The later protocol's per-channel memory; the earlier protocol's block, which holds the
    // channels that had a source at the arm, in channel order (words past them read 0).
    std::optional<std::uint16_t> ChannelWord(int channel, int index) const;
    std::optional<std::uint16_t> LegacyWord(int index) const;
    const CaptureLayout& Layout() const { return layout_; }

private:
    enum class State { Idle, Waiting, Sampling, Done };

    void Sample(const SignalFrame& frame);
    std::int16_t Encode(std::uint16_t code, const SignalFrame& frame) const;

    CaptureLayout layout_;
    std::array<std::uint16_t, 4> sources_{};
    std::uint16_t setting_ = 1;
    std::uint16_t triggerSource_ = 0;
    std::uint16_t polarity_ = 0;
    std::int16_t level_ = 0;

    State state_ = State::Idle;
    bool fired_ = false;
    bool testCapture_ = false;
    bool havePrevious_ = false;
    double previous_ = 0.0;
    double nextSampleUs_ = 0.0;
    double intervalUs_ = 100.0;
    int taken_ = 0;
    double originFeedback_ = 0.0;
    double originTarget_ = 0.0;
    std::array<std::vector<std::uint16_t>, 4> data_;
    std::vector<int> packed_; // the earlier protocol's block: its channels in order
};

} // namespace kestova::sim
