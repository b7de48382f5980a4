// Arbitrary received bytes through everything the link does with an answer: telling each frame's
// request among the requests on the line, the answer rules of every register operation, taking
// the result out, and the raw channel's answer check. The library's own paths are called as the
// link calls them, with no check of ours in front.

#include "AnswerLedger.h"
#include "AnswerRule.h"
#include "ModbusFrame.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace {

using ktcom::AnswerLedger;
using ktcom::AnswerRule;

// The answer rules of the register operations, for station `st`.
std::array<AnswerRule, 8> Rules(std::uint8_t st, std::uint16_t blockCount) {
    AnswerRule read = AnswerRule::Read(st, 7);
    read.resultOffset = 3;
    read.resultWidth = 2;
    AnswerRule probe = read;
    probe.locate = true;
    AnswerRule read32 = AnswerRule::Read(st, 9);
    read32.locate = true;
    read32.resultOffset = 3;
    read32.resultWidth = 4;
    AnswerRule write = AnswerRule::Echo(ktcom::WriteRequest(st, 0x31, 0x55), 4);
    write.locate = true;
    write.resultOffset = 4;
    write.resultWidth = 2;
    AnswerRule write32 = AnswerRule::Echo(ktcom::Write32Request(st, 0x62, -100000), 6);
    write32.locate = true;
    write32.resultOffset = 4;
    write32.resultWidth = 4;
    AnswerRule block = AnswerRule::Read(st, 2u * blockCount + 5u);
    block.locate = true;
    block.onShort = AnswerRule::Short::RetryQuietly;
    AnswerRule blockWrite = AnswerRule::Echo(ktcom::WriteBlockRequest(st, 0x200, 3, nullptr, 0), 4);
    blockWrite.locate = true;
    blockWrite.resultOffset = 4;
    blockWrite.resultWidth = 2;
    AnswerRule cmdRecv = AnswerRule::Echo(ktcom::CmdBufferRecvRequest(st, 5, 0, 0), 0);
    cmdRecv.expected = 20;
    cmdRecv.openLength = true;
    cmdRecv.locate = true;
    return {read, probe, read32, write, write32, block, blockWrite, cmdRecv};
}

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // The first bytes choose the station, the block read's register count and how the bytes are
    // cut into receives.
    const std::uint8_t station = data[0];
    const auto blockCount = static_cast<std::uint16_t>(data[1] * 2u);
    const std::size_t chunk = 1 + data[2] % 16;
    data += 3;
    size -= 3;

    const auto rules = Rules(station, blockCount);
    const auto now = std::chrono::steady_clock::now();
    const auto later = now + std::chrono::hours(2);
    const std::chrono::microseconds window = std::chrono::hours(1);
    volatile std::uint32_t sink = 0;
    for (std::size_t r = 0; r < rules.size(); ++r) {
        const AnswerRule& rule = rules[r];
        AnswerLedger ledger;
        // An earlier exchange of another rule is still due, then this rule's exchange.
        ledger.Sent(1, rules[(r + 1) % rules.size()], now, window);
        ledger.Sent(2, rule, now, window);
        for (std::size_t at = 0; at <= size; at += chunk) {
            const std::size_t n = at + chunk <= size ? chunk : size - at;
            ledger.Add(data + at, n);
            const bool final = at + chunk > size;
            const AnswerLedger::Result got = ledger.Scan(2, !rule.locate, final, now);
            Check(ledger.Buffered() <= size);
            if (got.end == AnswerLedger::End::NeedMore) {
                continue;
            }
            if (got.end == AnswerLedger::End::Taken) {
                // A taken answer is the rule's answer, whole and valid, and holds its result.
                const ktcom::FrameFit fit =
                    ktcom::FitAnswer(got.frame.data(), got.frame.size(), rule, true);
                Check(fit.fit == ktcom::Fit::Whole && fit.length == got.frame.size());
                if (rule.resultWidth != 0) {
                    const auto value = ktcom::AnswerValue(got.frame, rule);
                    Check(value.has_value());
                    sink = sink ^ static_cast<std::uint32_t>(*value);
                }
            }
            break;
        }
        ledger.Expire(later);
        Check(ledger.Outstanding() == 0);
    }

    const long arm = ktcom::CheckArmAnswer(data, size);
    Check(arm <= 0 || static_cast<std::size_t>(arm) == size);
    return 0;
}
