// Round-trip latency of the link against libmodbus's own client, both talking to the same
// libmodbus server over the same kind of joined pseudo-terminals. Prints the medians and the
// ratio of each KTCOM block to the libmodbus block beside it (median, min, max), and what a
// failed read of a silent station costs. KTCOM's exchanges alternate between the bus monitor's
// tap off and on, which gives what the tap costs, block against block.

#include "BusMonitor.h"
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

// Times the exchange `count` times with the tap off and as often with it on, alternating in the
// order off, on, on, off, so that both meet the machine in the same state. The tap is set and the
// log drained between exchanges, outside the times.
bool SamplePaired(CKTCOM& link, kestova::BusMonitor& monitor, int count, std::vector<double>& off,
                  std::vector<double>& on, const std::function<bool()>& exchange) {
    for (int i = 0; i < 10; ++i) {
        exchange(); // warms the caches and the line
    }
    for (int i = 0; i < 2 * count; ++i) {
        const bool tapped = (i % 2 == 1) == (i / 2 % 2 == 0);
        link.SetTap(tapped ? &monitor : nullptr);
        const auto start = clock_type::now();
        if (!exchange()) {
            std::fprintf(stderr, "exchange failed\n");
            return false;
        }
        (tapped ? on : off)
            .push_back(
                std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
        if (i % 200 == 199) {
            monitor.Drain(); // what the page does a few times a second
        }
    }
    link.SetTap(nullptr);
    monitor.Drain();
    return true;
}

double Median(std::vector<double> samples) {
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

struct Ratios {
    double median, min, max;
};

// The ratio of each KTCOM block to the libmodbus block beside it. A block falls in one of the
// machine's latency modes (a wake-up on the same core or across cores) as a whole, so pooling
// the samples of all blocks mixes modes; block against block does not.
Ratios BlockRatios(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> r;
    for (std::size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
        r.push_back(ours[i] / theirs[i]);
    }
    const auto [lo, hi] = std::minmax_element(r.begin(), r.end());
    return {Median(r), *lo, *hi};
}

// Microseconds the bus monitor's tap takes for one frame of a one-register read, taken over many
// frames, with the log drained every 1000 frames.
double TapWorkUs(kestova::BusMonitor& monitor) {
    const std::uint8_t request[] = {1, 3, 0, 7, 0, 1, 0x35, 0xCB};
    const std::uint8_t answer[] = {1, 3, 2, 0, 7, 0xF9, 0x86};
    constexpr int kFrames = 200'000;
    const auto start = clock_type::now();
    for (int i = 0; i < kFrames; ++i) {
        KtTapFrame frame;
        const bool sent = i % 2 == 0;
        frame.bytes = sent ? request : answer;
        frame.count = sent ? sizeof request : sizeof answer;
        frame.timeUs = i;
        frame.station = 1;
        frame.direction = sent ? KtDirection::Sent : KtDirection::Received;
        frame.verdict = sent ? KtVerdict::Sent : KtVerdict::Taken;
        frame.answerUs = sent ? -1 : 70;
        monitor.Frame(frame);
        if (i % 1000 == 999) {
            monitor.Drain();
        }
    }
    return std::chrono::duration<double, std::micro>(clock_type::now() - start).count() / kFrames;
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
    // run weighs on both alike. Each block's median is kept.
    std::vector<double> ktOne, ktBlock, tapOne, tapBlock, mbOne, mbBlock;
    double silentMs = 0;
    const int blocks = 10;
    const int perBlock = std::max(1, rounds / blocks);
    kestova::BusMonitor monitor;
    for (int b = 0; b < blocks; ++b) {
        std::vector<double> one, block, oneOn, blockOn;
        {
            CKTCOM link;
            link.ConfigCom("COM5", "38400", "8", "NONE", "1");
            link.SetReceiveTimeOut(500);
            if (link.OpenCom() != 1) {
                std::fprintf(stderr, "cannot open the link\n");
                return 1;
            }
            link.SetCurrentUseMode(1);
            if (!SamplePaired(link, monitor, perBlock, one, oneOn,
                              [&] { return link.ReadAddressValue(1, 7) == 7; }) ||
                !SamplePaired(link, monitor, perBlock, block, blockOn,
                              [&] { return link.ReadBigData(1, 0, 50).Count() == 105; })) {
                return 1;
            }
            if (b == 0) {
                // A station nobody answers, at the program's time-out: what a failed read costs.
                const auto start = clock_type::now();
                link.ReadAddressValue(2, 7);
                silentMs =
                    std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
            }
        }
        tapOne.push_back(Median(oneOn));
        tapBlock.push_back(Median(blockOn));
        ktOne.push_back(Median(one));
        ktBlock.push_back(Median(block));
        one.clear();
        block.clear();
        modbus_t* ctx = modbus_new_rtu(relay.PathA().c_str(), 38400, 'N', 8, 1);
        if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "cannot open the libmodbus client\n");
            return 1;
        }
        std::uint16_t regs[50];
        const bool ok =
            Sample(perBlock, one,
                   [&] { return modbus_read_registers(ctx, 7, 1, regs) == 1 && regs[0] == 7; }) &&
            Sample(perBlock, block, [&] { return modbus_read_registers(ctx, 0, 50, regs) == 50; });
        modbus_close(ctx);
        modbus_free(ctx);
        if (!ok) {
            return 1;
        }
        mbOne.push_back(Median(one));
        mbBlock.push_back(Median(block));
    }
    const Ratios one = BlockRatios(ktOne, mbOne);
    const Ratios block = BlockRatios(ktBlock, mbBlock);
    const Ratios oneOn = BlockRatios(tapOne, mbOne);
    const Ratios blockOn = BlockRatios(tapBlock, mbBlock);
    const Ratios oneCost = BlockRatios(tapOne, ktOne);
    const Ratios blockCost = BlockRatios(tapBlock, ktBlock);

    std::printf("link latency over a pty, %d blocks of %d exchanges, KTCOM and libmodbus taking "
                "turns (goal: KTCOM at or under libmodbus)\n",
                blocks, perBlock);
    std::printf("  read 1 register:    KTCOM %8.1f us   libmodbus %8.1f us   per-block ratio "
                "median %.2f (min %.2f, max %.2f)\n",
                Median(ktOne), Median(mbOne), one.median, one.min, one.max);
    std::printf("  read 50 registers:  KTCOM %8.1f us   libmodbus %8.1f us   per-block ratio "
                "median %.2f (min %.2f, max %.2f)\n",
                Median(ktBlock), Median(mbBlock), block.median, block.min, block.max);
    std::printf("  with the tap on (goal: under 2 %% above the tap off)\n");
    std::printf("  read 1 register:    KTCOM %8.1f us   per-block ratio to libmodbus median %.2f "
                "(min %.2f, max %.2f), to the tap off median %.3f (min %.3f, max %.3f)\n",
                Median(tapOne), oneOn.median, oneOn.min, oneOn.max, oneCost.median, oneCost.min,
                oneCost.max);
    std::printf("  read 50 registers:  KTCOM %8.1f us   per-block ratio to libmodbus median %.2f "
                "(min %.2f, max %.2f), to the tap off median %.3f (min %.3f, max %.3f)\n",
                Median(tapBlock), blockOn.median, blockOn.min, blockOn.max, blockCost.median,
                blockCost.min, blockCost.max);
    // The tap's own work, apart from the line's noise: an exchange hands it two frames.
    const double tapUs = TapWorkUs(monitor);
    std::printf("  the tap's own work: %.2f us an exchange (two frames, drained as the page "
                "drains), %.2f %% of a one-register read\n",
                2 * tapUs, 100.0 * 2 * tapUs / Median(ktOne));
    std::printf("  failed read of a silent station at 500 ms: %.0f ms (three attempts)\n",
                silentMs);
    return 0;
}
