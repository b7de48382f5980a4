// Running counters of the tap's frames, per station.

#include "KtTap.h"

#include <algorithm>
#include <bit>

KtTap::~KtTap() = default;

std::uint64_t KtStationCounts::ExceptionTotal() const {
    std::uint64_t total = 0;
    for (const auto& [code, n] : exceptions) {
        total += n;
    }
    return total;
}

void KtBusCounters::Add(const KtTapFrame& frame) {
    Station& s = stations_[frame.station];
    KtStationCounts& c = s.counts;
    switch (frame.verdict) {
    case KtVerdict::Sent:
        ++(frame.attempt == 0 ? c.requests : c.retries);
        break;
    case KtVerdict::Taken:
        ++c.answers;
        if (frame.answerUs >= 0) {
            if (s.histogram.empty()) {
                s.histogram.assign(kBuckets, 0);
            }
            ++s.histogram[Bucket(frame.answerUs)];
            ++s.timed;
            c.answerMax = std::max(c.answerMax, frame.answerUs);
        }
        break;
    case KtVerdict::CrcFailure:
        ++c.crcFailures;
        break;
    case KtVerdict::NoAnswer:
        ++c.timeOuts;
        break;
    case KtVerdict::Foreign:
        ++c.foreignDropped;
        break;
    case KtVerdict::Late:
        ++c.lateDropped;
        break;
    case KtVerdict::Exception:
        ++c.exceptions[frame.exceptionCode];
        break;
    }
}

void KtBusCounters::Clear() {
    stations_.clear();
}

std::vector<std::uint8_t> KtBusCounters::Stations() const {
    std::vector<std::uint8_t> out;
    for (const auto& [station, s] : stations_) {
        out.push_back(station);
    }
    return out;
}

KtStationCounts KtBusCounters::Of(std::uint8_t station) const {
    const auto it = stations_.find(station);
    if (it == stations_.end()) {
        return {};
    }
    KtStationCounts c = it->second.counts;
    const Station& s = it->second;
    // The quantile is the first bucket that holds the rank-th smallest time.
    auto quantile = [&s](double q) -> std::int64_t {
        const auto rank = static_cast<std::uint64_t>(q * static_cast<double>(s.timed - 1)) + 1;
        std::uint64_t seen = 0;
        for (std::size_t b = 0; b < s.histogram.size(); ++b) {
            seen += s.histogram[b];
            if (seen >= rank) {
                return BucketValue(b);
            }
        }
        return 0;
    };
    if (s.timed > 0) {
        c.answerP50 = std::min(quantile(0.50), c.answerMax);
        c.answerP99 = std::min(quantile(0.99), c.answerMax);
    }
    return c;
}

// Times under 32 us have a bucket each; above, each power of two is cut into 32 buckets.
std::size_t KtBusCounters::Bucket(std::int64_t us) {
    const auto v = static_cast<std::uint64_t>(std::max<std::int64_t>(us, 0));
    if (v < 32) {
        return static_cast<std::size_t>(v);
    }
    const int shift = std::bit_width(v) - 6; // keeps the five bits below the top one
    const auto mantissa = static_cast<std::size_t>(v >> shift);
    return std::min<std::size_t>(32 + static_cast<std::size_t>(shift) * 32 + (mantissa - 32),
                                 kBuckets - 1);
}

// The middle of the bucket's range.
std::int64_t KtBusCounters::BucketValue(std::size_t bucket) {
    if (bucket < 32) {
        return static_cast<std::int64_t>(bucket);
    }
    const std::size_t shift = (bucket - 32) / 32;
    const std::uint64_t mantissa = (bucket - 32) % 32 + 32;
    return static_cast<std::int64_t>((mantissa << shift) + ((std::uint64_t{1} << shift) >> 1));
}
