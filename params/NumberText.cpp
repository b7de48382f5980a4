#include "NumberText.h"

namespace kestova::params {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

bool IsNumberText(std::string_view text) {
    bool point = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (HexDigit(c) >= 0) {
            continue;
        }
        if ((c == '+' || c == '-') && i == 0) {
            continue;
        }
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        return false;
    }
    return true;
}

std::uint32_t ParseHexText(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return 0xFFFFFFFFu;
        }
        value = value * 16u + static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace kestova::params
