// ktcom-demo: opens a port the way the tuning program does and asks the drive who it is.
//   ktcom-demo [PORT] [STATION]
//   ktcom-demo --list        prints the ports present, one a line

#include "KTCOM.h"
#include "PortNames.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--list") {
        for (const std::string& name : ktcom::ListPorts()) {
            std::printf("%s\n", name.c_str());
        }
        return 0;
    }
    const std::string port = argc > 1 ? argv[1] : "COM9";
    const auto station = static_cast<std::uint8_t>(argc > 2 ? std::atoi(argv[2]) : 1);

    CKTCOM link;
    link.ConfigCom(port.c_str(), "38400", "8", "NONE", "1");
    link.SetReceiveTimeOut(500);
    if (link.OpenCom() != 1) {
        std::printf("Cannot open %s (code %u).\n", port.c_str(), link.GetLastErrors());
        std::printf("Ports present:");
        for (const std::string& name : ktcom::ListPorts()) {
            std::printf(" %s", name.c_str());
        }
        std::printf("\n");
        return 1;
    }
    link.SetCurrentUseMode(1);

    struct Item {
        const char* what;
        std::uint16_t address;
    };
    const Item items[] = {{"drive code", 0xFD},
                          {"feature bits", 0x49},
                          {"protocol version", 0x47},
                          {"firmware version", 0x4A}};
    std::printf("Drive at station %u on %s:\n", station, port.c_str());
    int failures = 0;
    for (const Item& item : items) {
        const std::int16_t value = link.ReadAddressValue(station, item.address);
        const std::uint16_t code = link.GetLastErrors();
        if (code != 0) {
            std::printf("  %-17s register 0x%02X: no answer (code %u)\n", item.what, item.address,
                        code);
            ++failures;
        } else {
            std::printf("  %-17s register 0x%02X: %d\n", item.what, item.address, value);
        }
    }
    link.CloseCom();
    return failures == 0 ? 0 : 2;
}
