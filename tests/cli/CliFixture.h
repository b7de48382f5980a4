#pragma once

// kestova-cli's commands against the simulated drive (TS-126, ParaCS3 from the built DATA.mdb)
// on a pseudo-terminal, in-process through RunCli: the fixture the command tests share.

#include "ChangeJournal.h"
#include "Cli.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"
#include "ParameterFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

using namespace kestova::cli;
using namespace kestova::params;
using kestova::sim::Drive;
using kestova::sim::DriveOptions;
using kestova::sim::DriveSimulator;
using kestova::sim::LoadModel;
using kestova::sim::SimulatorOptions;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestova-cli-test-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        ::setenv("KESTOVA_PORT_DIR", dir_.c_str(), 1);
        // The commands' change journals stay in the test's folder.
        ::setenv(kJournalFolderVariable, (dir_ + "/journal").c_str(), 1);
    }
    void TearDown() override {
        if (sim) {
            sim->Stop();
        }
        std::filesystem::remove_all(dir_);
        ::unsetenv("KESTOVA_PORT_DIR");
        ::unsetenv(kJournalFolderVariable);
    }

    void StartDrive(int station = 1, int baud = 0, double clockRate = 1.0, int code = 12,
                    int protocol = 310) {
        std::string error;
        auto model = LoadModel(KESTOVA_DATA_MDB, code, protocol, error);
        ASSERT_TRUE(model.has_value()) << error;
        SimulatorOptions options;
        options.portName = "COM9";
        options.station = static_cast<std::uint8_t>(station);
        options.timing.baud = baud;
        options.clockRate = clockRate;
        sim = std::make_unique<DriveSimulator>(std::move(*model), DriveOptions{}, options);
        ASSERT_TRUE(sim->Start(error)) << error;
    }

    static Outcome Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--database", KESTOVA_DATA_MDB});
        std::ostringstream out, err;
        const int status = RunCli(args, out, err);
        return {status, out.str(), err.str()};
    }

    std::uint16_t DriveHolds(std::uint16_t address) {
        return sim->WithDrive([&](Drive& d) { return d.Read(address, 1).values.at(0); });
    }
    void DriveSets(std::uint16_t address, std::uint16_t value) {
        ASSERT_FALSE(sim->WithDrive([&](Drive& d) { return d.Write(address, {value}); }));
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::unique_ptr<DriveSimulator> sim;

private:
    std::string dir_;
};

// Rows used: P0.03 (register 255 bit 1), P0.05 register 30 (0-1), P0.07 register 32 (0-512).
inline ParameterRow* RowOf(ParameterRows& rows, const std::string& number) {
    for (ParameterRow& row : rows) {
        if (row.Cell(kNumberColumn) == number) {
            return &row;
        }
    }
    ADD_FAILURE() << "no row " << number;
    return &rows.front();
}

inline ParameterFileRead ReadBack(const std::string& path) {
    std::string bytes;
    EXPECT_FALSE(LoadFileBytes(path, bytes).has_value());
    return ReadParameterFile(bytes);
}
