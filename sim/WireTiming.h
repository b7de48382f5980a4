#pragma once

// How long bytes take on an RS-485 line at a given speed (8N1: ten bit times per byte), so
// replies leave when a real drive's would.

#include <chrono>
#include <cstddef>

namespace kestova::sim {

using Micros = std::chrono::microseconds;

struct WireTiming {
    int baud = 38400;       // 0: no line delay at all
    Micros turnaround{500}; // the drive's processing time between request and reply

    Micros BytesTime(std::size_t bytes) const;
    // Time from the first byte of a request to the last byte of its reply.
    Micros ExchangeTime(std::size_t requestBytes, std::size_t replyBytes) const;
    // The quiet time that ends a frame: 3.5 characters, at least 1.75 ms as Modbus asks for
    // fast lines.
    Micros FrameGap() const;
};

} // namespace kestova::sim
