#pragma once

// The wave capture protocol over the drive link: wait for a capture to complete (or a trigger to
// fire), read the samples in blocks and place them in the sample buffer, and report each finished
// capture or failure to whoever started it. It runs on the calling thread and knows no window;
// CaptureRunner gives it threads of its own.

#include "CaptureSettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CKTCOM;

namespace kestova::motion {

// Failure messages of the capture threads (shown with an OK button, the program's name as
// caption).
inline constexpr const char* kMotionLinkFailure = "Communication error, stop reading wave form...!";
inline constexpr const char* kScopeLinkFailure = "No communication, exit...";
inline constexpr const char* kCurrentLoopLinkFailure =
    "Communication error happened. Scope has stopped.";

struct CaptureReport {
    enum class Type { WaveReady, Failure };
    Type type = Type::WaveReady;
    int points = 0;      // WaveReady: points per channel
    std::string message; // Failure: the text to show
};
// Called on the capture thread: it must only queue the report for the interface thread.
using CaptureSink = std::function<void(const CaptureReport&)>;

// What a sub-page shares with its capture threads: the running flag, the sample buffer, and a
// stop that every thread of an earlier start sees at its next wait or block.
class CaptureSession {
public:
    CaptureSession();

    // 1 while a capture thread works; a new capture loop finds it set and ends at once.
    std::atomic<int> running{0};

    // A token for a thread about to start; Stop makes every token handed out before it stale.
    unsigned Token() const { return generation_.load(); }
    bool Current(unsigned token) const { return generation_.load() == token; }
    // Clears the running flag and ends the waits of every thread started before.
    void Stop();
    // Sleeps for `period` or until the token goes stale; false when it did.
    bool Pause(unsigned token, std::chrono::milliseconds period);

    // Grows the buffer to `words` (never shrinks it; what it held stays).
    void Reserve(std::size_t words);
    // Stores `words` samples sent high byte first at buffer word `offset`; what would fall past
    // the buffer is dropped.
    void Store(std::size_t offset, const std::uint8_t* bigEndian, std::size_t words);
    std::vector<std::int16_t> Copy() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<unsigned> generation_{0};
    std::vector<std::int16_t> buffer_;
};

class CaptureProtocol {
public:
    CaptureProtocol(CKTCOM& link, CaptureSession& session, unsigned token,
                    const CaptureSettings& settings, CaptureKind kind, CaptureSink sink);

    // The capture of the kind and protocol, as a sub-page's start runs it.
    void Run();

    // Polls the capture status every 100 ms until it reads complete (true), or until limit +
    // 5000 ms have passed since the first poll or the capture was stopped (false).
    bool WaitForCaptureDone(std::int64_t limitMs);
    // Polls the trigger status every 100 ms until it reads fired (true), 20 s or a stop (false).
    bool WaitForTrigger();

    // The later protocol: arm (free-running), wait, read every captured channel block by block.
    void CaptureLoop();
    // The earlier protocol: one block of 200 words per captured channel 1 and 2.
    void LegacyCapture();
    // Waits for the trigger, then takes one capture.
    void TriggerWait();
    // The current-loop test's one read-out.
    void CurrentLoopReadout();

private:
    // Hands a block's samples (high byte first) and their count to where they belong.
    using Placement = std::function<void(const std::uint8_t* words, std::size_t count)>;
    // Reads `count` words from `address` and places them; false when the capture must end (a
    // link failure is reported as the capture type says, a refused read ends it quietly).
    bool ReadBlock(std::uint16_t address, int count, const Placement& place);
    bool ReadWords(std::uint16_t address, int count, std::size_t offset);
    bool ReadLegacyBlock(std::uint16_t address);
    void Repeat(std::int64_t waitLimitMs, int points, const std::function<bool()>& readOut);
    bool Live() const;
    void Post(const CaptureReport& report) const;
    void EndAfterTimeOut();
    void EndAfterLinkFailure();
    void EndNormally();
    void ClearFlag();
    int LegacyWordCount() const;

    CKTCOM& link_;
    CaptureSession& session_;
    unsigned token_;
    CaptureSettings s_;
    CaptureKind kind_;
    CaptureSink sink_;
};

} // namespace kestova::motion
