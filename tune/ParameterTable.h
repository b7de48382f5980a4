#pragma once

// The sequencer's view of a model's parameter table, from the rows the model database gives.

#include "ParameterRules.h"
#include "TuningSequencer.h"

#include <vector>

namespace kestova::tune {

// Every row but the bit rows of register 255, with its range.
std::vector<TableRow> TableOfParameterRows(const params::ParameterRows& rows);

} // namespace kestova::tune
