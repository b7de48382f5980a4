#pragma once

// Two register windows into the drive: the object dictionary (0xAF00..0xAF0B: one write group and
// two read groups of index, sub-index and a 32-bit value split high/low) and the register monitor
// (0xB100 takes an internal register's address, 0xB101 reads its value).

#include "RtuSlave.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kestova::sim {

struct DictionaryEntry {
    std::uint16_t index = 0;
    std::uint16_t subIndex = 0;
    bool wide = false; // 32-bit; else 16-bit
    const char* name = "";
    std::function<std::int32_t()> read;
    // Empty for read-only entries.
    std::function<std::optional<ExceptionCode>(std::int32_t)> write;
};

class ObjectDictionaryWindow {
public:
    static constexpr std::uint16_t kFirst = 0xAF00;
    static constexpr std::uint16_t kLast = 0xAF0B;

    void Add(DictionaryEntry entry) { entries_.push_back(std::move(entry)); }
    const std::vector<DictionaryEntry>& Entries() const { return entries_; }

    static bool Covers(std::uint16_t address) { return address >= kFirst && address <= kLast; }
    std::optional<std::uint16_t> Read(std::uint16_t address) const;
    std::optional<ExceptionCode> Write(std::uint16_t address, std::uint16_t value);

private:
    const DictionaryEntry* Find(std::uint16_t index, std::uint16_t subIndex) const;

    std::vector<DictionaryEntry> entries_;
    // Window registers by offset 0..11; the value halves of the read groups are live.
    std::uint16_t window_[12] = {};
};

class RegisterMonitorWindow {
public:
    static constexpr std::uint16_t kAddress = 0xB100;
    static constexpr std::uint16_t kValue = 0xB101;

    using Reader = std::function<std::optional<std::uint16_t>(std::uint16_t)>;
    explicit RegisterMonitorWindow(Reader reader) : reader_(std::move(reader)) {}

    static bool Covers(std::uint16_t address) { return address == kAddress || address == kValue; }
    std::optional<std::uint16_t> Read(std::uint16_t address) const;
    std::optional<ExceptionCode> Write(std::uint16_t address, std::uint16_t value);

private:
    Reader reader_;
    std::uint16_t selected_ = 0;
};

} // namespace kestova::sim
