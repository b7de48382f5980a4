#include "MotorPlant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestova::sim {

MotorConstants DefaultMotor(MotorKind kind) {
    MotorConstants k;
    if (kind == MotorKind::Stepper) {
        return k;
    }
    {
        // A 400 W, 3000 rpm servo motor on a rectified 220 V supply.
        k.resistance = 1.2;
        k.inductance = 3.5e-3;
        k.torqueConstant = 0.64;
        k.rotorInertia = 3.4e-5;
        k.viscousFriction = 1e-4;
        k.coulombFriction = 0.02;
        k.polePairs = 5;
        k.countsPerRev = 10000;
        k.busVoltage = 310.0;
        k.busRipple = 5.0;
        k.busSourceResistance = 0.5;
        k.currentLimit = 6.0;
        k.overCurrentTrip = 1.5 * k.currentLimit;
        k.maxSpeedRpm = 5000.0;
        k.phases = 3;
    }
    return k;
}

MotorPlant::MotorPlant(const MotorConstants& constants) : k_(constants), bus_(k_.busVoltage) {}

double MotorPlant::TotalInertia() const {
    return k_.rotorInertia * (1.0 + load_.inertiaRatio);
}

void MotorPlant::Coast(double dt) {
    id_ = 0;
    iq_ = 0;
    Mechanics(dt);
    UpdateBus(0.0);
}

void MotorPlant::Step(double vd, double vq, double dt) {
    if (dt != decayDt_) {
        decay_ = std::exp(-k_.resistance * dt / k_.inductance);
        decayDt_ = dt;
    }
    const double we = k_.polePairs * speed_;
    // Cross-coupling and back-EMF held over the step; the R-L response itself is exact.
    const double ed = -we * k_.inductance * iq_;
    const double eq = we * k_.inductance * id_ + k_.torqueConstant * speed_;
    const double idEnd = (vd - ed) / k_.resistance;
    const double iqEnd = (vq - eq) / k_.resistance;
    id_ = idEnd + (id_ - idEnd) * decay_;
    iq_ = iqEnd + (iq_ - iqEnd) * decay_;

    Mechanics(dt);
    UpdateBus(vd * id_ + vq * iq_);
}

void MotorPlant::Mechanics(double dt) {
    const double torque = k_.torqueConstant * iq_;
    const double inertia = TotalInertia();
    const double drive = torque - load_.torque * (speed_ > 0 ? 1.0 : speed_ < 0 ? -1.0 : 0.0);
    double next = speed_ + (drive - k_.viscousFriction * speed_) / inertia * dt;
    if (speed_ == 0.0 && std::abs(drive) <= k_.coulombFriction) {
        next = 0.0; // static friction holds the rotor
    } else {
        const double direction =
            speed_ != 0.0 ? (speed_ > 0 ? 1.0 : -1.0) : (drive > 0 ? 1.0 : -1.0);
        next -= direction * k_.coulombFriction / inertia * dt;
        if (speed_ != 0.0 && next * speed_ < 0.0) {
            next = 0.0; // friction stops the rotor; it does not push it back
        }
    }
    angle_ += 0.5 * (speed_ + next) * dt;
    speed_ = next;
    time_ += dt;
}

void MotorPlant::UpdateBus(double power) {
    // Ripple from the rectifier, sag from the power drawn.
    const double supplyCurrent = power / std::max(bus_, 1.0);
    bus_ = k_.busVoltage + k_.busRipple * std::sin(2.0 * std::numbers::pi * 100.0 * time_) -
           k_.busSourceResistance * supplyCurrent;
}

double MotorPlant::PhaseA() const {
    const double theta = k_.polePairs * angle_;
    return id_ * std::cos(theta) - iq_ * std::sin(theta);
}

double MotorPlant::PhaseB() const {
    const double theta = k_.polePairs * angle_;
    const double alpha = id_ * std::cos(theta) - iq_ * std::sin(theta);
    const double beta = id_ * std::sin(theta) + iq_ * std::cos(theta);
    if (k_.phases == 3) {
        return -0.5 * alpha + std::sqrt(3.0) / 2.0 * beta;
    }
    return beta;
}

double MotorPlant::CurrentMagnitude() const {
    return std::hypot(id_, iq_);
}

} // namespace kestova::sim
