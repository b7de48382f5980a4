#include "WaveTraces.h"

#include <algorithm>
#include <climits>

namespace kestova::motion {

SweepTimeAxis TimeAxisOf(const WaveTraces& traces) {
    constexpr long long kFineBelowUs = 100'000;
    if (traces.timeSpanUs > 0 && traces.timeSpanUs < kFineBelowUs) {
        return {"us", static_cast<int>(traces.timeSpanUs)};
    }
    return {"ms", traces.timeSpan};
}

WaveTraces MakeWaveTraces(const std::vector<std::int16_t>& buffer, int n,
                          const std::array<std::uint16_t, 4>& sources, bool laterProtocol,
                          int basePeriod, int multiplier, int traceTime) {
    WaveTraces traces;
    traces.points = std::max(n, 0);
    if (laterProtocol) {
        const long long span =
            static_cast<long long>(traces.points) * multiplier * basePeriod / 1000;
        traces.timeSpan = static_cast<int>(std::clamp<long long>(span, INT_MIN, INT_MAX));
        traces.timeSpanUs = static_cast<long long>(traces.points) * multiplier * basePeriod;
    } else {
        traces.timeSpan = traceTime;
        traces.timeSpanUs = static_cast<long long>(traceTime) * 1000;
    }
    for (int c = 1; c <= 4; ++c) {
        const auto k = static_cast<std::size_t>(c - 1);
        const std::size_t first = ChannelOffset(c, traces.points);
        if (sources[k] == 0 || traces.points == 0 ||
            first + static_cast<std::size_t>(traces.points) > buffer.size()) {
            continue;
        }
        traces.taken[k] = true;
        std::vector<float>& points = traces.samples[k];
        points.reserve(static_cast<std::size_t>(traces.points));
        for (int i = 0; i < traces.points; ++i) {
            points.push_back(static_cast<float>(buffer[first + static_cast<std::size_t>(i)]));
        }
        if (points.size() >= 2) {
            points.back() = points[points.size() - 2];
        }
    }
    return traces;
}

} // namespace kestova::motion
