#include "ParameterStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kestova::sim {

namespace {
std::uint16_t ToRaw(std::int32_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}
} // namespace

ParameterStore::ParameterStore(const ModelDescription& model)
    : driveCode_(model.driveCode), protocol_(model.protocolVersion) {
    for (const ParameterRow& row : model.parameters) {
        rows_[row.address] = row;
        working_[row.address] = ToRaw(row.defaultValue);
        stored_[row.address] = ToRaw(row.defaultValue);
        addresses_.push_back(row.address);
    }
}

std::int32_t ParameterStore::Interpret(const ParameterRow& row, std::uint16_t raw) const {
    if (row.isUnsigned) {
        return raw;
    }
    return static_cast<std::int16_t>(raw);
}

std::uint16_t ParameterStore::Raw(std::uint16_t address) const {
    auto it = working_.find(address);
    return it == working_.end() ? 0 : it->second;
}

std::int32_t ParameterStore::Value(std::uint16_t address) const {
    auto it = rows_.find(address);
    return it == rows_.end() ? 0 : Interpret(it->second, working_.at(address));
}

std::optional<std::int32_t> ParameterStore::ValueIf(std::optional<std::uint16_t> address) const {
    if (!address || !Has(*address)) {
        return std::nullopt;
    }
    return Value(*address);
}

std::int32_t ParameterStore::Stored(std::uint16_t address) const {
    auto it = rows_.find(address);
    return it == rows_.end() ? 0 : Interpret(it->second, stored_.at(address));
}

std::optional<ExceptionCode> ParameterStore::Write(std::uint16_t address, std::uint16_t raw) {
    auto it = rows_.find(address);
    if (it == rows_.end()) {
        return ExceptionCode::IllegalDataAddress;
    }
    const std::int32_t v = Interpret(it->second, raw);
    if (v < it->second.low || v > it->second.high) {
        return ExceptionCode::IllegalDataValue;
    }
    working_[address] = raw;
    return std::nullopt;
}

void ParameterStore::Force(std::uint16_t address, std::int32_t value) {
    if (Has(address)) {
        working_[address] = ToRaw(value);
    }
}

void ParameterStore::StoreWorking() {
    stored_ = working_;
}

void ParameterStore::RestoreDefaults() {
    for (const auto& [address, row] : rows_) {
        working_[address] = ToRaw(row.defaultValue);
    }
    stored_ = working_;
}

bool ParameterStore::Load(const std::string& path, std::vector<std::string>& notes) {
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string line;
    bool modelMatches = false;
    std::map<std::uint16_t, std::uint16_t> loaded;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "model") {
            int code = 0;
            int protocol = 0;
            fields >> code >> protocol;
            modelMatches = code == driveCode_ && protocol == protocol_;
            continue;
        }
        long address = 0;
        long value = 0;
        std::istringstream numbers(line);
        if (!(numbers >> address >> value) || address < 0 || address > 0xFFFF) {
            notes.push_back("state file line not understood: " + line);
            continue;
        }
        auto row = rows_.find(static_cast<std::uint16_t>(address));
        if (row == rows_.end()) {
            notes.push_back("state file names no parameter at " + std::to_string(address));
            continue;
        }
        const std::uint16_t raw = ToRaw(static_cast<std::int32_t>(value));
        const std::int32_t v = Interpret(row->second, raw);
        if (v < row->second.low || v > row->second.high) {
            notes.push_back("state file value out of range at " + std::to_string(address));
            continue;
        }
        loaded[static_cast<std::uint16_t>(address)] = raw;
    }
    if (!modelMatches) {
        notes.push_back("state file " + path + " belongs to another model; starting from defaults");
        return false;
    }
    for (const auto& [address, raw] : loaded) {
        stored_[address] = raw;
        working_[address] = raw;
    }
    return true;
}

bool ParameterStore::Save(const std::string& path, std::string& error) const {
    // Write beside the file and rename over it, so a crash never leaves half a state file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) {
            error = "cannot write " + temp + ": " + std::strerror(errno);
            return false;
        }
        out << "# Stored parameters of the simulated drive: address value\n";
        out << "model " << driveCode_ << " " << protocol_ << "\n";
        for (const auto& [address, raw] : stored_) {
            out << address << " " << Interpret(rows_.at(address), raw) << "\n";
        }
        if (!out.flush()) {
            error = "cannot write " + temp;
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace kestova::sim
