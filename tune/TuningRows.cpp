// The parameter rows the tuner works with, found in the model's table by their names and units,
// as the drives name them: the same reading the simulated drive gives its table.

#include "TuneSequence.h"

#include <algorithm>
#include <cctype>

namespace kestova::tune {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool Has(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

void Take(std::optional<TableRow>& slot, const TableRow& row) {
    if (!slot) {
        slot = row;
    }
}

} // namespace

TuningRows FindTuningRows(const std::vector<TableRow>& table) {
    TuningRows r;
    for (const TableRow& row : table) {
        const std::string n = Upper(row.name);
        const std::string units = Upper(row.units);
        if (Has(n, "SECOND") || Has(n, "FILTER")) {
            continue; // switched-in gain sets and filters are not tuned here
        }
        const bool gain = Has(n, "GAIN") || Has(n, "PROPORTIONAL");
        if (Has(n, "POSITION LOOP") && gain && !Has(n, "INTEGRAL")) {
            if (!r.positionGain) {
                r.units.positionGainPerSecond = units == "1/S";
            }
            Take(r.positionGain, row);
        } else if (Has(n, "SPEED LOOP") && Has(n, "INTEGRAL")) {
            if (!r.speedIntegral) {
                r.units.speedIntegralIsTime = Has(n, "TIME");
            }
            Take(r.speedIntegral, row);
        } else if (Has(n, "SPEED LOOP") && gain) {
            if (!r.speedGain) {
                r.units.speedGainHz = units == "HZ";
            }
            Take(r.speedGain, row);
        } else if (Has(n, "CURRENT LOOP PROPORTIONAL")) {
            Take(r.currentKp, row);
        } else if (Has(n, "CURRENT LOOP INTEGRAL")) {
            Take(r.currentKi, row);
        } else if (Has(n, "CURRENT LOOP BANDWIDTH")) {
            Take(r.currentBandwidth, row);
        } else if (Has(n, "INERTIA RATIO")) {
            Take(r.loadInertiaRatio, row);
        } else if (Has(n, "TORQUE CONSTANT")) {
            Take(r.torqueConstant, row);
        } else if (Has(n, "ROTOR INERTIA")) {
            Take(r.rotorInertia, row);
        } else if (Has(n, "ENCODER RESOLUTION")) {
            Take(r.encoderResolution, row);
        } else if (Has(n, "FOLLOWING ERROR LIMIT")) {
            Take(r.followingLimit, row);
        }
    }
    return r;
}

const char* StepName(TuneStep step) {
    switch (step) {
    case TuneStep::Current:
        return "current loop";
    case TuneStep::Identify:
        return "machine identification";
    case TuneStep::Loops:
        return "speed and position loops";
    }
    return "";
}

SpeedPositionGains Scaled(const SpeedPositionGains& gains, double factor) {
    SpeedPositionGains g = gains;
    g.speedBandwidthHz *= factor;
    g.speedKp *= factor;
    g.speedIntegralMs /= factor;
    g.positionGain *= factor;
    return g;
}

} // namespace kestova::tune
