#include "BuiltinModels.h"

namespace kestova::sim {

namespace {

ParameterRow Row(std::uint16_t address, const char* name, std::int32_t value, std::int32_t low,
                 std::int32_t high, const char* units = "") {
    ParameterRow row;
    row.units = units;
    row.address = address;
    row.name = name;
    row.defaultValue = value;
    row.low = low;
    row.high = high;
    row.isUnsigned = high > 32767;
    return row;
}

} // namespace

std::optional<ModelDescription> BuiltinModel(int driveCode) {
    ModelDescription m;
    m.driveCode = driveCode;
    std::vector<ParameterRow> rows = {
        Row(14, "Pulses per revolution", 4000, 200, 65535, "pulse/rev"),
        Row(30, "Position loop gain", 40, 1, 2000, "1/s"),
        Row(31, "Speed loop gain", 40, 1, 2000, "Hz"),
        Row(32, "Speed loop integral time", 150, 1, 10000, "0.1 ms"),
        Row(33, "Current loop proportional gain", 1000, 0, 4000),
        Row(34, "Current loop integral gain", 1000, 0, 4000),
        Row(35, "Closed-loop peak current", 100, 10, 100, "%"),
        Row(36, "Load inertia ratio", 0, 0, 3000, "%"),
        Row(37, "Encoder resolution", 4000, 400, 20000, "count/rev"),
        Row(38, "Input filter time", 5, 0, 100, "ms"),
        Row(39, "Position offset", 0, -1000, 1000, "count"),
        Row(165, "Position following error limit", 4000, 0, 65535, "count"),
        Row(255, "Pulse MODE", 0, 0, 1),
        Row(255, "Active EDGE", 1, 0, 1),
        Row(255, "Motor DIRECTION", 0, 0, 1),
    };
    switch (driveCode) {
    case 1:
        m.name = "TS-057B";
        m.series = "TS Series";
        m.protocolVersion = 300;
        m.firmwareVersion = 215;
        m.channelCount = 4;
        m.samplesPerChannel = 400;
        break;
    case 2:
        m.name = "TS-057E";
        m.series = "TS Series";
        m.protocolVersion = 200;
        m.firmwareVersion = 108;
        m.featureBits = 0;
        break;
    case 256:
        m.name = "TA-040B";
        m.series = "TA Series";
        m.protocolVersion = 310;
        m.firmwareVersion = 302;
        m.channelCount = 4;
        m.samplesPerChannel = 512;
        m.motor = MotorKind::Servo;
        rows[0].defaultValue = 10000;
        rows[8].defaultValue = 10000; // encoder resolution
        rows[8].high = 32000;
        rows[11].defaultValue = 40000; // following error limit
        for (std::uint16_t i = 0; i < 10; ++i) {
            static const char* inputs[] = {
                "SI1 function", "SI2 function", "SI3 function", "SI4 function", "SI5 function",
                "SI6 function", "SI7 function", "SI8 function", "SI9 function", "SI10 function"};
            rows.push_back(Row(static_cast<std::uint16_t>(101 + i), inputs[i], 0x0003, 0, 65535));
        }
        for (std::uint16_t i = 0; i < 10; ++i) {
            static const char* outputs[] = {
                "SO1 function", "SO2 function", "SO3 function", "SO4 function", "SO5 function",
                "SO6 function", "SO7 function", "SO8 function", "SO9 function", "SO10 function"};
            rows.push_back(Row(static_cast<std::uint16_t>(111 + i), outputs[i], 0x0001, 0, 65535));
        }
        break;
    default:
        return std::nullopt;
    }
    m.parameterTable = "Builtin" + std::to_string(driveCode);
    AddParameterRows(m, rows);
    return m;
}

} // namespace kestova::sim
