#include "AnswerLedger.h"

#include <algorithm>
#include <limits>

namespace ktcom {

void AnswerLedger::Clear() {
    due_.clear();
    buffer_.clear();
    base_ = 0;
    toldUpTo_ = 0;
}

// A frame held back for its end is walked again at the next scan: it is told of once.
void AnswerLedger::Tell(std::uint64_t at, const std::uint8_t* data, std::size_t count, bool late,
                        std::uint8_t station) {
    if (watcher_ != nullptr && at >= toldUpTo_) {
        toldUpTo_ = at + count;
        watcher_(watcherContext_, data, count, late, station);
    }
}

void AnswerLedger::Add(const std::uint8_t* data, std::size_t count) {
    buffer_.insert(buffer_.end(), data, data + count);
}

void AnswerLedger::DropBuffered() {
    Consume(buffer_.size());
}

void AnswerLedger::Consume(std::size_t count) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
    base_ += count;
}

void AnswerLedger::Sent(std::uint64_t exchange, const AnswerRule& rule, TimePoint now,
                        std::chrono::microseconds window) {
    due_.push_back({exchange, base_ + buffer_.size(), rule, window, now + window});
}

void AnswerLedger::Expire(TimePoint now) {
    due_.erase(
        std::remove_if(due_.begin(), due_.end(), [now](const Due& d) { return d.expiry <= now; }),
        due_.end());
}

void AnswerLedger::Heard(std::uint64_t exchange) {
    for (Due& d : due_) {
        d.heard = d.heard || d.exchange == exchange;
    }
}

namespace {

// Whether the answers to two requests look alike: nothing in one tells it from the other.
bool SameShape(const AnswerRule& a, const AnswerRule& b) {
    return a.station == b.station && a.function == b.function && a.expected == b.expected &&
           a.openLength == b.openLength && a.echoLength == b.echoLength &&
           std::equal(a.echo.begin(), a.echo.begin() + a.echoLength, b.echo.begin());
}

} // namespace

std::optional<AnswerLedger::TimePoint> AnswerLedger::AmbiguousUntil(const AnswerRule& rule) const {
    std::optional<TimePoint> until;
    for (const Due& d : due_) {
        if (d.heard && SameShape(d.rule, rule)) {
            until = until ? std::max(*until, d.expiry) : d.expiry;
        }
    }
    return until;
}

void AnswerLedger::Postpone(std::chrono::microseconds by) {
    for (Due& d : due_) {
        d.expiry += by;
    }
}

AnswerLedger::Result AnswerLedger::Scan(std::uint64_t exchange, bool strict, bool final,
                                        TimePoint now) {
    // The request this exchange sent last: bytes from its send on are judged against its rule.
    std::uint64_t lastSent = std::numeric_limits<std::uint64_t>::max();
    AnswerRule ours;
    for (auto it = due_.rbegin(); it != due_.rend(); ++it) {
        if (it->exchange == exchange) {
            lastSent = it->sentAt;
            ours = it->rule;
            break;
        }
    }
    Result result;
    bool garbled = false;     // the answer did not start where it must
    bool partialTail = false; // at the end: a frame runs on past the last byte from here
    // Where a frame of no request on the line begins that has not all come: it is kept for when
    // it has, while the bytes inside it are still looked at, since it may be noise that only
    // looks like a frame's beginning, with the answer in it.
    std::size_t hold = buffer_.size();
    std::size_t pos = 0;
    while (pos < buffer_.size()) {
        const std::uint64_t at = base_ + pos;
        const std::uint8_t* data = buffer_.data() + pos;
        const std::size_t count = buffer_.size() - pos;

        // The oldest request on the line that this frame answers. Requests sent after its first
        // byte came cannot be answered by it.
        std::size_t match = due_.size();
        FrameFit fit;
        bool partial = false;
        for (std::size_t j = 0; j < due_.size() && due_[j].sentAt <= at; ++j) {
            const FrameFit f = FitAnswer(data, count, due_[j].rule, final);
            if (f.fit == Fit::Partial && final && f.length > 0) {
                // Nothing more comes: the answer was cut short, but it was its answer.
                match = j;
                fit = f;
                break;
            }
            if (f.fit == Fit::Partial) {
                partial = true;
                if (!final) {
                    break;
                }
            } else if (f.fit != Fit::No) {
                match = j;
                fit = f;
                break;
            }
        }
        if (match < due_.size()) {
            const std::uint64_t owner = due_[match].exchange;
            const std::uint8_t ownerStation = due_[match].rule.station;
            // In order: the requests before it got no answer, and never will; those after it
            // were taken up no earlier than now.
            due_.erase(due_.begin(), due_.begin() + static_cast<std::ptrdiff_t>(match) + 1);
            for (Due& later : due_) {
                later.expiry = std::max(later.expiry, now + later.window);
            }
            if (owner == exchange) {
                if (garbled) {
                    result.end = End::Garbled;
                } else if (fit.fit == Fit::Partial) {
                    result.end = End::Cut;
                } else if (fit.fit == Fit::Whole) {
                    result.end = End::Taken;
                } else {
                    result.end = fit.fit == Fit::Exception ? End::Refused : End::Corrupt;
                }
                result.frame.assign(data, data + fit.length);
                Consume(pos + fit.length);
                return result;
            }
            Tell(at, data, fit.length, true, ownerStation);
            pos += fit.length;
            continue;
        }

        // Not the answer to any request on the line: another frame is passed over whole.
        const FrameFit any = FitAnyFrame(data, count);
        if (any.fit == Fit::Whole) {
            Tell(at, data, any.length, false, data[0]);
            pos += any.length;
            continue;
        }
        const bool strictHere = strict && !garbled && at >= lastSent;
        if (any.fit == Fit::Partial && !partial && !final && !strictHere && !garbled) {
            hold = std::min(hold, pos);
            ++pos;
            continue;
        }
        partial = partial || any.fit == Fit::Partial;
        if (partial && !final) {
            if (garbled) {
                break;
            }
            Consume(std::min(hold, pos)); // wait for the rest of it
            return result;
        }
        if (strictHere) {
            if (count < ours.expected) {
                if (final) {
                    result.unexplained += count; // an answer cut short
                    Consume(buffer_.size());
                } else {
                    Consume(std::min(hold, pos)); // too few bytes to judge yet
                }
                return result;
            }
            // What came does not start with the answer. What follows is still accounted for,
            // so that an answer behind the stray bytes does not stay due.
            garbled = true;
        }
        partialTail = partialTail || partial;
        if (!partialTail && hold == buffer_.size() && at >= lastSent) {
            ++result.unexplained;
        }
        ++pos;
    }
    Consume(std::min(hold, pos));
    if (garbled) {
        result.end = End::Garbled;
        DropBuffered();
    }
    return result;
}

} // namespace ktcom
