#include "ModbusFrame.h"

#include <cstdio>
#include <mutex>

namespace ktcom {

namespace {

std::mutex g_notifierLock;
KtMessageNotifier g_notifier;

void Notify(const KtMessage& message) {
    KtMessageNotifier notifier;
    {
        std::lock_guard lock(g_notifierLock);
        notifier = g_notifier;
    }
    if (notifier) {
        notifier(message);
    } else {
        std::fprintf(stderr, "%s\n", message.text.c_str());
    }
}

constexpr unsigned kIconError = 0x10;

} // namespace

void SetMessageNotifier(KtMessageNotifier notifier) {
    std::lock_guard lock(g_notifierLock);
    g_notifier = std::move(notifier);
}

char ConvertHexChar(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<char>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<char>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<char>(c - 'a' + 10);
    }
    return -1;
}

int StringToHex(const std::string& text, Bytes& out) {
    out.assign(text.size() / 2 + 2, 0);
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i; // one blank may stand between two bytes
            if (i >= text.size()) {
                break;
            }
        }
        if (i + 1 >= text.size()) {
            break; // a lone last digit ends the text
        }
        const char hi = ConvertHexChar(text[i]);
        const char lo = ConvertHexChar(text[i + 1]);
        if (hi < 0 || lo < 0) {
            Notify({"输入字符超出16进制范围，无法按16进制正常发送", "", kIconError});
            return -1;
        }
        out[n++] = static_cast<std::uint8_t>((hi << 4) | lo);
        i += 2;
    }
    out.resize(n);
    AppendCrc(out);
    return static_cast<int>(out.size());
}

std::string HexToDec(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    std::string digits;
    if (first != std::string::npos) {
        for (std::size_t i = first; i <= last; ++i) {
            char c = text[i];
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) {
                digits.push_back(c);
            }
        }
    }
    // A 32-bit long, as the drive's tools have always read it: longer texts wrap.
    std::uint32_t value = 0;
    for (char c : digits) {
        value = (value << 4) | static_cast<std::uint32_t>(ConvertHexChar(c));
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(static_cast<std::int32_t>(value)));
    return buf;
}

} // namespace ktcom
