#pragma once

// The drive's side of Modbus RTU: recognising requests among the bytes that arrive, and building
// the replies. Pure functions over bytes, written apart from the link library's framing so that
// each checks the other.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestova::sim {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS: init 0xFFFF, reflected polynomial 0xA001, no final xor. Sent low byte first.
std::uint16_t RtuCrc(const std::uint8_t* data, std::size_t length);
void AppendRtuCrc(Bytes& frame);
bool RtuCrcMatches(const std::uint8_t* frame, std::size_t length);

enum class ExceptionCode : std::uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    DeviceFailure = 0x04,
    DeviceBusy = 0x06,
};

struct RtuRequest {
    std::uint8_t station = 0;
    std::uint8_t function = 0;
    std::uint16_t address = 0;
    std::uint16_t count = 0;           // 0x03, 0x10: register count
    std::vector<std::uint16_t> values; // 0x06: one value; 0x10: the values
    std::size_t frameLength = 0;       // bytes of the request on the wire
    // Set when the frame is well formed but its fields break the function's rules (a byte count
    // that does not match the register count), so the drive answers with an exception.
    std::optional<ExceptionCode> malformed;
};

// What the front of a receive buffer holds.
enum class ScanResult {
    NeedMore, // a request may be forming; wait for bytes (or for the line to go quiet)
    Request,  // a whole request for a known function with a right CRC
    Unknown,  // station and function present, but the function has no known length
    Garbage,  // the first byte cannot start a request: drop it and scan again
};

struct Scan {
    ScanResult result = ScanResult::NeedMore;
    RtuRequest request;
};

// Looks at the front of the buffer. Frames of functions 0x03, 0x06 and 0x10 are told by their
// length; a known function whose CRC fails counts as garbage.
Scan ScanRequest(const std::uint8_t* data, std::size_t length);

// A frame of unknown length that the line's silence has closed: a right CRC makes it a request
// whose function the drive does not have.
bool IsWholeFrame(const std::uint8_t* data, std::size_t length);

// What the drive does next with the bytes it holds, `quiet` telling whether the line has been
// silent for a frame gap since the last of them.
struct FrameStep {
    enum class Action {
        Wait,   // a frame may still be arriving
        Drop,   // `skip` bytes at the front are noise or a frame that stopped short
        Take,   // `request` starts `skip` bytes in; the bytes before it are noise
        Refuse, // the whole buffer is one frame of a function the drive does not have
    };
    Action action = Action::Wait;
    std::size_t skip = 0;
    RtuRequest request;
};

// A request is found where it starts: at the front, or further on where a whole request with a
// right CRC begins (noise ahead of a request arrives with it, with no silence between). Without
// one, silence ends what the drive holds.
FrameStep NextFrame(const std::uint8_t* data, std::size_t length, bool quiet);

Bytes ReadReply(std::uint8_t station, const std::vector<std::uint16_t>& values);
Bytes WriteSingleReply(std::uint8_t station, std::uint16_t address, std::uint16_t value);
Bytes WriteMultipleReply(std::uint8_t station, std::uint16_t address, std::uint16_t count);
Bytes ExceptionReply(std::uint8_t station, std::uint8_t function, ExceptionCode code);

} // namespace kestova::sim
