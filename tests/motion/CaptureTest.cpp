// The capture protocol over the link against the simulated drive on a pseudo-terminal: where the
// samples land, when captures repeat, what a failure tells, and that threads end with their
// runner.

#include "BuiltinModels.h"
#include "CaptureRunner.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "TestRegisters.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace kestova::motion;
using namespace kestova::sim;
using namespace std::chrono_literals;

namespace {

constexpr std::uint8_t kStation = 1;

// Passes when every write of a sequence was taken; else names the one that was not.
::testing::AssertionResult Taken(const WriteResult& failed) {
    if (!failed) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the " << failed->setting << " (register " << failed->address
           << ") was not taken, link failure " << failed->code;
}

// Waits (bounded) until `done` holds.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The reports of a runner, as the page's queue would receive them.
class Reports {
public:
    CaptureSink Sink() {
        return [this](const CaptureReport& report) {
            std::lock_guard lock(mutex_);
            reports_.push_back(report);
            changed_.notify_all();
        };
    }
    // Waits (bounded) until at least `count` reports came in.
    bool WaitFor(std::size_t count, std::chrono::milliseconds limit = 15s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return reports_.size() >= count; });
    }
    std::vector<CaptureReport> All() {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CaptureReport> reports_;
};

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestova-motion-ports-XXXXXX";
        portDir_ = ::mkdtemp(pattern);
        ::setenv("KESTOVA_PORT_DIR", portDir_.c_str(), 1);
    }
    void TearDown() override {
        link.CloseCom();
        if (sim) {
            sim->Stop();
        }
        std::filesystem::remove_all(portDir_);
        ::unsetenv("KESTOVA_PORT_DIR");
    }

    // Built-in stepper 1 speaks the later protocol, 2 the earlier one.
    void Connect(int driveCode, double clockRate = 1.0, std::uint32_t baud = 0) {
        std::string error;
        auto model = BuiltinModel(driveCode);
        ASSERT_TRUE(model.has_value());
        SimulatorOptions options;
        options.portName = "COM9";
        options.timing.baud = baud;
        options.clockRate = clockRate;
        sim = std::make_unique<DriveSimulator>(std::move(*model), DriveOptions{}, options);
        ASSERT_TRUE(sim->Start(error)) << error;
        link.ConfigCom("COM9", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(500); // the program's, which a loaded machine still meets
        ASSERT_EQ(link.OpenCom(), 1);
        link.SetCurrentUseMode(1);
        settings.laterProtocol = driveCode == 1;
        settings.triggerSupported = settings.laterProtocol;
        settings.sampleCount = ReadSampleCount(link, kStation);
        settings.basePeriod = ReadBasePeriod(link, kStation);
    }

    // A short move with the capture sources set.
    void StartMove(const std::array<std::uint16_t, 4>& sources) {
        settings.sources = sources;
        ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, sources)));
        kestova::motion::MotionProfile move;
        move.speed = 600;
        move.acceleration = 2000;
        move.distance = 200;
        move.traceTime = 1000;
        ASSERT_TRUE(Taken(WriteMotionProfile(link, settings, move)));
        ASSERT_TRUE(Taken(StartMotion(link, kStation)));
    }

    std::int16_t DriveRegister(std::uint16_t address) {
        return sim->WithDrive([address](Drive& d) {
            return static_cast<std::int16_t>(d.Read(address, 1).values.at(0));
        });
    }

    std::unique_ptr<DriveSimulator> sim;
    CKTCOM link;
    CaptureSettings settings;
    Reports reports;

private:
    std::string portDir_;
};

bool AnyNonZero(const std::vector<std::int16_t>& words, std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count; ++i) {
        if (words[i] != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(CaptureTest, cyclicCapturesRepeatAndEachChannelLandsAtItsOwnWords) {
    Connect(1);
    const auto n = static_cast<std::size_t>(settings.sampleCount);
    CaptureRunner runner(link, CaptureKind::Motion);
    runner.SetSink(reports.Sink());
    // Channel 2 is off: its words must keep what they held.
    const std::vector<std::uint8_t> marker(2 * n, 0x12);
    runner.Session().Reserve(4 * n);
    runner.Session().Store(n, marker.data(), n);

    settings.cyclic = 1;
    StartMove({2, 0, 4, 0}); // velocity and position feedback
    runner.Start(settings);
    ASSERT_TRUE(reports.WaitFor(2)) << "a cyclic capture is taken again until stopped";
    runner.Stop();
    runner.Join();

    // Each capture is reported once: those read out, then the one the Stop cut short, if any.
    std::vector<CaptureReport> all = reports.All();
    if (all.back().type != CaptureReport::Type::WaveReady) {
        EXPECT_EQ(all.back().end, CaptureReport::End::Stopped);
        all.pop_back();
    }
    for (const CaptureReport& r : all) {
        EXPECT_EQ(r.type, CaptureReport::Type::WaveReady);
        EXPECT_EQ(r.points, settings.sampleCount);
    }
    // The first capture, armed as the move starts (a later one may find the drive at rest).
    const auto first = reports.All()[0].samples;
    ASSERT_TRUE(first);
    const std::vector<std::int16_t>& words = *first;
    EXPECT_TRUE(AnyNonZero(words, 0, n)) << "velocity feedback of a move";
    EXPECT_EQ(words[n], 0x1212);
    EXPECT_EQ(words[2 * n - 1], 0x1212);
    EXPECT_TRUE(AnyNonZero(words, 2 * n, n)) << "position feedback at 2N..3N-1";
    EXPECT_EQ(runner.Running(), 0);
}

TEST_F(CaptureTest, aTriggeredScopeCaptureIsTakenOnceAfterTheTriggerFired) {
    Connect(1);
    settings.cyclic = 1; // a trigger makes it a single capture all the same
    settings.triggerSource = 2;
    settings.triggerPolarity = 0;
    settings.triggerLevel = 300; // rpm, crossed while the move speeds up to 600
    settings.sources = {2, 0, 0, 0};
    ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, settings.sources)));
    ASSERT_TRUE(Taken(WriteScopeSettings(link, settings)));

    CaptureRunner runner(link, CaptureKind::ScopeOnly);
    runner.SetSink(reports.Sink());
    runner.Start(settings);
    StartMove(settings.sources);
    ASSERT_TRUE(reports.WaitFor(1));
    for (int i = 0; i < 100 && runner.Busy(); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(runner.Busy());
    EXPECT_EQ(reports.All().size(), 1u);
    EXPECT_EQ(runner.Running(), 0) << "the scope-only capture clears its flag when it ends";
    EXPECT_EQ(DriveRegister(0xF8), 2);
}

TEST_F(CaptureTest, earlierProtocolPlacesChannelTwoAtItsOwnWordsWhenChannelOneIsOff) {
    Connect(2);
    settings.cyclic = 0;
    settings.traceTime = 200;
    CaptureRunner runner(link, CaptureKind::Motion);
    runner.SetSink(reports.Sink());
    StartMove({0, 2, 0, 0});
    runner.Start(settings);
    ASSERT_TRUE(reports.WaitFor(1));
    runner.Join();
    EXPECT_EQ(reports.All().at(0).points, 200) << "points per channel, not words read";
    const std::vector<std::int16_t> words = runner.Samples();
    EXPECT_FALSE(AnyNonZero(words, 0, 200));
    EXPECT_TRUE(AnyNonZero(words, 200, 200));
    EXPECT_EQ(runner.Running(), 1) << "the motion page's flag stays set until its Stop";
}

// A current step, read out once the trace is whole: its end holds the test current, and a
// higher proportional gain reaches 90 % of it sooner.
TEST_F(CaptureTest, aCurrentStepIsReadWholeAndRisesFasterWithAHigherGain) {
    Connect(1);
    settings.sources = {64, 0, 0, 0};
    settings.multiplier = 1;
    ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, settings.sources)));
    auto riseSamples = [&](int kp) {
        CaptureRunner runner(link, CaptureKind::CurrentLoop);
        runner.SetSink(reports.Sink());
        const std::size_t before = reports.All().size();
        EXPECT_TRUE(Taken(StartCurrentLoopTest(link, settings, {kp, 1000, 1000})));
        runner.Start(settings);
        EXPECT_TRUE(reports.WaitFor(before + 1));
        runner.Join();
        EXPECT_TRUE(Taken(StopCurrentLoopTest(link, kStation)));
        const std::vector<std::int16_t> words = runner.Samples();
        const auto n = static_cast<std::size_t>(settings.sampleCount);
        EXPECT_NEAR(words[n - 2], 1000, 100) << "the trace's end, read after the window";
        for (std::size_t i = 0; i < n; ++i) {
            if (words[i] >= 900) {
                return static_cast<int>(i);
            }
        }
        return static_cast<int>(n);
    };
    const int slow = riseSamples(300);
    const int fast = riseSamples(2000);
    EXPECT_LT(fast, slow);
}

// The drive answers the completion poll and then falls silent during the block reads (at
// 38400 baud the read-out of 4 x 400 samples takes about a second).
TEST_F(CaptureTest, aDriveThatStopsAnsweringDuringTheReadOutIsReportedAsEachCaptureSays) {
    struct Case {
        CaptureKind kind;
        const char* message;
        int flagAfter;
    };
    const Case cases[] = {
        {CaptureKind::Motion, kMotionLinkFailure, 1},
        {CaptureKind::ScopeOnly, kScopeLinkFailure, 0},
        {CaptureKind::CurrentLoop, kCurrentLoopLinkFailure, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Connect(1, 1.0, 38400);
        settings.sources = {2, 4, 8, 16};
        settings.cyclic = 0;
        ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, settings.sources)));
        if (c.kind == CaptureKind::CurrentLoop) {
            ASSERT_TRUE(Taken(StartCurrentLoopTest(link, settings, {})));
        } else {
            // Armed beforehand and read out as a triggered capture, which arms nothing itself.
            link.WriteAddressValue(kStation, 0x14, 1);
            settings.triggerSource = 2;
            settings.triggerSupported = false;
        }
        for (int i = 0; i < 500 && DriveRegister(0xDA) != 2; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(DriveRegister(0xDA), 2);

        Reports seen;
        CaptureRunner runner(link, c.kind);
        runner.SetSink(seen.Sink());
        const auto answered = sim->RequestsAnswered();
        runner.Start(settings);
        for (int i = 0; i < 2000 && sim->RequestsAnswered() == answered; ++i) {
            std::this_thread::sleep_for(1ms);
        }
        sim->Faults().Set(LineFault::NoReply, {.count = 1000});
        runner.Join();

        const std::vector<CaptureReport> all = seen.All();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].type, CaptureReport::Type::Failure);
        EXPECT_EQ(all[0].message, c.message);
        EXPECT_EQ(all[0].linkCode, LINK_ERR_NO_RESPONSE) << "the failure's own code";
        if (c.kind != CaptureKind::CurrentLoop) {
            EXPECT_EQ(runner.Running(), c.flagAfter);
        }
        link.CloseCom();
        sim->Stop();
        settings = {};
    }
}

TEST_F(CaptureTest, aRunnerStopsAndJoinsItsThreadsWhenItGoes) {
    Connect(1, 0.0); // a held clock: the capture never completes
    settings.sources = {2, 0, 0, 0};
    auto runner = std::make_unique<CaptureRunner>(link, CaptureKind::ScopeOnly);
    runner->SetSink(reports.Sink());
    runner->Start(settings);
    while (runner->Running() != 1) {
        std::this_thread::sleep_for(1ms);
    }
    runner.reset(); // must not leave a thread waiting on a freed session
    ASSERT_EQ(reports.All().size(), 1u);
    EXPECT_EQ(reports.All()[0].end, CaptureReport::End::Stopped);
}

// A block already on its way when Stop comes belongs to the stopped capture: it must neither land
// in the sample buffer that the next start fills nor be reported as a capture.
TEST_F(CaptureTest, aBlockOnItsWayAtStopLandsNowhere) {
    Connect(1, 0.0);              // a held clock: the next start never completes
    link.SetReceiveTimeOut(1000); // the late replies below are still taken
    settings.sources = {2, 0, 0, 0};
    settings.cyclic = 0;
    ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, settings.sources)));
    ASSERT_TRUE(Taken(WriteSetting(link, kStation, 0x14, 1, "capture arm")));
    sim->Step(100ms); // 400 samples 0.1 ms apart
    ASSERT_EQ(DriveRegister(0xDA), 2);

    const auto n = static_cast<std::size_t>(settings.sampleCount);
    CaptureRunner runner(link, CaptureKind::ScopeOnly);
    runner.SetSink(reports.Sink());
    const std::vector<std::uint8_t> marker(2 * n, 0x12);
    runner.Session().Store(0, marker.data(), n);

    // Read out as a triggered capture that has fired (nothing is armed); the completion poll and
    // the first block are answered late.
    CaptureSettings stopped = settings;
    stopped.triggerSource = 2;
    stopped.triggerSupported = false;
    sim->Faults().Set(LineFault::LateReply, {.count = 2});
    runner.Start(stopped);
    // Once the drive has taken up both requests, the first block is on its way back.
    ASSERT_TRUE(Eventually([&] { return sim->Faults().Get(LineFault::LateReply).count == 0; }));
    runner.Stop();
    runner.Start(settings); // runs free and waits on the held clock

    ASSERT_TRUE(reports.WaitFor(1)) << "the stopped capture ends with a report";
    EXPECT_EQ(reports.All()[0].type, CaptureReport::Type::Ended)
        << reports.All()[0].message << " " << reports.All()[0].linkCode;
    EXPECT_EQ(reports.All()[0].end, CaptureReport::End::Stopped);
    const std::vector<std::int16_t> words = runner.Samples();
    EXPECT_EQ(words[0], 0x1212);
    EXPECT_EQ(words[49], 0x1212);
    EXPECT_TRUE(Eventually([&] { return runner.Running() == 1; }))
        << "the new start holds the flag";
    runner.Stop();
    runner.Join();
    EXPECT_EQ(reports.All().size(), 2u);
}

// Starts stopped as soon as they are made: each ends with exactly one report, and none leaves
// the running flag set, so the start after them captures.
TEST_F(CaptureTest, everyStartEndsWithOneReportAndTheStartAfterStopsCaptures) {
    Connect(1);
    settings.sources = {2, 0, 0, 0};
    settings.cyclic = 0;
    ASSERT_TRUE(Taken(WriteChannelSources(link, kStation, settings.sources)));
    CaptureRunner runner(link, CaptureKind::Motion);
    runner.SetSink(reports.Sink());
    constexpr std::size_t kStarts = 50;
    for (std::size_t i = 0; i < kStarts; ++i) {
        runner.Start(settings);
        runner.Stop();
    }
    runner.Join();
    EXPECT_EQ(reports.All().size(), kStarts);

    runner.Start(settings);
    ASSERT_TRUE(reports.WaitFor(kStarts + 1));
    runner.Join();
    const std::vector<CaptureReport> all = reports.All();
    EXPECT_EQ(all.size(), kStarts + 1);
    EXPECT_EQ(all.back().type, CaptureReport::Type::WaveReady);
}

// A drive that never reports the current step complete is read once the step's window and a
// short margin have passed: the read-out takes little longer than that of a step reported whole.
TEST_F(CaptureTest, theCurrentLoopReadOutWaitsOnlyShortlyPastItsWindow) {
    Connect(1, 0.0); // a held clock: nothing completes unless stepped
    settings.sources = {64, 0, 0, 0};
    settings.multiplier = 1; // 400 samples, 40 ms
    auto readOut = [&] {
        Reports seen;
        CaptureRunner runner(link, CaptureKind::CurrentLoop);
        runner.SetSink(seen.Sink());
        const auto started = std::chrono::steady_clock::now();
        runner.Start(settings);
        EXPECT_TRUE(seen.WaitFor(1));
        const auto took = std::chrono::steady_clock::now() - started;
        runner.Join();
        EXPECT_EQ(seen.All().at(0).type, CaptureReport::Type::WaveReady) << "read all the same";
        return took;
    };
    const auto neverComplete = readOut();
    ASSERT_TRUE(Taken(WriteSetting(link, kStation, 0x14, 1, "capture arm")));
    sim->Step(100ms);
    ASSERT_EQ(DriveRegister(0xDA), 2);
    const auto reportedWhole = readOut();
    EXPECT_LT(neverComplete - reportedWhole, 4s) << "5 s past the window before";
}
