#pragma once

// The drive's two diagnostics windows as register sequences: the object dictionary (an entry
// named by index and sub-index, its 32-bit value split into two registers) and the register
// monitor (an internal register named by address). No widgets; the pages call these off the
// interface thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

class CKTCOM;

namespace kestova::diag {

using Pause = std::function<void(std::chrono::milliseconds)>;

// The drive takes this long to find an entry or register after it is named.
constexpr std::chrono::milliseconds kSettlePause{20};

// A hexadecimal field as the pages accept it: not empty, and only digits 0-9, A-F, a-f. A sign or
// a point would pass the lenient character check but read as 0xFFFFFFFF, a value nobody typed.
bool IsHexField(std::string_view text);

struct EntryName {
    std::uint16_t index = 0;
    std::uint16_t subIndex = 0;
};

enum class ReadGroup { First, Second };

// Names the entry in the write group, pauses, then writes the value high half first; the drive
// commits the entry when the low half arrives.
void WriteEntry(CKTCOM& link, std::uint8_t station, EntryName entry, std::uint32_t value,
                const Pause& pause);

// Names the entry in a read group, pauses and reads both halves. A half whose read failed reads
// as 0xFFFF, as the link returns it.
std::uint32_t ReadEntry(CKTCOM& link, std::uint8_t station, ReadGroup group, EntryName entry,
                        const Pause& pause);

// Names the internal register, pauses and reads its value.
std::int16_t ReadRegister(CKTCOM& link, std::uint8_t station, std::uint16_t address,
                          const Pause& pause);

} // namespace kestova::diag
