#include "MachineIdentification.h"
#include "MotionProfile.h"
#include "ServoLoops.h"
#include "TraceSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace tunetest {
namespace {

using kestova::sim::LoopMode;
using kestova::sim::MotionProfile;
using kestova::sim::MotorConstants;
using kestova::sim::MotorPlant;
using kestova::sim::ProfileSettings;
using kestova::sim::ServoLoops;

double Share(double identified, double truth) {
    return std::abs(identified / truth - 1.0);
}

TEST(Identification, syntheticMoveWithNoise_recoversInertiaAndFriction) {
    const Truth truth;
    const MotionTrace trace = SyntheticTrace(truth, Move{}, 2e-3, 400, 0.02);
    const MotorData motor{truth.kt, 4.8e-5};

    const Identification id = IdentifyMachine(trace, motor);

    ASSERT_EQ(id.failure, IdentifyFailure::None);
    ASSERT_TRUE(id.model);
    const MachineModel& m = *id.model;
    EXPECT_LT(Share(m.inertia, truth.inertia), 0.03) << m.inertia;
    EXPECT_LT(Share(m.viscousFriction, truth.viscous), 0.05) << m.viscousFriction;
    EXPECT_LT(Share(m.coulombFriction, truth.coulomb), 0.05) << m.coulombFriction;
    EXPECT_NEAR(m.loadInertiaRatio, truth.inertia / motor.rotorInertia - 1.0, 0.2);
    std::printf("inertia %+.2f %%, Coulomb %+.2f %%, viscous %+.2f %%\n",
                100.0 * (m.inertia / truth.inertia - 1.0),
                100.0 * (m.coulombFriction / truth.coulomb - 1.0),
                100.0 * (m.viscousFriction / truth.viscous - 1.0));
}

// The simulated drive's stepper motor with a load of five times its rotor and a load torque,
// moved out and back at `speedRpm` under its own cascaded loops (their default gains), and
// captured every 2 ms in whole rpm and mA, as the drive's capture holds them.
struct SimulatedMove {
    MotorConstants k = kestova::sim::DefaultMotor(kestova::sim::MotorKind::Stepper);
    kestova::sim::Load load{5.0, 0.02};

    SimulatedMove() { k.viscousFriction = 1e-3; }

    double Inertia() const { return k.rotorInertia * (1.0 + load.inertiaRatio); }
    double Coulomb() const { return k.coulombFriction + load.torque; }

    MotionTrace Capture(double speedRpm, int phase) const {
        MotorPlant plant(k);
        plant.SetLoad(load);
        ServoLoops loops(k);
        loops.SetMode(LoopMode::Position, plant);
        MotionProfile profile;
        ProfileSettings s;
        s.acceleration = 100.0;
        s.speedRpm = speedRpm;
        s.distance = speedRpm / 300.0;
        s.backAndForth = true;
        s.intervalMs = 50.0;
        profile.Start(s);

        constexpr double dt = 100e-6;
        constexpr int ticksPerSample = 20;
        const double tau = 2.0 * std::numbers::pi;
        const double origin = static_cast<double>(loops.FeedbackCounts());
        MotionTrace trace;
        for (int tick = 0; tick < 400 * ticksPerSample; ++tick) {
            const bool moving = profile.Running();
            const auto sp = profile.Advance(dt);
            loops.Tick(plant, origin + sp.position * k.countsPerRev,
                       moving ? sp.velocity * tau : 0.0, moving ? sp.acceleration * tau : 0.0, dt);
            if (tick % ticksPerSample == phase) {
                trace.time.push_back(tick * dt);
                trace.speedRpm.push_back(std::round(loops.SpeedEstimate() * 60.0 / tau));
                trace.currentMa.push_back(std::round(plant.Iq() * 1000.0));
            }
        }
        return trace;
    }
};

TEST(Identification, simulatedPlantUnderItsLoops_inertiaWithin10PercentFrictionWithin20) {
    // Two moves, at 150 and 600 rpm: from one speed's plateau and ramps the fit tells viscous
    // from Coulomb friction only to about 25 %.
    const SimulatedMove sim;
    const int phase = 10; // samples taken halfway between the capture's base periods of 2 ms
    const Identification id =
        IdentifyMachine({sim.Capture(150.0, phase), sim.Capture(600.0, phase)},
                        {sim.k.torqueConstant, sim.k.rotorInertia});

    ASSERT_EQ(id.failure, IdentifyFailure::None);
    const MachineModel& m = *id.model;
    EXPECT_LT(Share(m.inertia, sim.Inertia()), 0.10) << m.inertia;
    EXPECT_LT(Share(m.coulombFriction, sim.Coulomb()), 0.20) << m.coulombFriction;
    EXPECT_LT(Share(m.viscousFriction, sim.k.viscousFriction), 0.20) << m.viscousFriction;
    EXPECT_NEAR(m.loadInertiaRatio, sim.load.inertiaRatio, 0.5);
    std::printf("lag %.1f, inertia %+.1f %%, Coulomb %+.1f %%, viscous %+.1f %%\n",
                m.speedLagSamples, 100.0 * (m.inertia / sim.Inertia() - 1.0),
                100.0 * (m.coulombFriction / sim.Coulomb() - 1.0),
                100.0 * (m.viscousFriction / sim.k.viscousFriction - 1.0));
}

// A move held at one speed shows no acceleration, and a single ramp cannot tell inertia from
// Coulomb friction: both say so rather than give a number.
TEST(Identification, traceThatCannotIdentify_saysWhy) {
    const Truth truth;
    const MotorData motor{truth.kt, 4.8e-5};
    // 1 ms samples: the ramp up takes the first 100, the plateau the next 150.
    const MotionTrace trace = SyntheticTrace(truth, Move{}, 1e-3, 250, 0.0);
    const MotionTrace plateau{{trace.time.begin() + 105, trace.time.end()},
                              {trace.speedRpm.begin() + 105, trace.speedRpm.end()},
                              {trace.currentMa.begin() + 105, trace.currentMa.end()}};
    const Identification flat = IdentifyMachine(plateau, motor);
    EXPECT_EQ(flat.failure, IdentifyFailure::NoAcceleration);
    EXPECT_FALSE(flat.model);

    const MotionTrace ramp{{trace.time.begin(), trace.time.begin() + 100},
                           {trace.speedRpm.begin(), trace.speedRpm.begin() + 100},
                           {trace.currentMa.begin(), trace.currentMa.begin() + 100}};
    EXPECT_EQ(IdentifyMachine(ramp, motor).failure, IdentifyFailure::Singular);

    const MotionTrace few{{0, 1e-3, 2e-3}, {100, 200, 300}, {500, 500, 500}};
    EXPECT_EQ(IdentifyMachine(few, motor).failure, IdentifyFailure::TooFewSamples);
}

} // namespace
} // namespace tunetest
