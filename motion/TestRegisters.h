#pragma once

// The three tests' settings as the drive holds them, and the register sequences that load them,
// write them, start and stop a test. The sub-pages show and take the values; the command-line
// tool runs the same sequences without a window. Writes follow each other whatever the drive
// answers, as the pages have always done; a failed read gives -1.

#include "CaptureSettings.h"

#include <array>
#include <cstdint>
#include <string_view>

class CKTCOM;

namespace kestova::motion {

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
void WriteChannelSources(CKTCOM& link, std::uint8_t station,
                         const std::array<std::uint16_t, 4>& sources);
// The trigger: source 0 when below 1, else source, polarity and level.
void WriteTrigger(CKTCOM& link, const CaptureSettings& s);

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
MotionProfile ReadMotionProfile(CKTCOM& link, std::uint8_t station);
// The profile, the sampling and (later protocol) the trigger, in the order the drive expects.
void WriteMotionProfile(CKTCOM& link, const CaptureSettings& s, const MotionProfile& profile);
// Arms the capture and starts the move sequence.
void StartMotion(CKTCOM& link, std::uint8_t station);
void StopMotion(CKTCOM& link, std::uint8_t station);

// ---- Current loop -----------------------------------------------------------------------------

struct CurrentLoopTest {
    int kp = 1000;
    int ki = 1000;
    int current = 1000; // mA
};
CurrentLoopTest ReadCurrentLoopTest(CKTCOM& link, std::uint8_t station);
// Sampling (later protocol), gains, test current, the trigger when one is set, then the start.
void StartCurrentLoopTest(CKTCOM& link, const CaptureSettings& s, const CurrentLoopTest& test);
void StopCurrentLoopTest(CKTCOM& link, std::uint8_t station);
void SetAutoConfiguration(CKTCOM& link, std::uint8_t station, bool on);

// ---- Scope only -------------------------------------------------------------------------------

// Sampling (T / 10 in the earlier protocol, M in the later) and the trigger.
void WriteScopeSettings(CKTCOM& link, const CaptureSettings& s);
// Disarms the capture.
void StopScope(CKTCOM& link, std::uint8_t station);

// ---- Texts of the fields ----------------------------------------------------------------------

// The leading decimal number of a text (blanks, sign, digits, one point, digits) times
// 10^decimals, truncated toward zero and computed on the digits, so "1.001" A is 1001 mA and
// "0.29" revolutions 29 hundredths. No number gives 0.
int ScaledDecimal(std::string_view text, int decimals);

} // namespace kestova::motion
