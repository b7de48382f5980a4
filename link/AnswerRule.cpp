#include "AnswerRule.h"

namespace ktcom {

namespace {

// Bytes the answer needs so that its result lies before the CRC.
std::size_t NeededLength(const AnswerRule& rule) {
    return rule.resultWidth == 0 ? 0 : rule.resultOffset + rule.resultWidth + 2;
}

} // namespace

bool AnswerComplete(const std::uint8_t* data, std::size_t count, const AnswerRule& rule) {
    if (count < rule.expected) {
        return false;
    }
    if (!rule.locate) {
        return true;
    }
    // The answer starts where the locating step will find it; when stray bytes came first, the
    // answer is whole only once its own expected length is in behind them.
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (data[i] == rule.station && data[i + 1] == rule.function) {
            return count - i >= rule.expected;
        }
    }
    return true;
}

Verdict JudgeAnswer(Bytes& received, const AnswerRule& rule) {
    if (received.size() < rule.expected && rule.onShort != AnswerRule::Short::ValidityDecides) {
        return rule.onShort == AnswerRule::Short::RetryQuietly ? Verdict::ShortQuietly
                                                               : Verdict::Short;
    }
    if (rule.locate) {
        const auto length =
            static_cast<std::uint16_t>(rule.locateByReceived ? received.size() : rule.expected);
        CutOutValidData(received, rule.station, rule.function, length);
    }
    if (!IsValidFrame(received)) {
        return Verdict::BadCrc;
    }
    if (received.size() < NeededLength(rule)) {
        return Verdict::TooShort;
    }
    return Verdict::Taken;
}

std::optional<std::int32_t> AnswerValue(const Bytes& answer, const AnswerRule& rule) {
    if (rule.resultWidth == 0 || answer.size() < NeededLength(rule)) {
        return std::nullopt;
    }
    if (rule.resultWidth == 4) {
        return Be32(answer, rule.resultOffset);
    }
    return Be16(answer, rule.resultOffset);
}

} // namespace ktcom
