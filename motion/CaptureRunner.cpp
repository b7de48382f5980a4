#include "CaptureRunner.h"

#include <algorithm>

namespace kestova::motion {

CaptureRunner::CaptureRunner(CKTCOM& link, CaptureKind kind) : link_(link), kind_(kind) {}

CaptureRunner::~CaptureRunner() {
    Stop();
    Join();
}

void CaptureRunner::Start(const CaptureSettings& settings) {
    Reap();
    auto done = std::make_shared<std::atomic<bool>>(false);
    const unsigned token = session_.Token();
    std::thread thread([this, settings, token, done] {
        CaptureProtocol(link_, session_, token, settings, kind_, sink_).Run();
        done->store(true);
    });
    workers_.push_back({std::move(thread), std::move(done)});
}

void CaptureRunner::Stop() {
    session_.Stop();
}

void CaptureRunner::Join() {
    for (Worker& worker : workers_) {
        if (worker.thread.joinable()) {
            worker.thread.join();
        }
    }
    workers_.clear();
}

bool CaptureRunner::Busy() const {
    return std::any_of(workers_.begin(), workers_.end(),
                       [](const Worker& w) { return !w.done->load(); });
}

// Threads that have ended are joined, so a page that runs many tests keeps no dead ones.
void CaptureRunner::Reap() {
    for (Worker& worker : workers_) {
        if (worker.done->load() && worker.thread.joinable()) {
            worker.thread.join();
        }
    }
    workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                  [](const Worker& w) { return !w.thread.joinable(); }),
                   workers_.end());
}

} // namespace kestova::motion
