#pragma once

// Line settings as the link stores them, and how the texts a caller passes map onto them.

#include "KtExport.h"

namespace ktcom {

struct LineSettings {
    int speedIndex = 6;     // index into the speed table; 6 = 38400 baud
    int dataBitsChoice = 0; // 0 = 7 data bits, 1 = 8
    int parityChoice = 0;   // 0 none, 1 odd, 2 even
    int stopBitsChoice = 0; // 0 one, 1 one and a half, 2 two

    bool operator==(const LineSettings&) const = default;
};

// Baud text to speed index: the listed speeds map to their entry, anything else to 38400.
// "128000" selects the table's fastest entry, which runs the line at 500000 baud.
KTCOM_API int SpeedIndexForBaudText(const char* text);
// Line speed in baud for a speed index; indexes outside the table run at 9600.
KTCOM_API unsigned BaudForIndex(int speedIndex);
// Only "7" selects 7 data bits.
KTCOM_API int DataBitsChoiceForText(const char* text);
// "NONE", "ODD", "EVEN" in any case, or the Chinese words for them (GBK or UTF-8); else none.
KTCOM_API int ParityChoiceForText(const char* text);
// Exactly "1", "1.5" or "2"; anything else is one stop bit.
KTCOM_API int StopBitsChoiceForText(const char* text);

KTCOM_API LineSettings ParseLineSettings(const char* baud, const char* dataBits, const char* parity,
                                         const char* stopBits);

} // namespace ktcom
