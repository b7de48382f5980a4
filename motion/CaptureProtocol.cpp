#include "CaptureProtocol.h"

#include "KTCOM.h"
#include "RegisterMap.h"

#include <algorithm>

namespace kestova::motion {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPollPeriod{100};
constexpr std::int64_t kDoneGraceMs = 5000;
constexpr milliseconds kTriggerLimit{20000};
// The earlier protocol's captures are waited for as if they lasted 5 s.
constexpr std::int64_t kLegacyDoneLimitMs = 5000;
// A capture status that says the data may be read; the same value says a trigger fired.
constexpr std::int16_t kComplete = 2;
// A block reply: station, function, byte count, data, CRC.
constexpr std::size_t kReplyOverhead = 5;
constexpr std::size_t kLargestDataPart = 1000;

} // namespace

// ---- CaptureSession ---------------------------------------------------------------------------

// The buffer starts as 4 channels of 512 words and grows with the samples a drive reports.
CaptureSession::CaptureSession() : buffer_(2048, 0) {}

void CaptureSession::Stop() {
    running.store(0);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        generation_.fetch_add(1);
    }
    wake_.notify_all();
}

bool CaptureSession::Pause(unsigned token, std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, period, [&] { return generation_.load() != token; });
    return generation_.load() == token;
}

void CaptureSession::Reserve(std::size_t words) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (buffer_.size() < words) {
        buffer_.resize(words, 0);
    }
}

void CaptureSession::Store(std::size_t offset, const std::uint8_t* bigEndian, std::size_t words) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (offset >= buffer_.size()) {
        return;
    }
    words = std::min(words, buffer_.size() - offset);
    for (std::size_t k = 0; k < words; ++k) {
        buffer_[offset + k] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(bigEndian[2 * k] << 8 | bigEndian[2 * k + 1]));
    }
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
    if (sink_) {
        sink_(report);
    }
}

bool CaptureProtocol::WaitForCaptureDone(std::int64_t limitMs) {
    const auto deadline =
        Clock::now() + milliseconds(std::max<std::int64_t>(limitMs, 0) + kDoneGraceMs);
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

bool CaptureProtocol::ReadBlock(std::uint16_t address, int count, const Placement& place) {
    KtVariant reply = link_.ReadBigData(s_.station, address, static_cast<std::uint16_t>(count));
    if (!reply.IsByteArray()) {
        EndAfterLinkFailure();
        return false;
    }
    if (reply.Count() <= kReplyOverhead || reply.Count() - kReplyOverhead > kLargestDataPart) {
        return false; // refused: the capture ends quietly
    }
    place(reply.Data() + 3, (reply.Count() - kReplyOverhead) / 2);
    return true;
}

bool CaptureProtocol::ReadWords(std::uint16_t address, int count, std::size_t offset) {
    return ReadBlock(address, count, [this, offset](const std::uint8_t* words, std::size_t n) {
        session_.Store(offset, words, n);
    });
}

void CaptureProtocol::ClearFlag() {
    // Only a thread whose start is still the page's own may clear it: after a Stop and a new
    // Run the flag belongs to the new thread.
    if (Live()) {
        session_.running.store(0);
    }
}

void CaptureProtocol::EndAfterTimeOut() {
    if (kind_ == CaptureKind::ScopeOnly) {
        ClearFlag();
    }
}

void CaptureProtocol::EndAfterLinkFailure() {
    if (!Live()) {
        return; // stopped meanwhile: the person is not told about a line they let go of
    }
    switch (kind_) {
    case CaptureKind::Motion:
        if (s_.laterProtocol) {
            Post({CaptureReport::Type::Failure, 0, kMotionLinkFailure});
        }
        break;
    case CaptureKind::ScopeOnly:
        ClearFlag();
        if (s_.laterProtocol) {
            Post({CaptureReport::Type::Failure, 0, kScopeLinkFailure});
        }
        break;
    case CaptureKind::CurrentLoop:
        Post({CaptureReport::Type::Failure, 0, kCurrentLoopLinkFailure});
        break;
    }
}

void CaptureProtocol::EndNormally() {
    if (kind_ == CaptureKind::ScopeOnly) {
        ClearFlag();
    }
}

// Arms (when running free), waits for the capture, reads it out and posts it; again and again
// for a cyclic capture until stopped.
void CaptureProtocol::Repeat(std::int64_t waitLimitMs, int points,
                             const std::function<bool()>& readOut) {
    int idle = 0;
    if (!Live() || !session_.running.compare_exchange_strong(idle, 1)) {
        return; // another capture thread of this page is working
    }
    do {
        if (!s_.Triggered()) {
            link_.WriteAddressValue(s_.station, reg::CAPTURE_ARM, 1);
        }
        if (!WaitForCaptureDone(waitLimitMs)) {
            if (Live()) {
                EndAfterTimeOut();
            }
            return;
        }
        if (!readOut() || session_.running.load() == 0 || !Live()) {
            return;
        }
        Post({CaptureReport::Type::WaveReady, points, {}});
    } while (!s_.Triggered() && s_.cyclic == 1 && session_.running.load() == 1 && Live());
    EndNormally();
}

void CaptureProtocol::CaptureLoop() {
    const int n = s_.sampleCount;
    session_.Reserve(4 * static_cast<std::size_t>(n));
    Repeat(CaptureWindowMs(s_), n, [&] {
        for (int i = 0; i < BlockCount(n); ++i) {
            for (int c = 1; c <= 4; ++c) {
                if (s_.sources[static_cast<std::size_t>(c - 1)] == 0) {
                    continue;
                }
                const auto address = static_cast<std::uint16_t>(
                    reg::WAVE_DATA_1 + (c - 1) * reg::WAVE_DATA_STRIDE + kBlockWords * i);
                const std::size_t offset =
                    ChannelOffset(c, n) + static_cast<std::size_t>(kBlockWords * i);
                if (!Live() || !ReadWords(address, BlockLength(i, n), offset)) {
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
    }
}

int CaptureProtocol::LegacyWordCount() const {
    return (s_.sources[0] != 0 ? kLegacySamples : 0) + (s_.sources[1] != 0 ? kLegacySamples : 0);
}

// The drive packs the channels it captured in channel order: channel 1's 200 words, then
// channel 2's (channel 2's alone when channel 1 is off). Each goes to its own place.
bool CaptureProtocol::ReadLegacyBlock(std::uint16_t address) {
    session_.Reserve(4 * kLegacySamples);
    return ReadBlock(address, LegacyWordCount(), [this](const std::uint8_t* words, std::size_t n) {
        std::size_t taken = 0;
        for (int c = 1; c <= 2; ++c) {
            if (s_.sources[static_cast<std::size_t>(c - 1)] == 0) {
                continue;
            }
            const std::size_t available = n > taken ? n - taken : 0;
            session_.Store(ChannelOffset(c, kLegacySamples), words + 2 * taken,
                           std::min<std::size_t>(available, kLegacySamples));
            taken += kLegacySamples;
        }
    });
}

void CaptureProtocol::LegacyCapture() {
    Repeat(kLegacyDoneLimitMs, kLegacySamples,
           [this] { return ReadLegacyBlock(reg::CAPTURE_ARM); });
}

// The trace fills while the test runs, so the read-out waits until the drive says it is whole;
// a drive that never says so is read once the wait has run out, as before.
void CaptureProtocol::CurrentLoopReadout() {
    if (!s_.laterProtocol) {
        WaitForCaptureDone(kLegacySamples); // 200 samples 1 ms apart
        if (Live() && ReadLegacyBlock(reg::CURRENT_WAVE_EARLY)) {
            Post({CaptureReport::Type::WaveReady, kLegacySamples, {}});
        }
        return;
    }
    const int n = s_.sampleCount;
    session_.Reserve(4 * static_cast<std::size_t>(n));
    WaitForCaptureDone(CaptureWindowMs(s_));
    for (int i = 0; i < BlockCount(n); ++i) {
        const auto address = static_cast<std::uint16_t>(reg::WAVE_DATA_1 + kBlockWords * i);
        if (!Live() ||
            !ReadWords(address, BlockLength(i, n), static_cast<std::size_t>(kBlockWords * i))) {
            return;
        }
    }
    Post({CaptureReport::Type::WaveReady, n, {}});
}

} // namespace kestova::motion
