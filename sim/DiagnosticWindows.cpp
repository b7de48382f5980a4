#include "DiagnosticWindows.h"

namespace kestova::sim {

const DictionaryEntry* ObjectDictionaryWindow::Find(std::uint16_t index,
                                                    std::uint16_t subIndex) const {
    for (const auto& e : entries_) {
        if (e.index == index && e.subIndex == subIndex) {
            return &e;
        }
    }
    return nullptr;
}

std::optional<std::uint16_t> ObjectDictionaryWindow::Read(std::uint16_t address) const {
    const int offset = address - kFirst;
    const bool valueHalf = offset >= 4 && (offset % 4 == 2 || offset % 4 == 3);
    if (!valueHalf) {
        return window_[offset];
    }
    // A read group's value is the entry's present value, named by the group's index registers.
    const int group = offset - offset % 4;
    const DictionaryEntry* entry = Find(window_[group], window_[group + 1]);
    if (entry == nullptr) {
        return std::nullopt;
    }
    const auto value = static_cast<std::uint32_t>(entry->read());
    return static_cast<std::uint16_t>(offset % 4 == 2 ? value >> 16 : value & 0xFFFF);
}

std::optional<ExceptionCode> ObjectDictionaryWindow::Write(std::uint16_t address,
                                                           std::uint16_t value) {
    const int offset = address - kFirst;
    if (offset >= 4 && (offset % 4 == 2 || offset % 4 == 3)) {
        return ExceptionCode::IllegalDataAddress; // read groups' values are read-only
    }
    if (offset != 3) {
        window_[offset] = value;
        return std::nullopt;
    }
    // The low half completes a write: the entry takes the value of both halves.
    const DictionaryEntry* entry = Find(window_[0], window_[1]);
    if (entry == nullptr || !entry->write) {
        return ExceptionCode::IllegalDataAddress;
    }
    const std::uint32_t whole = (static_cast<std::uint32_t>(window_[2]) << 16) | value;
    std::int32_t v = static_cast<std::int32_t>(whole);
    if (!entry->wide) {
        if (window_[2] != 0 && window_[2] != 0xFFFF) {
            return ExceptionCode::IllegalDataValue; // does not fit a 16-bit entry
        }
        v = static_cast<std::int16_t>(value);
    }
    if (auto error = entry->write(v)) {
        return error;
    }
    window_[3] = value;
    return std::nullopt;
}

std::optional<std::uint16_t> RegisterMonitorWindow::Read(std::uint16_t address) const {
    if (address == kAddress) {
        return selected_;
    }
    return reader_(selected_);
}

std::optional<ExceptionCode> RegisterMonitorWindow::Write(std::uint16_t address,
                                                          std::uint16_t value) {
    if (address != kAddress) {
        return ExceptionCode::IllegalDataAddress;
    }
    selected_ = value;
    return std::nullopt;
}

} // namespace kestova::sim
