#pragma once

// Fault switches of the line and the drive, each named for what a real installation does: a
// noisy line that spoils CRCs, a drive that does not answer or answers late, a transceiver that
// puts a stray byte on the line as it turns on, a reply cut short, an exception from a busy drive,
// and bursts of noise between exchanges. Each acts on the next N replies, or on each reply with a
// given probability; a lost request acts on the next N requests instead, before the drive sees
// them. Thread-safe: tests and the control channel change them while the drive runs.

#include "RtuSlave.h"
#include "WireTiming.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestova::sim {

enum class LineFault {
    CrcError,       // "crc-error": the reply's CRC is wrong
    NoReply,        // "no-reply": the drive keeps quiet
    LateReply,      // "late-reply": the reply leaves late (see lateBy)
    StrayByte,      // "stray-byte": one byte goes out before the reply
    ShortReply,     // "short-reply": the reply stops before its end
    ExceptionReply, // "exception-reply": the drive answers with an exception (see exceptionCode)
    LineNoise,      // "line-noise": bursts of random bytes between exchanges
    LostRequest,    // "lost-request": the request never reaches the drive (no effect, no reply)
};
inline constexpr std::size_t kLineFaultCount = 8;

const char* LineFaultName(LineFault fault);
std::optional<LineFault> LineFaultFromName(const std::string& name);

struct FaultSetting {
    int count = 0;     // act on the next `count` replies (bursts for line noise)
    double rate = 0.0; // else act on each reply with this probability (bursts per second for noise)
};

// What to put on the line in place of a reply.
struct ReplyPlan {
    bool send = true;
    Bytes bytes;
    Micros extraDelay{0};
};

class LineFaults {
public:
    explicit LineFaults(std::uint32_t seed = 1);

    void Set(LineFault fault, FaultSetting setting);
    FaultSetting Get(LineFault fault) const;
    void ClearAll();
    void SetLateBy(Micros delay);
    Micros LateBy() const;
    void SetExceptionCode(ExceptionCode code);
    ExceptionCode GetExceptionCode() const;

    // Whether the request that just came in is lost on its way to the drive: it is then neither
    // carried out nor answered.
    bool RequestLost();

    // Applies the switches that are due to a reply for the request (station, function).
    ReplyPlan Plan(Bytes reply, std::uint8_t station, std::uint8_t function);

    // Noise bursts due in an idle spell of `idle` since the last check. Empty when none.
    std::vector<Bytes> NoiseDue(Micros idle);

    // A one-line summary of the switches that are on, for the control channel.
    std::string Describe() const;

private:
    bool Due(LineFault fault); // consumes one count, or draws against the rate
    Bytes RandomBurst();

    mutable std::mutex mutex_;
    std::array<FaultSetting, kLineFaultCount> settings_{};
    Micros lateBy_{300'000};
    ExceptionCode exceptionCode_ = ExceptionCode::DeviceBusy;
    std::mt19937 random_;
};

} // namespace kestova::sim
