#pragma once

// The link's tap: an optional watcher that sees every frame the link sends and receives, with
// the link's verdict on it, and running counters built from what it sees. Nothing here is used
// unless a tap is set; with none set an exchange pays one pointer test.

#include "KtExport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

enum class KtDirection : std::uint8_t { Sent, Received };

// What the link made of a frame. A request sent is Sent; every attempt ends with one of Taken,
// CrcFailure, NoAnswer or Exception. Foreign and Late are frames passed over on the way.
enum class KtVerdict : std::uint8_t {
    Sent,       // a request went out
    Taken,      // the answer to the request, whole and valid
    CrcFailure, // the answer came spoilt: wrong CRC, or bytes that made no answer
    NoAnswer,   // the response time-out passed without the whole answer (bytes: what came)
    Foreign,    // a whole frame that answers no request on the line: refused
    Late,       // the answer to an earlier request, come after that request gave up: dropped
    Exception   // the drive refused the request with an exception reply
};
constexpr std::size_t kKtVerdictCount = 7;

struct KtTapFrame {
    const std::uint8_t* bytes = nullptr; // valid only during the call
    std::size_t count = 0;
    std::int64_t timeUs = 0; // monotonic (steady clock), microseconds
    std::uint8_t station = 0;
    KtDirection direction = KtDirection::Sent;
    KtVerdict verdict = KtVerdict::Sent;
    std::uint8_t attempt = 0;       // Sent: 0 the first try of an exchange, 1 and on its retries
    std::uint8_t exceptionCode = 0; // Exception: the code the drive gave
    std::int64_t answerUs = -1;     // Taken: time from the request's send to its answer
};

// Receiver of the tap. Frame runs on the thread that carries out the exchange, while it holds
// the line: it must be quick (copy what it needs and return) and must not call the link.
class KTCOM_API KtTap {
public:
    virtual ~KtTap();
    virtual void Frame(const KtTapFrame& frame) = 0;
};

// What happened on the line with one station, counted from the tap's frames.
struct KTCOM_API KtStationCounts {
    std::uint64_t requests = 0; // exchanges begun (first attempts)
    std::uint64_t retries = 0;  // further attempts
    std::uint64_t answers = 0;
    std::uint64_t timeOuts = 0;
    std::uint64_t crcFailures = 0;
    std::map<std::uint8_t, std::uint64_t> exceptions; // by exception code
    std::uint64_t lateDropped = 0;
    std::uint64_t foreignDropped = 0;
    // Answer times in microseconds; 0 while no answer was taken. The quantiles are exact to
    // within 1/32 of the value.
    std::int64_t answerP50 = 0;
    std::int64_t answerP99 = 0;
    std::int64_t answerMax = 0;

    std::uint64_t ExceptionTotal() const;
};

// Running counters per station. Not thread-safe: its owner feeds it from the tap and reads it
// under one lock.
class KTCOM_API KtBusCounters {
public:
    void Add(const KtTapFrame& frame);
    void Clear();
    std::vector<std::uint8_t> Stations() const;
    KtStationCounts Of(std::uint8_t station) const;

private:
    // Answer times in buckets of 1/32 of their power of two: fixed size, whatever the run's
    // length.
    static constexpr std::size_t kBuckets = 32 * 40;
    struct Station {
        KtStationCounts counts;
        std::vector<std::uint32_t> histogram;
        std::uint64_t timed = 0;
    };
    static std::size_t Bucket(std::int64_t us);
    static std::int64_t BucketValue(std::size_t bucket);
    std::map<std::uint8_t, Station> stations_;
};
