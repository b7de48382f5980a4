#pragma once

// The receive side of one line: the bytes received and not yet accounted for, and the requests
// whose answers may still come. RTU frames carry no transaction number, so an answer is told
// from the answer to another request only by its shape and by order: a drive answers one request
// at a time, in the order it got them. Every whole frame that arrives is given to the oldest
// request on the line that it answers; the requests before that one got no answer and never
// will. A request that has waited longer than the lateness the line allows for is forgotten. That
// wait counts from its send, or from the last answer to an earlier request if that came later:
// a drive busy with a late answer takes up the requests queued behind it only once it is out.
//
// Nothing here reads a clock or a port: the link feeds it bytes and times, and tests and the fuzz
// target drive it directly.

#include "AnswerRule.h"
#include "KtExport.h"
#include "ModbusFrame.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace ktcom {

class KTCOM_API AnswerLedger {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    enum class End {
        NeedMore, // no answer to this exchange among the bytes yet
        Taken,    // its answer, whole and valid
        Refused,  // its answer is an exception reply
        Corrupt,  // its answer, with a wrong CRC
        Cut,      // its answer began, and the receive ended before it was whole
        Garbled   // an answer that must start where the request's answer starts does not
    };
    struct Result {
        End end = End::NeedMore;
        Bytes frame; // Taken: the answer; Refused: the exception reply
        // Bytes received after the exchange's last request that this scan passed over as no
        // frame at all; bytes of a frame still partial at the end are not among them. An
        // attempt whose receive ends with fewer than its answer's length got no answer; with
        // more, what came was spoilt.
        std::size_t unexplained = 0;
    };

    // Forgets every byte and every request (a new port).
    void Clear();

    // Bytes that came off the line.
    void Add(const std::uint8_t* data, std::size_t count);
    // Bytes received and not yet accounted for.
    std::size_t Buffered() const { return buffer_.size(); }
    // Forgets the bytes not accounted for; the requests stay on the line.
    void DropBuffered();

    // A request of `exchange` went out at `now`: bytes received from now on may answer it, for
    // as long as `window`.
    void Sent(std::uint64_t exchange, const AnswerRule& rule, TimePoint now,
              std::chrono::microseconds window);
    // Forgets requests whose answers can no longer come. Call it only after every byte received
    // by `now` has been added, so that no answer that came in time is missed.
    void Expire(TimePoint now);
    // Marks the requests of `exchange` still due as sent to a drive that is there: something
    // came back during the exchange.
    void Heard(std::uint64_t exchange);
    // Until when an answer to an earlier request could still come that the answer to a request
    // with this rule could not be told from (the same shape), where the drive was heard. Nothing
    // when there is no such request.
    std::optional<TimePoint> AmbiguousUntil(const AnswerRule& rule) const;

    // Gives every request on the line this much more time: the machine held the thread that
    // watches the line, and what answers it may have been held as well.
    void Postpone(std::chrono::microseconds by);
    std::size_t Outstanding() const { return due_.size(); }

    // Walks the bytes, giving each whole frame to the oldest request it answers, until one
    // answers a request of `exchange`. Frames that answer no request on the line (another
    // request's answer that came too late, another station's traffic) are passed over, and so
    // are stray bytes, except where `strict` holds: then the answer to the request last sent by
    // `exchange` must start where the bytes received after it start (past frames that answer
    // earlier requests), and anything else is Garbled once as many bytes as the answer holds
    // are in. With `final` nothing more will come: frames still partial are passed over.
    // `now` is when the bytes were read.
    Result Scan(std::uint64_t exchange, bool strict, bool final, TimePoint now);

    // Told once of each whole frame that Scan passes over: `late` when it answers an earlier
    // request still on the line (of `station`), else it answers none. Null tells no one.
    using PassedOver = void (*)(void* context, const std::uint8_t* data, std::size_t count,
                                bool late, std::uint8_t station);
    void Watch(PassedOver watcher, void* context) {
        watcher_ = watcher;
        watcherContext_ = context;
    }

private:
    struct Due {
        std::uint64_t exchange;
        std::uint64_t sentAt; // stream position of the first byte that can answer it
        AnswerRule rule;
        std::chrono::microseconds window;
        TimePoint expiry;
        bool heard = false;
    };
    void Consume(std::size_t count);

    std::deque<Due> due_;
    Bytes buffer_;
    std::uint64_t base_ = 0; // stream position of buffer_[0]
    PassedOver watcher_ = nullptr;
    void* watcherContext_ = nullptr;
    std::uint64_t toldUpTo_ = 0; // stream position past the last frame told of
    void Tell(std::uint64_t at, const std::uint8_t* data, std::size_t count, bool late,
              std::uint8_t station);
};

} // namespace ktcom
