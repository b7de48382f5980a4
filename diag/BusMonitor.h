#pragma once

// The bus monitor without its widget: a tap on the link that hands each frame over from the
// link's thread under a brief lock, and a bounded log of records that the page drains a few times
// a second, with a filter, the counters per station and the log as text.

#include "BusLog.h"
#include "KtTap.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestova {

struct BusFilter {
    std::optional<std::uint8_t> station;
    std::optional<KtVerdict> verdict;
    bool Accepts(const BusRecord& record) const;
};

class BusMonitor final : public KtTap {
public:
    static constexpr std::size_t kDefaultCapacity = 100'000;
    explicit BusMonitor(std::size_t capacity = kDefaultCapacity);

    // The link's thread: records the frame and counts it. Quick: a copy of the bytes and a push.
    void Frame(const KtTapFrame& frame) override;

    // The rest is for one thread, the page's.
    // Moves the frames that came into the log, dropping the oldest past the capacity; returns
    // how many came.
    std::size_t Drain();
    // Frames in the log, and those the filter lets through.
    std::size_t Size() const { return log_.size(); }
    std::size_t Shown() const { return shown_.size(); }
    const BusRecord& ShownAt(std::size_t row) const;
    void SetFilter(const BusFilter& filter);
    const BusFilter& Filter() const { return filter_; }
    // Forgets the log, the frames not yet drained and the counters.
    void Clear();
    std::vector<std::pair<std::uint8_t, KtStationCounts>> Counters() const;
    // Frames lost because more came between two drains than the log holds.
    std::uint64_t Overrun() const;
    // When the first frame since the start or the last Clear came; times count from it.
    std::int64_t OriginUs() const;
    // The lines the filter lets through, each ended by a line feed.
    std::string Text() const;

private:
    const std::size_t capacity_;
    mutable std::mutex lock_; // the hand-over from the link's thread
    BusDecoder decoder_;
    std::deque<BusRecord> arrived_;
    KtBusCounters counters_;
    std::uint64_t overrun_ = 0;
    std::optional<std::int64_t> origin_;

    std::deque<BusRecord> log_;
    std::uint64_t first_ = 0;         // sequence number of log_.front()
    std::deque<std::uint64_t> shown_; // sequence numbers the filter lets through
    BusFilter filter_;
};

} // namespace kestova
