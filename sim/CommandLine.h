#pragma once

// The command line of kestova-drive-sim.

#include "Drive.h"
#include "DriveSimulator.h"

#include <optional>
#include <string>
#include <vector>

namespace kestova::sim {

struct CommandLine {
    int driveCode = 12;
    std::optional<int> protocolVersion;
    std::string database; // empty: DATA.mdb beside the program
    bool builtin = false; // a built-in model instead of the database's
    bool listModels = false;
    bool help = false;
    DriveOptions drive;
    SimulatorOptions sim;
    std::vector<std::string> faults; // name=N or name@p
    std::optional<double> lateMs;
    std::optional<int> exceptionCode;
};

// Returns nothing and sets `error` when an argument is not understood.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

extern const char* const kUsage;

} // namespace kestova::sim
