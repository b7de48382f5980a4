#include "RtuSlave.h"

namespace kestova::sim {

namespace {

std::uint16_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void PutBe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

constexpr std::size_t kHeaderMultiple = 7; // station, function, address, count, byte count
constexpr std::size_t kShortestRequest = 8;

} // namespace

std::uint16_t RtuCrc(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1U) != 0;
            crc >>= 1;
            if (carry) {
                crc ^= 0xA001;
            }
        }
    }
    return crc;
}

void AppendRtuCrc(Bytes& frame) {
    const std::uint16_t crc = RtuCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool RtuCrcMatches(const std::uint8_t* frame, std::size_t length) {
    if (length < 4) {
        return false;
    }
    const std::uint16_t crc = RtuCrc(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

Scan ScanRequest(const std::uint8_t* data, std::size_t length) {
    Scan scan;
    if (length < 2) {
        return scan;
    }
    RtuRequest& r = scan.request;
    r.station = data[0];
    r.function = data[1];
    std::size_t need = 0;
    switch (r.function) {
    case 0x03:
    case 0x06:
        need = 8;
        break;
    case 0x10:
        if (length < kHeaderMultiple) {
            return scan;
        }
        need = kHeaderMultiple + data[6] + 2;
        break;
    default:
        scan.result = ScanResult::Unknown;
        return scan;
    }
    if (length < need) {
        return scan;
    }
    if (!RtuCrcMatches(data, need)) {
        scan.result = ScanResult::Garbage;
        return scan;
    }
    r.frameLength = need;
    r.address = Be16(data + 2);
    if (r.function == 0x06) {
        r.count = 1;
        r.values.push_back(Be16(data + 4));
    } else {
        r.count = Be16(data + 4);
    }
    if (r.function == 0x10) {
        const std::size_t byteCount = data[6];
        if (byteCount != 2U * r.count || byteCount % 2 != 0) {
            r.malformed = ExceptionCode::IllegalDataValue;
        } else {
            for (std::size_t i = 0; i < r.count; ++i) {
                r.values.push_back(Be16(data + kHeaderMultiple + 2 * i));
            }
        }
    }
    scan.result = ScanResult::Request;
    return scan;
}

bool IsWholeFrame(const std::uint8_t* data, std::size_t length) {
    return length >= 4 && RtuCrcMatches(data, length);
}

FrameStep NextFrame(const std::uint8_t* data, std::size_t length, bool quiet) {
    FrameStep step;
    if (length == 0) {
        return step;
    }
    const Scan front = ScanRequest(data, length);
    if (front.result == ScanResult::Request) {
        step.action = FrameStep::Action::Take;
        step.request = front.request;
        return step;
    }
    for (std::size_t skip = 1; skip + kShortestRequest <= length; ++skip) {
        Scan later = ScanRequest(data + skip, length - skip);
        if (later.result == ScanResult::Request) {
            step.action = FrameStep::Action::Take;
            step.skip = skip;
            step.request = std::move(later.request);
            return step;
        }
    }
    if (front.result == ScanResult::Garbage) {
        // A request may still be arriving behind the bad byte.
        step.action = FrameStep::Action::Drop;
        step.skip = 1;
        return step;
    }
    if (!quiet) {
        return step;
    }
    if (front.result == ScanResult::Unknown && IsWholeFrame(data, length)) {
        step.action = FrameStep::Action::Refuse;
        return step;
    }
    step.action = FrameStep::Action::Drop;
    step.skip = length;
    return step;
}

Bytes ReadReply(std::uint8_t station, const std::vector<std::uint16_t>& values) {
    Bytes out{station, 0x03};
    // The byte count field holds 8 bits; block reads past 127 registers carry its low byte, and
    // masters of such drives go by the frame length instead.
    out.push_back(static_cast<std::uint8_t>((values.size() * 2) & 0xFF));
    for (std::uint16_t v : values) {
        PutBe16(out, v);
    }
    AppendRtuCrc(out);
    return out;
}

Bytes WriteSingleReply(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
    Bytes out{station, 0x06};
    PutBe16(out, address);
    PutBe16(out, value);
    AppendRtuCrc(out);
    return out;
}

Bytes WriteMultipleReply(std::uint8_t station, std::uint16_t address, std::uint16_t count) {
    Bytes out{station, 0x10};
    PutBe16(out, address);
    PutBe16(out, count);
    AppendRtuCrc(out);
    return out;
}

Bytes ExceptionReply(std::uint8_t station, std::uint8_t function, ExceptionCode code) {
    Bytes out{station, static_cast<std::uint8_t>(function | 0x80), static_cast<std::uint8_t>(code)};
    AppendRtuCrc(out);
    return out;
}

} // namespace kestova::sim
