#pragma once

// Modbus RTU frames as the link puts them on the wire, and the rules by which it accepts an
// answer. Pure functions over bytes: no port, no clock, no state.

#include "KtExport.h"
#include "KtVariant.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ktcom {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF, no final xor). Lengths are 16-bit on the wire
// side of the protocol, so a longer buffer is cut to its low 16 bits of length.
KTCOM_API std::uint32_t Crc16(const std::uint8_t* data, std::uint16_t length);

// Appends the CRC of everything in the frame, low byte first.
KTCOM_API void AppendCrc(Bytes& frame);

// A received frame is valid when it has at least 7 bytes and its last two bytes are the CRC of
// the rest. Exception replies (5 bytes) are never valid.
KTCOM_API bool IsValidFrame(const Bytes& frame);

// Moves a response that is preceded by stray bytes to the front of the buffer: the first place
// where station and function follow each other marks its start. A buffer that already starts
// there is left alone, trailing bytes included.
KTCOM_API void CutOutValidData(Bytes& frame, std::uint8_t station, std::uint8_t function,
                               std::uint16_t length);

KTCOM_API Bytes ReadRequest(std::uint8_t station, std::uint16_t address, std::uint16_t count);
KTCOM_API Bytes WriteRequest(std::uint8_t station, std::uint16_t address, std::int16_t value);
KTCOM_API Bytes Write32Request(std::uint8_t station, std::uint16_t address, std::int32_t value);
// Function 0x10. The byte-count field is 2 x count cut to 8 bits, whatever the data holds.
KTCOM_API Bytes WriteBlockRequest(std::uint8_t station, std::uint16_t address, std::uint16_t count,
                                  const std::uint8_t* data, std::size_t dataLength);
// The drive's command-buffer function 0x20, writing 2 x count bytes.
KTCOM_API Bytes CmdBufferWriteRequest(std::uint8_t station, std::uint16_t address,
                                      std::uint16_t count, const std::uint8_t* data);
// The drive's command-buffer function 0x20, asking for an answer: fourth argument first.
KTCOM_API Bytes CmdBufferRecvRequest(std::uint8_t station, std::uint16_t address,
                                     std::uint16_t third, std::uint16_t fourth);

// 13-byte command of the raw channel: FF FF FF FF id word(2) length 00 02 value(2) crc(2).
KTCOM_API Bytes ArmCommand(std::uint8_t identifier, std::uint16_t word, std::uint16_t value);

// Checks an answer of the raw channel. Returns the byte count when it is a whole answer with a
// right CRC, 0 when the bytes do not start with the FF FF FF FF header, and -1 when the header is
// there but the length field or the CRC does not fit.
KTCOM_API long CheckArmAnswer(const std::uint8_t* data, std::size_t count);

// Big-endian fields of a received frame.
inline std::int16_t Be16(const Bytes& b, std::size_t pos) {
    return static_cast<std::int16_t>((b[pos] << 8) | b[pos + 1]);
}
inline std::int32_t Be32(const Bytes& b, std::size_t pos) {
    return static_cast<std::int32_t>((std::uint32_t{b[pos]} << 24) |
                                     (std::uint32_t{b[pos + 1]} << 16) |
                                     (std::uint32_t{b[pos + 2]} << 8) | std::uint32_t{b[pos + 3]});
}

// Hex text helpers kept for clients that type frames by hand.
KTCOM_API char ConvertHexChar(char c);
// Turns "01 03 00 FD" into bytes and appends the CRC; returns the byte count, or -1 (after telling
// the user) when a character is not a hex digit.
KTCOM_API int StringToHex(const std::string& text, Bytes& out);
KTCOM_API std::string HexToDec(const std::string& text);

// Who is told when typed hex text cannot be sent. The default writes to standard error.
struct KtMessage {
    std::string text;
    std::string caption;
    unsigned icon; // 0x10 error, 0x30 exclamation, 0x40 information
};
// Pass an empty notifier to restore the default.
using KtMessageNotifier = std::function<void(const KtMessage& message)>;
KTCOM_API void SetMessageNotifier(KtMessageNotifier notifier);

} // namespace ktcom
