#pragma once

// The alarm registers 16..25: register 16 is the alarm in force (0: none), and together the ten
// registers are the log, newest first. Clearing the alarm in force leaves it in the log at 17.

#include <algorithm>
#include <array>
#include <cstdint>

namespace kestova::sim {

class AlarmLog {
public:
    static constexpr int kSize = 10;

    std::int16_t Current() const { return log_[0]; }
    std::int16_t Entry(int i) const { return log_[static_cast<std::size_t>(i)]; }

    // Returns false when the alarm is already the one in force.
    bool Raise(std::int16_t code) {
        if (code == 0 || log_[0] == code) {
            return false;
        }
        if (log_[0] != 0) {
            Push();
        }
        log_[0] = code;
        return true;
    }

    void ClearCurrent() {
        if (log_[0] != 0) {
            Push();
            log_[0] = 0;
        }
    }

    void ClearHistory() { std::fill(log_.begin() + 1, log_.end(), std::int16_t{0}); }

private:
    void Push() { std::copy_backward(log_.begin(), log_.end() - 1, log_.end()); }

    std::array<std::int16_t, kSize> log_{};
};

} // namespace kestova::sim
