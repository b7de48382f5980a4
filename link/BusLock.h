#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ktcom {

// The bus lock: one exchange on the line at a time, with a bounded wait to get it. Built on a
// mutex and a condition variable rather than std::timed_mutex, whose timed wait goes through a
// libc call that ThreadSanitizer cannot see, which would hide real races behind false reports.
class BusLock {
public:
    bool try_lock_for(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (!free_.wait_for(lock, wait, [this] { return !held_; })) {
            return false;
        }
        held_ = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        free_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable free_;
    bool held_ = false;
};

} // namespace ktcom
