#pragma once

// The drive's parameter registers: working values that writes change at once, and the stored
// values in non-volatile memory (a state file) that the drive starts from.

#include "ModelDescription.h"
#include "RtuSlave.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestova::sim {

class ParameterStore {
public:
    explicit ParameterStore(const ModelDescription& model);

    bool Has(std::uint16_t address) const { return rows_.count(address) != 0; }
    const ParameterRow* Row(std::uint16_t address) const {
        auto it = rows_.find(address);
        return it == rows_.end() ? nullptr : &it->second;
    }
    std::uint16_t Raw(std::uint16_t address) const;
    // The working value as the register's type reads it (signed, or unsigned for 0..65535).
    std::int32_t Value(std::uint16_t address) const;
    std::optional<std::int32_t> ValueIf(std::optional<std::uint16_t> address) const;
    std::int32_t Stored(std::uint16_t address) const;

    // Refuses values outside the row's range.
    std::optional<ExceptionCode> Write(std::uint16_t address, std::uint16_t raw);
    // Sets a value without the range check (the drive's own tuning uses it).
    void Force(std::uint16_t address, std::int32_t value);

    void StoreWorking();
    void RestoreDefaults();

    // The state file holds the stored values of one model; a file of another model, or values
    // out of range, are passed over (and named in `notes`).
    bool Load(const std::string& path, std::vector<std::string>& notes);
    bool Save(const std::string& path, std::string& error) const;

    const std::vector<std::uint16_t>& Addresses() const { return addresses_; }

private:
    std::int32_t Interpret(const ParameterRow& row, std::uint16_t raw) const;

    int driveCode_;
    int protocol_;
    std::map<std::uint16_t, ParameterRow> rows_;
    std::map<std::uint16_t, std::uint16_t> working_;
    std::map<std::uint16_t, std::uint16_t> stored_;
    std::vector<std::uint16_t> addresses_;
};

} // namespace kestova::sim
