#include "ModelDescription.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace kestova::sim {

namespace {

std::string Upper(std::string text) {
    for (auto& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool Has(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// Reads an optionally signed integer at pos; moves pos past it.
std::optional<std::int64_t> ReadSigned(const std::string& text, std::size_t& pos) {
    std::size_t p = pos;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
        ++p;
    }
    bool negative = false;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p]))) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
        value = std::min<std::int64_t>(value * 10 + (text[p] - '0'), 1'000'000'000);
        ++p;
    }
    pos = p;
    return negative ? -value : value;
}

void AssignRole(ParameterRoles& r, const ParameterRow& row) {
    const std::string n = Upper(row.name);
    const std::string units = Upper(row.units);
    auto take = [&](std::optional<std::uint16_t>& slot) {
        if (!slot) {
            slot = row.address;
            return true;
        }
        return false;
    };
    if (Has(n, "SECOND") || Has(n, "FILTER")) {
        return; // switched-in gains and filters do not steer this model
    }
    const bool gain = Has(n, "GAIN") || Has(n, "PROPORTIONAL");
    if (Has(n, "POSITION LOOP") && gain && !Has(n, "INTEGRAL")) {
        if (take(r.positionGain)) {
            r.positionGainPerSecond = units == "1/S";
        }
    } else if (Has(n, "SPEED LOOP") && Has(n, "INTEGRAL")) {
        if (take(r.speedIntegral)) {
            r.speedIntegralIsTime = Has(n, "TIME");
        }
    } else if (Has(n, "SPEED LOOP") && gain) {
        if (take(r.speedGain)) {
            r.speedGainHz = units == "HZ";
        }
    } else if (Has(n, "CURRENT LOOP PROPORTIONAL")) {
        take(r.currentKp);
    } else if (Has(n, "CURRENT LOOP INTEGRAL")) {
        take(r.currentKi);
    } else if (Has(n, "CURRENT LOOP BANDWIDTH")) {
        take(r.currentBandwidth);
    } else if (Has(n, "FOLLOWING ERROR LIMIT")) {
        take(r.followingLimit);
    } else if (Has(n, "CLOSED-LOOP PEAK CURRENT") || Has(n, "CLOSED LOOP PEAK CURRENT")) {
        take(r.peakCurrentPercent);
    } else if (Has(n, "RATED CURRENT")) {
        take(r.ratedCurrent);
    } else if (Has(n, "INERTIA RATIO")) {
        take(r.loadInertiaRatio);
    } else if (Has(n, "SPEED FEED-FORWARD") || Has(n, "SPEED FEEDFORWARD")) {
        take(r.speedFeedforward);
    } else if (Has(n, "ACCELERATION FEED-FORWARD") || Has(n, "TORQUE FEED-FORWARD")) {
        take(r.accelFeedforward);
    } else if (Has(n, "ENCODER RESOLUTION")) {
        take(r.encoderResolution);
    } else if (Has(n, "POLE PAIRS")) {
        take(r.polePairs);
    } else if (Has(n, "PHASE RESISTANCE")) {
        take(r.phaseResistance);
    } else if (Has(n, "PHASE INDUCTANCE")) {
        if (take(r.phaseInductance)) {
            r.inductanceUnitHenry = Has(units, "0.01 MH") ? 1e-5 : 1e-6;
        }
    } else if (Has(n, "TORQUE CONSTANT")) {
        take(r.torqueConstant);
    } else if (Has(n, "ROTOR INERTIA")) {
        take(r.rotorInertia);
    } else if (Has(n, "MAXIMUM SPEED")) {
        take(r.maxSpeed);
    }
}

} // namespace

std::optional<std::pair<std::int32_t, std::int32_t>> ParseRangeText(const std::string& text) {
    std::size_t pos = 0;
    // Some tables bracket a negative limit: "(-100)-100".
    std::string t;
    for (char c : text) {
        if (c != '(' && c != ')' && c != '[' && c != ']') {
            t.push_back(c);
        }
    }
    auto low = ReadSigned(t, pos);
    if (!low) {
        return std::nullopt;
    }
    while (pos < t.size() && t[pos] == ' ') {
        ++pos;
    }
    if (pos >= t.size() || (t[pos] != '-' && t[pos] != '~' && t[pos] != ',')) {
        return std::nullopt;
    }
    ++pos;
    auto high = ReadSigned(t, pos);
    if (!high) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<std::int32_t>(*low), static_cast<std::int32_t>(*high));
}

std::int32_t LeadingInteger(const std::string& text) {
    std::size_t pos = 0;
    auto v = ReadSigned(text, pos);
    return v ? static_cast<std::int32_t>(*v) : 0;
}

std::optional<int> PackedBitOf(const std::string& description) {
    const std::string n = Upper(description);
    if (Has(n, "EDGE") || Has(n, "\xE8\xBE\xB9\xE6\xB2\xBF")) {
        return 1;
    }
    if (Has(n, "MODE") || Has(n, "\xE6\xA8\xA1\xE5\xBC\x8F")) {
        return 0;
    }
    if (Has(n, "DIRECTION") || Has(n, "\xE6\x96\xB9\xE5\x90\x91")) {
        return 2;
    }
    return std::nullopt;
}

void AddParameterRows(ModelDescription& model, const std::vector<ParameterRow>& rows) {
    constexpr std::uint16_t kPacked = 255;
    std::map<std::uint16_t, std::size_t> seen;
    for (const auto& p : model.parameters) {
        seen[p.address] = 0;
    }
    int packedDefault = 0;
    bool packed = false;
    for (const ParameterRow& row : rows) {
        if (row.address == kPacked) {
            packed = true;
            if (auto bit = PackedBitOf(row.name)) {
                packedDefault |= (row.defaultValue != 0 ? 1 : 0) << *bit;
            } else {
                model.warnings.push_back("register 255 row names no packed setting: " + row.name);
            }
            continue;
        }
        if (seen.count(row.address) != 0) {
            model.warnings.push_back("second row for register " + std::to_string(row.address) +
                                     " left out: " + row.name);
            continue;
        }
        seen[row.address] = 0;
        model.parameters.push_back(row);
        AssignRole(model.roles, row);
    }
    if (packed && seen.count(kPacked) == 0) {
        ParameterRow bits;
        bits.address = kPacked;
        bits.name = "packed settings (MODE, EDGE, DIRECTION)";
        bits.defaultValue = packedDefault;
        bits.low = 0;
        bits.high = 7;
        model.parameters.push_back(bits);
    }
    std::sort(model.parameters.begin(), model.parameters.end(),
              [](const ParameterRow& a, const ParameterRow& b) { return a.address < b.address; });
}

} // namespace kestova::sim
