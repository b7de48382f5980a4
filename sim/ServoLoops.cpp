#include "ServoLoops.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestova::sim {

namespace {
constexpr double kSpeedFilter = 0.5e-3; // s, smooths the encoder's count steps
constexpr double kAccelFilter = 2e-3;   // s
} // namespace

ServoLoops::ServoLoops(const MotorConstants& constants) : k_(constants) {}

std::int64_t ServoLoops::Encoder(const MotorPlant& plant) const {
    return static_cast<std::int64_t>(
        std::floor(plant.Angle() / (2.0 * std::numbers::pi) * k_.countsPerRev));
}

void ServoLoops::ResetIntegrators() {
    speedIntegral_ = 0;
    dIntegral_ = 0;
    qIntegral_ = 0;
    speedRef_ = 0;
    iqRef_ = 0;
    idRef_ = 0;
}

void ServoLoops::SetMode(LoopMode mode, const MotorPlant& plant) {
    if (mode == mode_) {
        return;
    }
    mode_ = mode;
    ResetIntegrators();
    feedback_ = Encoder(plant);
    command_ = static_cast<double>(feedback_);
}

void ServoLoops::Tick(MotorPlant& plant, double commandCounts, double velocityFeedforward,
                      double accelerationFeedforward, double dt) {
    // Sample.
    lastFeedback_ = feedback_;
    feedback_ = Encoder(plant);
    const double radPerCount = 2.0 * std::numbers::pi / k_.countsPerRev;
    const double rawSpeed = static_cast<double>(feedback_ - lastFeedback_) * radPerCount / dt;
    const double previousSpeed = speedEstimate_;
    speedEstimate_ += (rawSpeed - speedEstimate_) * dt / (kSpeedFilter + dt);
    accelEstimate_ +=
        ((speedEstimate_ - previousSpeed) / dt - accelEstimate_) * dt / (kAccelFilter + dt);
    command_ = commandCounts;

    double vd = 0;
    double vq = 0;
    if (mode_ != LoopMode::Disabled) {
        const double limit = gains_.currentLimit;
        if (mode_ == LoopMode::Position) {
            const double error = (command_ - static_cast<double>(feedback_)) * radPerCount;
            speedRef_ = gains_.positionGain * error + gains_.speedFeedforward * velocityFeedforward;
            const double inertia = plant.TotalInertia();
            const double kv =
                2.0 * std::numbers::pi * gains_.speedBandwidthHz * inertia / k_.torqueConstant;
            const double speedError = speedRef_ - speedEstimate_;
            const double feedforward =
                gains_.accelFeedforward * inertia * accelerationFeedforward / k_.torqueConstant;
            const double unclamped = kv * speedError + speedIntegral_ + feedforward;
            iqRef_ = std::clamp(unclamped, -limit, limit);
            if (unclamped == iqRef_ && gains_.speedIntegralMs > 0) {
                speedIntegral_ += kv * speedError * dt / (gains_.speedIntegralMs * 1e-3);
            }
            idRef_ = 0;
        } else {
            speedRef_ = 0;
            iqRef_ = 0;
            idRef_ = testCurrent_;
        }
        // Current loops; the integrators stop at the bus voltage so they do not wind up.
        const double bus = std::max(plant.BusVoltage(), 1.0);
        const double ed = idRef_ - plant.Id();
        const double eq = iqRef_ - plant.Iq();
        dIntegral_ = std::clamp(dIntegral_ + gains_.currentKi * ed * dt, -bus, bus);
        qIntegral_ = std::clamp(qIntegral_ + gains_.currentKi * eq * dt, -bus, bus);
        vd = gains_.currentKp * ed + dIntegral_;
        vq = gains_.currentKp * eq + qIntegral_;
        const double magnitude = std::hypot(vd, vq);
        if (magnitude > bus) {
            vd *= bus / magnitude;
            vq *= bus / magnitude;
        }
    } else {
        speedRef_ = 0;
        iqRef_ = 0;
        idRef_ = 0;
    }
    // The voltage worked out now reaches the winding in the next period.
    if (mode_ == LoopMode::Disabled) {
        plant.Coast(dt);
    } else {
        plant.Step(vdApplied_, vqApplied_, dt);
    }
    vdApplied_ = vd;
    vqApplied_ = vq;
}

} // namespace kestova::sim
