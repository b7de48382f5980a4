#pragma once

// How an operation recognises its answer among the bytes that came back: how many it waits for,
// whether the answer is looked for behind stray bytes, and which bytes hold the result. Pure
// functions over bytes, shared by the register operations and driven directly by tests and the
// fuzz target.

#include "KtExport.h"
#include "ModbusFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ktcom {

struct AnswerRule {
    enum class Short {
        Report,         // too few bytes is "no response"
        RetryQuietly,   // try again at once, report nothing
        ValidityDecides // locate and test what came as it is
    };
    std::uint32_t expected = 0;
    bool locate = false; // look for the answer behind stray bytes by station and function
    std::uint8_t station = 0;
    std::uint8_t function = 0;
    bool locateByReceived = false; // locate with the received count instead of the expected one
    Short onShort = Short::Report;
    // Where the result lies in the answer; a width of 0 takes the whole frame.
    std::size_t resultOffset = 0;
    std::size_t resultWidth = 0;
};

// True once the receive can stop: the expected count is in and, when the answer is located, the
// answer that starts behind stray bytes is whole too.
KTCOM_API bool AnswerComplete(const std::uint8_t* data, std::size_t count, const AnswerRule& rule);

enum class Verdict {
    Taken,        // a valid answer that holds the result
    Short,        // too few bytes: "no response"
    ShortQuietly, // too few bytes, to be retried without a report
    BadCrc,       // bytes came but they are no valid answer
    TooShort      // a valid frame that ends before the result: "no response"
};

// Judges what one attempt received. On Taken, `received` holds the located answer.
KTCOM_API Verdict JudgeAnswer(Bytes& received, const AnswerRule& rule);

// The result of a taken answer: 16 or 32 bits, high byte first. Empty when the answer does not
// hold that many bytes before its CRC.
KTCOM_API std::optional<std::int32_t> AnswerValue(const Bytes& answer, const AnswerRule& rule);

} // namespace ktcom
