#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace ktcom {

// The bus lock: one exchange on the line at a time, with a bounded wait to get it. Waiters are
// served in the order they arrived, so a busy line cannot starve one caller past its wait while
// others keep taking the line. Built on a mutex and a condition variable rather than
// std::timed_mutex, whose timed wait goes through a libc call that ThreadSanitizer cannot see,
// which would hide real races behind false reports.
class BusLock {
public:
    bool try_lock_for(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        const std::uint64_t ticket = nextTicket_++;
        queue_.push_back(ticket);
        if (!free_.wait_for(lock, wait, [&] { return !held_ && queue_.front() == ticket; })) {
            queue_.erase(std::find(queue_.begin(), queue_.end(), ticket));
            lock.unlock();
            free_.notify_all(); // whoever stood behind this caller may be first now
            return false;
        }
        queue_.pop_front();
        held_ = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        free_.notify_all();
    }
    // Callers waiting for the line.
    std::size_t Waiting() {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable free_;
    std::deque<std::uint64_t> queue_;
    std::uint64_t nextTicket_ = 0;
    bool held_ = false;
};

} // namespace ktcom
