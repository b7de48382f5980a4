// Every operation returns within its bound, whatever the line does; several threads share one
// link without ever mixing their requests on the wire.

#include "BusLock.h"
#include "LinkFixture.h"

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using kttest::Bytes;
using namespace std::chrono_literals;

namespace {

// Per attempt: the response time-out, one more 5 ms receive step and the 10 ms pause, plus room
// for a loaded machine.
std::chrono::milliseconds Bound(int attempts, int timeoutMs) {
    return std::chrono::milliseconds(attempts * (timeoutMs + 5 + 10) + 400);
}

TEST_F(LinkFixture, silentDriveCostsThreeTimeOuts) {
    Open(500);
    const auto took = Elapsed([&] { EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1); });
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, Bound(3, 500));
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NO_RESPONSE);
}

TEST_F(LinkFixture, presentDriveAnswersWithinAFewSteps) {
    Open(500);
    bank.Set(0xFD, 3);
    AnswerFromBank();
    const auto took = Elapsed([&] { EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 3); });
    EXPECT_LT(took, 100ms);
}

TEST_F(LinkFixture, garbageFloodFailsEveryOperationInTime) {
    Open(100);
    slave.StartFlood();
    const auto took = Elapsed([&] {
        EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1);
        EXPECT_EQ(link.WriteAddressValue(1, 0x10, 1), -1);
        EXPECT_TRUE(link.ReadBigData(1, 0, 100).IsEmpty());
        std::uint8_t dest[1024];
        EXPECT_EQ(link.RecvCmdBuffer(1, 0, 0, 0, dest), 0);
    });
    slave.StopFlood();
    EXPECT_LT(took, Bound(12, 100));
}

TEST_F(LinkFixture, hangUpMidExchangeEndsInTime) {
    Open(300);
    auto pending = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        const auto value = link.ReadAddressValue(1, 0xFD);
        return std::make_pair(value, std::chrono::steady_clock::now() - start);
    });
    ASSERT_TRUE(slave.WaitForRequests(1, 2s));
    slave.HangUp();
    const auto [value, took] = pending.get();
    EXPECT_EQ(value, -1);
    EXPECT_LT(took, Bound(3, 300));
    EXPECT_EQ(link.CloseCom(), 1);
}

// Regression: a hung-up line looks readable for ever, and each exchange spun a core until its
// time-out. The wait stays paced and idle, and the failure is "no response".
TEST_F(LinkFixture, aHungUpLineIsWaitedOutIdle) {
    Open(300);
    slave.HangUp();
    timespec cpu0{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
    const auto took = Elapsed([&] { EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1); });
    timespec cpu1{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
    const double cpuMs = (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NO_RESPONSE);
    EXPECT_LT(took, Bound(3, 300));
    EXPECT_LT(cpuMs, static_cast<double>(took.count()) / 4) << "spent " << cpuMs << " ms of CPU";
}

// A link made while the process had no descriptor to spare still closes at once on a silent port.
TEST_F(LinkFixture, aLinkMadeWithoutSpareDescriptorsStillCloses) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    std::vector<int> filler;
    for (int fd = ::dup(0); fd >= 0 && fd < 4096; fd = ::dup(0)) {
        filler.push_back(fd); // fills every gap below the limit set next
    }
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(filler.empty() ? lowestFree : filler.back() + 1);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    auto starved = std::make_unique<CKTCOM>();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (int fd : filler) {
        ::close(fd);
    }
    starved->ConfigCom("COM7", "38400", "8", "NONE", "1");
    ASSERT_EQ(starved->OpenCom(), 1);
    std::this_thread::sleep_for(20ms); // the monitor is in its wait
    auto closing = std::async(std::launch::async, [&] { return starved->CloseCom(); });
    ASSERT_EQ(closing.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(closing.get(), 1);
}

// The exchange that outlives a close still holds the device; a reopen at once waits for it
// instead of failing to open the port.
TEST_F(LinkFixture, aReopenRightAfterACloseWaitsForTheExchangeStillOnTheLine) {
    Open(300);
    bank.Set(0xFD, 12);
    slave.SetResponder([this](const Bytes& req) {
        std::this_thread::sleep_for(100ms);
        return bank.Answer(req);
    });
    auto pending = std::async(std::launch::async, [&] { return link.ReadAddressValue(1, 0xFD); });
    ASSERT_TRUE(slave.WaitForRequests(1, 2s));
    EXPECT_EQ(link.CloseCom(), 1);
    EXPECT_EQ(link.OpenCom(), 1);
    EXPECT_EQ(pending.get(), 12);
    AnswerFromBank();
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 12);
}

TEST_F(LinkFixture, closeDuringAnExchangeLetsItFinishSafely) {
    Open(200);
    auto pending = std::async(std::launch::async, [&] { return link.ReadAddressValue(1, 0xFD); });
    ASSERT_TRUE(slave.WaitForRequests(1, 2s));
    EXPECT_EQ(link.CloseCom(), 1);
    EXPECT_EQ(link.GetConnectStatus(), 0);
    EXPECT_EQ(pending.get(), -1);
    // Once the exchange has let go of the port it opens again.
    EXPECT_EQ(link.OpenCom(), 1);
}

TEST_F(LinkFixture, aHeldLineGivesBusBusyAfterTheWait) {
    Open(1500);
    auto holder = std::async(std::launch::async, [&] { return link.FindDrive(1, 0xFD); });
    ASSERT_TRUE(slave.WaitForRequests(1, 2s));
    std::uint16_t code = 0;
    const auto took = Elapsed([&] {
        EXPECT_EQ(link.ReadAddressValue(1, 0x47), -1);
        code = link.GetLastErrors();
    });
    EXPECT_EQ(code, LINK_ERR_BUS_BUSY);
    EXPECT_GE(took, 490ms);
    EXPECT_LT(took, 1200ms);
    EXPECT_EQ(holder.get(), -1);
    EXPECT_EQ(slave.RequestCount(), 1u); // the refused read never reached the wire
}

TEST_F(LinkFixture, fourThreadsNeverInterleaveOnTheWire) {
    Open(200);
    AnswerFromBank();
    constexpr int kThreads = 4;
    constexpr int kRounds = 40;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const auto address = static_cast<std::uint16_t>(0x100 * (t + 1) + i);
                const auto value = static_cast<std::int16_t>(t * 1000 + i);
                if (link.WriteAddressValue(1, address, value) != value) {
                    ++wrong;
                }
                if (link.ReadAddressValue(1, address) != value) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    const auto seen = slave.Requests();
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRounds * 2));
    for (const Bytes& request : seen) {
        ASSERT_EQ(request.size(), 8u);
        ASSERT_TRUE(kttest::CrcOk(request));
    }
}

// Spins on a condition with a bound; the lock has no event to wait on from outside.
bool WaitUntil(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BusLockOrder, waitersGetTheLineInTheOrderTheyAskedAndAGiveUpLeavesTheQueue) {
    ktcom::BusLock bus;
    ASSERT_TRUE(bus.try_lock_for(0ms));
    std::mutex orderMutex;
    std::string order;
    auto waiter = [&](char name, std::chrono::milliseconds wait) {
        return std::async(std::launch::async, [&, name, wait] {
            if (!bus.try_lock_for(wait)) {
                return false;
            }
            {
                std::lock_guard lock(orderMutex);
                order += name;
            }
            bus.unlock();
            return true;
        });
    };
    auto first = waiter('A', 2000ms);
    ASSERT_TRUE(WaitUntil([&] { return bus.Waiting() == 1; }));
    auto quitter = waiter('Q', 400ms); // stands in line, then gives up
    ASSERT_TRUE(WaitUntil([&] { return bus.Waiting() == 2; }));
    auto second = waiter('B', 2000ms);
    ASSERT_TRUE(WaitUntil([&] { return bus.Waiting() == 3; }));
    EXPECT_FALSE(quitter.get());
    EXPECT_TRUE(WaitUntil([&] { return bus.Waiting() == 2; }));
    bus.unlock();
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(order, "AB");
    EXPECT_EQ(bus.Waiting(), 0u);
    EXPECT_TRUE(bus.try_lock_for(0ms));
}

} // namespace
