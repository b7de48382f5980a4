#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ktcom {

// A manual-reset event: once set it stays set, releasing every waiter, until it is reset.
class KtEvent {
public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
    }
    // Waits at most `limit`; true when the event is set.
    template <class Rep, class Period> bool WaitFor(std::chrono::duration<Rep, Period> limit) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, limit, [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

} // namespace ktcom
