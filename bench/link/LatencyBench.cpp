// Round-trip latency of the link against libmodbus's own client, both talking to the same
// libmodbus server over the same kind of joined pseudo-terminals. Prints medians and ratios.

#include "KTCOM.h"
#include "ModbusPeer.h"
#include "PortNames.h"
#include "PtySlave.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <modbus.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

double MedianMicros(int rounds, const std::function<bool()>& exchange) {
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = clock_type::now();
        if (!exchange()) {
            std::fprintf(stderr, "exchange failed\n");
            return -1;
        }
        samples.push_back(
            std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
    }
    std::nth_element(samples.begin(), samples.begin() + rounds / 2, samples.end());
    return samples[static_cast<std::size_t>(rounds / 2)];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(11, std::atoi(argv[1])) : 301;
    kttest::TempPortDir ports;
    kttest::PtyRelay relay;
    kttest::ModbusPeerServer server(relay.PathB(), 38400);
    if (!server.Ok() || !ktcom::RegisterPort("COM5", relay.PathA())) {
        std::fprintf(stderr, "cannot set up the peer\n");
        return 1;
    }
    for (int i = 0; i < 100; ++i) {
        server.Set(i, static_cast<std::uint16_t>(i));
    }

    double ktOne = 0;
    double ktBlock = 0;
    {
        CKTCOM link;
        link.ConfigCom("COM5", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(500);
        if (link.OpenCom() != 1) {
            std::fprintf(stderr, "cannot open the link\n");
            return 1;
        }
        ktOne = MedianMicros(rounds, [&] { return link.ReadAddressValue(1, 7) == 7; });
        ktBlock = MedianMicros(rounds, [&] { return link.ReadBigData(1, 0, 50).Count() == 105; });
    }

    double mbOne = 0;
    double mbBlock = 0;
    {
        modbus_t* ctx = modbus_new_rtu(relay.PathA().c_str(), 38400, 'N', 8, 1);
        modbus_set_slave(ctx, 1);
        if (ctx == nullptr || modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "cannot open the libmodbus client\n");
            return 1;
        }
        std::uint16_t regs[50];
        mbOne = MedianMicros(
            rounds, [&] { return modbus_read_registers(ctx, 7, 1, regs) == 1 && regs[0] == 7; });
        mbBlock =
            MedianMicros(rounds, [&] { return modbus_read_registers(ctx, 0, 50, regs) == 50; });
        modbus_close(ctx);
        modbus_free(ctx);
    }

    std::printf(
        "link latency over a pty, median of %d exchanges (goal: KTCOM within 1.5x of libmodbus)\n",
        rounds);
    std::printf("  read 1 register:    KTCOM %8.1f us   libmodbus %8.1f us   ratio %.2f\n", ktOne,
                mbOne, ktOne / mbOne);
    std::printf("  read 50 registers:  KTCOM %8.1f us   libmodbus %8.1f us   ratio %.2f\n", ktBlock,
                mbBlock, ktBlock / mbBlock);
    return 0;
}
