#pragma once

// Realistic sweeps for the scope's tests, pictures and benchmark: a point-to-point move of a
// servo as a drive would capture it, and the host's way of feeding a sweep.

#include <array>
#include <cstdint>
#include <vector>

namespace kestova {
class Cscope;
}

namespace kttest {

struct Sweep {
    int samples = 0;
    int duration = 0; // time units (ms) the sweep covers
    std::array<std::uint32_t, 4> sources{};
    std::array<std::vector<float>, 4> values;
};

// A 600 RPM move: position error, speed feedback, speed target and A-phase current, sampled
// `samples` times over `duration` ms, with a little measurement noise (deterministic).
Sweep MoveSweep(int samples = 400, int duration = 200);

// The host page's calls for one sweep: sources, default ranges, axis, clear, enable from
// `shown`, then every sample of every channel with a source.
void Feed(kestova::Cscope& scope, const Sweep& sweep,
          std::array<bool, 4> shown = {true, true, true, true});

// The host page's set-up: units, default ranges, layers, clear.
void SetUpLikeHost(kestova::Cscope& scope);

} // namespace kttest
