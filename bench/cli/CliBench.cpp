// kestova-cli in-process: `backup` of the largest parameter table in DATA.mdb against the
// simulated drive at 38400 baud with its wire timing, beside the time its reads need on the wire
// alone (goal: at most 1.15x); and `scan` of 63 stations at both speeds on a line where nothing
// answers (goal: under 15 s).
//
//   bench_cli [rounds]

#include "CADO.h"
#include "Cli.h"
#include "DriveSimulator.h"
#include "KestovaDb.h"
#include "ModelDatabase.h"
#include "ParameterRules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pty.h>
#include <sstream>
#include <unistd.h>

using namespace kestova;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int kBaud = 38400;
constexpr double kBitsPerByte = 10.0; // 8N1
constexpr double kTurnaroundMs = 0.5; // the drive's time between request and reply
constexpr int kReadBytes = 8 + 7;     // one register read: request and reply
constexpr int kIdentityReads = 4;     // drive code, features, protocol, firmware

double WireMs(int reads) {
    return reads * (kReadBytes * kBitsPerByte * 1000.0 / kBaud + kTurnaroundMs);
}

struct Largest {
    std::string table;
    int driveCode = 0;
    int protocol = 0;
    std::size_t rows = 0;
};

bool FindLargestTable(Largest& out) {
    CADO db;
    if (!db.OpenConnection(kdb::ProgramConnectionString(KESTOVA_DATA_MDB))) {
        std::fprintf(stderr, "cannot open %s\n", KESTOVA_DATA_MDB);
        return false;
    }
    std::vector<Largest> models;
    RecordsetPtr rs = db.OpenRecordset("Select * from DriverTable");
    while (!rs->IsEOF()) {
        models.push_back({rs->GetFieldValue("ParaTable"),
                          std::atoi(rs->GetFieldValue("DriverCode").c_str()),
                          std::atoi(rs->GetFieldValue("ProtocolVerssion").c_str()), 0});
        rs->MoveNext();
    }
    rs->Close();
    for (Largest& m : models) {
        m.rows = params::LoadParameterRows(db, m.table, "All").rows.size();
        if (m.rows > out.rows) {
            out = m;
        }
    }
    return out.rows > 0;
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

int RunQuietly(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    std::vector<std::string> all{"--database", KESTOVA_DATA_MDB};
    all.insert(all.end(), args.begin(), args.end());
    const int status = cli::RunCli(all, out, err);
    if (status != 0) {
        std::fprintf(stderr, "%s", err.str().c_str());
    }
    return status;
}

double Seconds(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Largest largest;
    if (!FindLargestTable(largest)) {
        return 1;
    }
    std::string error;
    auto model = sim::LoadModel(KESTOVA_DATA_MDB, largest.driveCode, largest.protocol, error);
    if (!model) {
        std::fprintf(stderr, "model %d: %s\n", largest.driveCode, error.c_str());
        return 1;
    }
    char pattern[] = "/tmp/kestova-bench-cli-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    ::setenv("KESTOVA_PORT_DIR", dir.c_str(), 1);
    int status = 1;
    {
        sim::SimulatorOptions options; // 38400 baud, 500 us turnaround, real-time clock
        options.portName = "COM9";
        sim::DriveSimulator drive(std::move(*model), sim::DriveOptions{}, options);
        if (!drive.Start(error)) {
            std::fprintf(stderr, "simulated drive: %s\n", error.c_str());
        } else {
            const std::string file = dir + "/backup.ktr";
            std::vector<double> ms;
            bool ok = RunQuietly({"--port", "COM9", "backup", file}) == 0;
            for (int i = 0; ok && i < rounds; ++i) {
                const auto start = clock_type::now();
                ok = RunQuietly({"--port", "COM9", "backup", file}) == 0;
                ms.push_back(Seconds(start) * 1000.0);
            }
            if (ok) {
                const int reads = static_cast<int>(largest.rows) + kIdentityReads;
                const double wire = WireMs(reads);
                const double backup = Median(ms);
                std::printf("backup of %s (%zu rows) at %d baud, median of %d runs (goal: ratio "
                            "at most 1.15)\n",
                            largest.table.c_str(), largest.rows, kBaud, rounds);
                std::printf("  backup:  %8.1f ms   wire %8.1f ms (%d reads)   ratio %.3f\n", backup,
                            wire, reads, backup / wire);
                status = 0;
            }
        }
        drive.Stop();
    }

    int master = -1, slave = -1;
    char name[64];
    if (status == 0 && ::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
        const auto start = clock_type::now();
        const int scan = RunQuietly({"scan", "--port", name});
        const double seconds = Seconds(start);
        std::printf("scan of stations 1..63 at 38400 and 115200 baud, nothing answering (goal: "
                    "under 15 s)\n  scan:    %8.2f s   (exit status %d)\n",
                    seconds, scan);
        ::close(slave);
        ::close(master);
    }
    std::filesystem::remove_all(dir);
    return status;
}
