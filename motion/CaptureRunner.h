#pragma once

// The capture threads of one test sub-page. The runner owns them: Stop ends their waits, and the
// runner's end (the page's) stops and joins every one, so no thread outlives the buffer, the
// link or the page it reports to.

#include "CaptureProtocol.h"

#include <memory>
#include <thread>
#include <vector>

namespace kestova::motion {

class CaptureRunner {
public:
    CaptureRunner(CKTCOM& link, CaptureKind kind);
    ~CaptureRunner();
    CaptureRunner(const CaptureRunner&) = delete;
    CaptureRunner& operator=(const CaptureRunner&) = delete;

    // Where finished captures and failures go; set before the first Start.
    void SetSink(CaptureSink sink) { sink_ = std::move(sink); }

    // Starts a capture thread with these settings.
    void Start(const CaptureSettings& settings);
    // Clears the running flag and ends the waits of the threads started so far.
    void Stop();
    // Waits until every thread has ended.
    void Join();

    // The running flag of the page's captures (1 while a capture thread works).
    int Running() const { return session_.running.load(); }
    // True while a thread of this runner has not yet ended.
    bool Busy() const;
    std::vector<std::int16_t> Samples() const { return session_.Copy(); }
    CaptureSession& Session() { return session_; }
    CaptureKind Kind() const { return kind_; }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void Reap();

    CKTCOM& link_;
    CaptureKind kind_;
    CaptureSink sink_;
    CaptureSession session_;
    std::vector<Worker> workers_;
};

} // namespace kestova::motion
