#pragma once

// The three tests' settings as the drive holds them, and the register sequences that load them,
// write them, start and stop a test. The sub-pages show and take the values; the command-line
// tool runs the same sequences without a window. A failed read gives -1. Every write is checked:
// a sequence stops at the first register the drive did not take and says which, so nothing is
// started on settings the drive does not hold.

#include "CaptureSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

class CKTCOM;

namespace kestova::motion {

// A register of a test that the drive did not take (refused or not answered), a value that was
// not sent because it does not fit in a register, or a read that failed.
struct RegisterFailure {
    std::uint16_t address = 0;
    const char* setting = ""; // what the register holds, as a person names it ("speed")
    int value = 0;            // the value meant for it (writes)
    bool sent = true;         // false: the value does not fit in 16 bits and nothing was sent
    std::uint16_t code = 0;   // the link's failure code; 0 when a later exchange cleared it

    // The drive answered with an exception: it is there and would not take the value.
    bool Refused() const;
};
// Empty when every write of a sequence was taken.
using WriteResult = std::optional<RegisterFailure>;

// Writes one register and checks that the drive took it. Offline, where nothing is sent, every
// write counts as taken.
[[nodiscard]] WriteResult WriteSetting(CKTCOM& link, std::uint8_t station, std::uint16_t address,
                                       int value, const char* setting);

// ---- Sampling and channels --------------------------------------------------------------------

// The base sampling period P in microseconds (below 1: 100).
int ReadBasePeriod(CKTCOM& link, std::uint8_t station);
// The later protocol's sampling multiplier M (below 1: 1).
int ReadMultiplier(CKTCOM& link, std::uint8_t station);
// Samples per channel N (200 or less: 200).
int ReadSampleCount(CKTCOM& link, std::uint8_t station);
// The number of channels the drive captures (-1 when the read failed).
int ReadChannelCount(CKTCOM& link, std::uint8_t station);
// The trace time in ms that a sampling register of the earlier protocol stands for: 10 times
// the register as a signed 16-bit value, 1000 when that is negative.
int TraceTimeFromRegister(std::int16_t value);
// Channel sources 1..4, in that order.
[[nodiscard]] WriteResult WriteChannelSources(CKTCOM& link, std::uint8_t station,
                                              const std::array<std::uint16_t, 4>& sources);
// The trigger: source 0 when below 1, else source, polarity and level.
[[nodiscard]] WriteResult WriteTrigger(CKTCOM& link, const CaptureSettings& s);

struct TriggerSettings {
    int source = 0;
    int polarity = 0;
    int level = 0;
};
TriggerSettings ReadTrigger(CKTCOM& link, std::uint8_t station);

// ---- Motion profile ---------------------------------------------------------------------------

struct MotionProfile {
    int speed = 100;        // rpm
    int acceleration = 100; // r/s^2
    int interval = 1000;    // ms between moves
    int repeat = 1;
    int distance = 10000; // hundredths of a revolution
    int traceTime = 1000; // ms, earlier protocol
    int rotation = 0;     // 0 clockwise, 1 counterclockwise
    int direction = 0;    // 0 one way, 1 back and forth
};
// `failed`, when given, receives the first read that failed.
MotionProfile ReadMotionProfile(CKTCOM& link, std::uint8_t station,
                                std::optional<RegisterFailure>* failed = nullptr);
// The profile, the sampling and (later protocol) the trigger, in the order the drive expects.
[[nodiscard]] WriteResult WriteMotionProfile(CKTCOM& link, const CaptureSettings& s,
                                             const MotionProfile& profile);
// Arms the capture and starts the move sequence. A start the drive may have carried out without
// its answer arriving is followed by a stop.
[[nodiscard]] WriteResult StartMotion(CKTCOM& link, std::uint8_t station);
[[nodiscard]] WriteResult StopMotion(CKTCOM& link, std::uint8_t station);

// ---- Current loop -----------------------------------------------------------------------------

struct CurrentLoopTest {
    int kp = 1000;
    int ki = 1000;
    int current = 1000; // mA
};
CurrentLoopTest ReadCurrentLoopTest(CKTCOM& link, std::uint8_t station,
                                    std::optional<RegisterFailure>* failed = nullptr);
// Sampling (later protocol), gains, test current, the trigger when one is set, then the start
// (followed by a stop when the start's answer did not arrive).
[[nodiscard]] WriteResult StartCurrentLoopTest(CKTCOM& link, const CaptureSettings& s,
                                               const CurrentLoopTest& test);
[[nodiscard]] WriteResult StopCurrentLoopTest(CKTCOM& link, std::uint8_t station);
[[nodiscard]] WriteResult SetAutoConfiguration(CKTCOM& link, std::uint8_t station, bool on);

// ---- Scope only -------------------------------------------------------------------------------

// Sampling (T / 10 in the earlier protocol, M in the later) and the trigger.
[[nodiscard]] WriteResult WriteScopeSettings(CKTCOM& link, const CaptureSettings& s);
// Disarms the capture.
[[nodiscard]] WriteResult StopScope(CKTCOM& link, std::uint8_t station);

// ---- Texts of the fields ----------------------------------------------------------------------

// The leading decimal number of a text (blanks, sign, digits, one point, digits) times
// 10^decimals, truncated toward zero and computed on the digits, so "1.001" A is 1001 mA and
// "0.29" revolutions 29 hundredths. No number gives 0.
int ScaledDecimal(std::string_view text, int decimals);

} // namespace kestova::motion
