#pragma once

// The rows in which the drive and a parameter set file disagree, and the search rule of the
// list, with no widget.

#include "ParameterRules.h"

#include <string>
#include <string_view>
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

// A row matches a search when the text, trimmed, is empty or found (ASCII letters in any case)
// in its Par. # or its description.
bool MatchesSearch(const ParameterRow& row, std::string_view text);

} // namespace kestova::params
