#include "BusLog.h"

#include <algorithm>
#include <cstdio>

namespace kestova {

namespace {

std::uint16_t Be16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

std::string Format(const char* pattern, auto... args) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// What the request asks, from its function, address, count and value.
std::string Asked(std::uint8_t function, std::uint16_t address, std::uint16_t count,
                  std::int32_t value, bool wide) {
    switch (function) {
    case 0x03:
        return Format("read 0x%04X x%u", address, static_cast<unsigned>(count));
    case 0x06:
        return wide ? Format("write 0x%04X = %d (32-bit)", address, value)
                    : Format("write 0x%04X = %d", address, value);
    case 0x10:
        return Format("write 0x%04X x%u", address, static_cast<unsigned>(count));
    case 0x20:
        return Format("command buffer 0x%04X", address);
    default:
        return Format("function 0x%02X", function);
    }
}

// The values of a read's answer: one register as a number (two as one 32-bit number), more as
// the first few.
std::string ReadValues(const std::vector<std::uint8_t>& b) {
    if (b.size() < 5) {
        return "?";
    }
    const std::size_t data = std::min<std::size_t>(b[2], b.size() - 5);
    if (data == 4 && b[2] == 4) {
        return std::to_string(
            static_cast<std::int32_t>(static_cast<std::uint32_t>(Be16(b, 3)) << 16 | Be16(b, 5)));
    }
    std::string out;
    const std::size_t words = data / 2;
    for (std::size_t i = 0; i < words && i < 4; ++i) {
        out += (i > 0 ? " " : "") + std::to_string(static_cast<std::int16_t>(Be16(b, 3 + 2 * i)));
    }
    if (words > 4) {
        out += " ...";
    }
    return out;
}

} // namespace

const char* VerdictText(KtVerdict verdict) {
    switch (verdict) {
    case KtVerdict::Sent:
        return "request";
    case KtVerdict::Taken:
        return "answer taken";
    case KtVerdict::CrcFailure:
        return "CRC failure";
    case KtVerdict::NoAnswer:
        return "no answer";
    case KtVerdict::Foreign:
        return "answer of another request refused";
    case KtVerdict::Late:
        return "late answer dropped";
    case KtVerdict::Exception:
        return "exception";
    }
    return "";
}

std::uint8_t RecordFunction(const BusRecord& record) {
    if (record.bytes.size() >= 2) {
        return record.bytes[1];
    }
    return record.requestFunction;
}

std::string Summary(const BusRecord& r) {
    const std::vector<std::uint8_t>& b = r.bytes;
    if (r.direction == KtDirection::Sent) {
        if (b.size() < 6) {
            return Format("%zu bytes", b.size());
        }
        const bool wide = b[1] == 0x06 && b.size() >= 10;
        const std::int32_t value =
            wide ? static_cast<std::int32_t>(static_cast<std::uint32_t>(Be16(b, 4)) << 16 |
                                             Be16(b, 6))
                 : static_cast<std::int16_t>(Be16(b, 4));
        std::string text = Asked(b[1], Be16(b, 2), Be16(b, 4), value, wide);
        return r.attempt > 0 ? text + Format(" (retry %u)", static_cast<unsigned>(r.attempt))
                             : text;
    }
    // An answer the link matched to no request of its exchange is read on its own.
    const bool known =
        r.requestFunction != 0 && r.verdict != KtVerdict::Late && r.verdict != KtVerdict::Foreign;
    std::string asked = known ? Asked(r.requestFunction, r.requestAddress, r.requestCount,
                                      r.requestValue, r.requestWide) +
                                    " -> "
                              : std::string();
    switch (r.verdict) {
    case KtVerdict::Sent:
        break;
    case KtVerdict::Taken:
        if (RecordFunction(r) == 0x03) {
            return asked + ReadValues(b);
        }
        return asked + (known ? "done" : Format("%zu bytes", b.size()));
    case KtVerdict::Exception:
        return asked + Format("exception %u", static_cast<unsigned>(r.exceptionCode));
    case KtVerdict::CrcFailure:
        return asked + "CRC failure";
    case KtVerdict::NoAnswer:
        return asked + (b.empty() ? "no answer" : Format("no answer (%zu bytes)", b.size()));
    case KtVerdict::Foreign:
    case KtVerdict::Late:
        if (b.size() >= 5 && (b[1] & 0x80) != 0) {
            return Format("exception %u", static_cast<unsigned>(b[2]));
        }
        if (b.size() >= 5 && b[1] == 0x03) {
            return "read -> " + ReadValues(b);
        }
        if (b.size() >= 8) {
            return Format("write 0x%04X echoed", Be16(b, 2));
        }
        return Format("%zu bytes", b.size());
    }
    return {};
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += ' ';
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

std::string LogLine(const BusRecord& r, std::int64_t originUs) {
    const double seconds = static_cast<double>(r.timeUs - originUs) / 1e6;
    std::string line = Format(
        "%11.6f %s %3u %02X  %-33s %-36s", seconds, r.direction == KtDirection::Sent ? "->" : "<-",
        static_cast<unsigned>(r.station), static_cast<unsigned>(RecordFunction(r)),
        VerdictText(r.verdict), Summary(r).c_str());
    if (!r.bytes.empty()) {
        return line + " " + HexBytes(r.bytes);
    }
    line.erase(line.find_last_not_of(' ') + 1); // no answer: the line ends with its summary
    return line;
}

BusRecord BusDecoder::Record(const KtTapFrame& frame) {
    BusRecord r;
    r.timeUs = frame.timeUs;
    r.bytes.assign(frame.bytes, frame.bytes + frame.count);
    r.station = frame.station;
    r.direction = frame.direction;
    r.verdict = frame.verdict;
    r.attempt = frame.attempt;
    r.exceptionCode = frame.exceptionCode;
    Request& last = last_[frame.station];
    if (frame.direction == KtDirection::Sent) {
        const auto& b = r.bytes;
        last = {};
        if (b.size() >= 6) {
            last.function = b[1];
            last.address = Be16(b, 2);
            last.count = Be16(b, 4);
            last.wide = b[1] == 0x06 && b.size() >= 10;
            last.value = last.wide ? static_cast<std::int32_t>(
                                         static_cast<std::uint32_t>(Be16(b, 4)) << 16 | Be16(b, 6))
                                   : static_cast<std::int16_t>(Be16(b, 4));
        }
    } else {
        r.requestFunction = last.function;
        r.requestAddress = last.address;
        r.requestCount = last.count;
        r.requestValue = last.value;
        r.requestWide = last.wide;
    }
    return r;
}

} // namespace kestova
