#pragma once

// How a command line names parameter rows, and the value a row shows once a text has been
// written to the drive and read back.

#include "ParameterRules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestova::cli {

// The rows a word names: its Par. # ("P0.05"), else its description ("Control mode"), both
// regardless of case, else, for a number (decimal or 0x hex), its register address (register
// 255 names each of its bit rows).
std::vector<std::size_t> FindRows(const params::ParameterRows& rows, const std::string& word);

int AddressOf(const params::ParameterRow& row);

// The rows' numbers, "P0.05, P1.02" (a row without one as "register N").
std::string RowNumbers(const params::ParameterRows& rows, const std::vector<int>& which);

// The Value text the page shows for the row after `text` went to the drive and came back: a bit
// row its bit, a register shown unsigned 0..65535, any other the signed 16-bit value. A text no
// register holds ("12.9", 70000) stays as it is, so it differs from every value read.
std::string ShownValue(const params::ParameterRow& row, std::string_view text);

} // namespace kestova::cli
