// The link's tap: what each exchange hands to it.

#include "KTCOM.h"

using namespace std::chrono_literals;

namespace {

std::int64_t Microseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

} // namespace

void CKTCOM::SetTap(KtTap* tap) {
    // Under the bus lock, so no exchange is half way through with the tap set before.
    while (!m_busMutex.try_lock_for(1000ms)) {
    }
    m_tap.store(tap, std::memory_order_release);
    m_exchangeTap = tap;
    m_ledger.Watch(tap != nullptr ? &CKTCOM::TapPassed : nullptr, this);
    m_busMutex.unlock();
}

void CKTCOM::TapFrame(KtDirection direction, KtVerdict verdict, const std::uint8_t* bytes,
                      std::size_t count, std::uint8_t station, std::uint8_t attempt,
                      std::int64_t answerUs) {
    KtTapFrame frame;
    frame.bytes = bytes;
    frame.count = count;
    frame.timeUs = Microseconds(std::chrono::steady_clock::now());
    frame.station = station;
    frame.direction = direction;
    frame.verdict = verdict;
    frame.attempt = attempt;
    frame.answerUs = answerUs;
    if (verdict == KtVerdict::Exception && count >= 3) {
        frame.exceptionCode = bytes[2];
    }
    m_exchangeTap->Frame(frame);
}

void CKTCOM::TapOutcome(const ktcom::AnswerLedger::Result& got, bool noAnswer, std::uint8_t station,
                        std::chrono::steady_clock::time_point sent) {
    using End = ktcom::AnswerLedger::End;
    KtVerdict verdict = KtVerdict::NoAnswer;
    std::int64_t answerUs = -1;
    switch (got.end) {
    case End::Taken:
        verdict = KtVerdict::Taken;
        answerUs = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - sent)
                       .count();
        break;
    case End::Refused:
        verdict = KtVerdict::Exception;
        break;
    case End::Corrupt:
    case End::Garbled:
        verdict = KtVerdict::CrcFailure;
        break;
    case End::Cut:
        break;
    case End::NeedMore:
        verdict = noAnswer ? KtVerdict::NoAnswer : KtVerdict::CrcFailure;
        break;
    }
    TapFrame(KtDirection::Received, verdict, got.frame.data(), got.frame.size(), station, 0,
             answerUs);
}

void CKTCOM::TapPassed(void* context, const std::uint8_t* data, std::size_t count, bool late,
                       std::uint8_t station) {
    auto* link = static_cast<CKTCOM*>(context);
    if (link->m_exchangeTap != nullptr) {
        link->TapFrame(KtDirection::Received, late ? KtVerdict::Late : KtVerdict::Foreign, data,
                       count, station);
    }
}
