#include "WaveCapture.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestova::sim {

namespace {
constexpr std::uint16_t kMaxSetting = 1000;
} // namespace

bool IsSignalCode(std::uint16_t code) {
    return code != 0 && code <= kPhaseBCurrent && std::has_single_bit(code);
}

int SignalIndex(std::uint16_t code) {
    return std::countr_zero(code);
}

WaveCapture::WaveCapture(const CaptureLayout& layout) : layout_(layout) {
    for (auto& channel : data_) {
        channel.assign(static_cast<std::size_t>(SamplesPerChannel()), 0);
    }
    // The earlier protocol counts its setting in 10 ms of trace time; 100 is one second.
    setting_ = layout_.laterProtocol ? 1 : 100;
}

int WaveCapture::SamplesPerChannel() const {
    return layout_.laterProtocol ? layout_.samplesPerChannel : kLegacySamples;
}

double WaveCapture::IntervalUs() const {
    if (layout_.laterProtocol) {
        return setting_ * layout_.basePeriodUs;
    }
    // Trace time (setting x 10 ms) spread over the block's samples.
    return setting_ * 10'000.0 / kLegacySamples;
}

std::optional<ExceptionCode> WaveCapture::SetSource(int channel, std::uint16_t code) {
    if (code != 0 && !IsSignalCode(code)) {
        return ExceptionCode::IllegalDataValue;
    }
    if (code != 0 && channel >= layout_.channelCount) {
        return ExceptionCode::IllegalDataValue; // the drive has no memory for that channel
    }
    sources_[channel] = code;
    return std::nullopt;
}

std::optional<ExceptionCode> WaveCapture::SetSetting(std::uint16_t value) {
    if (value < 1 || value > kMaxSetting) {
        return ExceptionCode::IllegalDataValue;
    }
    setting_ = value;
    return std::nullopt;
}

std::optional<ExceptionCode> WaveCapture::SetTriggerSource(std::uint16_t code) {
    if (code != 0 && !IsSignalCode(code)) {
        return ExceptionCode::IllegalDataValue;
    }
    triggerSource_ = code;
    return std::nullopt;
}

std::optional<ExceptionCode> WaveCapture::SetTriggerPolarity(std::uint16_t value) {
    if (value > 1) {
        return ExceptionCode::IllegalDataValue;
    }
    polarity_ = value;
    return std::nullopt;
}

void WaveCapture::Arm(double nowUs, const SignalFrame& frame, bool testCapture) {
    for (auto& channel : data_) {
        std::fill(channel.begin(), channel.end(), 0);
    }
    testCapture_ = testCapture;
    packed_.clear();
    for (int c = 0; c < 2; ++c) {
        if (sources_[c] != 0) {
            packed_.push_back(c);
        }
    }
    originFeedback_ = frame.Get(kPositionFeedback);
    originTarget_ = frame.Get(kPositionTarget);
    intervalUs_ = IntervalUs();
    if (testCapture && !layout_.laterProtocol) {
        // The earlier protocol's current-loop trace spans the page's fixed 200 ms.
        intervalUs_ = kLegacyCurrentTraceUs / kLegacySamples;
    }
    taken_ = 0;
    fired_ = false;
    havePrevious_ = false;
    if (triggerSource_ == 0 || testCapture) {
        // The first sample is the arm's own moment.
        state_ = State::Sampling;
        Sample(frame);
        nextSampleUs_ = nowUs + intervalUs_;
    } else {
        state_ = State::Waiting;
    }
}

void WaveCapture::Disarm() {
    state_ = State::Idle;
    fired_ = false;
}

std::uint16_t WaveCapture::Status() const {
    switch (state_) {
    case State::Idle:
        return 0;
    case State::Done:
        return 2;
    default:
        return 1;
    }
}

std::uint16_t WaveCapture::TriggerStatus() const {
    if (fired_) {
        return 2;
    }
    return state_ == State::Waiting ? 1 : 0;
}

void WaveCapture::OnTick(double nowUs, const SignalFrame& frame) {
    if (state_ == State::Waiting) {
        const double value = Encode(triggerSource_, frame);
        const double level = level_;
        // An edge through the level: rising for "Active High", falling for "Active Low".
        const bool edge = havePrevious_ && (polarity_ == 0 ? previous_ < level && value >= level
                                                           : previous_ > level && value <= level);
        previous_ = value;
        havePrevious_ = true;
        if (!edge) {
            return;
        }
        fired_ = true;
        state_ = State::Sampling;
        nextSampleUs_ = nowUs;
    }
    if (state_ != State::Sampling) {
        return;
    }
    // A tick can stand for more than one sample only when the interval is below the tick.
    while (state_ == State::Sampling && nowUs + 1e-6 >= nextSampleUs_) {
        Sample(frame);
        nextSampleUs_ += intervalUs_;
    }
}

std::int16_t WaveCapture::Encode(std::uint16_t code, const SignalFrame& frame) const {
    double v = 0;
    if (code == 0) {
        return 0;
    }
    if (code == kPositionFeedback || code == kPositionTarget) {
        // Positions count from the arm and wrap like the drive's 16-bit counters.
        const double origin = code == kPositionFeedback ? originFeedback_ : originTarget_;
        const auto relative = static_cast<std::int64_t>(std::llround(frame.Get(code) - origin));
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(relative & 0xFFFF));
    }
    v = std::round(frame.Get(code));
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

void WaveCapture::Sample(const SignalFrame& frame) {
    const int channels = layout_.laterProtocol ? layout_.channelCount : 2;
    for (int c = 0; c < channels; ++c) {
        std::int16_t value = 0;
        if (sources_[c] != 0) {
            value = Encode(sources_[c], frame);
        } else if (testCapture_) {
            // In the current-loop test an unassigned channel carries the tested current.
            value = static_cast<std::int16_t>(
                std::clamp(std::round(frame.testCurrent), -32768.0, 32767.0));
        }
        data_[c][static_cast<std::size_t>(taken_)] = static_cast<std::uint16_t>(value);
    }
    ++taken_;
    if (taken_ >= SamplesPerChannel()) {
        state_ = State::Done;
    }
}

std::optional<std::uint16_t> WaveCapture::ChannelWord(int channel, int index) const {
    if (channel < 0 || channel >= layout_.channelCount || index < 0 ||
        index >= SamplesPerChannel()) {
        return std::nullopt;
    }
    return data_[channel][static_cast<std::size_t>(index)];
}

std::optional<std::uint16_t> WaveCapture::LegacyWord(int index) const {
    if (index < 0 || index >= 2 * kLegacySamples) {
        return std::nullopt;
    }
    const auto block = static_cast<std::size_t>(index / kLegacySamples);
    if (block >= packed_.size()) {
        return 0;
    }
    return data_[packed_[block]][static_cast<std::size_t>(index % kLegacySamples)];
}

} // namespace kestova::sim
