#pragma once

// What a scope channel can show: the drive's one-bit signal codes, their titles, and the unit
// groups whose members share one vertical scale.

#include <QString>

#include <array>
#include <cstdint>

namespace kestova {

// Channel source codes (0: nothing selected).
constexpr std::uint32_t SRC_NONE = 0;
constexpr std::uint32_t SRC_POSITION_ERROR = 1;
constexpr std::uint32_t SRC_VELOCITY_FEEDBACK = 2;
constexpr std::uint32_t SRC_POSITION_FEEDBACK = 4;
constexpr std::uint32_t SRC_VELOCITY_TARGET = 8;
constexpr std::uint32_t SRC_POSITION_TARGET = 16;
constexpr std::uint32_t SRC_Q_AXIS_CURRENT = 32;
constexpr std::uint32_t SRC_SYNTHETIC_CURRENT = 64;
constexpr std::uint32_t SRC_BUS_VOLTAGE = 128;
constexpr std::uint32_t SRC_ACCELERATION_TARGET = 256;
constexpr std::uint32_t SRC_ACCELERATION_FEEDBACK = 512;
constexpr std::uint32_t SRC_A_PHASE_CURRENT = 1024;
constexpr std::uint32_t SRC_B_PHASE_CURRENT = 2048;

// Unit groups as masks over the codes, in the order the scales are unified.
constexpr std::uint32_t GROUP_P = 0x15;
constexpr std::uint32_t GROUP_RPM = 0x0A;
constexpr std::uint32_t GROUP_MA = 0xC60;
constexpr std::uint32_t GROUP_DECIVOLT = 0x80;
constexpr std::uint32_t GROUP_ACCELERATION = 0x300;
constexpr std::array<std::uint32_t, 5> kUnitGroups{GROUP_P, GROUP_RPM, GROUP_MA, GROUP_DECIVOLT,
                                                   GROUP_ACCELERATION};

// The title drawn for a channel showing `source`; "<--Select--" for 0 and unknown codes.
QString ChannelName(std::uint32_t source);

// The unit of a channel's values: what its title holds in its last parentheses ("RPM", "mA",
// "0.1V"); empty for 0 and unknown codes.
QString ChannelUnit(std::uint32_t source);

// A channel belongs to a group when it has a source and every bit of it lies in the group.
constexpr bool InUnitGroup(std::uint32_t source, std::uint32_t group) {
    return source != 0 && (source & ~group) == 0;
}

} // namespace kestova
