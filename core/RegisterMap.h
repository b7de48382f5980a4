#pragma once

// The drive's registers that the program uses.

#include <cstdint>

namespace kestova::reg {

// Current-loop test.
constexpr std::uint16_t CURRENT_KP = 0x00;
constexpr std::uint16_t CURRENT_KI = 0x01;
constexpr std::uint16_t CURRENT_TEST_RUN = 0x02; // 1 start, 0 stop
constexpr std::uint16_t CURRENT_TEST_MA = 0x04;
constexpr std::uint16_t CURRENT_AUTO_CONFIG = 0x40;
constexpr std::uint16_t CURRENT_WAVE_EARLY = 0x05; // block read, earlier protocol

// Motion profile test.
constexpr std::uint16_t PROFILE_RUN = 0x09; // 1 start, 0 stop
constexpr std::uint16_t PROFILE_ACCELERATION = 0x15;
constexpr std::uint16_t PROFILE_SPEED = 0x16;
constexpr std::uint16_t PROFILE_DISTANCE = 0x18; // hundredths of a revolution
constexpr std::uint16_t PROFILE_REPEAT = 0x19;
constexpr std::uint16_t PROFILE_ROTATION = 0x1A;
constexpr std::uint16_t PROFILE_INTERVAL = 0x1B;
constexpr std::uint16_t PROFILE_DIRECTION = 0x1C;

// Commands acknowledged by reading back 0.
constexpr std::uint16_t STORE = 0x0C;
constexpr std::uint16_t FACTORY_RESET = 0xFA;

// Alarms: current alarm, then the history, newest first.
constexpr std::uint16_t ALARM_CURRENT = 0x10;
constexpr std::uint16_t ALARM_HISTORY_FIRST = 0x11;
constexpr std::uint16_t ALARM_HISTORY_LAST = 0x19;

// Wave capture.
constexpr std::uint16_t CAPTURE_ARM = 0x14;      // also the earlier protocol's wave data start
constexpr std::uint16_t CAPTURE_SOURCE_1 = 0x41; // channels 1..4 at 0x41..0x44
constexpr std::uint16_t CAPTURE_CHANNEL_COUNT = 0x45;
constexpr std::uint16_t CAPTURE_SAMPLES = 0x46;
constexpr std::uint16_t CAPTURE_SAMPLING = 0xD0;
constexpr std::uint16_t CAPTURE_BASE_PERIOD_US = 0xD1;
constexpr std::uint16_t CAPTURE_STATUS = 0xDA; // 2 = complete
constexpr std::uint16_t TRIGGER_SOURCE = 0xF5;
constexpr std::uint16_t TRIGGER_POLARITY = 0xF6;
constexpr std::uint16_t TRIGGER_LEVEL = 0xF7;
constexpr std::uint16_t TRIGGER_STATUS = 0xF8; // 2 = fired
constexpr std::uint16_t WAVE_DATA_1 = 0x1000;  // channels 1..4, 0x400 apart
constexpr std::uint16_t WAVE_DATA_STRIDE = 0x400;

// Identity.
constexpr std::uint16_t PROTOCOL_VERSION = 0x47;
constexpr std::uint16_t FEATURE_BITS = 0x49;
constexpr std::uint16_t FIRMWARE_VERSION = 0x4A; // hundredths
constexpr std::uint16_t DRIVE_CODE = 0xFD;

// Parameters.
constexpr std::uint16_t IO_FUNCTION_FIRST = 101;
constexpr std::uint16_t IO_FUNCTION_LAST = 120;
constexpr std::uint16_t PACKED_BITS = 0xFF; // MODE | EDGE << 1 | DIRECTION << 2

// Diagnostics windows.
constexpr std::uint16_t DICTIONARY_WINDOW_FIRST = 0xAF00;
constexpr std::uint16_t DICTIONARY_WINDOW_LAST = 0xAF0B;
constexpr std::uint16_t REGISTER_WINDOW_ADDRESS = 0xB100;
constexpr std::uint16_t REGISTER_WINDOW_VALUE = 0xB101;

// Feature bits.
constexpr std::uint32_t FEATURE_TRIGGERED_CAPTURE = 1;
constexpr std::uint32_t FEATURE_DICTIONARY = 2;
constexpr std::uint32_t FEATURE_REGISTER_MONITOR = 4;

} // namespace kestova::reg
