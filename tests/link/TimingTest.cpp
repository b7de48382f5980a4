// Every operation returns within its bound, whatever the line does; several threads share one
// link without ever mixing their requests on the wire.

#include "BusLock.h"
#include "LinkFixture.h"

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

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
