#pragma once

// A capture as text: the shown channels' sweeps, one row per sample.

#include "ScopeState.h"

#include <QString>

namespace kestova {

// CSV with a header row "Time (ms),<channel title>,..." (titles carry the units), then per
// sample its time and each shown channel's value. Rows run to the shortest shown sweep.
QString CaptureCsv(const ScopeState& state);

} // namespace kestova
