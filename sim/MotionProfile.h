#pragma once

// The motion test's move sequence: trapezoidal point-to-point moves (triangular when the distance
// is too short to reach the speed), separated by a dwell, repeated, one way or back and forth.

namespace kestova::sim {

struct ProfileSettings {
    double acceleration = 100.0; // rev/s^2
    double speedRpm = 100.0;
    double distance = 1.0; // rev, per move
    int repeat = 1;        // cycles: one move one way, or out and back
    bool counterClockwise = false;
    double intervalMs = 1000.0; // dwell between moves
    bool backAndForth = false;
};

struct Setpoint {
    double position = 0.0;     // rev, from the sequence's start
    double velocity = 0.0;     // rev/s
    double acceleration = 0.0; // rev/s^2
};

class MotionProfile {
public:
    void Start(const ProfileSettings& settings);
    // Ends the sequence with a ramp down at the set acceleration.
    void Stop();
    // Ends at once, as when the power stage trips.
    void Abort() {
        phase_ = Phase::Idle;
        current_.velocity = 0;
        current_.acceleration = 0;
    }
    // Moves on by dt seconds and gives the setpoint at the new time.
    Setpoint Advance(double dt);
    bool Running() const { return phase_ != Phase::Idle; }
    const Setpoint& Current() const { return current_; }

private:
    enum class Phase { Idle, Moving, Dwell, Stopping };

    void BeginMove();
    Setpoint MoveAt(double t) const;

    ProfileSettings s_;
    Phase phase_ = Phase::Idle;
    Setpoint current_;
    double origin_ = 0.0; // position at the start of the current move
    double sign_ = 1.0;
    double t_ = 0.0; // time in the current phase
    int movesLeft_ = 0;
    int moveIndex_ = 0;
    double peak_ = 0.0; // rev/s reached in this move
    double accelTime_ = 0.0;
    double cruiseTime_ = 0.0;
};

} // namespace kestova::sim
