#pragma once

// The search rule of the parameter list, with no widget.

#include "ParameterRules.h"

#include <string_view>

namespace kestova::params {

// A row matches a search when the text, trimmed, is empty or found (ASCII letters in any case)
// in its Par. # or its description.
bool MatchesSearch(const ParameterRow& row, std::string_view text);

} // namespace kestova::params
