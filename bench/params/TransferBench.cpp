// A full read and a full download of the largest parameter table in DATA.mdb, against the
// simulated drive at 38400 baud with its wire timing, each beside the time the same exchanges
// need on the wire alone. Prints the medians and their ratio (goal: at most 1.15).
//
//   bench_params_transfer [rounds]

#include "CADO.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "KestovaDb.h"
#include "ModelDatabase.h"
#include "ParameterTransfer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kestova::params;
using namespace kestova::sim;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int kBaud = 38400;
constexpr double kBitsPerByte = 10.0; // 8N1
constexpr double kTurnaroundMs = 0.5; // the drive's time between request and reply
// One register read: request 8 bytes, reply 7; one register write: 8 and 8.
constexpr int kReadBytes = 8 + 7;
constexpr int kWriteBytes = 8 + 8;

double WireMs(int exchanges, int bytesPerExchange) {
    const double perExchange = bytesPerExchange * kBitsPerByte * 1000.0 / kBaud + kTurnaroundMs;
    return exchanges * perExchange;
}

struct Largest {
    std::string table;
    int driveCode = 0;
    int protocol = 0;
    ParameterRows rows;
};

bool FindLargestTable(Largest& out) {
    CADO db;
    if (!db.OpenConnection(kdb::ProgramConnectionString(KESTOVA_DATA_MDB))) {
        std::fprintf(stderr, "cannot open %s: %s\n", KESTOVA_DATA_MDB,
                     db.LastConnectionError().c_str());
        return false;
    }
    struct Model {
        std::string table;
        int code;
        int protocol;
    };
    std::vector<Model> models;
    RecordsetPtr rs = db.OpenRecordset("Select * from DriverTable");
    while (!rs->IsEOF()) {
        models.push_back({rs->GetFieldValue("ParaTable"),
                          std::atoi(rs->GetFieldValue("DriverCode").c_str()),
                          std::atoi(rs->GetFieldValue("ProtocolVerssion").c_str())});
        rs->MoveNext();
    }
    rs->Close();
    for (const Model& m : models) {
        TableLoad load = LoadParameterRows(db, m.table, "All Parameters");
        if (load.status != LoadStatus::Ok) {
            std::fprintf(stderr, "%s: %s\n", m.table.c_str(), load.errorDescription.c_str());
            return false;
        }
        if (load.rows.size() > out.rows.size()) {
            out = {m.table, m.code, m.protocol, std::move(load.rows)};
        }
    }
    return !out.rows.empty();
}

double Median(std::vector<double> samples) {
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

// Times `pass` `rounds` times after one unmeasured pass; false when a pass does not complete.
bool Time(int rounds, std::vector<double>& ms, const std::function<PassEnd()>& pass) {
    if (pass() != PassEnd::Complete) {
        return false;
    }
    for (int i = 0; i < rounds; ++i) {
        const auto start = clock_type::now();
        if (pass() != PassEnd::Complete) {
            return false;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(clock_type::now() - start).count());
    }
    return true;
}

bool OpenLink(CKTCOM& link) {
    link.ConfigCom("COM9", "38400", "8", "NONE", "1");
    link.SetReceiveTimeOut(500);
    if (link.OpenCom() != 1) {
        return false;
    }
    link.SetCurrentUseMode(1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    Largest largest;
    if (!FindLargestTable(largest)) {
        return 1;
    }
    std::string error;
    auto model = LoadModel(KESTOVA_DATA_MDB, largest.driveCode, largest.protocol, error);
    if (!model) {
        std::fprintf(stderr, "model %d/%d: %s\n", largest.driveCode, largest.protocol,
                     error.c_str());
        return 1;
    }

    char pattern[] = "/tmp/kestova-bench-ports-XXXXXX";
    const std::string portDir = ::mkdtemp(pattern);
    ::setenv("KESTOVA_PORT_DIR", portDir.c_str(), 1);
    int status = 1;
    {
        SimulatorOptions options; // 38400 baud, 500 us turnaround, real-time clock
        options.portName = "COM9";
        DriveSimulator sim(std::move(*model), DriveOptions{}, options);
        CKTCOM link;
        if (!sim.Start(error)) {
            std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        } else if (!OpenLink(link)) {
            std::fprintf(stderr, "cannot open the link\n");
        } else {
            const std::atomic<bool> cancel{false};
            std::vector<double> readMs, downloadMs;
            const bool ok =
                Time(rounds, readMs,
                     [&] { return ReadAllParameters(link, 1, largest.rows, cancel, {}).end; }) &&
                Time(rounds, downloadMs,
                     [&] { return DownloadAllParameters(link, 1, largest.rows, cancel, {}).end; });
            if (!ok) {
                std::fprintf(stderr, "a pass did not complete (last error %u)\n",
                             link.GetLastErrors());
            } else {
                const int n = static_cast<int>(largest.rows.size());
                const double read = Median(readMs), download = Median(downloadMs);
                const double readWire = WireMs(n, kReadBytes);
                const double downloadWire = WireMs(n, kWriteBytes);
                std::printf("parameter transfers of %s (%d rows), median of %d passes, against "
                            "the wire time at %d baud with %.1f ms turnaround (goal: ratio at "
                            "most 1.15)\n",
                            largest.table.c_str(), n, rounds, kBaud, kTurnaroundMs);
                std::printf("  full read:      %8.1f ms   wire %8.1f ms   ratio %.3f\n", read,
                            readWire, read / readWire);
                std::printf("  full download:  %8.1f ms   wire %8.1f ms   ratio %.3f\n", download,
                            downloadWire, download / downloadWire);
                status = 0;
            }
            link.CloseCom();
        }
        sim.Stop();
    }
    std::filesystem::remove_all(portDir);
    return status;
}
