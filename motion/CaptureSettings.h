#pragma once

// What one wave capture needs to know: the drive's protocol generation and sampling, the
// trigger, the four channel sources, and the block plan by which the samples are read. Plain
// values: the motion test page, its tests and the command-line tool share them.

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestova::motion {

// Test types of the motion test page.
constexpr int TEST_TYPE_CURRENT_LOOP = 100;
constexpr int TEST_TYPE_MOTION = 101;
constexpr int TEST_TYPE_SCOPE = 102;

// Posted to the motion test page when a capture is ready; wParam points per channel.
constexpr unsigned WM_WAVE_READY = 0x7E9;

// Drives of protocol version 300 and later read their waves channel by channel in blocks.
constexpr int kLaterProtocolVersion = 300;
// Samples per channel of the earlier protocol, and the fewest the program uses in the later one.
constexpr int kLegacySamples = 200;
// Words per block read in the later protocol.
constexpr int kBlockWords = 50;
// The most samples per channel the program takes from a drive: the four channels lie 0x400
// words apart in the drive's memory, so a channel of more would run into the next one. The page
// refuses a capture when the drive reports more.
constexpr int kMaxSamplesPerChannel = 0x400;

enum class CaptureKind { Motion, ScopeOnly, CurrentLoop };

struct CaptureSettings {
    std::uint8_t station = 1;
    bool laterProtocol = true;
    bool triggerSupported = false;    // feature bit 1 of the drive
    int sampleCount = kLegacySamples; // N, as the page took it (200 or more)
    int basePeriod = 100;             // P, microseconds
    int multiplier = 1;               // M: the later protocol samples every M x P microseconds
    int traceTime = 1000;             // T, ms: the earlier protocol's capture length
    int cyclic = 1;                   // 1: capture again after each capture until stopped
    int triggerSource = 0;            // a channel source code; 0 runs free
    int triggerPolarity = 0;
    int triggerLevel = 0;
    std::array<std::uint16_t, 4> sources{}; // channel 1..4; 0 = not captured

    bool Triggered() const { return triggerSource > 0; }
};

// Words of block i (0-based) of a channel of n samples: 50, and what is left for the last.
constexpr int BlockLength(int i, int n, int block = kBlockWords) {
    return (i + 1) * block <= n ? block : n - block * i;
}
constexpr int BlockCount(int n, int block = kBlockWords) {
    return (n + block - 1) / block;
}

// First word of channel c (1..4) in the sample buffer, for n samples per channel.
constexpr std::size_t ChannelOffset(int channel, int n) {
    return static_cast<std::size_t>(channel - 1) * static_cast<std::size_t>(n);
}

// The length of one capture in ms (N samples M x P microseconds apart), rounded up.
constexpr std::int64_t CaptureWindowMs(const CaptureSettings& s) {
    const std::int64_t us = static_cast<std::int64_t>(s.basePeriod) * s.multiplier * s.sampleCount;
    return us <= 0 ? 0 : (us + 999) / 1000;
}

} // namespace kestova::motion
