#pragma once

// The drive's cascaded control: a P position loop feeding a PI speed loop feeding PI current
// loops on the d and q axes, all sampled once per base period. The voltages computed in one
// period reach the winding in the next, as in a real drive, so high current gains ring and
// absurd ones go unstable.

#include "MotorPlant.h"

#include <cstdint>

namespace kestova::sim {

struct LoopGains {
    double currentKp = 7.85;        // V/A
    double currentKi = 2500.0;      // V/(A s)
    double speedBandwidthHz = 40.0; // the speed loop's proportional gain as a bandwidth
    double speedIntegralMs = 15.0;  // integral time of the speed loop
    double positionGain = 40.0;     // 1/s
    double currentLimit = 5.0;      // A
    double speedFeedforward = 1.0;  // share of the command's speed fed ahead of the position loop
    double accelFeedforward = 1.0;  // share of the command's acceleration fed to the current
};

enum class LoopMode {
    Disabled,    // power stage off, rotor free
    Position,    // following a position command
    CurrentTest, // a d-axis current step with the speed and position loops open
};

class ServoLoops {
public:
    explicit ServoLoops(const MotorConstants& constants);

    void SetGains(const LoopGains& gains) { gains_ = gains; }
    const LoopGains& Gains() const { return gains_; }
    // Entering position mode takes the present position as the command, so nothing jumps.
    void SetMode(LoopMode mode, const MotorPlant& plant);
    LoopMode Mode() const { return mode_; }
    void SetTestCurrent(double amperes) { testCurrent_ = amperes; }

    // One base period: samples the plant, runs the loops, advances the plant with the voltage
    // of the previous period.
    void Tick(MotorPlant& plant, double commandCounts, double velocityFeedforward,
              double accelerationFeedforward, double dt);

    std::int64_t FeedbackCounts() const { return feedback_; }
    double CommandCounts() const { return command_; }
    double FollowingError() const { return command_ - static_cast<double>(feedback_); }
    double SpeedEstimate() const { return speedEstimate_; } // rad/s
    double AccelEstimate() const { return accelEstimate_; } // rad/s^2
    double SpeedReference() const { return speedRef_; }     // rad/s
    double IqReference() const { return iqRef_; }
    double IdReference() const { return idRef_; }
    double Vd() const { return vdApplied_; }
    double Vq() const { return vqApplied_; }

private:
    std::int64_t Encoder(const MotorPlant& plant) const;
    void ResetIntegrators();

    MotorConstants k_;
    LoopGains gains_;
    LoopMode mode_ = LoopMode::Position;
    double testCurrent_ = 0.0;
    std::int64_t feedback_ = 0;
    std::int64_t lastFeedback_ = 0;
    double command_ = 0.0;
    double speedEstimate_ = 0.0;
    double accelEstimate_ = 0.0;
    double speedRef_ = 0.0;
    double speedIntegral_ = 0.0;
    double iqRef_ = 0.0;
    double idRef_ = 0.0;
    double dIntegral_ = 0.0;
    double qIntegral_ = 0.0;
    double vdApplied_ = 0.0;
    double vqApplied_ = 0.0;
};

} // namespace kestova::sim
