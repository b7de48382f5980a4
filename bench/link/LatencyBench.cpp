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

// Times one exchange `count` times after a few unmeasured ones, adding the samples.
bool Sample(int count, std::vector<double>& samples, const std::function<bool()>& exchange) {
    for (int i = 0; i < 10; ++i) {
        exchange(); // warms the caches and the line
    }
    for (int i = 0; i < count; ++i) {
        const auto start = clock_type::now();
        if (!exchange()) {
            std::fprintf(stderr, "exchange failed\n");
            return false;
        }
        samples.push_back(
            std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
    }
    return true;
}

double Median(std::vector<double> samples) {
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
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

    // The two clients take turns in blocks, so a machine that speeds up or slows down over the
    // run weighs on both alike.
    std::vector<double> ktOne, ktBlock, mbOne, mbBlock;
    const int blocks = 10;
    const int perBlock = std::max(1, rounds / blocks);
    for (int b = 0; b < blocks; ++b) {
        {
            CKTCOM link;
            link.ConfigCom("COM5", "38400", "8", "NONE", "1");
            link.SetReceiveTimeOut(500);
            if (link.OpenCom() != 1) {
                std::fprintf(stderr, "cannot open the link\n");
                return 1;
            }
            link.SetCurrentUseMode(1);
            if (!Sample(perBlock, ktOne, [&] { return link.ReadAddressValue(1, 7) == 7; }) ||
                !Sample(perBlock, ktBlock,
                        [&] { return link.ReadBigData(1, 0, 50).Count() == 105; })) {
                return 1;
            }
        }
        modbus_t* ctx = modbus_new_rtu(relay.PathA().c_str(), 38400, 'N', 8, 1);
        if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "cannot open the libmodbus client\n");
            return 1;
        }
        std::uint16_t regs[50];
        const bool ok =
            Sample(perBlock, mbOne,
                   [&] { return modbus_read_registers(ctx, 7, 1, regs) == 1 && regs[0] == 7; }) &&
            Sample(perBlock, mbBlock,
                   [&] { return modbus_read_registers(ctx, 0, 50, regs) == 50; });
        modbus_close(ctx);
        modbus_free(ctx);
        if (!ok) {
            return 1;
        }
    }
    const double one = Median(ktOne), block = Median(ktBlock);
    const double mOne = Median(mbOne), mBlock = Median(mbBlock);

    std::printf("link latency over a pty, median of %d exchanges each, taken in turns (goal: KTCOM "
                "at or under libmodbus)\n",
                blocks * perBlock);
    std::printf("  read 1 register:    KTCOM %8.1f us   libmodbus %8.1f us   ratio %.2f\n", one,
                mOne, one / mOne);
    std::printf("  read 50 registers:  KTCOM %8.1f us   libmodbus %8.1f us   ratio %.2f\n", block,
                mBlock, block / mBlock);
    return 0;
}
