#pragma once

// What the simulator needs to know about one drive model: its identity, its parameter registers
// with defaults and ranges, its capture memory, and which parameters steer the physics. Filled
// from the model database (ModelDatabase.cpp) or, for tests of the core alone, from a built-in
// description (BuiltinModels.cpp).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestova::sim {

enum class MotorKind { Stepper, Servo };

struct ParameterRow {
    std::uint16_t address = 0;
    std::string name;
    std::int32_t defaultValue = 0;
    std::int32_t low = -32768;
    std::int32_t high = 32767;
    bool isUnsigned = false; // the register holds 0..65535 rather than a signed value
    std::string units;
};

// Addresses of the parameters that the control loops, protections and the motor read, with how
// their values are scaled. A role the model has no parameter for runs on the physics default.
struct ParameterRoles {
    std::optional<std::uint16_t> positionGain;
    bool positionGainPerSecond = false; // 1/s; else the stepper drives' units, 1/50 s^-1
    std::optional<std::uint16_t> speedGain;
    bool speedGainHz = false; // Hz; else the stepper drives' units, 1/30 Hz
    std::optional<std::uint16_t> speedIntegral;
    bool speedIntegralIsTime = false;       // 0.1 ms; else a gain, integral time 1000/value ms
    std::optional<std::uint16_t> currentKp; // per mille of the self-tuned gain
    std::optional<std::uint16_t> currentKi;
    std::optional<std::uint16_t> currentBandwidth;   // Hz
    std::optional<std::uint16_t> followingLimit;     // pulses, 0: no check
    std::optional<std::uint16_t> peakCurrentPercent; // share of the drive's peak current
    std::optional<std::uint16_t> ratedCurrent;       // 0.1 A; the peak is three times it
    std::optional<std::uint16_t> loadInertiaRatio;   // %
    std::optional<std::uint16_t> speedFeedforward;   // %
    std::optional<std::uint16_t> accelFeedforward;   // %
    // Read once at power-up, as a drive reads its motor data.
    std::optional<std::uint16_t> encoderResolution; // counts per revolution
    std::optional<std::uint16_t> polePairs;
    std::optional<std::uint16_t> phaseResistance; // mOhm, 0: measured (the default stands)
    std::optional<std::uint16_t> phaseInductance;
    double inductanceUnitHenry = 1e-6;           // "uH" or "0.01 mH"
    std::optional<std::uint16_t> torqueConstant; // 0.01 N m/A
    std::optional<std::uint16_t> rotorInertia;   // 0.01 kg cm^2
    std::optional<std::uint16_t> maxSpeed;       // rpm
};

// Codes of the alarms the drive raises by itself; the model database's alarm table names them.
struct AlarmCodes {
    std::int16_t overCurrent = 1;
    std::int16_t followingError = 5;
    std::int16_t memoryError = 12;
};

struct ModelDescription {
    int driveCode = 0;
    int protocolVersion = 300;
    std::string name;
    std::string series;
    std::string parameterTable;
    std::uint16_t featureBits = 0x7; // triggered capture, object dictionary, register monitor
    std::uint16_t firmwareVersion = 100;
    int channelCount = 4;
    int samplesPerChannel = 400;
    MotorKind motor = MotorKind::Stepper;
    std::vector<ParameterRow> parameters; // one row per register, register 255 merged
    ParameterRoles roles;
    AlarmCodes alarms;
    std::vector<std::string> warnings; // what loading had to guess or leave out

    bool LaterProtocol() const { return protocolVersion >= 300; }
    bool HasIoFunctions() const { return driveCode == 256 || driveCode == 257; }
};

// Reads a range text such as "0-100", "-100-100", "-100~100" or "-200 - -50". Returns nothing
// when the text does not hold two numbers.
std::optional<std::pair<std::int32_t, std::int32_t>> ParseRangeText(const std::string& text);

// The leading integer of a text: blanks, an optional sign, digits; 0 when there are none.
std::int32_t LeadingInteger(const std::string& text);

// Which of the three packed settings of register 255 a description names: 0 MODE, 1 EDGE,
// 2 DIRECTION (EDGE is looked for first, as the parameter page does); nothing for none.
std::optional<int> PackedBitOf(const std::string& description);

// Folds the table's rows into one register per address: register 255's rows become one register
// whose default packs their defaults; duplicates keep the first row. Fills the roles by name.
void AddParameterRows(ModelDescription& model, const std::vector<ParameterRow>& rows);

} // namespace kestova::sim
