// Register access: each operation is one Modbus request/response exchange under the bus lock,
// tried a fixed number of times.

#include "KTCOM.h"

#include "AnswerRule.h"
#include "ModbusFrame.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr auto kPauseAfterFailure = 10ms;
constexpr auto kBusWait = 500ms;
constexpr auto kBlockBusWait = 1000ms;

} // namespace

// How one operation runs its exchange: its answer rule plus how often and how patiently it tries.
struct CKTCOM::Plan {
    ktcom::AnswerRule answer;
    int attempts = 3;
    bool pauseAfterFailure = true;
    std::chrono::milliseconds busWait = kBusWait;

    explicit Plan(const ktcom::AnswerRule& rule) : answer(rule) {}
    // A read's answer, taken where it arrives (the Part's unlocated answer) or looked for behind
    // stray bytes.
    static Plan Read(std::uint8_t station, std::uint32_t expected, bool locate) {
        Plan p(ktcom::AnswerRule::Read(station, expected));
        p.answer.locate = locate;
        return p;
    }
    // A write's echo of `echoed` request bytes from the address on, behind stray bytes or not.
    static Plan Echo(const Bytes& request, std::size_t echoed, bool locate) {
        Plan p(ktcom::AnswerRule::Echo(request, echoed));
        p.answer.locate = locate;
        return p;
    }
    // The result: `width` bytes (2 or 4) from `offset`, high byte first.
    Plan& Result(std::size_t offset, std::size_t width) {
        answer.resultOffset = offset;
        answer.resultWidth = width;
        return *this;
    }
};

CKTCOM::Gate CKTCOM::Enter() {
    m_lastError = 0;
    if (m_useMode.load() == 0) {
        return Gate::Offline;
    }
    if (m_connected.load() == 0) {
        Report(LINK_ERR_NOT_OPEN);
        return Gate::NotOpen;
    }
    return Gate::Go;
}

template <class T> std::optional<T> CKTCOM::EnterWith(T offline, T failure) {
    switch (Enter()) {
    case Gate::Offline:
        return offline;
    case Gate::NotOpen:
        return failure;
    case Gate::Go:
        break;
    }
    return std::nullopt;
}

bool CKTCOM::Exchange(const Bytes& request, const Plan& plan, Bytes& answer) {
    std::unique_lock<ktcom::BusLock> bus(m_busMutex, std::defer_lock);
    if (!bus.try_lock_for(plan.busWait)) {
        Report(LINK_ERR_BUS_BUSY);
        return false;
    }
    const PortHandle port = CurrentPort();
    LineHeld held(m_lineHeld);
    // The tap is taken under the bus lock, which SetTap takes too: it stays for the exchange.
    m_exchangeTap = m_tap.load(std::memory_order_acquire);
    m_ledger.Watch(m_exchangeTap != nullptr ? &CKTCOM::TapPassed : nullptr, this);
    const std::uint8_t station = request.empty() ? 0 : request[0];
    std::chrono::steady_clock::time_point sent{};
    const std::uint64_t exchange = ++m_exchanges;
    WaitOutLookAlikes(port, exchange, plan.answer);
    // Whether the drive answered anything while this exchange was on the line: its requests still
    // due then wait for a drive that is there, not for an empty line.
    std::size_t heard = 0;
    struct MarkHeard {
        ktcom::AnswerLedger& ledger;
        std::uint64_t exchange;
        const std::size_t& heard;
        ~MarkHeard() {
            if (heard > 0) {
                ledger.Heard(exchange);
            }
        }
    } mark{m_ledger, exchange, heard};

    for (int attempt = 0; attempt < plan.attempts; ++attempt) {
        // What came since the last receive answers earlier requests, or is noise; a late answer
        // to an earlier attempt of this exchange answers this one as well as a new one would.
        std::size_t waiting = 0;
        const bool late = TakeWaiting(port, exchange, answer, waiting);
        heard += attempt > 0 ? waiting : 0;
        if (late) {
            if (m_exchangeTap != nullptr) {
                ktcom::AnswerLedger::Result taken{ktcom::AnswerLedger::End::Taken, answer, 0};
                TapOutcome(taken, false, station, sent);
            }
            m_lastError = 0;
            return true;
        }
        WriteComm(port, request.data(), static_cast<std::uint32_t>(request.size()));
        sent = std::chrono::steady_clock::now();
        if (m_exchangeTap != nullptr) {
            TapFrame(KtDirection::Sent, KtVerdict::Sent, request.data(), request.size(), station,
                     static_cast<std::uint8_t>(attempt));
        }
        m_ledger.Sent(exchange, plan.answer, sent, AnswerWindow(request.size(), plan.answer));
        ReceiveCount count;
        const ktcom::AnswerLedger::Result got = ReceiveAnswer(port, exchange, plan.answer, count);
        heard += count.received;
        if (m_exchangeTap != nullptr) {
            const bool spoilt = got.end == ktcom::AnswerLedger::End::NeedMore &&
                                count.unexplained >= plan.answer.expected;
            TapOutcome(got, !spoilt, station, sent);
        }
        switch (got.end) {
        case ktcom::AnswerLedger::End::Taken:
            // A retry that succeeds is a successful exchange: a code left over from an earlier
            // attempt would make a register value of 0xFFFF read as a failure.
            m_lastError = 0;
            answer = got.frame;
            return true;
        case ktcom::AnswerLedger::End::Refused:
            Report(LINK_ERR_REFUSED);
            break;
        case ktcom::AnswerLedger::End::Corrupt:
        case ktcom::AnswerLedger::End::Garbled:
            Report(LINK_ERR_BAD_CRC);
            break;
        case ktcom::AnswerLedger::End::Cut:
        case ktcom::AnswerLedger::End::NeedMore:
            if (got.end == ktcom::AnswerLedger::End::NeedMore &&
                count.unexplained >= plan.answer.expected) {
                Report(LINK_ERR_BAD_CRC); // bytes came, but none made the answer
            } else if (plan.answer.onShort == ktcom::AnswerRule::Short::RetryQuietly) {
                m_ledger.DropBuffered();
                continue;
            } else {
                Report(LINK_ERR_NO_RESPONSE);
            }
            break;
        }
        // The bytes of a failed attempt are spent; its request stays due, since its answer may
        // still come.
        m_ledger.DropBuffered();
        if (plan.pauseAfterFailure) {
            const auto pause = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(kPauseAfterFailure);
            NoteStall(pause, kPauseAfterFailure);
        }
    }
    return false;
}

std::int16_t CKTCOM::ReadAddressValue(std::uint8_t station, std::uint16_t address) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    Bytes answer;
    const Plan plan = Plan::Read(station, 7, false).Result(3, 2);
    if (!Exchange(ktcom::ReadRequest(station, address, 1), plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int16_t CKTCOM::FindDrive(std::uint8_t station, std::uint16_t address) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    Plan plan = Plan::Read(station, 7, true).Result(3, 2);
    plan.attempts = 1; // a probe asks once
    Bytes answer;
    if (!Exchange(ktcom::ReadRequest(station, address, 1), plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int32_t CKTCOM::ReadAddressValue32Bit(std::uint8_t station, std::uint16_t address) {
    if (const auto early = EnterWith<std::int32_t>(0, -1)) {
        return *early;
    }
    // The drive answers the 32-bit read of one register with four data bytes.
    const Plan plan = Plan::Read(station, 9, true).Result(3, 4);
    Bytes answer;
    if (!Exchange(ktcom::ReadRequest(station, address, 1), plan, answer)) {
        return -1;
    }
    return *ktcom::AnswerValue(answer, plan.answer);
}

std::int16_t CKTCOM::WriteAddressValue(std::uint8_t station, std::uint16_t address,
                                       std::int16_t value) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    const Bytes request = ktcom::WriteRequest(station, address, value);
    const Plan plan = Plan::Echo(request, 4, true).Result(4, 2);
    Bytes answer;
    if (!Exchange(request, plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int32_t CKTCOM::WriteAddressValue32Bit(std::uint8_t station, std::uint16_t address,
                                            std::int32_t value) {
    if (const auto early = EnterWith<std::int32_t>(0, -1)) {
        return *early;
    }
    const Bytes request = ktcom::Write32Request(station, address, value);
    const Plan plan = Plan::Echo(request, 6, true).Result(4, 4);
    Bytes answer;
    if (!Exchange(request, plan, answer)) {
        return -1;
    }
    return *ktcom::AnswerValue(answer, plan.answer);
}

KtVariant CKTCOM::ReadBigData(std::uint8_t station, std::uint16_t address, std::uint16_t count) {
    switch (Enter()) {
    case Gate::Offline: {
        // A made-up frame of the right length lets callers run their whole path without a drive.
        Bytes made(static_cast<std::uint16_t>(2u * count + 5u));
        for (std::size_t i = 0; i < made.size(); ++i) {
            made[i] = static_cast<std::uint8_t>(i % 256);
        }
        return KtVariant::FromBytes(made);
    }
    case Gate::NotOpen:
        return {};
    case Gate::Go:
        break;
    }
    Plan plan = Plan::Read(station, 2u * count + 5u, true);
    plan.answer.onShort = ktcom::AnswerRule::Short::RetryQuietly;
    plan.pauseAfterFailure = false;
    plan.busWait = kBlockBusWait;
    Bytes answer;
    if (!Exchange(ktcom::ReadRequest(station, address, count), plan, answer)) {
        return {};
    }
    return ByteArraryToVariant(answer);
}

std::int16_t CKTCOM::WriteBigData(std::uint8_t station, std::uint16_t address, std::uint16_t count,
                                  const KtVariant& bytes) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    const Bytes request =
        ktcom::WriteBlockRequest(station, address, count, bytes.Data(), bytes.Count());
    const Plan plan = Plan::Echo(request, 4, true).Result(4, 2);
    Bytes answer;
    if (!Exchange(request, plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int16_t CKTCOM::WriteCmdBuffer(std::uint8_t station, std::uint16_t address,
                                    const std::uint8_t* data, std::uint16_t count) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    if (data == nullptr && count != 0) {
        Report(LINK_ERR_BAD_ARGUMENT); // nothing to copy the promised bytes from
        return -1;
    }
    // The command buffer's answer is the drive maker's own: its station, function and length
    // are all that is known of it.
    const Bytes request = ktcom::CmdBufferWriteRequest(station, address, count, data);
    Plan plan = Plan::Echo(request, 0, false).Result(4, 2);
    plan.answer.expected = 8;
    Bytes answer;
    if (!Exchange(request, plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int16_t CKTCOM::RecvCmdBuffer(std::uint8_t station, std::uint16_t address, std::uint16_t third,
                                   std::uint16_t fourth, std::uint8_t* destination) {
    switch (Enter()) {
    case Gate::Offline:
    case Gate::NotOpen:
        return 0;
    case Gate::Go:
        break;
    }
    const Bytes request = ktcom::CmdBufferRecvRequest(station, address, third, fourth);
    Plan plan = Plan::Echo(request, 0, true);
    plan.answer.expected = 20; // what the receive waits for; the answer runs to the end of it
    plan.answer.openLength = true;
    plan.answer.onShort = ktcom::AnswerRule::Short::ValidityDecides;
    plan.pauseAfterFailure = false;
    Bytes answer;
    if (!Exchange(request, plan, answer)) {
        return 0;
    }
    // A receive gathers at most 1024 bytes, which is what the destination holds.
    const std::size_t n = std::min<std::size_t>(answer.size(), 1024);
    if (destination != nullptr) {
        std::memcpy(destination, answer.data(), n);
    }
    return static_cast<std::int16_t>(n);
}
