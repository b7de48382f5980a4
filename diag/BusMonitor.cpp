#include "BusMonitor.h"

namespace kestova {

bool BusFilter::Accepts(const BusRecord& record) const {
    return (!station || *station == record.station) && (!verdict || *verdict == record.verdict);
}

BusMonitor::BusMonitor(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

void BusMonitor::Frame(const KtTapFrame& frame) {
    std::lock_guard lock(lock_);
    if (!origin_) {
        origin_ = frame.timeUs;
    }
    counters_.Add(frame);
    if (arrived_.size() >= capacity_) {
        arrived_.pop_front();
        ++overrun_;
    }
    arrived_.push_back(decoder_.Record(frame));
}

std::size_t BusMonitor::Drain() {
    std::deque<BusRecord> came;
    {
        std::lock_guard lock(lock_);
        came.swap(arrived_);
    }
    const std::size_t n = came.size();
    for (BusRecord& record : came) {
        if (filter_.Accepts(record)) {
            shown_.push_back(first_ + log_.size());
        }
        log_.push_back(std::move(record));
    }
    while (log_.size() > capacity_) {
        log_.pop_front();
        ++first_;
    }
    while (!shown_.empty() && shown_.front() < first_) {
        shown_.pop_front();
    }
    return n;
}

const BusRecord& BusMonitor::ShownAt(std::size_t row) const {
    return log_[static_cast<std::size_t>(shown_[row] - first_)];
}

void BusMonitor::SetFilter(const BusFilter& filter) {
    filter_ = filter;
    shown_.clear();
    for (std::size_t i = 0; i < log_.size(); ++i) {
        if (filter_.Accepts(log_[i])) {
            shown_.push_back(first_ + i);
        }
    }
}

void BusMonitor::Clear() {
    {
        std::lock_guard lock(lock_);
        arrived_.clear();
        counters_.Clear();
        overrun_ = 0;
        origin_.reset();
    }
    first_ += log_.size();
    log_.clear();
    shown_.clear();
}

std::vector<std::pair<std::uint8_t, KtStationCounts>> BusMonitor::Counters() const {
    std::lock_guard lock(lock_);
    std::vector<std::pair<std::uint8_t, KtStationCounts>> out;
    for (const std::uint8_t station : counters_.Stations()) {
        out.emplace_back(station, counters_.Of(station));
    }
    return out;
}

std::uint64_t BusMonitor::Overrun() const {
    std::lock_guard lock(lock_);
    return overrun_;
}

std::int64_t BusMonitor::OriginUs() const {
    std::lock_guard lock(lock_);
    return origin_.value_or(0);
}

std::string BusMonitor::Text() const {
    const std::int64_t origin = OriginUs();
    std::string text;
    for (std::size_t row = 0; row < shown_.size(); ++row) {
        text += LogLine(ShownAt(row), origin);
        text += '\n';
    }
    return text;
}

} // namespace kestova
