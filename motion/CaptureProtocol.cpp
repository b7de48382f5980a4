#include "CaptureProtocol.h"

#include "KTCOM.h"
#include "RegisterMap.h"
#include "TestRegisters.h"

#include <algorithm>

namespace kestova::motion {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPollPeriod{100};
constexpr milliseconds kTriggerLimit{20000};
// The earlier protocol's captures are waited for as if they lasted 5 s.
constexpr std::int64_t kLegacyDoneLimitMs = 5000;
// A capture status that says the data may be read; the same value says a trigger fired.
constexpr std::int16_t kComplete = 2;
// A block reply: station, function, byte count, data, CRC.
constexpr std::size_t kReplyOverhead = 5;
constexpr std::size_t kLargestDataPart = 1000;

} // namespace

void PlaceSamples(std::vector<std::int16_t>& buffer, std::size_t offset,
                  const std::uint8_t* bigEndian, std::size_t count) {
    if (offset >= buffer.size()) {
        return;
    }
    count = std::min(count, buffer.size() - offset);
    for (std::size_t k = 0; k < count; ++k) {
        buffer[offset + k] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(bigEndian[2 * k] << 8 | bigEndian[2 * k + 1]));
    }
}

// ---- CaptureSession ---------------------------------------------------------------------------

// The buffer starts as 4 channels of 512 words and grows with the samples a drive reports.
CaptureSession::CaptureSession() : buffer_(2048, 0) {}

void CaptureSession::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running.store(0);
        generation_.fetch_add(1);
    }
    wake_.notify_all();
}

bool CaptureSession::Pause(unsigned token, std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, period, [&] { return generation_.load() != token; });
    return generation_.load() == token;
}

bool CaptureSession::Claim(unsigned token) {
    std::lock_guard<std::mutex> lock(mutex_);
    int idle = 0;
    return generation_.load() == token && running.compare_exchange_strong(idle, 1);
}

void CaptureSession::Release(unsigned token) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (generation_.load() == token) {
        running.store(0);
    }
}

bool CaptureSession::Deliver(unsigned token, const std::vector<std::int16_t>* words,
                             const std::function<void()>& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (generation_.load() != token) {
        return false;
    }
    if (words != nullptr) {
        buffer_ = *words;
    }
    report();
    return true;
}

void CaptureSession::Reserve(std::size_t words) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (buffer_.size() < words) {
        buffer_.resize(words, 0);
    }
}

void CaptureSession::Store(std::size_t offset, const std::uint8_t* bigEndian, std::size_t words) {
    std::lock_guard<std::mutex> lock(mutex_);
    PlaceSamples(buffer_, offset, bigEndian, words);
}

std::vector<std::int16_t> CaptureSession::Copy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return buffer_;
}

// ---- CaptureProtocol --------------------------------------------------------------------------

CaptureProtocol::CaptureProtocol(CKTCOM& link, CaptureSession& session, unsigned token,
                                 const CaptureSettings& settings, CaptureKind kind,
                                 CaptureSink sink)
    : link_(link), session_(session), token_(token), s_(settings), kind_(kind),
      sink_(std::move(sink)) {}

void CaptureProtocol::Run() {
    if (kind_ == CaptureKind::CurrentLoop) {
        CurrentLoopReadout();
    } else if (!s_.laterProtocol) {
        LegacyCapture();
    } else if (s_.triggerSupported && s_.Triggered()) {
        TriggerWait();
    } else {
        CaptureLoop();
    }
}

bool CaptureProtocol::Live() const {
    return session_.Current(token_);
}

void CaptureProtocol::Post(const CaptureReport& report) const {
    if (!sink_) {
        return;
    }
    if (!session_.Deliver(token_, nullptr, [&] { sink_(report); })) {
        CaptureReport stopped;
        stopped.type = CaptureReport::Type::Ended;
        stopped.end = CaptureReport::End::Stopped;
        sink_(stopped);
    }
}

bool CaptureProtocol::Deliver(Samples words, int points) {
    CaptureReport ready;
    ready.type = CaptureReport::Type::WaveReady;
    ready.points = points;
    ready.samples = std::make_shared<const Samples>(std::move(words));
    if (session_.Deliver(token_, ready.samples.get(), [&] {
            if (sink_) {
                sink_(ready);
            }
        })) {
        return true;
    }
    End(CaptureReport::End::Stopped);
    return false;
}

void CaptureProtocol::End(CaptureReport::End end, std::uint16_t code) const {
    CaptureReport report;
    report.type = CaptureReport::Type::Ended;
    report.end = end;
    report.linkCode = code;
    Post(report);
}

bool CaptureProtocol::WaitForCaptureDone(std::int64_t limitMs, std::int64_t graceMs) {
    const auto deadline = Clock::now() + milliseconds(std::max<std::int64_t>(limitMs, 0) +
                                                      std::max<std::int64_t>(graceMs, 0));
    for (;;) {
        if (link_.ReadAddressValue(s_.station, reg::CAPTURE_STATUS) == kComplete) {
            return true;
        }
        if (Clock::now() >= deadline || !session_.Pause(token_, kPollPeriod)) {
            return false;
        }
    }
}

bool CaptureProtocol::WaitForTrigger() {
    const auto deadline = Clock::now() + kTriggerLimit;
    for (;;) {
        if (link_.ReadAddressValue(s_.station, reg::TRIGGER_STATUS) == kComplete) {
            return true;
        }
        if (Clock::now() >= deadline || !session_.Pause(token_, kPollPeriod)) {
            return false;
        }
    }
}

// A drive that refuses a block answers with an exception: the short reply after which the
// capture ends without a message. Any other failure is the link's.
bool CaptureProtocol::ReadBlock(std::uint16_t address, int count, const Placement& place) {
    KtVariant reply = link_.ReadBigData(s_.station, address, static_cast<std::uint16_t>(count));
    if (!reply.IsByteArray()) {
        // A block read that got too few bytes is retried without a report, so a drive that
        // fell silent leaves no code: that is the link's "no response".
        std::uint16_t code = link_.GetLastErrors();
        if (code == 0) {
            code = LINK_ERR_NO_RESPONSE;
        }
        if (code == LINK_ERR_REFUSED) {
            EndAfterRefusal(code);
        } else {
            EndAfterLinkFailure(code);
        }
        return false;
    }
    if (reply.Count() <= kReplyOverhead || reply.Count() - kReplyOverhead > kLargestDataPart) {
        EndAfterRefusal(0);
        return false;
    }
    place(reply.Data() + 3, (reply.Count() - kReplyOverhead) / 2);
    return true;
}

bool CaptureProtocol::ReadWords(Samples& words, std::uint16_t address, int count,
                                std::size_t offset) {
    if (!Live()) {
        End(CaptureReport::End::Stopped);
        return false;
    }
    return ReadBlock(address, count, [&words, offset](const std::uint8_t* data, std::size_t n) {
        PlaceSamples(words, offset, data, n);
    });
}

CaptureProtocol::Samples CaptureProtocol::StartBuffer(std::size_t size) const {
    Samples words = session_.Copy();
    if (words.size() < size) {
        words.resize(size, 0);
    }
    return words;
}

// A failed arm ends the capture as a failed block read would: nothing would ever complete.
bool CaptureProtocol::Arm() {
    const WriteResult failed = WriteSetting(link_, s_.station, reg::CAPTURE_ARM, 1, "capture arm");
    if (!failed) {
        return true;
    }
    if (failed->Refused()) {
        EndAfterRefusal(failed->code);
    } else {
        EndAfterLinkFailure(failed->code);
    }
    return false;
}

void CaptureProtocol::ClearFlag() {
    // Only a thread whose start is still the page's own may clear it: after a Stop and a new
    // Run the flag belongs to the new thread.
    session_.Release(token_);
}

void CaptureProtocol::EndAfterTimeOut() {
    if (!Live()) {
        End(CaptureReport::End::Stopped);
        return;
    }
    if (kind_ == CaptureKind::ScopeOnly) {
        ClearFlag();
    }
    End(CaptureReport::End::TimedOut);
}

void CaptureProtocol::EndAfterRefusal(std::uint16_t code) {
    End(CaptureReport::End::Refused, code);
}

void CaptureProtocol::EndAfterLinkFailure(std::uint16_t code) {
    if (!Live()) {
        // Stopped meanwhile: the person is not told about a line they let go of.
        End(CaptureReport::End::Stopped);
        return;
    }
    CaptureReport failure;
    failure.type = CaptureReport::Type::Failure;
    failure.linkCode = code;
    switch (kind_) {
    case CaptureKind::Motion:
        failure.message = kMotionLinkFailure;
        break;
    case CaptureKind::ScopeOnly:
        ClearFlag();
        failure.message = kScopeLinkFailure;
        break;
    case CaptureKind::CurrentLoop:
        failure.message = kCurrentLoopLinkFailure;
        break;
    }
    // The earlier protocol's motion and scope captures end without a message.
    if (kind_ != CaptureKind::CurrentLoop && !s_.laterProtocol) {
        End(CaptureReport::End::LinkFailure, code);
        return;
    }
    Post(failure);
}

void CaptureProtocol::EndNormally() {
    if (kind_ == CaptureKind::ScopeOnly) {
        ClearFlag();
    }
}

// Arms (when running free), waits for the capture, reads it out into a buffer of its own and
// posts it; again and again for a cyclic capture until stopped. A capture's words reach the
// session and the page only whole, and only while its start is current.
void CaptureProtocol::Repeat(std::int64_t waitLimitMs, int points,
                             const std::function<bool(Samples&)>& readOut) {
    if (!session_.Claim(token_)) {
        End(Live() ? CaptureReport::End::Busy : CaptureReport::End::Stopped);
        return;
    }
    do {
        if (!s_.Triggered() && !Arm()) {
            return;
        }
        if (!WaitForCaptureDone(waitLimitMs)) {
            EndAfterTimeOut();
            return;
        }
        Samples words;
        if (!readOut(words) || !Deliver(std::move(words), points)) {
            return;
        }
    } while (!s_.Triggered() && s_.cyclic == 1 && session_.running.load() == 1 && Live());
    EndNormally();
}

void CaptureProtocol::CaptureLoop() {
    const int n = s_.sampleCount;
    Repeat(CaptureWindowMs(s_), n, [&](Samples& words) {
        words = StartBuffer(4 * static_cast<std::size_t>(n));
        for (int i = 0; i < BlockCount(n); ++i) {
            for (int c = 1; c <= 4; ++c) {
                if (s_.sources[static_cast<std::size_t>(c - 1)] == 0) {
                    continue;
                }
                const auto address = static_cast<std::uint16_t>(
                    reg::WAVE_DATA_1 + (c - 1) * reg::WAVE_DATA_STRIDE + kBlockWords * i);
                const std::size_t offset =
                    ChannelOffset(c, n) + static_cast<std::size_t>(kBlockWords * i);
                if (!ReadWords(words, address, BlockLength(i, n), offset)) {
                    return false;
                }
            }
        }
        return true;
    });
}

void CaptureProtocol::TriggerWait() {
    if (WaitForTrigger()) {
        CaptureLoop();
    } else if (Live()) {
        End(CaptureReport::End::TimedOut);
    } else {
        End(CaptureReport::End::Stopped);
    }
}

int CaptureProtocol::LegacyWordCount() const {
    return (s_.sources[0] != 0 ? kLegacySamples : 0) + (s_.sources[1] != 0 ? kLegacySamples : 0);
}

// The drive packs the channels it captured in channel order: channel 1's 200 words, then
// channel 2's (channel 2's alone when channel 1 is off). Each goes to its own place.
bool CaptureProtocol::ReadLegacyBlock(Samples& words, std::uint16_t address) {
    words = StartBuffer(4 * kLegacySamples);
    if (!Live()) {
        End(CaptureReport::End::Stopped);
        return false;
    }
    return ReadBlock(address, LegacyWordCount(),
                     [this, &words](const std::uint8_t* data, std::size_t n) {
                         std::size_t taken = 0;
                         for (int c = 1; c <= 2; ++c) {
                             if (s_.sources[static_cast<std::size_t>(c - 1)] == 0) {
                                 continue;
                             }
                             const std::size_t available = n > taken ? n - taken : 0;
                             PlaceSamples(words, ChannelOffset(c, kLegacySamples), data + 2 * taken,
                                          std::min<std::size_t>(available, kLegacySamples));
                             taken += kLegacySamples;
                         }
                     });
}

void CaptureProtocol::LegacyCapture() {
    Repeat(kLegacyDoneLimitMs, kLegacySamples,
           [this](Samples& words) { return ReadLegacyBlock(words, reg::CAPTURE_ARM); });
}

// The trace fills while the test runs, so the read-out waits until the drive says it is whole,
// but only a little past the trace's own length: a drive that never says so in this test is
// read once that has passed, as before.
void CaptureProtocol::CurrentLoopReadout() {
    Samples words;
    if (!s_.laterProtocol) {
        WaitForCaptureDone(kLegacySamples, kCurrentLoopGraceMs); // 200 samples 1 ms apart
        if (ReadLegacyBlock(words, reg::CURRENT_WAVE_EARLY)) {
            Deliver(std::move(words), kLegacySamples);
        }
        return;
    }
    const int n = s_.sampleCount;
    WaitForCaptureDone(CaptureWindowMs(s_), kCurrentLoopGraceMs);
    words = StartBuffer(4 * static_cast<std::size_t>(n));
    for (int i = 0; i < BlockCount(n); ++i) {
        const auto address = static_cast<std::uint16_t>(reg::WAVE_DATA_1 + kBlockWords * i);
        if (!ReadWords(words, address, BlockLength(i, n),
                       static_cast<std::size_t>(kBlockWords * i))) {
            return;
        }
    }
    Deliver(std::move(words), n);
}

} // namespace kestova::motion
