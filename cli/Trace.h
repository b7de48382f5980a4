#pragma once

// --trace: every frame on the line as a log line on standard error, as the program's Bus Monitor
// page shows it.

#include "BusLog.h"
#include "KtTap.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>

namespace kestova::cli {

class Trace final : public KtTap {
public:
    explicit Trace(std::ostream& err) : err_(err) {}
    void Frame(const KtTapFrame& frame) override;

private:
    std::ostream& err_;
    std::mutex lock_; // a command's worker may exchange beside its main thread
    BusDecoder decoder_;
    std::optional<std::int64_t> origin_;
};

} // namespace kestova::cli
