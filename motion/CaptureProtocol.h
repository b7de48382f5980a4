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
#include <memory>
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

// Every capture ends with exactly one report: its samples, a failure the person is told of, or
// a quiet end and why.
struct CaptureReport {
    enum class Type {
        WaveReady, // a whole capture: `samples` holds its words
        Failure,   // the link failed; `message` is the text to show
        Ended,     // the capture ended without a message, for `end`
    };
    enum class End {
        None,
        Stopped,     // a Stop came first
        Busy,        // another capture of the same page is working
        TimedOut,    // the drive did not report the capture complete (or the trigger fired) in time
        Refused,     // the drive refused the arm or a block read
        LinkFailure, // the link failed where the capture type tells nobody
    };
    Type type = Type::WaveReady;
    int points = 0;             // WaveReady: points per channel
    std::string message;        // Failure: the text to show
    End end = End::None;        // Ended: why
    std::uint16_t linkCode = 0; // Failure, and the ends on the link: the link's failure code
    // WaveReady: this capture's words, laid out as the sample buffer, untouched by later captures.
    std::shared_ptr<const std::vector<std::int16_t>> samples;
};
// Called on the capture thread: it must only queue the report for the interface thread.
using CaptureSink = std::function<void(const CaptureReport&)>;

// What a sub-page shares with its capture threads: the running flag, the sample buffer of the
// last capture, and a stop that every thread of an earlier start sees at its next wait or block.
class CaptureSession {
public:
    CaptureSession();

    // 1 while a capture thread works; a new capture loop finds it set and ends at once.
    std::atomic<int> running{0};

    // A token for a thread about to start; Stop makes every token handed out before it stale.
    unsigned Token() const { return generation_.load(); }
    bool Current(unsigned token) const { return generation_.load() == token; }
    // Clears the running flag and ends the waits of every thread started before. It waits for a
    // report or a claim in progress, so none of an earlier start follows it.
    void Stop();
    // Sleeps for `period` or until the token goes stale; false when it did.
    bool Pause(unsigned token, std::chrono::milliseconds period);

    // Sets the running flag for a capture of `token`: false when a Stop has made the token stale
    // or another capture holds the flag. One step under the lock Stop takes, so a Stop cannot
    // fall between the check and the claim and leave the flag set for a thread that is gone.
    bool Claim(unsigned token);
    // Clears the running flag while `token` is current (after a Stop it may be a newer thread's).
    void Release(unsigned token);
    // Runs `report` while `token` is current, first making `words` (when given) the sample
    // buffer. False, with nothing changed or run, when the token has gone stale.
    bool Deliver(unsigned token, const std::vector<std::int16_t>* words,
                 const std::function<void()>& report);

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

// Stores `count` samples sent high byte first at word `offset` of `buffer`; what would fall past
// its end is dropped.
void PlaceSamples(std::vector<std::int16_t>& buffer, std::size_t offset,
                  const std::uint8_t* bigEndian, std::size_t count);

class CaptureProtocol {
public:
    CaptureProtocol(CKTCOM& link, CaptureSession& session, unsigned token,
                    const CaptureSettings& settings, CaptureKind kind, CaptureSink sink);

    // The capture of the kind and protocol, as a sub-page's start runs it.
    void Run();

    // Polls the capture status every 100 ms until it reads complete (true), or until limit +
    // grace have passed since the first poll or the capture was stopped (false).
    bool WaitForCaptureDone(std::int64_t limitMs, std::int64_t graceMs = kDoneGraceMs);
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

    // How long past its window a capture may take to be reported complete.
    static constexpr std::int64_t kDoneGraceMs = 5000;
    // The current-loop read-out waits for the trace to be whole only this long past its window:
    // a drive that never reports this test complete is read all the same, soon after.
    static constexpr std::int64_t kCurrentLoopGraceMs = 500;

private:
    using Samples = std::vector<std::int16_t>;
    // Reads `count` words from `address` and places them with `place`; false when the capture
    // has ended (and been reported).
    using Placement = std::function<void(const std::uint8_t* words, std::size_t count)>;
    bool ReadBlock(std::uint16_t address, int count, const Placement& place);
    bool ReadWords(Samples& words, std::uint16_t address, int count, std::size_t offset);
    bool ReadLegacyBlock(Samples& words, std::uint16_t address);
    // The capture's own buffer: what the session holds (channels not captured keep their words),
    // at least `size` words.
    Samples StartBuffer(std::size_t size) const;
    bool Arm();
    void Repeat(std::int64_t waitLimitMs, int points, const std::function<bool(Samples&)>& readOut);
    bool Live() const;
    // Hands the report on while the capture's start is current; a report of a start that has
    // been stopped since becomes the end "stopped".
    void Post(const CaptureReport& report) const;
    // Publishes a whole capture and reports it; false when it had been stopped meanwhile.
    bool Deliver(Samples words, int points);
    void End(CaptureReport::End end, std::uint16_t code = 0) const;
    void EndAfterTimeOut();
    void EndAfterLinkFailure(std::uint16_t code);
    void EndAfterRefusal(std::uint16_t code);
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
