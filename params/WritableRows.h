#pragma once

// Which rows of a parameter set may be written to a drive, with no widget. A file's rows are shown
// as the file has them, but only the connected model's own parameters, with values that pass the
// range check, reach the drive: a file must not start a move or a factory reset through a command
// register, nor write a blank line's empty cells into register 0.

#include "ParameterRules.h"

#include <string>
#include <vector>

namespace kestova::params {

struct RowRefusal {
    int row = -1;       // index into the rows checked
    std::string reason; // "P0.99 (register 250): not a parameter of this drive"
};

// The rows of `rows` that may not be written to a drive whose parameter table is `table`. A row
// may be written when its address is wholly the number of one of the table's parameters (a bit
// row of register 255 also by the bit its description names) and its value passes ValueToWrite
// against that parameter's Range and register. The bit rows share register 255, each write
// carrying all three bits: when one of them may not be written, none of them is.
std::vector<RowRefusal> RowsNotWritable(const ParameterRows& rows, const ParameterRows& table);

// `rows` without the refused ones; `kept` gets each remaining row's index in `rows`.
ParameterRows WritableRows(const ParameterRows& rows, const std::vector<RowRefusal>& refused,
                           std::vector<int>& kept);

} // namespace kestova::params
