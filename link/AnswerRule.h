#pragma once

// How an operation recognises the answer to its request among the bytes that come back: its
// length, the station and function, and what the answer must repeat of the request (a read's
// byte count, a write's address with its value or count). Pure functions over bytes, shared by
// the register operations and driven directly by tests and the fuzz target.

#include "KtExport.h"
#include "ModbusFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ktcom {

struct KTCOM_API AnswerRule {
    enum class Short {
        Report,         // too few bytes is "no response"
        RetryQuietly,   // try again at once, report nothing
        ValidityDecides // what came is judged as it is
    };
    // Bytes of the whole answer. An answer of open length runs to the end of what came, and this
    // is how many bytes the receive waits for.
    std::uint32_t expected = 0;
    bool openLength = false;
    bool locate = false; // the answer may lie behind stray bytes
    std::uint8_t station = 0;
    std::uint8_t function = 0;
    Short onShort = Short::Report;
    // Bytes from offset 2 that the answer must carry.
    std::array<std::uint8_t, 6> echo{};
    std::uint8_t echoLength = 0;
    // Where the result lies in the answer; a width of 0 takes the whole frame.
    std::size_t resultOffset = 0;
    std::size_t resultWidth = 0;

    // The answer to a read: 03, a byte count, then `expected` - 5 data bytes. The byte count field
    // holds 8 bits, so for blocks past 127 registers it carries the low byte.
    static AnswerRule Read(std::uint8_t station, std::uint32_t expected);
    // The answer to a write: its station and function, then `echoed` bytes of the request from
    // offset 2 (address and value, or address and count), then the CRC.
    static AnswerRule Echo(const Bytes& request, std::size_t echoed);
};

enum class Fit {
    No,        // the bytes here are not this answer
    Partial,   // they begin like it; more must come
    Whole,     // the answer, whole and valid
    Exception, // the drive refused the request (function | 0x80, 5 bytes)
    Corrupt    // the answer's shape with a wrong CRC
};

struct FrameFit {
    Fit fit = Fit::No;
    // Bytes the answer takes, for Whole, Exception and Corrupt; for Partial, the bytes that came
    // once the station, function and everything the answer repeats are among them, else 0.
    std::size_t length = 0;
};

// Whether the `count` bytes at `data` begin with the answer the rule describes. With `final` the
// receive has ended: nothing more will come, so an answer of open length is judged as it stands.
KTCOM_API FrameFit FitAnswer(const std::uint8_t* data, std::size_t count, const AnswerRule& rule,
                             bool final);

// Whether the bytes at `data` begin with a whole, valid Modbus frame of any request (a read
// answer, a write echo, an exception reply, of any station): Whole with its length, Partial when
// they could still become one, No otherwise.
KTCOM_API FrameFit FitAnyFrame(const std::uint8_t* data, std::size_t count);

// The result of a taken answer: 16 or 32 bits, high byte first. Empty when the answer does not
// hold that many bytes before its CRC.
KTCOM_API std::optional<std::int32_t> AnswerValue(const Bytes& answer, const AnswerRule& rule);

} // namespace ktcom
