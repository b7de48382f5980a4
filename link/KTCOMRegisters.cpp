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

    // The answer is taken as it arrives.
    static Plan AsReceived(std::uint32_t expected) {
        Plan p;
        p.answer.expected = expected;
        return p;
    }
    // The answer is looked for behind stray bytes by its station and function.
    static Plan Located(std::uint8_t station, std::uint8_t function, std::uint32_t expected) {
        Plan p;
        p.answer.expected = expected;
        p.answer.locate = true;
        p.answer.station = station;
        p.answer.function = function;
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
    Bytes received;
    bool ok = false;
    int unanswered = 0; // attempts that heard nothing: their answers may still be on the way
    bool heard = false; // some attempt received bytes: a drive is there
    for (int attempt = 0; attempt < plan.attempts && !ok; ++attempt) {
        // Whatever waits now came before this request and cannot be its answer.
        DiscardInput(port);
        WriteComm(port, request.data(), static_cast<std::uint32_t>(request.size()));
        if (ReadComThread(port, received, plan.answer) == 0) {
            ++unanswered;
        } else {
            heard = true;
        }
        bool failed = true;
        switch (ktcom::JudgeAnswer(received, plan.answer)) {
        case ktcom::Verdict::Taken:
            // A retry that succeeds is a successful exchange: a code left over from an earlier
            // attempt would make a register value of 0xFFFF read as a failure.
            m_lastError = 0;
            answer = received;
            ok = true;
            failed = false;
            break;
        case ktcom::Verdict::ShortQuietly:
            continue;
        case ktcom::Verdict::Short:
        case ktcom::Verdict::TooShort:
            Report(LINK_ERR_NO_RESPONSE);
            break;
        case ktcom::Verdict::BadCrc:
            Report(LINK_ERR_BAD_CRC);
            break;
        }
        if (failed && plan.pauseAfterFailure) {
            std::this_thread::sleep_for(kPauseAfterFailure);
        }
    }
    if (unanswered > 0 && heard) {
        // A drive that answers, but late: the answer taken may be a late one to an earlier
        // attempt, and the answers to the attempts that heard nothing may still come. Let them
        // come and go now, or they would answer the next request. A line that stayed silent
        // throughout has no drive on it and costs nothing more.
        DrainLateAnswers(port, static_cast<std::uint32_t>(unanswered) * plan.answer.expected);
    }
    received.clear();
    return ok;
}

std::int16_t CKTCOM::ReadAddressValue(std::uint8_t station, std::uint16_t address) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    Bytes answer;
    const Plan plan = Plan::AsReceived(7).Result(3, 2);
    if (!Exchange(ktcom::ReadRequest(station, address, 1), plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int16_t CKTCOM::FindDrive(std::uint8_t station, std::uint16_t address) {
    if (const auto early = EnterWith<std::int16_t>(0, -1)) {
        return *early;
    }
    Plan plan = Plan::Located(station, 0x03, 7).Result(3, 2);
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
    const Plan plan = Plan::Located(station, 0x03, 9).Result(3, 4);
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
    const Plan plan = Plan::Located(station, 0x06, 8).Result(4, 2);
    Bytes answer;
    if (!Exchange(ktcom::WriteRequest(station, address, value), plan, answer)) {
        return -1;
    }
    return static_cast<std::int16_t>(*ktcom::AnswerValue(answer, plan.answer));
}

std::int32_t CKTCOM::WriteAddressValue32Bit(std::uint8_t station, std::uint16_t address,
                                            std::int32_t value) {
    if (const auto early = EnterWith<std::int32_t>(0, -1)) {
        return *early;
    }
    const Plan plan = Plan::Located(station, 0x06, 10).Result(4, 4);
    Bytes answer;
    if (!Exchange(ktcom::Write32Request(station, address, value), plan, answer)) {
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
    Plan plan = Plan::Located(station, 0x03, 2u * count + 5u);
    plan.answer.locateByReceived = true;
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
    const Plan plan = Plan::Located(station, 0x10, 8).Result(4, 2);
    Bytes answer;
    const Bytes request =
        ktcom::WriteBlockRequest(station, address, count, bytes.Data(), bytes.Count());
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
    const Plan plan = Plan::AsReceived(8).Result(4, 2);
    Bytes answer;
    if (!Exchange(ktcom::CmdBufferWriteRequest(station, address, count, data), plan, answer)) {
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
    Plan plan = Plan::Located(station, 0x20, 20);
    plan.answer.locateByReceived = true;
    plan.answer.onShort = ktcom::AnswerRule::Short::ValidityDecides;
    plan.pauseAfterFailure = false;
    Bytes answer;
    if (!Exchange(ktcom::CmdBufferRecvRequest(station, address, third, fourth), plan, answer)) {
        return 0;
    }
    // A receive gathers at most 1024 bytes, which is what the destination holds.
    const std::size_t n = std::min<std::size_t>(answer.size(), 1024);
    if (destination != nullptr) {
        std::memcpy(destination, answer.data(), n);
    }
    return static_cast<std::int16_t>(n);
}
