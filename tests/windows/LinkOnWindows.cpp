// The link library's exchanges on Windows, against a drive on a real line: here the simulated
// drive on a pseudo-terminal that Wine shows as a COM port (scripts/test-windows). A plain program
// with one line per case, since GoogleTest is not at hand for MinGW.
//   ktcom-windows-test PORT DRIVECODE     the drive answers as station 1 and station 2 is silent

// <windows.h> first, as a Windows caller includes it: the link's header must live beside it.
#include <windows.h>

#include "KTCOM.h"
#include "PortNames.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The response time-out the tuning program sets; the silent-station cases use a short one.
constexpr std::uint16_t kProgramTimeoutMs = 500;

struct Failure {
    std::string what;
};

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            throw Failure{std::string(#cond) + " (line " + std::to_string(__LINE__) + ")"};        \
        }                                                                                          \
    } while (false)

template <typename F> milliseconds Elapsed(F&& f) {
    const auto start = clock_type::now();
    f();
    return std::chrono::duration_cast<milliseconds>(clock_type::now() - start);
}

struct Line {
    std::string port;
    std::int16_t driveCode = 0;
    CKTCOM link;
    std::vector<double> exchangeMs; // the figures the run closes with

    void Configure(const std::string& name, std::uint16_t timeoutMs) {
        link.ConfigCom(name.c_str(), "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(timeoutMs);
        link.SetCurrentUseMode(1);
    }
};

void PortNamesAreTheSystemsComNames(Line&) {
    CHECK(ktcom::NormalizePortName("com12") == "COM12");
    CHECK(ktcom::NormalizePortName("ttyUSB0") == "COM1");
    // COM10 and above open only through the device namespace.
    CHECK(ktcom::ResolvePortPath("COM12") == "\\\\.\\COM12");
    CHECK(ktcom::ResolvePortPath("COMX").empty());
}

void AMissingPortFailsWithOpenFailed(Line& line) {
    CKTCOM other;
    other.ConfigCom("COM98", "38400", "8", "NONE", "1");
    CHECK(other.OpenCom() == 0);
    CHECK(other.GetLastErrors() == LINK_ERR_OPEN_FAILED);
    CHECK(other.GetConnectStatus() == 0);
    (void)line;
}

void OpenTwiceKeepsThePortOpen(Line& line) {
    line.Configure(line.port, kProgramTimeoutMs);
    CHECK(line.link.OpenCom() == 1);
    CHECK(line.link.OpenCom() == 0);
    CHECK(line.link.GetConnectStatus() == 1);
}

void AReadReturnsTheDrivesRegister(Line& line) {
    CHECK(line.link.ReadAddressValue(1, 0xFD) == line.driveCode);
    CHECK(line.link.GetLastErrors() == 0);
}

void AWriteIsEchoedAndReadsBack(Line& line) {
    // Two values, so a value left from an earlier run cannot pass.
    for (const std::int16_t value : {1234, 4321}) {
        CHECK(line.link.WriteAddressValue(1, 0x15, value) == value);
        CHECK(line.link.ReadAddressValue(1, 0x15) == value);
    }
}

void ABlockComesBackAsAByteArrayTheCallerClears(Line& line) {
    const std::uint8_t sources[] = {0, 1, 0, 2, 0, 4, 0, 8};
    CHECK(line.link.WriteBigData(1, 0x41, 4, KtVariant::FromBytes(sources, sizeof sources)) == 4);
    KtVariant block = line.link.ReadBigData(1, 0x41, 4);
    CHECK(block.vt == (VT_ARRAY | VT_UI1));
    CHECK(block.Count() == 13u);
    std::uint8_t* bytes = nullptr;
    CHECK(SUCCEEDED(::SafeArrayAccessData(block.parray, reinterpret_cast<void**>(&bytes))));
    const bool same = std::equal(sources, sources + sizeof sources, bytes + 3);
    ::SafeArrayUnaccessData(block.parray);
    CHECK(same);
    CHECK(SUCCEEDED(::VariantClear(&block)));
    CHECK(block.vt == VT_EMPTY);
}

void ASilentStationGivesNoResponseAfterThreeWaits(Line& line) {
    line.link.SetReceiveTimeOut(50);
    const auto took = Elapsed([&] { CHECK(line.link.ReadAddressValue(2, 0xFD) == -1); });
    CHECK(line.link.GetLastErrors() == LINK_ERR_NO_RESPONSE);
    // Three attempts of 50 ms each and their pauses: a receive that ended early takes less, one
    // whose wait ignored the time-out far longer (the bound leaves room for a loaded machine).
    CHECK(took >= milliseconds(150));
    CHECK(took < milliseconds(2000));
    line.link.SetReceiveTimeOut(kProgramTimeoutMs);
    CHECK(line.link.ReadAddressValue(1, 0xFD) == line.driveCode);
}

void CloseEndsAPendingWaitAndTheLineReopens(Line& line) {
    // The silent station's receive left a comm-event wait pending. Under Wine a wait that the
    // close did not end would never end: the program would hang here until its time-out.
    line.link.SetReceiveTimeOut(50);
    CHECK(line.link.ReadAddressValue(2, 0xFD) == -1);
    int closed = 0;
    const auto took = Elapsed([&] { closed = line.link.CloseCom(); });
    CHECK(closed == 1);
    CHECK(took < milliseconds(1000));
    CHECK(line.link.GetConnectStatus() == 0);
    line.link.SetReceiveTimeOut(kProgramTimeoutMs);
    CHECK(line.link.OpenCom() == 1);
    CHECK(line.link.ReadAddressValue(1, 0xFD) == line.driveCode);
}

void AHundredExchangesAreAllRight(Line& line) {
    int right = 0;
    for (int i = 0; i < 100; ++i) {
        const auto start = clock_type::now();
        right += line.link.ReadAddressValue(1, 0xFD) == line.driveCode ? 1 : 0;
        line.exchangeMs.push_back(
            std::chrono::duration<double, std::milli>(clock_type::now() - start).count());
    }
    CHECK(right == 100);
    CHECK(line.link.CloseCom() == 1);
}

struct Case {
    const char* name;
    void (*run)(Line&);
};

const Case kCases[] = {
    {"portNames_areTheSystemsComNames", PortNamesAreTheSystemsComNames},
    {"missingPort_failsWithOpenFailed", AMissingPortFailsWithOpenFailed},
    {"openTwice_keepsThePortOpen", OpenTwiceKeepsThePortOpen},
    {"read_returnsTheDrivesRegister", AReadReturnsTheDrivesRegister},
    {"write_isEchoedAndReadsBack", AWriteIsEchoedAndReadsBack},
    {"blockRead_isAByteArrayTheCallerClears", ABlockComesBackAsAByteArrayTheCallerClears},
    {"silentStation_givesNoResponseAfterThreeWaits", ASilentStationGivesNoResponseAfterThreeWaits},
    {"close_endsAPendingWaitAndTheLineReopens", CloseEndsAPendingWaitAndTheLineReopens},
    {"hundredExchanges_areAllRight", AHundredExchangesAreAllRight},
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ktcom-windows-test PORT DRIVECODE\n");
        return 2;
    }
    Line line;
    line.port = argv[1];
    line.driveCode = static_cast<std::int16_t>(std::atoi(argv[2]));

    int passed = 0;
    int failed = 0;
    for (const Case& c : kCases) {
        // Each case builds on the line the ones before it left; after a failure the rest would
        // only report it again.
        if (failed > 0) {
            std::printf("SKIP %s\n", c.name);
            continue;
        }
        try {
            const auto took = Elapsed([&] { c.run(line); });
            std::printf("PASS %s (%lld ms)\n", c.name, static_cast<long long>(took.count()));
            ++passed;
        } catch (const Failure& f) {
            std::printf("FAIL %s: %s\n", c.name, f.what.c_str());
            ++failed;
        }
        std::fflush(stdout);
    }
    if (!line.exchangeMs.empty()) {
        std::vector<double> sorted = line.exchangeMs;
        std::sort(sorted.begin(), sorted.end());
        std::printf("exchanges: %zu, median %.1f ms, slowest %.1f ms\n", sorted.size(),
                    sorted[sorted.size() / 2], sorted.back());
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
