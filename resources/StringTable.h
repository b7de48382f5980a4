#pragma once

// The program's string table: texts looked up by number, as the pages fill their lists from it.
// A number without an entry gives the empty text.

#include <QString>

#include <array>
#include <string_view>

namespace kestova::res {

// The functions of the configurable digital inputs (1000..1008) and outputs (1020..1023): the
// code in hexadecimal before the ":", the name after it.
constexpr int IDS_INPUT_FUNCTION_FIRST = 1000;
constexpr int IDS_INPUT_FUNCTION_LAST = 1008;
constexpr int IDS_OUTPUT_FUNCTION_FIRST = 1020;
constexpr int IDS_OUTPUT_FUNCTION_LAST = 1023;

struct StringEntry {
    int id;
    std::string_view text;
};

// The signals a wave capture can sample (135 "no signal", then 136..147, whose code is
// 1 << (id - 136)).
constexpr int IDS_CHANNEL_NONE = 135;
constexpr int IDS_CHANNEL_FIRST = 136;
constexpr int IDS_CHANNEL_LAST = 147;

constexpr std::array<StringEntry, 26> kStringTable = {{
    {135, "--Select--"},
    {136, "Position Error (P)"},
    {137, "Velocity Feedback (RPM)"},
    {138, "Position Feedback (P)"},
    {139, "Velocity Targeted  (RPM)"},
    {140, "Position Targeted (P)"},
    {141, "Q Axis Current (mA)"},
    {142, "Synthetic Current (mA)"},
    {143, "Bus Voltage (0.1V)"},
    {144, "Acceleration Targeted (R/S^2)"},
    {145, "Acceleration Feedback (R/S^2)"},
    {146, "A Phase Current (mA)"},
    {147, "B Phase Current (mA)"},
    {1000, "1: Positive Polary POT"},
    {1001, "2: Negtive Polary POT"},
    {1002, "3: ENA SRVON"},
    {1003, "4:Position Error Clearance"},
    {1004, "14:EMG"},
    {1005, "16:ORG"},
    {1006, "17: Probe 1 (only for IO 1 and 2)"},
    {1007, "18: Probe 2 (only for IO 1 and 2)"},
    {1008, "19: Custom Defined (GPIO)"},
    {1020, "1: Fault Output"},
    {1021, "2: Brake Output"},
    {1022, "4: In Position Output"},
    {1023, "5: Host Output"},
}};

inline QString LoadString(int id) {
    for (const StringEntry& entry : kStringTable) {
        if (entry.id == id) {
            return QString::fromUtf8(entry.text.data(), static_cast<qsizetype>(entry.text.size()));
        }
    }
    return {};
}

} // namespace kestova::res
