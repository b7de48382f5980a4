// The link's tap seen through the bus monitor's log: the verdicts of real line faults from the
// simulated drive on a pseudo-terminal, counters that add up, and a log that stays bounded.

#include "BusMonitor.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "ModelDatabase.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using kestova::BusMonitor;
using kestova::BusRecord;
using kestova::sim::LineFault;

class BusMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        auto model = kestova::sim::LoadModel(KESTOVA_DATA_MDB, 12, 310, error);
        ASSERT_TRUE(model.has_value()) << error;
        kestova::sim::SimulatorOptions options;
        options.portName = "COM9";
        drive = std::make_unique<kestova::sim::DriveSimulator>(
            std::move(*model), kestova::sim::DriveOptions{}, options);
        ASSERT_TRUE(drive->Start(error)) << error;
        link.ConfigCom("COM9", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(100);
        ASSERT_EQ(link.OpenCom(), 1);
        link.SetCurrentUseMode(1);
        link.SetTap(&monitor);
    }
    void TearDown() override {
        link.CloseCom();
        if (drive) {
            drive->Stop();
        }
    }

    // The received frames' verdicts, in order.
    std::vector<KtVerdict> Answers() {
        monitor.Drain();
        std::vector<KtVerdict> out;
        for (std::size_t i = 0; i < monitor.Shown(); ++i) {
            if (monitor.ShownAt(i).direction == KtDirection::Received) {
                out.push_back(monitor.ShownAt(i).verdict);
            }
        }
        return out;
    }

    kttest::TempPortDir ports;
    std::unique_ptr<kestova::sim::DriveSimulator> drive;
    BusMonitor monitor;
    CKTCOM link;
};

TEST_F(BusMonitorTest, tap_seesTheVerdictOfEachLineFault_andTheCountersAddUp) {
    drive->Faults().Set(LineFault::CrcError, {.count = 1});
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 12);
    drive->Faults().Set(LineFault::NoReply, {.count = 1});
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 12);
    drive->Faults().SetExceptionCode(kestova::sim::ExceptionCode::IllegalDataValue);
    drive->Faults().Set(LineFault::ExceptionReply, {.count = 2});
    EXPECT_EQ(link.WriteAddressValue(1, 30, 1), 1);

    EXPECT_EQ(Answers(),
              (std::vector<KtVerdict>{KtVerdict::CrcFailure, KtVerdict::Taken, KtVerdict::NoAnswer,
                                      KtVerdict::Taken, KtVerdict::Exception, KtVerdict::Exception,
                                      KtVerdict::Taken}));
    const BusRecord& first = monitor.ShownAt(1);
    EXPECT_EQ(first.verdict, KtVerdict::CrcFailure);
    EXPECT_EQ(kestova::Summary(first), "read 0x00FD x1 -> CRC failure");
    EXPECT_EQ(kestova::Summary(monitor.ShownAt(3)), "read 0x00FD x1 -> 12");
    EXPECT_EQ(kestova::Summary(monitor.ShownAt(9)), "write 0x001E = 1 -> exception 3");

    const auto counters = monitor.Counters();
    ASSERT_EQ(counters.size(), 1u);
    const KtStationCounts& c = counters[0].second;
    EXPECT_EQ(c.requests, 3u);
    EXPECT_EQ(c.retries, 4u);
    EXPECT_EQ(c.answers, 3u);
    EXPECT_EQ(c.crcFailures, 1u);
    EXPECT_EQ(c.timeOuts, 1u);
    EXPECT_EQ(c.exceptions, (std::map<std::uint8_t, std::uint64_t>{{3, 2}}));
    EXPECT_EQ(c.requests + c.retries, c.answers + c.crcFailures + c.timeOuts + c.ExceptionTotal());
    EXPECT_GT(c.answerP50, 0);
    EXPECT_LE(c.answerP50, c.answerP99);
    EXPECT_LE(c.answerP99, c.answerMax);
}

// The drive answers the first attempt after the link gave up on it and asked again: that answer
// is taken, and the answer to the second attempt, which comes during the next read, is dropped.
TEST_F(BusMonitorTest, tap_seesALateAnswerDropped) {
    drive->Faults().SetLateBy(std::chrono::milliseconds(150));
    drive->Faults().Set(LineFault::LateReply, {.count = 1});
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 12);
    EXPECT_EQ(link.ReadAddressValue(1, 0x47), 310);
    const std::vector<KtVerdict> answers = Answers();
    EXPECT_EQ(std::count(answers.begin(), answers.end(), KtVerdict::Late), 1) << answers.size();
    EXPECT_EQ(monitor.Counters().at(0).second.lateDropped, 1u);
}

TEST(BusMonitorLog, holdsABoundedNumberOfFrames_theNewest) {
    BusMonitor monitor(100);
    const std::uint8_t bytes[] = {1, 3, 0, 0xFD, 0, 1, 0x15, 0xFA};
    for (int i = 0; i < 250; ++i) {
        KtTapFrame frame;
        frame.bytes = bytes;
        frame.count = sizeof bytes;
        frame.timeUs = i;
        frame.station = 1;
        monitor.Frame(frame);
        if (i % 70 == 0) {
            monitor.Drain();
        }
    }
    monitor.Drain();
    ASSERT_EQ(monitor.Size(), 100u);
    EXPECT_EQ(monitor.ShownAt(0).timeUs, 150);
    EXPECT_EQ(monitor.ShownAt(99).timeUs, 249);
    EXPECT_EQ(monitor.Counters().at(0).second.requests, 250u);
}

} // namespace
