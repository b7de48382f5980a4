#pragma once

// The bus monitor's frames as people read them: one record per frame the link's tap saw, the
// decoded summary ("read 0x00FD x1 -> 12") and the log line, the same on the Bus Monitor page,
// in its saved log and in kestova-cli --trace. No widget.

#include "KtTap.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestova {

struct BusRecord {
    std::int64_t timeUs = 0;
    std::vector<std::uint8_t> bytes;
    std::uint8_t station = 0;
    KtDirection direction = KtDirection::Sent;
    KtVerdict verdict = KtVerdict::Sent;
    std::uint8_t attempt = 0;
    std::uint8_t exceptionCode = 0;
    // An answer: the request it answers (function 0 when not known), for its summary.
    std::uint8_t requestFunction = 0;
    std::uint16_t requestAddress = 0;
    std::uint16_t requestCount = 0;
    std::int32_t requestValue = 0;
    bool requestWide = false; // a 32-bit write
};

// The verdict as the page and the log name it.
const char* VerdictText(KtVerdict verdict);
// The function code of the frame: its own, or for an answer with no bytes its request's.
std::uint8_t RecordFunction(const BusRecord& record);
// What the frame says: "read 0x00FD x1", "read 0x00FD x1 -> 12", "write 0x0020 = 5 -> done".
std::string Summary(const BusRecord& record);
// The frame's bytes in hexadecimal, "01 03 00 FD".
std::string HexBytes(const std::vector<std::uint8_t>& bytes);
// One log line: time in seconds from `originUs`, direction, station, function, verdict, summary
// and bytes; no line end.
std::string LogLine(const BusRecord& record, std::int64_t originUs);

// Turns the tap's frames into records, keeping per station the request last sent so that its
// answers can be read. Used on the link's thread, by one tap.
class BusDecoder {
public:
    BusRecord Record(const KtTapFrame& frame);

private:
    struct Request {
        std::uint8_t function = 0;
        std::uint16_t address = 0;
        std::uint16_t count = 0;
        std::int32_t value = 0;
        bool wide = false;
    };
    std::array<Request, 256> last_{};
};

} // namespace kestova
