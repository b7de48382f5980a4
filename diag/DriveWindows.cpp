#include "DriveWindows.h"

#include "KTCOM.h"
#include "NumberText.h"
#include "RegisterMap.h"

namespace kestova::diag {

namespace {

// Offsets in the dictionary window: each group is index, sub-index, value high, value low.
constexpr std::uint16_t kWriteGroup = 0;
constexpr std::uint16_t kReadGroup1 = 4;
constexpr std::uint16_t kReadGroup2 = 8;
constexpr std::uint16_t kIndex = 0;
constexpr std::uint16_t kSubIndex = 1;
constexpr std::uint16_t kHigh = 2;
constexpr std::uint16_t kLow = 3;

std::uint16_t DictionaryRegister(std::uint16_t group, std::uint16_t field) {
    return static_cast<std::uint16_t>(reg::DICTIONARY_WINDOW_FIRST + group + field);
}

void Write(CKTCOM& link, std::uint8_t station, std::uint16_t address, std::uint16_t value) {
    link.WriteAddressValue(station, address, static_cast<std::int16_t>(value));
}

void NameEntry(CKTCOM& link, std::uint8_t station, std::uint16_t group, EntryName entry) {
    Write(link, station, DictionaryRegister(group, kIndex), entry.index);
    Write(link, station, DictionaryRegister(group, kSubIndex), entry.subIndex);
}

} // namespace

bool IsHexField(std::string_view text) {
    return !text.empty() && params::IsNumberText(text) &&
           text.find_first_of("+-.") == std::string_view::npos;
}

void WriteEntry(CKTCOM& link, std::uint8_t station, EntryName entry, std::uint32_t value,
                const Pause& pause) {
    NameEntry(link, station, kWriteGroup, entry);
    pause(kSettlePause);
    Write(link, station, DictionaryRegister(kWriteGroup, kHigh),
          static_cast<std::uint16_t>(value >> 16));
    Write(link, station, DictionaryRegister(kWriteGroup, kLow),
          static_cast<std::uint16_t>(value & 0xFFFFu));
}

std::uint32_t ReadEntry(CKTCOM& link, std::uint8_t station, ReadGroup group, EntryName entry,
                        const Pause& pause) {
    const std::uint16_t base = group == ReadGroup::First ? kReadGroup1 : kReadGroup2;
    NameEntry(link, station, base, entry);
    pause(kSettlePause);
    const auto high =
        static_cast<std::uint16_t>(link.ReadAddressValue(station, DictionaryRegister(base, kHigh)));
    const auto low =
        static_cast<std::uint16_t>(link.ReadAddressValue(station, DictionaryRegister(base, kLow)));
    return (static_cast<std::uint32_t>(high) << 16) | low;
}

std::int16_t ReadRegister(CKTCOM& link, std::uint8_t station, std::uint16_t address,
                          const Pause& pause) {
    Write(link, station, reg::REGISTER_WINDOW_ADDRESS, address);
    pause(kSettlePause);
    return link.ReadAddressValue(station, reg::REGISTER_WINDOW_VALUE);
}

} // namespace kestova::diag
