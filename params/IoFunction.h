#pragma once

// The register of a configurable digital input or output, as the IO function panel edits it:
//
//   bits 0-5   function code
//   bit 7      contact type: 0 normally open ("A Node"), 1 normally closed ("B Node")
//   bits 8-11  input filter time, an index into kFilterTimes
//   bit 6 and bits 12-15 belong to the drive and are never changed here.
//
// The function lists are texts whose part before the first ":" is the code in hexadecimal
// ("14:EMG" is 0x14); the filter entries carry their index in decimal ("7:10ms").

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestova::params {

enum class IoKind { Unknown, Input, Output };

// Which list a row's description calls for: "SI" anywhere (any case) is an input, else "SO" an
// output.
IoKind IoKindOf(std::string_view description);

constexpr std::array<std::string_view, 16> kFilterTimes = {
    "0:1ms",  "1:2ms",  "2:3ms",   "3:4ms",   "4:5ms",   "5:6ms",    "6:8ms",    "7:10ms",
    "8:15ms", "9:20ms", "10:30ms", "11:40ms", "12:50ms", "13:100ms", "14:200ms", "15:500ms"};

// The code of a function entry, or none when the entry has no ":" after its first character.
std::optional<std::uint32_t> FunctionEntryCode(std::string_view entry);
// The index of a filter entry, or none when the entry has no ":" after its first character.
std::optional<std::uint32_t> FilterEntryIndex(std::string_view entry);

constexpr std::uint32_t FunctionOf(std::uint32_t value) {
    return value & 0x3Fu;
}
constexpr bool IsBNode(std::uint32_t value) {
    return (value & 0x80u) != 0;
}
constexpr std::uint32_t FilterOf(std::uint32_t value) {
    return (value & 0xF00u) >> 8;
}

std::uint32_t WithFunction(std::uint32_t value, std::uint32_t code);
std::uint32_t WithContact(std::uint32_t value, bool bNode);
std::uint32_t WithFilter(std::uint32_t value, std::uint32_t index);

} // namespace kestova::params
