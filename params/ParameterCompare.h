#pragma once

// The rows in which the drive and a parameter set file disagree, with no widget.

#include "ParameterRules.h"

#include <string>
#include <vector>

namespace kestova::params {

struct RowDifference {
    int row = -1;           // the drive row, an index into the drive's rows
    std::string driveValue; // as the drive shows it
    std::string fileValue;  // as the drive would show it once written
};

// Each drive row whose file row (same Par. # and register) holds another value, in the drive's
// order. Rows found on one side only are left out: there is nothing to apply.
std::vector<RowDifference> CompareWithFile(const ParameterRows& driveRows,
                                           const ParameterRows& fileRows);

// The drive's rows with the chosen differences taken from the file.
ParameterRows MergeChosen(const ParameterRows& driveRows, const std::vector<RowDifference>& chosen);

} // namespace kestova::params
