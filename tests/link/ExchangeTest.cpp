// Register operations against a scripted slave on a real pseudo-terminal: what goes on the wire,
// what comes back, and the failure codes.

#include "LinkFixture.h"

#include <atomic>
#include <vector>

using kttest::Bytes;
using kttest::WithCrc;
using namespace std::chrono_literals;

namespace {

TEST_F(LinkFixture, readSendsTheExactRequestAndReturnsTheValue) {
    Open();
    bank.Set(0xFD, 256);
    bank.Set(0x47, 300);
    AnswerFromBank();
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 256);
    EXPECT_EQ(link.ReadAddressValue(1, 0x47), 300);
    EXPECT_EQ(link.GetLastErrors(), 0);
    const auto seen = slave.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (Bytes{0x01, 0x03, 0x00, 0xFD, 0x00, 0x01, 0x15, 0xFA}));
    EXPECT_EQ(seen[1], (Bytes{0x01, 0x03, 0x00, 0x47, 0x00, 0x01, 0x34, 0x1F}));
}

TEST_F(LinkFixture, registerValueFFFFReadsAsMinusOneWithNoError) {
    Open();
    bank.Set(0x49, 0xFFFF);
    AnswerFromBank();
    EXPECT_EQ(link.ReadAddressValue(1, 0x49), -1);
    EXPECT_EQ(link.GetLastErrors(), 0);
}

TEST_F(LinkFixture, writeIsEchoedAndReturnsTheEchoedValue) {
    Open();
    AnswerFromBank();
    EXPECT_EQ(link.WriteAddressValue(1, 0x10, 100), 100);
    EXPECT_EQ(slave.Requests().at(0), (Bytes{0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4}));
    EXPECT_EQ(bank.Get(0x10), 100);
    EXPECT_EQ(link.WriteAddressValue(1, 0x11, -5), -5);
}

TEST_F(LinkFixture, offlineModeAnswersNeutrallyAndSendsNothing) {
    Open();
    AnswerFromBank();
    link.SetCurrentUseMode(0);
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), 0);
    EXPECT_EQ(link.WriteAddressValue(1, 0x10, 5), 0);
    EXPECT_EQ(link.ReadAddressValue32Bit(1, 0x10), 0);
    EXPECT_EQ(link.WriteAddressValue32Bit(1, 0x10, 5), 0);
    EXPECT_EQ(link.FindDrive(1, 0xFD), 0);
    EXPECT_EQ(link.WriteBigData(1, 0x10, 1, KtVariant::FromBytes(Bytes{0, 1})), 0);
    EXPECT_EQ(link.WriteCmdBuffer(1, 0x10, nullptr, 0), 0);
    std::uint8_t dest[1024];
    EXPECT_EQ(link.RecvCmdBuffer(1, 0x10, 0, 0, dest), 0);
    EXPECT_TRUE(link.BatchWriteData(KtVariant::FromBytes(Bytes{1}), 10).IsEmpty());

    const KtVariant frame = link.ReadBigData(1, 0x100, 2);
    ASSERT_TRUE(frame.IsByteArray());
    EXPECT_EQ(frame.parray, (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    const KtVariant big = link.ReadBigData(1, 0x100, 200);
    ASSERT_EQ(big.Count(), 405u);
    EXPECT_EQ(big.parray[300], 300 % 256);

    EXPECT_EQ(link.GetLastErrors(), 0);
    std::this_thread::sleep_for(20ms); // give a stray frame time to show up
    EXPECT_EQ(slave.RequestCount(), 0u);
}

TEST_F(LinkFixture, offlineModeWorksWithoutAnyPort) {
    CKTCOM offline;
    offline.SetCurrentUseMode(0);
    EXPECT_EQ(offline.ReadAddressValue(1, 0xFD), 0);
    EXPECT_EQ(offline.GetLastErrors(), 0);
}

TEST_F(LinkFixture, closedPortFailsAtOnceWithNotOpen) {
    RecordingTarget target;
    link.SetReportHWND(&target);
    link.SetReceiveTimeOut(500);
    const auto took = Elapsed([&] {
        EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1);
        EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NOT_OPEN);
        EXPECT_EQ(link.WriteAddressValue(1, 0x10, 1), -1);
        EXPECT_TRUE(link.ReadBigData(1, 0x10, 4).IsEmpty());
        EXPECT_TRUE(link.BatchWriteData(KtVariant::FromBytes(Bytes{1}), 10).IsEmpty());
        EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NOT_OPEN);
    });
    EXPECT_LT(took, 100ms);
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 4u);
    EXPECT_EQ(posts[0].lParam, 60000);
    link.SetReportHWND(nullptr);
}

TEST_F(LinkFixture, threeBadCrcsGiveBadCrcAfterThreeAttempts) {
    Open();
    slave.SetResponder([this](const Bytes& req) {
        Bytes answer = bank.Answer(req);
        answer.back() ^= 0x55;
        return answer;
    });
    EXPECT_EQ(link.WriteAddressValue(1, 0x10, 7), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_BAD_CRC);
    EXPECT_EQ(slave.RequestCount(), 3u);
}

TEST_F(LinkFixture, aGoodAnswerClearsTheLastError) {
    Open();
    std::atomic<int> calls{0};
    slave.SetResponder([&](const Bytes& req) {
        Bytes answer = bank.Answer(req);
        if (calls++ < 2) {
            answer[3] ^= 0x01; // two corrupt answers, then a good one
        }
        return answer;
    });
    EXPECT_EQ(link.ReadAddressValue(1, 0x20), 0);
    EXPECT_EQ(link.GetLastErrors(), 0);
    EXPECT_EQ(slave.RequestCount(), 3u);
}

TEST_F(LinkFixture, silentDriveGivesNoResponseAfterThreeAttempts) {
    Open(20);
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NO_RESPONSE);
    EXPECT_EQ(slave.RequestCount(), 3u);
    EXPECT_EQ(link.FindDrive(1, 0xFD), -1);
    EXPECT_EQ(slave.RequestCount(), 4u); // a probe asks once
}

// A refusal is told from a silent drive, and is known as soon as it comes.
TEST_F(LinkFixture, anExceptionReplyIsARefusalWithACodeOfItsOwn) {
    Open(500);
    slave.SetResponder([](const Bytes& req) {
        return WithCrc({req[0], static_cast<std::uint8_t>(req[1] | 0x80), 0x02});
    });
    const auto took = Elapsed([&] { EXPECT_EQ(link.ReadAddressValue(1, 0x7777), -1); });
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_REFUSED);
    EXPECT_EQ(slave.RequestCount(), 3u);
    EXPECT_LT(took, 500ms) << "no attempt waits out its time-out";
}

TEST_F(LinkFixture, strayLeadingByteIsLocatedForWritesButFailsReads) {
    Open(30);
    bank.Set(0x30, 0x1234);
    slave.SetResponder([this](const Bytes& req) {
        Bytes answer{0x00};
        const Bytes proper = bank.Answer(req);
        answer.insert(answer.end(), proper.begin(), proper.end());
        return answer;
    });
    EXPECT_EQ(link.WriteAddressValue(1, 0x31, 0x55), 0x55);
    EXPECT_EQ(link.GetLastErrors(), 0);
    EXPECT_EQ(slave.RequestCount(), 1u);

    // A read is not located: the stray byte shifts the frame and every attempt fails its CRC.
    EXPECT_EQ(link.ReadAddressValue(1, 0x30), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_BAD_CRC);
    EXPECT_EQ(slave.RequestCount(), 4u);

    // A probe and a 32-bit read locate their answer.
    EXPECT_EQ(link.FindDrive(1, 0x30), 0x1234);
}

// Regression: an answer that comes after the time-out was taken as the answer to the next request,
// and every read after it returned the register before.
TEST_F(LinkFixture, aLateAnswerNeverAnswersTheNextRequest) {
    Open(100);
    slave.SetFrameLength(8); // answers requests one by one, however they queue up
    std::atomic<int> calls{0};
    slave.SetResponder([&](const Bytes& req) {
        std::this_thread::sleep_for(calls++ == 0 ? 130ms : 20ms);
        return bank.Answer(req);
    });
    for (std::uint16_t a = 0x40; a < 0x46; ++a) {
        bank.Set(a, static_cast<std::uint16_t>(a * 10));
    }
    for (std::uint16_t a = 0x40; a < 0x46; ++a) {
        EXPECT_EQ(link.ReadAddressValue(1, a), a * 10) << "register " << a;
        EXPECT_EQ(link.GetLastErrors(), 0);
    }
}

// A drive that answers, but too late for every attempt: its late answers must not reach the
// requests after the failed exchange either.
TEST_F(LinkFixture, lateAnswersOfAFailedExchangeNeverAnswerTheNextRequest) {
    Open(100);
    slave.SetFrameLength(8);
    std::atomic<int> calls{0};
    slave.SetResponder([&](const Bytes& req) {
        const int call = calls++;
        if (call == 0) {
            Bytes spoilt = bank.Answer(req);
            spoilt.back() ^= 0x55;
            return spoilt;
        }
        std::this_thread::sleep_for(call == 1 ? 230ms : 20ms);
        return bank.Answer(req);
    });
    bank.Set(0x50, 500);
    bank.Set(0x51, 510);
    bank.Set(0x52, 520);
    EXPECT_EQ(link.ReadAddressValue(1, 0x50), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NO_RESPONSE);
    EXPECT_EQ(link.ReadAddressValue(1, 0x51), 510);
    EXPECT_EQ(link.ReadAddressValue(1, 0x52), 520);
}

// The first exchange's answers come late, in order, some after it has failed; the exchanges after
// it still get their own values. Lateness 1.2, 2 and 4 response time-outs (at 4 the first
// exchange hears nothing at all), and twice 4 in a row: the request queued behind a late answer
// is taken up only once that is out, and its own answer is then as late again.
TEST_F(LinkFixture, answersLateByUpToFourTimeOutsNeverAnswerALaterRequest) {
    Open(50);
    slave.SetFrameLength(8);
    for (std::uint16_t a = 0x60; a < 0x80; ++a) {
        bank.Set(a, static_cast<std::uint16_t>(a * 7));
    }
    std::mutex delaysMutex;
    std::vector<int> delays; // of the next answers, in ms; then 2 ms each
    slave.SetResponder([&](const Bytes& req) {
        int ms = 2;
        {
            std::lock_guard lock(delaysMutex);
            if (!delays.empty()) {
                ms = delays.front();
                delays.erase(delays.begin());
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return bank.Answer(req);
    });
    std::uint16_t address = 0x60;
    for (const std::vector<int>& late : {std::vector<int>{60}, std::vector<int>{100},
                                         std::vector<int>{200}, std::vector<int>{200, 200}}) {
        {
            std::lock_guard lock(delaysMutex);
            delays = late;
        }
        const std::int16_t first = link.ReadAddressValue(1, address);
        EXPECT_TRUE(first == address * 7 || link.GetLastErrors() != 0)
            << late.front() << " ms: " << first;
        ++address;
        // Behind two late answers in a row the next requests may fail too; never with a value
        // that is not theirs.
        const bool queuedUp = late.size() > 1;
        for (int i = 0; i < 6; ++i, ++address) {
            const std::int16_t v = link.ReadAddressValue(1, address);
            if (queuedUp && link.GetLastErrors() != 0) {
                continue;
            }
            EXPECT_EQ(v, address * 7) << late.size() << " x " << late.front() << " ms, " << i;
        }
    }
}

// A lost answer leaves its request due, in case the answer is only late: the next request of
// the same shape waits for that answer or its window instead of taking every answer after it for
// the one before, which cost each later read an attempt.
TEST_F(LinkFixture, aLostAnswerCostsTheReadsAfterItNoAttempts) {
    Open(200);
    for (std::uint16_t a = 0x70; a < 0x7C; ++a) {
        bank.Set(a, a);
    }
    std::atomic<int> calls{0};
    slave.SetResponder([&](const Bytes& req) { return calls++ == 0 ? Bytes{} : bank.Answer(req); });
    EXPECT_EQ(link.ReadAddressValue(1, 0x70), 0x70); // the second attempt is answered
    for (std::uint16_t a = 0x71; a < 0x7C; ++a) {
        EXPECT_EQ(link.ReadAddressValue(1, a), a);
    }
    EXPECT_EQ(slave.RequestCount(), 2u + 11u);
}

// Answers of another kind are not the answer: a stale write echo and a read answer of another
// length ahead of a read's answer, an echo of another register's write ahead of the write's own.
TEST_F(LinkFixture, anAnswerOfAnotherKindIsPassedOverForTheOneThatFollows) {
    Open(100);
    bank.Set(0x28, 0x1111);
    const Bytes staleEcho = WithCrc({0x01, 0x06, 0x00, 0xAB, 0x01, 0x02});
    const Bytes otherRead = WithCrc({0x01, 0x03, 0x04, 0xAB, 0xCD, 0x00, 0x00});
    slave.SetResponder([&](const Bytes& req) {
        Bytes answer = staleEcho;
        answer.insert(answer.end(), otherRead.begin(), otherRead.end());
        const Bytes proper = bank.Answer(req);
        answer.insert(answer.end(), proper.begin(), proper.end());
        return answer;
    });
    EXPECT_EQ(link.ReadAddressValue(1, 0x28), 0x1111);
    EXPECT_EQ(link.GetLastErrors(), 0);
    slave.SetResponder([&](const Bytes& req) {
        Bytes answer = WithCrc({0x01, 0x06, 0x00, 0x2A, 0x00, 0x99}); // another register's
        const Bytes proper = bank.Answer(req);
        answer.insert(answer.end(), proper.begin(), proper.end());
        return answer;
    });
    EXPECT_EQ(link.WriteAddressValue(1, 0x29, 0x66), 0x66);
    EXPECT_EQ(link.GetLastErrors(), 0);
    EXPECT_EQ(slave.RequestCount(), 2u);
}

TEST_F(LinkFixture, bytesWaitingBeforeTheRequestAreNotItsAnswer) {
    Open(100);
    bank.Set(0x47, 300);
    slave.Send(WithCrc({0x01, 0x03, 0x02, 0x00, 0x07})); // an answer nobody asked for
    std::this_thread::sleep_for(10ms);
    slave.SetResponder([this](const Bytes& req) {
        std::this_thread::sleep_for(10ms);
        return bank.Answer(req);
    });
    EXPECT_EQ(link.ReadAddressValue(1, 0x47), 300);
}

// Stray bytes ahead of an answer that is still arriving: the receive waits for the whole answer.
TEST_F(LinkFixture, anAnswerBehindStrayBytesIsAwaitedWhole) {
    Open(100);
    slave.SetResponder([this](const Bytes& req) {
        Bytes answer{0x00, 0x7F, 0x00};
        const Bytes echo = bank.Answer(req);
        answer.insert(answer.end(), echo.begin(), echo.begin() + 5);
        slave.Send(answer);
        std::this_thread::sleep_for(15ms);
        return Bytes(echo.begin() + 5, echo.end());
    });
    EXPECT_EQ(link.WriteAddressValue(1, 0x31, 0x55), 0x55);
    EXPECT_EQ(link.GetLastErrors(), 0);
    EXPECT_EQ(slave.RequestCount(), 1u);
}

// A valid frame too short to hold the operation's result is no answer (it used to be read past
// its end).
TEST_F(LinkFixture, aValidAnswerTooShortForTheResultFails) {
    Open(30);
    slave.SetResponder([](const Bytes&) {
        Bytes answer{0x00, 0x00, 0x00};
        const Bytes frame = WithCrc({0x01, 0x06, 0x00, 0x62, 0x12});
        answer.insert(answer.end(), frame.begin(), frame.end());
        return answer;
    });
    EXPECT_EQ(link.WriteAddressValue32Bit(1, 0x62, 0x12345678), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_NO_RESPONSE);
}

TEST_F(LinkFixture, thirtyTwoBitReadAndWrite) {
    Open();
    slave.SetResponder([](const Bytes& req) -> Bytes {
        if (req[1] == 0x03) {
            return WithCrc({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78});
        }
        return req; // the drive echoes a 32-bit write whole
    });
    EXPECT_EQ(link.ReadAddressValue32Bit(1, 0x60), 0x12345678);
    EXPECT_EQ(slave.Requests().at(0), kttest::WithCrc({0x01, 0x03, 0x00, 0x60, 0x00, 0x01}));
    EXPECT_EQ(link.WriteAddressValue32Bit(1, 0x62, -100000), -100000);
    EXPECT_EQ(slave.Requests().at(1).size(), 10u);
}

TEST_F(LinkFixture, blockWriteSendsTheBytesAndReturnsTheEchoedCount) {
    Open();
    AnswerFromBank();
    const KtVariant data = KtVariant::FromBytes(Bytes{0x00, 0x0A, 0xFF, 0xF6, 0x01, 0x00});
    EXPECT_EQ(link.WriteBigData(1, 0x200, 3, data), 3);
    EXPECT_EQ(bank.Get(0x200), 10);
    EXPECT_EQ(bank.Get(0x201), 0xFFF6);
    EXPECT_EQ(bank.Get(0x202), 0x100);
    EXPECT_EQ(slave.Requests().at(0), WithCrc({0x01, 0x10, 0x02, 0x00, 0x00, 0x03, 0x06, 0x00, 0x0A,
                                               0xFF, 0xF6, 0x01, 0x00}));
}

TEST_F(LinkFixture, blockReadReturnsTheWholeFrame) {
    Open(200);
    for (std::uint16_t i = 0; i < 400; ++i) {
        bank.Set(static_cast<std::uint16_t>(0x1000 + i), static_cast<std::uint16_t>(i * 3));
    }
    AnswerFromBank();
    const KtVariant v = link.ReadBigData(1, 0x1000, 400);
    ASSERT_TRUE(v.IsByteArray());
    ASSERT_EQ(v.Count(), 805u);
    EXPECT_EQ(v.parray[0], 0x01);
    EXPECT_EQ(v.parray[1], 0x03);
    EXPECT_EQ((v.parray[3 + 2 * 399] << 8) | v.parray[4 + 2 * 399], 399 * 3);
}

TEST_F(LinkFixture, blockReadOf509RegistersFitsAndOf510NeverDoes) {
    Open(300);
    AnswerFromBank();
    const KtVariant fits = link.ReadBigData(1, 0, 509);
    ASSERT_TRUE(fits.IsByteArray());
    EXPECT_EQ(fits.Count(), 1023u);
    EXPECT_EQ(slave.RequestCount(), 1u);

    const KtVariant tooBig = link.ReadBigData(1, 0, 510);
    EXPECT_TRUE(tooBig.IsEmpty());
    EXPECT_EQ(link.GetLastErrors(), 0); // short every time: retried, never reported
    EXPECT_EQ(slave.RequestCount(), 4u);
}

TEST_F(LinkFixture, blockReadWithAllAnswersShortIsEmptyWithNoError) {
    Open(20);
    slave.SetResponder([this](const Bytes& req) {
        Bytes answer = bank.Answer(req);
        answer.resize(answer.size() - 3);
        return answer;
    });
    EXPECT_TRUE(link.ReadBigData(1, 0, 10).IsEmpty());
    EXPECT_EQ(link.GetLastErrors(), 0);
    EXPECT_EQ(slave.RequestCount(), 3u);
}

TEST_F(LinkFixture, blockReadFindsItsAnswerBehindStrayBytes) {
    Open(50);
    bank.Set(5, 0xABCD);
    slave.SetResponder([this](const Bytes& req) {
        Bytes answer{0x42};
        const Bytes proper = bank.Answer(req);
        answer.insert(answer.end(), proper.begin(), proper.end());
        return answer;
    });
    const KtVariant v = link.ReadBigData(1, 4, 2);
    ASSERT_TRUE(v.IsByteArray());
    EXPECT_EQ(v.Count(), 9u);
    EXPECT_EQ(v.parray[5], 0xAB);
}

TEST_F(LinkFixture, commandBufferWriteAndReceive) {
    Open(30);
    slave.SetResponder([](const Bytes& req) -> Bytes {
        if (req.size() == 10) { // a request for the buffer: answer with 20 bytes
            Bytes answer{0x01, 0x20};
            for (int i = 0; i < 16; ++i) {
                answer.push_back(static_cast<std::uint8_t>(0xA0 + i));
            }
            return WithCrc(answer);
        }
        return WithCrc({0x01, 0x20, 0x00, 0x05, 0x00, 0x02});
    });
    const std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(link.WriteCmdBuffer(1, 0x05, data, 2), 2);
    EXPECT_EQ(slave.Requests().at(0), WithCrc({0x01, 0x20, 0x00, 0x05, 0x00, 0x02, 1, 2, 3, 4}));

    std::uint8_t dest[1024] = {};
    EXPECT_EQ(link.RecvCmdBuffer(1, 0x05, 0x0102, 0x0304, dest), 20);
    EXPECT_EQ(dest[2], 0xA0);
    EXPECT_EQ(slave.Requests().at(1), WithCrc({0x01, 0x20, 0x00, 0x05, 0x03, 0x04, 0x01, 0x02}));
}

TEST_F(LinkFixture, commandBufferWriteWithoutDataIsRefusedWithACode) {
    Open(20);
    RecordingTarget target;
    link.SetReportHWND(&target);
    EXPECT_EQ(link.WriteCmdBuffer(1, 0x05, nullptr, 2), -1);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_BAD_ARGUMENT);
    ASSERT_EQ(target.Posts().size(), 1u);
    EXPECT_EQ(target.Posts()[0].lParam, LINK_ERR_BAD_ARGUMENT);
    EXPECT_EQ(slave.RequestCount(), 0u);
    link.SetReportHWND(nullptr);
}

TEST_F(LinkFixture, commandBufferReceiveOfACorruptAnswerReportsBadCrc) {
    Open(20);
    slave.SetResponder(
        [](const Bytes&) { return Bytes{0x01, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}; });
    std::uint8_t dest[1024] = {};
    EXPECT_EQ(link.RecvCmdBuffer(1, 0x05, 0, 0, dest), 0);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_BAD_CRC);
    EXPECT_EQ(slave.RequestCount(), 3u);
}

TEST_F(LinkFixture, failuresArePostedToTheReportTarget) {
    Open(20);
    RecordingTarget target;
    link.SetReportHWND(&target);
    EXPECT_EQ(link.ReadAddressValue(1, 0xFD), -1);
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 3u); // one per failed attempt
    for (const auto& p : posts) {
        EXPECT_EQ(p.message, WM_LINK_NOTIFY);
        EXPECT_EQ(p.lParam, LINK_ERR_NO_RESPONSE);
    }
    link.SetReportHWND(nullptr);
}

TEST_F(LinkFixture, batchAnswerIsCutAfterItsLastPrompt) {
    Open();
    slave.SetResponder([](const Bytes&) { return Bytes{0x61, 0x62, 0x3F, 0x63, 0x64}; });
    const KtVariant v = link.BatchWriteData(KtVariant::FromBytes(Bytes{0x31, 0x0D}), 0);
    ASSERT_TRUE(v.IsByteArray());
    EXPECT_EQ(v.parray, (Bytes{0x61, 0x62, 0x3F}));
    EXPECT_EQ(slave.Requests().at(0), (Bytes{0x31, 0x0D}));
}

TEST_F(LinkFixture, batchAnswerWithoutPromptIsAnEmptyArray) {
    Open();
    slave.SetResponder([](const Bytes&) { return Bytes{0x61, 0x62, 0x63}; });
    const KtVariant v = link.BatchWriteData(KtVariant::FromBytes(Bytes{0x31}), 5);
    ASSERT_TRUE(v.IsByteArray());
    EXPECT_EQ(v.Count(), 0u);
}

TEST_F(LinkFixture, batchForFreescaleReturnsTheFirstBytes) {
    Open();
    slave.SetResponder([](const Bytes&) { return Bytes{0x4F, 0x4B}; });
    const KtVariant v =
        link.BatchWriteDataForFreescale(KtVariant::FromBytes(Bytes{1, 2, 3, 4, 5}), 3001);
    ASSERT_TRUE(v.IsByteArray());
    EXPECT_EQ(v.parray, (Bytes{0x4F, 0x4B}));
}

TEST_F(LinkFixture, batchPollIntervalOfZeroMeansTenMilliseconds) {
    Open();
    slave.SetResponder([](const Bytes&) { return Bytes{'?', '?', '?'}; });
    // With a 10 ms poll the answer is taken at the first poll; a 0 ms poll taken literally
    // would spin, a long one would wait.
    const auto took = Elapsed([&] { link.BatchWriteData(KtVariant::FromBytes(Bytes{1, 2}), 0); });
    EXPECT_GE(took, 9ms);
    EXPECT_LT(took, 500ms);
}

TEST_F(LinkFixture, rawChannelSendsItsCommandAndChecksTheAnswer) {
    Open();
    const Bytes answer =
        WithCrc({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x10, 0x00, 0x02, 0x12, 0x34});
    slave.SetResponder([&](const Bytes&) { return answer; });
    EXPECT_EQ(link.SendToRoboticArm(0x07, 0x0010, 0x1234), 13u);
    std::uint8_t dest[1024] = {};
    EXPECT_EQ(link.RecvFromRoboticArm(dest), answer.size());
    EXPECT_EQ(Bytes(dest, dest + answer.size()), answer);
    EXPECT_EQ(slave.Requests().at(0),
              WithCrc({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x10, 0x00, 0x02, 0x12, 0x34}));
}

TEST_F(LinkFixture, rawChannelReportsABadCrcAndIgnoresBytesWithoutHeader) {
    Open();
    slave.Send({0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00});
    std::uint8_t dest[1024] = {};
    ASSERT_TRUE(slave.WaitForRequests(0, 1s));
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(link.RecvFromRoboticArm(dest), 0u);
    EXPECT_EQ(link.GetLastErrors(), LINK_ERR_BAD_CRC);

    link.ReadAddressValue(1, 0); // clears the code (and fails: nobody answers)
    slave.Send({0x01, 0x02, 0x03});
    std::this_thread::sleep_for(5ms);
    const auto before = link.GetLastErrors();
    EXPECT_EQ(link.RecvFromRoboticArm(dest), 0u);
    EXPECT_EQ(link.GetLastErrors(), before);
}

} // namespace

namespace {

// The verdicts a tap is given for the frames received, in order.
class VerdictTap final : public KtTap {
public:
    void Frame(const KtTapFrame& frame) override {
        if (frame.direction == KtDirection::Received) {
            verdicts.push_back(frame.verdict);
        }
    }
    std::vector<KtVerdict> verdicts;
};

} // namespace

// What the link passes over is shown to a tap as refused, and the answer after it as taken.
TEST_F(LinkFixture, aTapSeesAnAnswerOfAnotherRequestRefusedAndTheProperOneTaken) {
    Open(100);
    bank.Set(0x28, 0x1111);
    const Bytes otherRead = WithCrc({0x01, 0x03, 0x04, 0xAB, 0xCD, 0x00, 0x00});
    slave.SetResponder([&](const Bytes& req) {
        Bytes answer = otherRead;
        const Bytes proper = bank.Answer(req);
        answer.insert(answer.end(), proper.begin(), proper.end());
        return answer;
    });
    VerdictTap tap;
    link.SetTap(&tap);
    EXPECT_EQ(link.ReadAddressValue(1, 0x28), 0x1111);
    link.SetTap(nullptr);
    EXPECT_EQ(tap.verdicts, (std::vector<KtVerdict>{KtVerdict::Foreign, KtVerdict::Taken}));
}
