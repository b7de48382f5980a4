#pragma once

// The motor behind the drive: a two-phase hybrid stepper or a three-phase servo motor, both
// modelled in the rotor's d-q frame. Windings are R-L circuits with back-EMF; the rotor carries
// its inertia plus an optional load, viscous and Coulomb friction and an optional load torque.
// The supply is a DC bus with ripple and some source resistance.

#include "ModelDescription.h"

namespace kestova::sim {

struct MotorConstants {
    double resistance = 0.6;       // ohm, per phase
    double inductance = 1.5e-3;    // henry, per phase
    double torqueConstant = 0.40;  // N m per ampere of q current; also V s/rad of back-EMF
    double rotorInertia = 4.8e-5;  // kg m^2
    double viscousFriction = 2e-4; // N m s/rad
    double coulombFriction = 0.03; // N m
    int polePairs = 50;
    int countsPerRev = 4000;           // encoder counts (pulses) per revolution
    double busVoltage = 70.0;          // volt
    double busRipple = 0.4;            // volt, amplitude at 100 Hz
    double busSourceResistance = 0.15; // ohm, the supply sags under load
    double currentLimit = 5.0;         // ampere, closed-loop peak current
    double overCurrentTrip = 7.5;      // ampere, the trip level: 1.5 times the peak current
    double maxSpeedRpm = 1500.0;
    int phases = 2;
};

MotorConstants DefaultMotor(MotorKind kind);

struct Load {
    double inertiaRatio = 0.0; // load inertia over rotor inertia
    double torque = 0.0;       // N m, opposing motion
};

class MotorPlant {
public:
    explicit MotorPlant(const MotorConstants& constants);

    // Advances by dt with the winding voltages held (zero-order hold), as a PWM stage does.
    void Step(double vd, double vq, double dt);
    // Advances with the power stage off: the windings carry no current, the rotor coasts.
    void Coast(double dt);
    void SetLoad(const Load& load) { load_ = load; }
    const Load& GetLoad() const { return load_; }
    double TotalInertia() const;

    double Angle() const { return angle_; } // mechanical, rad
    double Speed() const { return speed_; } // rad/s
    double Id() const { return id_; }
    double Iq() const { return iq_; }
    double PhaseA() const;
    double PhaseB() const;
    double CurrentMagnitude() const;
    double BusVoltage() const { return bus_; }
    double Time() const { return time_; }
    const MotorConstants& Constants() const { return k_; }

private:
    void Mechanics(double dt);
    void UpdateBus(double power);

    MotorConstants k_;
    Load load_;
    double angle_ = 0.0;
    double speed_ = 0.0;
    double id_ = 0.0;
    double iq_ = 0.0;
    double bus_ = 0.0;
    double time_ = 0.0;
    double decay_ = 0.0; // exp(-R dt / L) for the last dt
    double decayDt_ = -1.0;
};

} // namespace kestova::sim
