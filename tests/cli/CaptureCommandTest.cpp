// kestova-cli capture: what it writes before a test starts, and what it says when the drive or the
// line fails it. Against the simulated drive (TS-126 from the built DATA.mdb), and against a
// scripted drive on a pseudo-terminal where some registers must fail and the others answer.

#include "Cli.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

// A drive on a scripted line: the identity of TS-126 (protocol 310), a capture of 400 samples
// per channel that is complete (and triggered) at once, writes echoed. A read for which `silent`
// holds gets no answer.
class ScriptedDrive {
public:
    explicit ScriptedDrive(std::function<bool(std::uint16_t address)> silent)
        : silent_(std::move(silent)) {
        slave_.SetResponder([this](const kttest::Bytes& request) { return Answer(request); });
    }
    const std::string& Path() const { return slave_.SlavePath(); }

private:
    kttest::Bytes Answer(const kttest::Bytes& request) {
        if (request.size() != 8 || !kttest::CrcOk(request)) {
            return {};
        }
        const auto address = static_cast<std::uint16_t>(request[2] << 8 | request[3]);
        if (request[1] == 0x06) {
            return request; // a write is answered with itself
        }
        const int count = request[4] << 8 | request[5];
        if (request[1] != 0x03 || silent_(address) || count < 1 || count > 125) {
            return {};
        }
        kttest::Bytes reply{request[0], 0x03, static_cast<std::uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) {
            const auto it = registers_.find(static_cast<std::uint16_t>(address + i));
            const std::uint16_t value = it == registers_.end() ? 0 : it->second;
            reply.push_back(static_cast<std::uint8_t>(value >> 8));
            reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        return kttest::WithCrc(reply);
    }

    std::function<bool(std::uint16_t)> silent_;
    std::map<std::uint16_t, std::uint16_t> registers_{
        {0xFD, 12},  {0x47, 310}, {0x49, 7},   {0x4A, 100}, {0x45, 4},
        {0x46, 400}, {0xD0, 1},   {0xD1, 100}, {0xDA, 2},   {0x15, 100},
        {0x16, 300}, {0x18, 100}, {0x19, 1},   {0x1B, 100}, {0xF8, 2},
    };
    kttest::PtySlave slave_;
};

// Asked only for a speed, a move's capture spans the drive's whole move (100 rev/s^2 over one
// revolution: 600 rpm are reached as the ramp turns), from its start until it is at rest.
TEST_F(CaptureCommand, aMoveIsCapturedWholeFromItsStart) {
    ASSERT_NO_FATAL_FAILURE(StartDrive());
    std::ostringstream out, err;
    const int status = RunCli({"--database", KESTOVA_DATA_MDB, "capture", "--test", "motion",
                               "--ch1", "velocity-feedback", "--speed", "600"},
                              out, err);
    ASSERT_EQ(status, kSuccess) << err.str();
    std::istringstream csv(out.str());
    std::string line;
    std::getline(csv, line);
    std::vector<double> speeds;
    while (std::getline(csv, line)) {
        speeds.push_back(std::stod(line.substr(line.find(',') + 1)));
    }
    ASSERT_EQ(speeds.size(), 400U);
    EXPECT_LT(speeds.front(), 100.0);
    EXPECT_NEAR(*std::max_element(speeds.begin(), speeds.end()), 600.0, 40.0);
    EXPECT_NEAR(speeds.back(), 0.0, 10.0);
    EXPECT_NE(Holds(0xD0), 1);
}

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

// A drive that falls silent when asked for its channel count is a failure of the line, not a
// channel it cannot capture.
TEST_F(CaptureCommand, aChannelCountThatCannotBeReadIsALinkFailure) {
    std::atomic<bool> gone{false};
    ScriptedDrive drive([&](std::uint16_t address) {
        gone = gone || address == 0x45;
        return gone.load();
    });
    const Outcome run = Cli({"capture", "--port", drive.Path(), "--ch3", "position-error"});
    EXPECT_EQ(run.status, kNoDrive);
    EXPECT_NE(run.err.find("channel count (register 0x45) failed: link failure 60003"),
              std::string::npos)
        << run.err;
}

// The drive answers everything but the wave data; the stop after the capture is taken. The
// message names the failure of the read-out, not the link's state after the stop.
TEST_F(CaptureCommand, aReadOutThatGetsNoAnswerSaysSo) {
    ScriptedDrive drive([](std::uint16_t address) { return address >= 0x1000; });
    const Outcome run = Cli({"capture", "--port", drive.Path(), "--ch1", "velocity-feedback"});
    EXPECT_NE(run.status, kSuccess);
    EXPECT_EQ(run.err.find("no link failure"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Communication error, stop reading wave form...! (link failure 60003"),
              std::string::npos)
        << run.err;
}

} // namespace
