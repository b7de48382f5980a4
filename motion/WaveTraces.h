#pragma once

// A finished capture turned into the traces the scope is fed: which channels are taken, their
// points, and the time the sweep spans.

#include "CaptureSettings.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kestova::motion {

struct WaveTraces {
    int points = 0;           // n, per channel
    int timeSpan = 0;         // ms the sweep spans
    long long timeSpanUs = 0; // the same in microseconds
    std::array<bool, 4> taken{};
    std::array<std::vector<float>, 4> samples; // of the channels taken, n each
};

// n points per channel from a copy of the sample buffer: channel c (with a source) from words
// (c - 1) x n on, its last point repeating the one before it. The sweep spans n x M x P / 1000 ms
// in the later protocol and T in the earlier one.
// The time axis a sweep is shown on: a capture shorter than 100 ms in microseconds, so that a
// rise of a few tenths of a millisecond spans more than the fewest time units a zoom takes;
// longer ones in ms.
struct SweepTimeAxis {
    const char* unit = "ms";
    int span = 0;
};
SweepTimeAxis TimeAxisOf(const WaveTraces& traces);

WaveTraces MakeWaveTraces(const std::vector<std::int16_t>& buffer, int n,
                          const std::array<std::uint16_t, 4>& sources, bool laterProtocol,
                          int basePeriod, int multiplier, int traceTime);

} // namespace kestova::motion
