#include "MotionProfile.h"

#include <algorithm>
#include <cmath>

namespace kestova::sim {

void MotionProfile::Start(const ProfileSettings& settings) {
    s_ = settings;
    current_ = Setpoint{};
    moveIndex_ = 0;
    movesLeft_ = std::max(settings.repeat, 1) * (settings.backAndForth ? 2 : 1);
    BeginMove();
}

void MotionProfile::BeginMove() {
    const double a = std::max(s_.acceleration, 1e-6);
    const double v = std::max(s_.speedRpm / 60.0, 1e-6);
    const double d = std::abs(s_.distance);
    sign_ = s_.counterClockwise ? -1.0 : 1.0;
    if (s_.backAndForth && moveIndex_ % 2 == 1) {
        sign_ = -sign_;
    }
    peak_ = std::min(v, std::sqrt(d * a));
    accelTime_ = peak_ / a;
    cruiseTime_ = peak_ > 0 ? (d - peak_ * peak_ / a) / peak_ : 0.0;
    origin_ = current_.position;
    t_ = 0.0;
    phase_ = Phase::Moving;
}

Setpoint MotionProfile::MoveAt(double t) const {
    const double a = peak_ > 0 ? peak_ / accelTime_ : 0.0;
    const double total = 2 * accelTime_ + cruiseTime_;
    double pos = 0;
    double vel = 0;
    double acc = 0;
    if (t <= accelTime_) {
        acc = a;
        vel = a * t;
        pos = 0.5 * a * t * t;
    } else if (t <= accelTime_ + cruiseTime_) {
        vel = peak_;
        pos = 0.5 * peak_ * accelTime_ + peak_ * (t - accelTime_);
    } else if (t < total) {
        const double r = total - t;
        acc = -a;
        vel = a * r;
        pos = std::abs(s_.distance) - 0.5 * a * r * r;
    } else {
        pos = std::abs(s_.distance);
    }
    return Setpoint{origin_ + sign_ * pos, sign_ * vel, sign_ * acc};
}

void MotionProfile::Stop() {
    if (phase_ == Phase::Moving && std::abs(current_.velocity) > 0) {
        phase_ = Phase::Stopping;
        return;
    }
    phase_ = Phase::Idle;
    current_.velocity = 0;
    current_.acceleration = 0;
}

Setpoint MotionProfile::Advance(double dt) {
    switch (phase_) {
    case Phase::Idle:
        break;
    case Phase::Moving: {
        t_ += dt;
        const double total = 2 * accelTime_ + cruiseTime_;
        current_ = MoveAt(std::min(t_, total));
        if (t_ >= total) {
            current_.velocity = 0;
            current_.acceleration = 0;
            --movesLeft_;
            ++moveIndex_;
            if (movesLeft_ <= 0) {
                phase_ = Phase::Idle;
            } else {
                phase_ = Phase::Dwell;
                t_ = 0;
            }
        }
        break;
    }
    case Phase::Dwell:
        t_ += dt;
        if (t_ * 1000.0 >= s_.intervalMs) {
            BeginMove();
        }
        break;
    case Phase::Stopping: {
        const double a = std::max(s_.acceleration, 1e-6);
        const double v = current_.velocity;
        const double dv = std::min(std::abs(v), a * dt);
        const double next = v - std::copysign(dv, v);
        current_.position += 0.5 * (v + next) * dt;
        current_.velocity = next;
        current_.acceleration = next == 0 ? 0 : -std::copysign(a, v);
        if (next == 0) {
            phase_ = Phase::Idle;
        }
        break;
    }
    }
    return current_;
}

} // namespace kestova::sim
