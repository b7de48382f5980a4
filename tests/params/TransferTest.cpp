// The transfers between the rows of a real parameter table (ParaCS3 from the built DATA.mdb) and
// the simulated drive on a pseudo-terminal, through the link library.

#include "CADO.h"
#include "DriveSimulator.h"
#include "KTCOM.h"
#include "KestovaDb.h"
#include "ModelDatabase.h"
#include "ParameterTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <unistd.h>

using namespace kestova::params;
using namespace kestova::sim;
using namespace std::chrono_literals;

namespace {

constexpr std::uint8_t kStation = 1;

// What a pass reported, row by row.
struct Record {
    int started = -1;
    int progress = 0;
    std::map<int, std::string> values;
    std::vector<int> failed;
    TransferEvents Events(std::function<void(int)> afterRow = {}) {
        return {[this](int n) { started = n; },
                [this](int row, std::string text) { values[row] = std::move(text); },
                [this, afterRow](int done) {
                    progress = done;
                    if (afterRow) {
                        afterRow(done - 1);
                    }
                },
                [this](int row) { failed.push_back(row); }};
    }
};

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestova-params-ports-XXXXXX";
        portDir_ = ::mkdtemp(pattern);
        ::setenv("KESTOVA_PORT_DIR", portDir_.c_str(), 1);
        CADO db;
        ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(KESTOVA_DATA_MDB)));
        TableLoad load = LoadParameterRows(db, "ParaCS3", "All Parameters");
        ASSERT_EQ(load.status, LoadStatus::Ok) << load.errorDescription;
        rows = std::move(load.rows);
    }
    void TearDown() override {
        link.CloseCom();
        if (sim) {
            sim->Stop();
        }
        std::filesystem::remove_all(portDir_);
        ::unsetenv("KESTOVA_PORT_DIR");
    }

    // The TS-126 with firmware 3.x, whose table is ParaCS3; no line delay unless asked for.
    void Connect(DriveOptions drive = {}, double clockRate = 1.0) {
        std::string error;
        auto model = LoadModel(KESTOVA_DATA_MDB, 12, 310, error);
        ASSERT_TRUE(model.has_value()) << error;
        SimulatorOptions options;
        options.portName = "COM9";
        options.timing.baud = 0;
        options.clockRate = clockRate;
        sim = std::make_unique<DriveSimulator>(std::move(*model), std::move(drive), options);
        ASSERT_TRUE(sim->Start(error)) << error;
        link.ConfigCom("COM9", "38400", "8", "NONE", "1");
        link.SetReceiveTimeOut(500);
        ASSERT_EQ(link.OpenCom(), 1);
        link.SetCurrentUseMode(1);
    }

    int RowOf(const std::string& number) const {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].Cell(kNumberColumn) == number) {
                return static_cast<int>(i);
            }
        }
        ADD_FAILURE() << "no row " << number;
        return 0;
    }
    std::string& ValueOf(const std::string& number) {
        return rows[static_cast<std::size_t>(RowOf(number))].Cell(kValueColumn);
    }
    std::uint16_t DriveHolds(std::uint16_t address) {
        return sim->WithDrive([&](Drive& d) { return d.Read(address, 1).values.at(0); });
    }
    void DriveSets(std::uint16_t address, std::uint16_t value) {
        ASSERT_FALSE(sim->WithDrive([&](Drive& d) { return d.Write(address, {value}); }));
    }

    // Rows of ParaCS3 used below: P0.01 register 14 (unsigned), P0.02..P0.04 the MODE, EDGE and
    // DIRECTION rows of register 255, P0.05 register 30, P4.01 register 165.
    ParameterRows rows;
    CKTCOM link;
    std::unique_ptr<DriveSimulator> sim;
    std::string portDir_;
};

TEST_F(TransferTest, aFullReadShowsWhatTheDriveHolds) {
    Connect();
    DriveSets(30, 0);
    DriveSets(255, 5);
    DriveSets(165, 50000);
    Record got;
    std::atomic<bool> cancel{false};
    EXPECT_EQ(ReadAllParameters(link, kStation, rows, cancel, got.Events()).end, PassEnd::Complete);
    EXPECT_EQ(got.started, static_cast<int>(rows.size()));
    EXPECT_EQ(got.progress, static_cast<int>(rows.size()));
    EXPECT_EQ(got.values.size(), rows.size());
    EXPECT_EQ(got.values[RowOf("P0.05")], "0");
    EXPECT_EQ(got.values[RowOf("P0.02")], "1"); // MODE
    EXPECT_EQ(got.values[RowOf("P0.03")], "0"); // EDGE
    EXPECT_EQ(got.values[RowOf("P0.04")], "1"); // DIRECTION
    EXPECT_EQ(got.values[RowOf("P4.01")], "50000");
    EXPECT_EQ(got.values[RowOf("P0.01")], "4000");
}

TEST_F(TransferTest, aDownloadWritesEveryRowAndTheBitRegisterPackedOncePerBitRow) {
    Connect();
    ValueOf("P0.05") = "0";
    ValueOf("P0.02") = "1";
    ValueOf("P0.03") = "1";
    ValueOf("P4.01") = "65535";
    const auto before = sim->RequestsAnswered();
    Record got;
    std::atomic<bool> cancel{false};
    EXPECT_EQ(DownloadAllParameters(link, kStation, rows, cancel, got.Events()).end,
              PassEnd::Complete);
    EXPECT_EQ(sim->RequestsAnswered() - before, rows.size());
    EXPECT_TRUE(got.values.empty()) << "nothing is read back";
    EXPECT_EQ(DriveHolds(30), 0);
    EXPECT_EQ(DriveHolds(255), 3);
    EXPECT_EQ(DriveHolds(165), 65535);
}

// Every write is checked: a value the drive refuses, and one no register holds (which is not even
// sent), are reported as not written while the rest go on.
TEST_F(TransferTest, aDownloadReportsEachRowNotWrittenAndNeverSendsAValueCutDown) {
    Connect();
    ValueOf("P0.09") = "7";     // past the drive's 0-4: refused
    ValueOf("P0.07") = "12abc"; // would go as 12
    ValueOf("P4.01") = "70000"; // would go as 4464
    Record got;
    std::atomic<bool> cancel{false};
    const PassReport report = DownloadAllParameters(link, kStation, rows, cancel, got.Events());
    EXPECT_EQ(report.end, PassEnd::Complete);
    std::vector<int> expected{RowOf("P0.07"), RowOf("P0.09"), RowOf("P4.01")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(report.failedRows, expected);
    EXPECT_EQ(got.failed, expected);
    EXPECT_EQ(report.lastFailure, LINK_ERR_REFUSED);
    EXPECT_EQ(DriveHolds(35), 2);
    EXPECT_EQ(DriveHolds(32), 0);
    EXPECT_EQ(DriveHolds(165), 4000);
}

TEST_F(TransferTest, offlineEveryValueReadsZeroAndNothingIsSent) {
    Connect();
    link.SetCurrentUseMode(0);
    const auto before = sim->RequestsAnswered();
    Record got;
    std::atomic<bool> cancel{false};
    EXPECT_EQ(ReadAllParameters(link, kStation, rows, cancel, got.Events()).end, PassEnd::Complete);
    ASSERT_EQ(got.values.size(), rows.size());
    for (const auto& [row, text] : got.values) {
        EXPECT_EQ(text, "0") << "row " << row;
    }
    EXPECT_EQ(DownloadAllParameters(link, kStation, rows, cancel, {}).end, PassEnd::Complete);
    std::vector<std::chrono::milliseconds> waits;
    EXPECT_FALSE(RunDriveCommand(link, kStation, kStoreRegister, [&](std::chrono::milliseconds d) {
        waits.push_back(d);
    })) << "offline reads of 0 prove nothing";
    EXPECT_EQ(waits.size(), 11U);
    EXPECT_EQ(sim->RequestsAnswered(), before);
}

TEST_F(TransferTest, aClosedLinkEndsEitherPassAtTheFirstRow) {
    Record read;
    std::atomic<bool> cancel{false};
    EXPECT_EQ(ReadAllParameters(link, kStation, rows, cancel, read.Events()).end,
              PassEnd::LinkFailed);
    EXPECT_EQ(read.progress, 1);
    EXPECT_EQ(read.values[0], "65535") << "the failure value at an unsigned register";

    Record download;
    const PassReport report =
        DownloadAllParameters(link, kStation, rows, cancel, download.Events());
    EXPECT_EQ(report.end, PassEnd::LinkFailed);
    EXPECT_EQ(report.stoppedAt, 0);
    EXPECT_EQ(report.failedRows.size(), rows.size()) << "not one row written";
    EXPECT_EQ(download.progress, 1);
}

// The early stop spares each row left its retries, but none of them may keep a value that looks
// read: each shows the failure value and is reported as not read.
TEST_F(TransferTest, aDriveThatStopsAnsweringEndsTheReadThereAndEveryRowLeftShowsTheFailure) {
    Connect();
    const int bitRow = RowOf("P0.03");
    Record got;
    std::atomic<bool> cancel{false};
    const auto events = got.Events([&](int row) {
        if (row == bitRow - 1) {
            // The row's three attempts, then the three of the read that asks whether the drive
            // is still there.
            sim->Faults().Set(LineFault::NoReply, {.count = 6, .rate = 0.0});
            link.SetReceiveTimeOut(50); // only the row that gets no answer waits for it
        }
    });
    const PassReport report = ReadAllParameters(link, kStation, rows, cancel, events);
    EXPECT_EQ(report.end, PassEnd::LinkFailed);
    EXPECT_EQ(report.stoppedAt, bitRow);
    EXPECT_EQ(report.lastFailure, LINK_ERR_NO_RESPONSE);
    EXPECT_EQ(got.progress, bitRow + 1);
    std::vector<int> left(rows.size() - static_cast<std::size_t>(bitRow));
    std::iota(left.begin(), left.end(), bitRow);
    EXPECT_EQ(report.failedRows, left);
    EXPECT_EQ(got.failed, left);
    ASSERT_EQ(got.values.size(), rows.size());
    EXPECT_EQ(got.values[bitRow], "1") << "-1 has every bit set";
    EXPECT_EQ(got.values[RowOf("P0.05")], "-1");
    EXPECT_EQ(got.values[RowOf("P4.01")], "65535");
    EXPECT_EQ(got.values[RowOf("P0.02")], "0") << "read before the stop: the drive's";
}

TEST_F(TransferTest, aRegisterTheDriveRefusesFailsOnlyItsOwnRow) {
    Connect();
    rows[1].Cell(kAddressColumn) = "4000"; // a register this drive does not have
    link.SetReceiveTimeOut(50);
    Record got;
    std::atomic<bool> cancel{false};
    const PassReport report = ReadAllParameters(link, kStation, rows, cancel, got.Events());
    EXPECT_EQ(report.end, PassEnd::Complete);
    EXPECT_EQ(report.failedRows, std::vector<int>{1});
    EXPECT_EQ(got.values[1], "-1");
    EXPECT_EQ(got.progress, static_cast<int>(rows.size()));
}

TEST_F(TransferTest, cancellingFinishesTheRowInHandAndStops) {
    Connect();
    std::atomic<bool> cancel{false};
    Record got;
    const auto events = got.Events([&](int row) {
        if (row == 4) {
            cancel = true;
        }
    });
    EXPECT_EQ(ReadAllParameters(link, kStation, rows, cancel, events).end, PassEnd::Cancelled);
    EXPECT_EQ(got.progress, 5);
    EXPECT_EQ(got.values.size(), 5U);
}

TEST_F(TransferTest, editingOneBitRowWritesThePackedRegisterAndShowsWhatCameBack) {
    Connect();
    ValueOf("P0.02") = "1"; // MODE
    ValueOf("P0.03") = "1"; // EDGE, the row edited
    ValueOf("P0.04") = "0"; // DIRECTION
    std::vector<std::chrono::milliseconds> waits;
    const auto wait = [&](std::chrono::milliseconds d) { waits.push_back(d); };
    EXPECT_EQ(WriteOneParameter(link, kStation, rows, RowOf("P0.03"), wait), "1");
    EXPECT_EQ(DriveHolds(255), 3);
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{50ms});

    // A value the drive refuses leaves the cell showing what the drive still holds.
    ValueOf("P0.05") = "7";
    DriveSets(30, 1);
    link.SetReceiveTimeOut(200); // the refusal costs three time-outs
    EXPECT_EQ(WriteOneParameter(link, kStation, rows, RowOf("P0.05"), wait), "1");
}

// The drive's clock is held: each requested wait moves it on by as much, nothing sleeps.
class DriveCommandTest : public TransferTest {
protected:
    std::function<void(std::chrono::milliseconds)> Wait() {
        return [this](std::chrono::milliseconds d) {
            waits.push_back(d);
            sim->Step(d);
        };
    }
    std::vector<std::chrono::milliseconds> waits;
};

TEST_F(DriveCommandTest, aStoreTheDriveFinishesSucceedsAtTheFirstPoll) {
    Connect({}, 0.0);
    EXPECT_TRUE(RunDriveCommand(link, kStation, kStoreRegister, Wait()));
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{3000ms});
    EXPECT_EQ(DriveHolds(kStoreRegister), 0);
}

TEST_F(DriveCommandTest, aStoreThatCannotBeSavedFailsAfterTenPolls) {
    DriveOptions drive;
    drive.stateFile = portDir_ + "/missing-folder/state.txt";
    Connect(drive, 0.0);
    const auto before = sim->RequestsAnswered();
    EXPECT_FALSE(RunDriveCommand(link, kStation, kStoreRegister, Wait()));
    std::vector<std::chrono::milliseconds> expected{3000ms};
    expected.insert(expected.end(), 10, 200ms);
    EXPECT_EQ(waits, expected);
    EXPECT_EQ(sim->RequestsAnswered() - before, 11U) << "the command and ten polls";
}

// A command that never reached the drive: its register reads 0 all along, as it would once a
// command were done, so only the write's own failure tells.
TEST_F(DriveCommandTest, aCommandWhoseWriteFailsIsAFailureWithoutWaiting) {
    Connect({}, 0.0);
    link.SetReceiveTimeOut(50);
    for (const std::uint16_t command : {kStoreRegister, kFactoryResetRegister}) {
        sim->Faults().Set(LineFault::LostRequest, {.count = 3, .rate = 0.0});
        EXPECT_FALSE(RunDriveCommand(link, kStation, command, Wait())) << command;
        EXPECT_TRUE(waits.empty()) << command;
    }
}

} // namespace
