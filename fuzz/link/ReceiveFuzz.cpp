// Arbitrary received bytes through everything the link does with an answer: deciding that the
// receive is complete, locating the answer among stray bytes, the validity test, taking the result
// out, and the raw channel's answer check. The library's own paths are called as the operations
// call them, with no check of ours in front.

#include "AnswerRule.h"
#include "ModbusFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

using ktcom::AnswerRule;

// The answer rules of the register operations, for station `st`.
std::array<AnswerRule, 9> Rules(std::uint8_t st, std::uint16_t blockCount) {
    auto located = [st](std::uint8_t function, std::uint32_t expected, std::size_t offset,
                        std::size_t width) {
        AnswerRule r;
        r.expected = expected;
        r.locate = true;
        r.station = st;
        r.function = function;
        r.resultOffset = offset;
        r.resultWidth = width;
        return r;
    };
    AnswerRule read;
    read.expected = 7;
    read.resultOffset = 3;
    read.resultWidth = 2;
    AnswerRule cmdWrite = read;
    cmdWrite.expected = 8;
    cmdWrite.resultOffset = 4;
    AnswerRule block = located(0x03, 2u * blockCount + 5u, 0, 0);
    block.locateByReceived = true;
    block.onShort = AnswerRule::Short::RetryQuietly;
    AnswerRule cmdRecv = located(0x20, 20, 0, 0);
    cmdRecv.locateByReceived = true;
    cmdRecv.onShort = AnswerRule::Short::ValidityDecides;
    return {read,
            located(0x03, 7, 3, 2),  // probe
            located(0x03, 9, 3, 4),  // 32-bit read
            located(0x06, 8, 4, 2),  // write
            located(0x06, 10, 4, 4), // 32-bit write
            located(0x10, 8, 4, 2),  // block write
            cmdWrite,
            block,
            cmdRecv};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the station and the block read's register count.
    const std::uint8_t station = data[0];
    const auto blockCount = static_cast<std::uint16_t>(data[1] * 2u);
    const ktcom::Bytes received(data + 2, data + size);

    volatile std::uint32_t sink = 0;
    for (const AnswerRule& rule : Rules(station, blockCount)) {
        sink = sink ^ (ktcom::AnswerComplete(received.data(), received.size(), rule) ? 1u : 0u);
        ktcom::Bytes answer = received;
        const ktcom::Verdict verdict = ktcom::JudgeAnswer(answer, rule);
        if (answer.size() > received.size()) {
            __builtin_trap();
        }
        if (verdict != ktcom::Verdict::Taken) {
            continue;
        }
        if (rule.resultWidth != 0) {
            // A taken answer always holds its result.
            const auto value = ktcom::AnswerValue(answer, rule);
            if (!value) {
                __builtin_trap();
            }
            sink = sink ^ static_cast<std::uint32_t>(*value);
        } else {
            const KtVariant frame = KtVariant::FromBytes(answer);
            if (frame.Count() != answer.size()) {
                __builtin_trap();
            }
        }
    }

    const long arm = ktcom::CheckArmAnswer(received.data(), received.size());
    if (arm > 0 && static_cast<std::size_t>(arm) != received.size()) {
        __builtin_trap();
    }
    return 0;
}
