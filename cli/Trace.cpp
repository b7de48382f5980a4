#include "Trace.h"

namespace kestova::cli {

void Trace::Frame(const KtTapFrame& frame) {
    std::lock_guard lock(lock_);
    if (!origin_) {
        origin_ = frame.timeUs;
    }
    err_ << LogLine(decoder_.Record(frame), *origin_) << '\n';
}

} // namespace kestova::cli
