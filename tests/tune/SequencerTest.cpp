// The tuning sequencer against the simulated servo drive (TA-240 from the built DATA.mdb) on a
// real pseudo-terminal: a whole sequence tunes it, and an early end at each step (Stop, an alarm
// the drive raises, a line that stops answering) leaves every register as it was.

#include "DriveSimulator.h"
#include "KTCOM.h"
#include "ModelDatabase.h"
#include "PtySlave.h"
#include "TuningSequencer.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <thread>

using namespace kestova::tune;
using kestova::sim::Drive;
using kestova::sim::DriveSimulator;
using kestova::sim::LineFault;

namespace {

constexpr std::uint8_t kStation = 1;
constexpr int kServo = 21; // TA-240: torque constant, rotor inertia and load inertia ratio rows

class Sequencer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        auto model = kestova::sim::LoadModel(KESTOVA_DATA_MDB, kServo, 320, error);
        ASSERT_TRUE(model.has_value()) << error;
        for (const kestova::sim::ParameterRow& row : model->parameters) {
            table.push_back({row.address, "P" + std::to_string(row.address), row.name, row.units,
                             row.low, row.high});
        }
        kestova::sim::SimulatorOptions options;
        options.portName = "COM9";
        sim = std::make_unique<DriveSimulator>(std::move(*model), kestova::sim::DriveOptions{},
                                               options);
        ASSERT_TRUE(sim->Start(error)) << error;
        link.ConfigCom("COM9", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(500);
        ASSERT_EQ(link.OpenCom(), 1);
        link.SetCurrentUseMode(1);
    }
    void TearDown() override {
        link.CloseCom();
        if (sim) {
            sim->Stop();
        }
    }

    // Every register a sequence could touch: the model's parameters and the tests' settings.
    std::map<std::uint16_t, std::uint16_t> Registers() {
        return sim->WithDrive([this](Drive& d) {
            std::map<std::uint16_t, std::uint16_t> held;
            auto keep = [&](std::uint16_t address) {
                const auto r = d.Read(address, 1);
                if (!r.error && !r.values.empty()) {
                    held[address] = r.values[0];
                }
            };
            for (const TableRow& row : table) {
                keep(row.address);
            }
            for (std::uint16_t a : {0x00, 0x01, 0x04, 0x15, 0x16, 0x18, 0x19, 0x1A, 0x1B, 0x1C,
                                    0x40, 0x41, 0x42, 0x43, 0x44, 0xD0, 0xF5, 0xF6, 0xF7}) {
                keep(a);
            }
            return held;
        });
    }

    // Runs `plan`, doing `act` once at the first report of `kind` in `step`.
    TuneOutcome RunUntil(TuningSequencer& s, TunePlan plan, TuneStep step, TuneProgress::Kind kind,
                         const std::function<void()>& act) {
        bool done = false;
        s.SetProgress([&](const TuneProgress& p) {
            if (!done && p.kind == kind && p.step == step) {
                done = true;
                act();
            }
        });
        return s.Run(plan);
    }

    void ExpectAsBefore(const std::map<std::uint16_t, std::uint16_t>& before) {
        const auto after = Registers();
        for (const auto& [address, value] : before) {
            EXPECT_EQ(after.at(address), value) << "register " << address;
        }
    }

    TuneSettings Limits() const {
        TuneSettings settings;
        settings.maxDistanceRev = 2.0;
        settings.maxSpeedRpm = 600;
        return settings;
    }
    TuneDrive OnTheLine() const { return {kStation, 320, true}; }

    kttest::TempPortDir ports;
    std::vector<TableRow> table;
    std::unique_ptr<DriveSimulator> sim;
    CKTCOM link;
};

TEST_F(Sequencer, TunesTheWholeSequenceAndRevertPutsEveryRegisterBack) {
    // A load of five times the rotor's inertia, as the drive is told.
    sim->WithDrive([](kestova::sim::Drive& d) { return d.Write(83, {500}); });
    const auto before = Registers();
    TuningSequencer s(link, OnTheLine(), table, Limits());
    const TuneOutcome o = s.Run(TunePlan::All);
    ASSERT_EQ(o.end, TuneEnd::Done) << o.message;
    ASSERT_TRUE(o.current && o.machine && o.loops);
    EXPECT_LE(o.current->overshootPercent, 5.0);
    EXPECT_NEAR(o.machine->loadInertiaRatio, 5.0, 0.5);
    EXPECT_TRUE(o.loops->passed);
    EXPECT_LE(o.loops->overshootPercent, 5.0);
    EXPECT_LE(o.captures, 12);
    EXPECT_FALSE(o.changes.empty());
    EXPECT_TRUE(s.Revert().empty());
    ExpectAsBefore(before);
}

class SequencerAbort : public Sequencer,
                       public ::testing::WithParamInterface<std::tuple<TuneStep, int>> {};

enum Cause { kStop, kAlarm, kLine };

TEST_P(SequencerAbort, EndsAndWritesEveryOriginalBack) {
    const auto [step, cause] = GetParam();
    const auto before = Registers();
    TuningSequencer s(link, OnTheLine(), table, Limits());
    // The person presses Stop on another thread while the step goes on.
    std::promise<void> tried;
    std::thread stopper([&s, &tried, cause = cause] {
        auto seen = tried.get_future();
        if (cause == kStop &&
            seen.wait_for(std::chrono::seconds(60)) == std::future_status::ready) {
            s.Stop();
        }
    });
    // The line fails once the step has changed something: after its first capture.
    const auto when = cause == kLine ? TuneProgress::Kind::Capture : TuneProgress::Kind::Trying;
    const TuneOutcome o = RunUntil(s, TunePlan::All, step, when, [&] {
        switch (cause) {
        case kStop:
            tried.set_value();
            break;
        case kAlarm:
            sim->WithDrive([](kestova::sim::Drive& d) {
                d.RaiseAlarm(d.Model().alarms.followingError);
                return 0;
            });
            break;
        case kLine:
            // Long enough for an exchange to fail after all its attempts; then it answers again.
            sim->Faults().Set(LineFault::NoReply, {.count = 4});
            break;
        }
    });
    if (cause != kStop) {
        tried.set_value();
    }
    stopper.join();
    const TuneEnd expected[] = {TuneEnd::Stopped, TuneEnd::Alarm, TuneEnd::LinkFailure};
    EXPECT_EQ(o.end, expected[cause]) << o.message;
    EXPECT_TRUE(o.restored);
    EXPECT_TRUE(o.changes.empty());
    if (cause == kAlarm) {
        sim->WithDrive([](kestova::sim::Drive& d) { return d.Write(16, {0}); });
    }
    ExpectAsBefore(before);
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<TuneStep, int>>& info) {
    static const char* const steps[] = {"Current", "Identify", "Loops"};
    static const char* const causes[] = {"Stop", "Alarm", "Line"};
    return std::string(steps[static_cast<int>(std::get<0>(info.param))]) +
           causes[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EachStep, SequencerAbort,
                         ::testing::Combine(::testing::Values(TuneStep::Current, TuneStep::Identify,
                                                              TuneStep::Loops),
                                            ::testing::Values(kStop, kAlarm, kLine)),
                         CaseName);

} // namespace
