#include "AnswerRule.h"

#include <algorithm>

namespace ktcom {

namespace {

constexpr std::size_t kExceptionLength = 5;
constexpr std::size_t kMinimumFrame = 7; // the validity test's least frame

bool CrcMatches(const std::uint8_t* data, std::size_t length) {
    if (length < 4) {
        return false;
    }
    const std::size_t body = length - 2;
    const std::uint32_t crc = Crc16(data, static_cast<std::uint16_t>(body));
    return crc == (data[body] | (std::uint32_t{data[body + 1]} << 8));
}

// A whole frame of `length` bytes at `data`, or where it stands when fewer came.
FrameFit FitLength(const std::uint8_t* data, std::size_t count, std::size_t length) {
    if (count < length) {
        return {Fit::Partial, 0};
    }
    return CrcMatches(data, length) ? FrameFit{Fit::Whole, length} : FrameFit{Fit::No, 0};
}

} // namespace

AnswerRule AnswerRule::Read(std::uint8_t station, std::uint32_t expected) {
    AnswerRule r;
    r.station = station;
    r.function = 0x03;
    r.expected = expected;
    r.echo[0] = static_cast<std::uint8_t>((expected - 5) & 0xFF);
    r.echoLength = 1;
    return r;
}

AnswerRule AnswerRule::Echo(const Bytes& request, std::size_t echoed) {
    AnswerRule r;
    r.station = request.at(0);
    r.function = request.at(1);
    r.expected = static_cast<std::uint32_t>(2 + echoed + 2);
    r.echoLength = static_cast<std::uint8_t>(std::min(echoed, r.echo.size()));
    std::copy_n(request.begin() + 2, r.echoLength, r.echo.begin());
    return r;
}

FrameFit FitAnswer(const std::uint8_t* data, std::size_t count, const AnswerRule& rule,
                   bool final) {
    if (count == 0) {
        return {Fit::Partial, 0};
    }
    if (data[0] != rule.station) {
        return {};
    }
    if (count < 2) {
        return {Fit::Partial, 0};
    }
    if (data[1] == (rule.function | 0x80)) {
        if (count < kExceptionLength) {
            return {Fit::Partial, 0};
        }
        return {CrcMatches(data, kExceptionLength) ? Fit::Exception : Fit::Corrupt,
                kExceptionLength};
    }
    if (data[1] != rule.function) {
        return {};
    }
    if (rule.openLength) {
        // Runs to the end of what came: judged once the awaited bytes are in or nothing more comes.
        if (!final && count < rule.expected) {
            return {Fit::Partial, 0};
        }
        const bool valid = count >= kMinimumFrame && CrcMatches(data, count);
        return {valid ? Fit::Whole : Fit::Corrupt, count};
    }
    for (std::size_t i = 0; i < rule.echoLength; ++i) {
        if (2 + i >= count) {
            return {Fit::Partial, 0};
        }
        if (data[2 + i] != rule.echo[i]) {
            return {};
        }
    }
    if (count < rule.expected) {
        // Everything it must repeat is there: the answer's beginning, as far as it came.
        return {Fit::Partial, count};
    }
    return {CrcMatches(data, rule.expected) ? Fit::Whole : Fit::Corrupt, rule.expected};
}

FrameFit FitAnyFrame(const std::uint8_t* data, std::size_t count) {
    if (count < 2) {
        return {Fit::Partial, 0};
    }
    const std::uint8_t function = data[1];
    if ((function & 0x80) != 0) {
        return FitLength(data, count, kExceptionLength);
    }
    switch (function) {
    case 0x03:
        if (count < 3) {
            return {Fit::Partial, 0};
        }
        return FitLength(data, count, 5u + data[2]);
    case 0x06: {
        // A one-register echo, or the 32-bit write's longer one.
        const FrameFit one = FitLength(data, count, 8);
        return one.fit == Fit::No ? FitLength(data, count, 10) : one;
    }
    case 0x10:
        return FitLength(data, count, 8);
    default:
        return {};
    }
}

std::optional<std::int32_t> AnswerValue(const Bytes& answer, const AnswerRule& rule) {
    if (rule.resultWidth == 0 || answer.size() < rule.resultOffset + rule.resultWidth + 2) {
        return std::nullopt;
    }
    if (rule.resultWidth == 4) {
        return Be32(answer, rule.resultOffset);
    }
    return Be16(answer, rule.resultOffset);
}

} // namespace ktcom
