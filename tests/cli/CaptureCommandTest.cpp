// kestova-cli capture: what it writes before a test starts. Against the simulated drive (TS-126
// from the built DATA.mdb).

#include "Cli.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kestova::cli;
using kestova::sim::Drive;
using kestova::sim::DriveSimulator;

namespace {

struct Outcome {
    int status;
    std::string err;
};

Outcome Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--database", KESTOVA_DATA_MDB});
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, err.str()};
}

class CaptureCommand : public ::testing::Test {
protected:
    void StartDrive() {
        std::string error;
        auto model = kestova::sim::LoadModel(KESTOVA_DATA_MDB, 12, 310, error);
        ASSERT_TRUE(model.has_value()) << error;
        sim = std::make_unique<DriveSimulator>(std::move(*model), kestova::sim::DriveOptions{},
                                               kestova::sim::SimulatorOptions{});
        ASSERT_TRUE(sim->Start(error)) << error;
    }
    int Holds(std::uint16_t address) {
        return sim->WithDrive([&](Drive& d) { return d.Read(address, 1).values.at(0); });
    }
    bool Moving() {
        return sim->WithDrive([](Drive& d) { return d.MotionRunning(); });
    }

    kttest::TempPortDir ports;
    std::unique_ptr<DriveSimulator> sim;
};

// The tool checks what it is asked to write before it sends anything: a speed below 1 (the
// rotation gives the direction), one that would arrive wrapped, a current of 99 A in a register
// of mA.
TEST_F(CaptureCommand, valuesOutOfRangeAreRefusedBeforeAnythingIsWritten) {
    ASSERT_NO_FATAL_FAILURE(StartDrive());
    const int speed = Holds(0x16);
    const std::vector<std::vector<std::string>> asks = {
        {"--test", "motion", "--speed", "-20"},
        {"--test", "motion", "--speed", "50000"},
        {"--test", "current", "--current", "99"},
    };
    for (std::vector<std::string> ask : asks) {
        SCOPED_TRACE(ask[3]);
        ask.insert(ask.begin(), "capture");
        ask.insert(ask.end(), {"--ch1", "synthetic-current"});
        const Outcome run = Cli(ask);
        EXPECT_EQ(run.status, kRefused);
        EXPECT_NE(run.err.find("is out of the range"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Holds(0x16), speed);
    EXPECT_EQ(Holds(0x02), 0);
    EXPECT_FALSE(Moving());
}

// A value the tool may write but the drive refuses ends the command before the start.
TEST_F(CaptureCommand, aSettingTheDriveRefusesEndsItBeforeTheStart) {
    ASSERT_NO_FATAL_FAILURE(StartDrive());
    const int speed = Holds(0x16);
    const int tooFast = sim->WithDrive(
        [](Drive& d) { return static_cast<int>(d.Plant().Constants().maxSpeedRpm) + 1; });
    const Outcome run = Cli({"capture", "--test", "motion", "--ch1", "velocity-feedback", "--speed",
                             std::to_string(tooFast)});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_EQ(run.err, "kestova-cli: the drive refused the speed (register 0x16, value " +
                           std::to_string(tooFast) + "); the test was not started\n");
    EXPECT_EQ(Holds(0x16), speed);
    EXPECT_FALSE(Moving());
}

} // namespace
