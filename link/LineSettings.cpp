#include "LineSettings.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace ktcom {

namespace {

constexpr unsigned kBauds[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 500000};

std::string Upper(const char* text) {
    std::string s = text != nullptr ? text : "";
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

} // namespace

int SpeedIndexForBaudText(const char* text) {
    const long baud = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    switch (baud) {
    case 1200:
        return 0;
    case 2400:
        return 1;
    case 4800:
        return 2;
    case 9600:
        return 3;
    case 14400:
        return 4;
    case 19200:
        return 5;
    case 38400:
        return 6;
    case 57600:
        return 7;
    case 115200:
        return 8;
    case 128000:
        return 9;
    default:
        return 6;
    }
}

unsigned BaudForIndex(int speedIndex) {
    if (speedIndex < 0 || speedIndex > 9) {
        return 9600;
    }
    return kBauds[speedIndex];
}

int DataBitsChoiceForText(const char* text) {
    return (text != nullptr && std::strcmp(text, "7") == 0) ? 0 : 1;
}

// The Chinese words are accepted both in GBK, as older tools pass them, and in UTF-8.
int ParityChoiceForText(const char* text) {
    const std::string p = Upper(text);
    if (p == "NONE" || p == "\xCE\xDE" || p == "\xE6\x97\xA0") {
        return 0;
    }
    if (p == "ODD" || p == "\xC6\xE6" || p == "\xE5\xA5\x87") {
        return 1;
    }
    if (p == "EVEN" || p == "\xC5\xBC" || p == "\xE5\x81\xB6") {
        return 2;
    }
    return 0;
}

int StopBitsChoiceForText(const char* text) {
    const std::string s = text != nullptr ? text : "";
    if (s == "1.5") {
        return 1;
    }
    if (s == "2") {
        return 2;
    }
    return 0;
}

LineSettings ParseLineSettings(const char* baud, const char* dataBits, const char* parity,
                               const char* stopBits) {
    return {SpeedIndexForBaudText(baud), DataBitsChoiceForText(dataBits),
            ParityChoiceForText(parity), StopBitsChoiceForText(stopBits)};
}

} // namespace ktcom
