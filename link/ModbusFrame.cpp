#include "ModbusFrame.h"

#include <algorithm>
#include <iterator>

namespace ktcom {

std::uint32_t Crc16(const std::uint8_t* data, std::uint16_t length) {
    std::uint32_t crc = 0xFFFF;
    for (std::uint16_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = (crc & 1u) != 0;
            crc >>= 1;
            if (lsb) {
                crc ^= 0xA001;
            }
        }
    }
    return crc;
}

void AppendCrc(Bytes& frame) {
    const std::uint32_t crc = Crc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
    /* the low order byte of the CRC comes first in the RTU message */
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool IsValidFrame(const Bytes& frame) {
    if (frame.size() < 7) {
        return false;
    }
    const std::size_t body = frame.size() - 2;
    const std::uint32_t crc = Crc16(frame.data(), static_cast<std::uint16_t>(body));
    const std::uint32_t got = frame[body] | (std::uint32_t{frame[body + 1]} << 8);
    return crc == got;
}

void CutOutValidData(Bytes& frame, std::uint8_t station, std::uint8_t function,
                     std::uint16_t length) {
    const std::size_t size = frame.size();
    if (size <= 1) {
        return;
    }
    std::size_t start = size;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (frame[i] == station && frame[i + 1] == function) {
            start = i;
            break;
        }
    }
    // Not found, or already in front: the validity test decides on the buffer as it is.
    if (start == size || start == 0) {
        return;
    }
    const std::size_t keep = (start + length <= size) ? length : size - start;
    std::copy(frame.begin() + static_cast<std::ptrdiff_t>(start),
              frame.begin() + static_cast<std::ptrdiff_t>(start + keep), frame.begin());
    frame.resize(keep);
}

namespace {

void PutBe16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

Bytes Header(std::uint8_t station, std::uint8_t function, std::uint16_t address) {
    Bytes b;
    b.reserve(16);
    b.push_back(station);
    b.push_back(function);
    PutBe16(b, address);
    return b;
}

} // namespace

Bytes ReadRequest(std::uint8_t station, std::uint16_t address, std::uint16_t count) {
    Bytes b = Header(station, 0x03, address);
    PutBe16(b, count);
    AppendCrc(b);
    return b;
}

Bytes WriteRequest(std::uint8_t station, std::uint16_t address, std::int16_t value) {
    Bytes b = Header(station, 0x06, address);
    PutBe16(b, static_cast<std::uint16_t>(value));
    AppendCrc(b);
    return b;
}

Bytes Write32Request(std::uint8_t station, std::uint16_t address, std::int32_t value) {
    Bytes b = Header(station, 0x06, address);
    const auto v = static_cast<std::uint32_t>(value);
    PutBe16(b, static_cast<std::uint16_t>(v >> 16));
    PutBe16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    AppendCrc(b);
    return b;
}

Bytes WriteBlockRequest(std::uint8_t station, std::uint16_t address, std::uint16_t count,
                        const std::uint8_t* data, std::size_t dataLength) {
    Bytes b = Header(station, 0x10, address);
    PutBe16(b, count);
    b.push_back(static_cast<std::uint8_t>((2u * count) & 0xFF));
    if (data != nullptr) {
        b.insert(b.end(), data, data + dataLength);
    }
    AppendCrc(b);
    return b;
}

Bytes CmdBufferWriteRequest(std::uint8_t station, std::uint16_t address, std::uint16_t count,
                            const std::uint8_t* data) {
    Bytes b = Header(station, 0x20, address);
    PutBe16(b, count);
    if (data != nullptr) {
        b.insert(b.end(), data, data + 2 * std::size_t{count});
    }
    AppendCrc(b);
    return b;
}

Bytes CmdBufferRecvRequest(std::uint8_t station, std::uint16_t address, std::uint16_t third,
                           std::uint16_t fourth) {
    Bytes b = Header(station, 0x20, address);
    PutBe16(b, fourth);
    PutBe16(b, third);
    AppendCrc(b);
    return b;
}

Bytes ArmCommand(std::uint8_t identifier, std::uint16_t word, std::uint16_t value) {
    Bytes b{0xFF, 0xFF, 0xFF, 0xFF, identifier};
    PutBe16(b, word);
    PutBe16(b, 2);
    PutBe16(b, value);
    AppendCrc(b);
    return b;
}

long CheckArmAnswer(const std::uint8_t* data, std::size_t count) {
    if (count < 4 || data[0] != 0xFF || data[1] != 0xFF || data[2] != 0xFF || data[3] != 0xFF) {
        return 0;
    }
    // The length field sits in bytes 7 and 8; an answer too short to hold it, or a length that
    // points past what arrived, cannot match.
    if (count < 11) {
        return -1;
    }
    const std::size_t length = (std::size_t{data[7]} << 8) | data[8];
    if (10 + length >= count) {
        return -1;
    }
    const std::uint32_t crc = Crc16(data, static_cast<std::uint16_t>(count - 2));
    const std::uint32_t stored = data[9 + length] | (std::uint32_t{data[10 + length]} << 8);
    return crc == stored ? static_cast<long>(count) : -1;
}

} // namespace ktcom
