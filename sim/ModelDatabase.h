#pragma once

// Reads a drive model out of the model database DATA.mdb: its DriverTable row, its parameter
// table (addresses, defaults, ranges) and the alarm codes the drive raises itself.

#include "ModelDescription.h"

#include <optional>
#include <string>
#include <vector>

namespace kestova::sim {

// DATA.mdb beside the running program.
std::string DefaultDatabasePath();

// Loads the model with this drive code (and protocol version, when given; else the first row of
// that code with the highest protocol version). On failure returns nothing and says why in `error`.
std::optional<ModelDescription> LoadModel(const std::string& databasePath, int driveCode,
                                          std::optional<int> protocolVersion, std::string& error);

struct ModelSummary {
    int driveCode = 0;
    int protocolVersion = 0;
    std::string name;
    std::string series;
};

// Every DriverTable row, for --list-models.
std::vector<ModelSummary> ListModels(const std::string& databasePath, std::string& error);

} // namespace kestova::sim
