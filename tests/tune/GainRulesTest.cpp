#include "GainRules.h"
#include "BuiltinModels.h"
#include "Drive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numbers>

namespace {

using namespace kestova::tune;

const MotorData kMotor{0.4, 4.8e-5};

MachineModel Machine(double inertia) {
    MachineModel m;
    m.inertia = inertia;
    return m;
}

TEST(GainRules, stifferSetting_raisesBandwidthAndEveryGainInProportion) {
    const MachineModel machine = Machine(3e-4);
    const auto soft = SpeedPositionRule(Stiffness::Soft, machine, kMotor, 0.0);
    const auto medium = SpeedPositionRule(Stiffness::Medium, machine, kMotor, 0.0);
    const auto stiff = SpeedPositionRule(Stiffness::Stiff, machine, kMotor, 0.0);

    EXPECT_LT(soft.speedBandwidthHz, medium.speedBandwidthHz);
    EXPECT_LT(medium.speedBandwidthHz, stiff.speedBandwidthHz);
    const double ratio = stiff.speedBandwidthHz / soft.speedBandwidthHz;
    EXPECT_NEAR(stiff.speedKp / soft.speedKp, ratio, 1e-9);
    EXPECT_NEAR(stiff.positionGain / soft.positionGain, ratio, 1e-9);
    EXPECT_NEAR(soft.speedIntegralMs / stiff.speedIntegralMs, ratio, 1e-9);
    // The position loop stays below the speed loop's integral corner, which stays below the
    // speed loop's crossover.
    const double wv = 2.0 * std::numbers::pi * medium.speedBandwidthHz;
    EXPECT_LT(medium.positionGain, 1000.0 / medium.speedIntegralMs);
    EXPECT_LT(1000.0 / medium.speedIntegralMs, wv);
}

TEST(GainRules, heavierLoad_raisesTheAppliedGainNotTheBandwidthParameter) {
    const auto light = SpeedPositionRule(Stiffness::Medium, Machine(1e-4), kMotor, 0.0);
    const auto heavy = SpeedPositionRule(Stiffness::Medium, Machine(4e-4), kMotor, 0.0);

    EXPECT_NEAR(heavy.speedKp / light.speedKp, 4.0, 1e-9);
    EXPECT_EQ(heavy.speedBandwidthHz, light.speedBandwidthHz);
    EXPECT_NEAR(light.loadInertiaRatio, 1e-4 / 4.8e-5 - 1.0, 1e-9);
    EXPECT_NEAR(heavy.loadInertiaRatio, 4e-4 / 4.8e-5 - 1.0, 1e-9);
    // Kv crosses the inertia over at the bandwidth: Kv Kt / J = wv.
    EXPECT_NEAR(heavy.speedKp * kMotor.torqueConstant / 4e-4,
                2.0 * std::numbers::pi * heavy.speedBandwidthHz, 1e-6);
}

TEST(GainRules, slowCurrentLoop_capsTheSpeedLoop) {
    const auto free = SpeedPositionRule(Stiffness::Stiff, Machine(3e-4), kMotor, 0.0);
    const auto capped = SpeedPositionRule(Stiffness::Stiff, Machine(3e-4), kMotor, 100.0);

    EXPECT_LE(capped.speedBandwidthHz, 100.0 / 4.0);
    EXPECT_LT(capped.speedBandwidthHz, free.speedBandwidthHz);
}

// The register values the rule gives, written to the simulated drive, make its loops run the
// rule's gains, and the inertia ratio tells it the identified inertia.
TEST(GainRules, registerValues_makeTheSimulatedDriveRunTheRulesGains) {
    auto model = kestova::sim::BuiltinModel(1);
    ASSERT_TRUE(model);
    kestova::sim::Drive drive(*model, {});
    const auto& k = drive.Plant().Constants();
    const MotorData motor{k.torqueConstant, k.rotorInertia};
    const auto gains =
        SpeedPositionRule(Stiffness::Stiff, Machine(6.0 * k.rotorInertia), motor, 0.0);
    const GainRegisterValues v = InDriveUnits(gains, GainUnits{});

    auto row = [&](const char* name) {
        for (const auto& p : model->parameters) {
            if (p.name == name) {
                return p.address;
            }
        }
        ADD_FAILURE() << name;
        return std::uint16_t{0};
    };
    auto write = [&](const char* name, int value) {
        EXPECT_FALSE(drive.Write(row(name), {static_cast<std::uint16_t>(value)}));
    };
    write("Speed loop gain", v.speedGain);
    write("Speed loop integral time", v.speedIntegral);
    write("Position loop gain", v.positionGain);
    write("Load inertia ratio", v.loadInertiaRatioPercent);

    const auto& applied = drive.Loops().Gains();
    EXPECT_NEAR(applied.speedBandwidthHz, gains.speedBandwidthHz, 0.5);
    EXPECT_NEAR(applied.speedIntegralMs, gains.speedIntegralMs, 0.05);
    EXPECT_NEAR(applied.positionGain, gains.positionGain, 0.5);
    EXPECT_NEAR(drive.Plant().TotalInertia(), 6.0 * k.rotorInertia, 0.01 * k.rotorInertia);
}

} // namespace
