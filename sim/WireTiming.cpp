#include "WireTiming.h"

#include <algorithm>

namespace kestova::sim {

namespace {
constexpr long long kBitsPerByte = 10; // start, eight data bits, stop
constexpr Micros kMinimumGap{1750};
} // namespace

Micros WireTiming::BytesTime(std::size_t bytes) const {
    if (baud <= 0) {
        return Micros{0};
    }
    const long long bits = static_cast<long long>(bytes) * kBitsPerByte;
    return Micros{(bits * 1'000'000 + baud - 1) / baud};
}

Micros WireTiming::ExchangeTime(std::size_t requestBytes, std::size_t replyBytes) const {
    if (baud <= 0) {
        return Micros{0};
    }
    return BytesTime(requestBytes) + turnaround + BytesTime(replyBytes);
}

Micros WireTiming::FrameGap() const {
    if (baud <= 0) {
        return kMinimumGap;
    }
    const Micros gap{(35LL * kBitsPerByte * 1'000'000 / 10 + baud - 1) / baud};
    return std::max(gap, kMinimumGap);
}

} // namespace kestova::sim
