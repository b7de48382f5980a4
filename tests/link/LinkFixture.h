#pragma once

#include "KTCOM.h"
#include "PortNames.h"
#include "PtySlave.h"

#include <gtest/gtest.h>

#include <chrono>

// A link to a scripted slave on a real pseudo-terminal, registered in a private port directory as
// "COM7" and opened the way the tuning program opens it.
class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ktcom::RegisterPort("COM7", slave.SlavePath())); }

    void Open(std::uint16_t timeoutMs = 100) {
        link.ConfigCom("COM7", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(timeoutMs);
        ASSERT_EQ(link.OpenCom(), 1) << "errno " << errno;
        link.SetCurrentUseMode(1);
    }

    // Answers like a drive with the bank's registers.
    void AnswerFromBank() {
        slave.SetResponder([this](const kttest::Bytes& req) { return bank.Answer(req); });
    }

    template <typename F> static std::chrono::milliseconds Elapsed(F&& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    // Torn down in reverse: the link lets go of the line, then the slave's thread stops, then the
    // registers it answered from go away.
    kttest::TempPortDir ports;
    kttest::RegisterBank bank;
    kttest::PtySlave slave;
    CKTCOM link;
};

// Records the link's reports as they are posted.
class RecordingTarget : public KtReportTarget {
public:
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(mutex);
        posts.push_back({message, wParam, lParam});
    }
    struct Post_ {
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    std::vector<Post_> Posts() {
        std::lock_guard lock(mutex);
        return posts;
    }

private:
    std::mutex mutex;
    std::vector<Post_> posts;
};
