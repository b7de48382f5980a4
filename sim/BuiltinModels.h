#pragma once

// Small model descriptions built into the simulator, for tests of the drive core that should not
// depend on the model database, and for running without one.

#include "ModelDescription.h"

namespace kestova::sim {

// Drive codes: 1 a closed-loop stepper of the later protocol, 2 the same of the earlier
// protocol, 256 a servo drive with configurable inputs and outputs. Other codes give nothing.
std::optional<ModelDescription> BuiltinModel(int driveCode);

} // namespace kestova::sim
