// Saving and loading a parameter file of the largest table (ParaSDX, as TA-275C): the bytes made,
// written beside the target, flushed and renamed over it; then read back and split into rows.
// Prints the median and the slowest of each (goal: under 10 ms each).
//
//   bench_params_file [folder [rounds]]     folder: where the file goes (default: a temporary one)
//   bench_params_file --write FILE          only saves the file, e.g. for the fuzz seed corpus

#include "CADO.h"
#include "KestovaDb.h"
#include "ParameterFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kestova::params;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr std::int16_t kDriveCode = 257;
constexpr const char* kModel = "TA-275C";

bool LoadTable(ParameterRows& rows) {
    CADO db;
    if (!db.OpenConnection(kdb::ProgramConnectionString(KESTOVA_DATA_MDB))) {
        std::fprintf(stderr, "cannot open %s: %s\n", KESTOVA_DATA_MDB,
                     db.LastConnectionError().c_str());
        return false;
    }
    const TableLoad load = LoadParameterRows(db, "ParaSDX", "All Parameters");
    if (load.status != LoadStatus::Ok) {
        std::fprintf(stderr, "cannot read ParaSDX: %s\n", load.errorDescription.c_str());
        return false;
    }
    rows = load.rows;
    return true;
}

double Ms(clock_type::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-6s median %7.3f ms   slowest %7.3f ms   (goal < 10 ms)\n", what,
                ms[ms.size() / 2], ms.back());
}

} // namespace

int main(int argc, char** argv) {
    ParameterRows rows;
    if (!LoadTable(rows)) {
        return 1;
    }
    if (argc == 3 && std::string(argv[1]) == "--write") {
        const auto error =
            ReplaceFileContents(argv[2], WriteParameterFile(kDriveCode, kModel, rows));
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[2], error->c_str());
        }
        return error ? 1 : 0;
    }
    const bool ownFolder = argc < 2;
    const std::filesystem::path folder =
        ownFolder ? std::filesystem::temp_directory_path() /
                        ("kestova-file-bench-" + std::to_string(::getpid()))
                  : std::filesystem::path(argv[1]);
    std::filesystem::create_directories(folder);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const std::string path = (folder / "ParaSDX.ktr").string();

    std::vector<double> save;
    std::vector<double> load;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = clock_type::now();
        if (const auto error =
                ReplaceFileContents(path, WriteParameterFile(kDriveCode, kModel, rows))) {
            std::fprintf(stderr, "save: %s\n", error->c_str());
            return 1;
        }
        const auto t1 = clock_type::now();
        std::string bytes;
        const auto error = LoadFileBytes(path, bytes);
        const ParameterFileRead read = ReadParameterFile(bytes);
        const auto t2 = clock_type::now();
        if (error || read.verdict != FileVerdict::Ok || read.rows.size() != rows.size()) {
            std::fprintf(stderr, "load: the file did not read back\n");
            return 1;
        }
        save.push_back(Ms(t1 - t0));
        load.push_back(Ms(t2 - t1));
    }
    std::printf("ParaSDX, %zu rows, %zu bytes, %d rounds in %s\n", rows.size(),
                WriteParameterFile(kDriveCode, kModel, rows).size(), rounds, folder.c_str());
    Report("save", save);
    Report("load", load);
    if (ownFolder) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
