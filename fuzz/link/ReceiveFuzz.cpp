// Arbitrary received bytes through everything the link does with an answer: locating it among
// stray bytes, the validity test, taking the result out, and the raw channel's answer check.

#include "ModbusFrame.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the station and the operation's expectations.
    const std::uint8_t station = data[0];
    const std::uint8_t function = data[1] % 4 == 0   ? 0x03
                                  : data[1] % 4 == 1 ? 0x06
                                  : data[1] % 4 == 2 ? 0x10
                                                     : 0x20;
    const std::uint16_t length = static_cast<std::uint16_t>(data[1] * 5u + 7u);
    ktcom::Bytes received(data + 2, data + size);

    ktcom::Bytes located = received;
    ktcom::CutOutValidData(located, station, function, length);
    if (located.size() > received.size()) {
        __builtin_trap();
    }
    if (ktcom::IsValidFrame(located)) {
        // What each operation takes out of a valid answer.
        // Folded without arithmetic so that large values cannot overflow the sink itself.
        volatile std::uint32_t sink = static_cast<std::uint32_t>(ktcom::Be16(located, 3));
        sink = sink ^ static_cast<std::uint32_t>(ktcom::Be16(located, 4));
        sink = sink ^ static_cast<std::uint32_t>(ktcom::Be32(located, 3));
        if (located.size() >= 8) {
            sink = sink ^ static_cast<std::uint32_t>(ktcom::Be32(located, 4));
        }
        const KtVariant frame = KtVariant::FromBytes(located);
        if (frame.Count() != located.size()) {
            __builtin_trap();
        }
    }
    ktcom::Bytes byReceived = received;
    ktcom::CutOutValidData(byReceived, station, function,
                           static_cast<std::uint16_t>(received.size()));
    (void)ktcom::IsValidFrame(byReceived);

    const long arm = ktcom::CheckArmAnswer(received.data(), received.size());
    if (arm > 0 && static_cast<std::size_t>(arm) != received.size()) {
        __builtin_trap();
    }
    return 0;
}
