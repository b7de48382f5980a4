// kestova-cli's commands against the simulated drive (TS-126, ParaCS3 from the built DATA.mdb)
// on a pseudo-terminal: in-process through RunCli, and through the program for what a shell sees.

#include "CliFixture.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST_F(CliTest, aBackupLoadsInTheProgramsReaderAndAFileItsWriterMadeRestores) {
    StartDrive();
    DriveSets(30, 0);
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("a.ktr"));
    ASSERT_EQ(file.verdict, FileVerdict::Ok);
    EXPECT_EQ(file.driveCode, 12);
    EXPECT_EQ(file.modelName, "TS-126");
    EXPECT_EQ(RowOf(file.rows, "P0.05")->Cell(kValueColumn), "0");

    RowOf(file.rows, "P0.07")->Cell(kValueColumn) = "250";
    ASSERT_FALSE(ReplaceFileContents(Path("b.ktr"), WriteParameterFile(12, "TS-126", file.rows)));
    const Outcome restore = Cli({"restore", Path("b.ktr")});
    EXPECT_EQ(restore.status, kSuccess) << restore.err;
    EXPECT_EQ(DriveHolds(32), 250);
}

TEST_F(CliTest, setRefusesAValueOutsideTheRangeWithNothingSent) {
    StartDrive();
    const auto beforeSet = sim->RequestsAnswered();
    const Outcome run = Cli({"set", "P0.05=1", "P0.07=513"});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_NE(run.err.find("0-512"), std::string::npos) << run.err;
    EXPECT_EQ(sim->RequestsAnswered() - beforeSet, 3U) << "only the drive's identity";
    EXPECT_EQ(DriveHolds(32), 0);
}

TEST_F(CliTest, settingOneBitRowKeepsTheOtherBitsTheDriveHolds) {
    StartDrive();
    DriveSets(255, 5); // MODE and DIRECTION set
    const Outcome run = Cli({"set", "Active pulse edge=1"});
    EXPECT_EQ(run.status, kSuccess) << run.err;
    EXPECT_EQ(DriveHolds(255), 7);
}

TEST_F(CliTest, restoreOfAFileOfAnotherDriveCodeIsRefused) {
    StartDrive();
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("a.ktr"));
    RowOf(file.rows, "P0.07")->Cell(kValueColumn) = "250";
    ASSERT_FALSE(
        ReplaceFileContents(Path("servo.ktr"), WriteParameterFile(21, "TA-240", file.rows)));
    const Outcome run = Cli({"restore", Path("servo.ktr")});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_NE(run.err.find("21"), std::string::npos) << run.err;
    EXPECT_EQ(DriveHolds(32), 0);
}

TEST_F(CliTest, scanFindsADriveAtStationSevenAt115200) {
    StartDrive(7, 115200);
    // The speed and a generous answer time keep the simulated drive's scheduling out of it.
    const Outcome run = Cli(
        {"scan", "--port", "COM9", "--baud", "115200", "--timeout", "250", "--first", "--json"});
    ASSERT_EQ(run.status, kSuccess) << run.err;
    const auto drives = nlohmann::json::parse(run.out).at("drives");
    bool found = false;
    for (const auto& d : drives) {
        EXPECT_EQ(d.at("station"), 7);
        found = found || (d.at("baud") == 115200 && d.at("station") == 7);
        EXPECT_EQ(d.at("model"), "TS-126");
    }
    EXPECT_TRUE(found) << run.out;
}

TEST_F(CliTest, aCaptureOfAMoveHasTheCommandedSpeedInItsSpeedColumn) {
    StartDrive();
    const std::string csv = Path("move.csv");
    const Outcome run =
        Cli({"capture", "--test", "motion", "--ch1", "velocity-feedback", "--speed", "600",
             "--acceleration", "200", "--distance", "20", "--sampling", "20", "--csv", csv});
    ASSERT_EQ(run.status, kSuccess) << run.err;
    std::ifstream in(csv);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "Time (ms),Velocity Feedback (RPM)");
    std::vector<double> speeds;
    for (std::string line; std::getline(in, line);) {
        speeds.push_back(std::stod(line.substr(line.find(',') + 1)));
    }
    ASSERT_GT(speeds.size(), 100U);
    // Past the ramp the speed settles at what was asked for.
    std::vector<double> late(speeds.begin() + static_cast<long>(speeds.size() / 2), speeds.end());
    std::nth_element(late.begin(), late.begin() + static_cast<long>(late.size() / 2), late.end());
    EXPECT_NEAR(late[late.size() / 2], 600.0, 30.0);
}

TEST_F(CliTest, jsonOutputParses) {
    StartDrive();
    const Outcome run = Cli({"identify", "--json"});
    ASSERT_EQ(run.status, kSuccess);
    const auto id = nlohmann::json::parse(run.out);
    EXPECT_EQ(id.at("driveCode"), 12);
    EXPECT_EQ(id.at("parameterTable"), "ParaCS3");
}

TEST_F(CliTest, aLineWithNoDriveEndsWithStatusThreeNamingTheLinkFailure) {
    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const Outcome run = Cli({"identify", "--port", name});
    ::close(slave);
    ::close(master);
    EXPECT_EQ(run.status, kNoDrive);
    EXPECT_NE(run.err.find("60003"), std::string::npos) << run.err;
}

TEST_F(CliTest, aWrongCommandLineEndsWithStatusTwo) {
    EXPECT_EQ(Cli({"get"}).status, kUsage);
    EXPECT_EQ(Cli({"identify", "--baud", "9601"}).status, kUsage);
}

// Issue 24: no port given and none registered is "no drive", as the manual's status table says.
TEST_F(CliTest, identifyWithNoPortRegisteredEndsWithStatusThree) {
    const Outcome run = Cli({"identify"});
    EXPECT_EQ(run.status, kNoDrive);
    EXPECT_NE(run.err.find("no simulated drive registered"), std::string::npos) << run.err;
}

TEST_F(CliTest, versionPrintsTheProgramsVersion) {
    const Outcome run = Cli({"--version"});
    EXPECT_EQ(run.status, kSuccess);
    EXPECT_EQ(run.out, std::string("kestova-cli ") + KESTOVA_VERSION + "\n");
}

// The program itself, as a shell runs it: the default port is the simulated drive's.
Outcome Program(const std::string& arguments) {
    const std::string command = std::string(KESTOVA_CLI_PROGRAM) + " --database " +
                                KESTOVA_DATA_MDB + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, {}};
}

TEST_F(CliTest, theProgramReadsTheSimulatedDriveAndComparesTwoFilesWithoutOne) {
    StartDrive();
    DriveSets(32, 40);
    const Outcome get = Program("get P0.07");
    EXPECT_EQ(get.status, kSuccess) << get.out;
    EXPECT_NE(get.out.find("40"), std::string::npos) << get.out;

    ASSERT_EQ(Program("backup " + Path("a.ktr")).status, kSuccess);
    DriveSets(32, 41);
    ASSERT_EQ(Program("backup " + Path("b.ktr")).status, kSuccess);
    sim->Stop();
    const Outcome diff = Program("diff " + Path("a.ktr") + " " + Path("b.ktr"));
    EXPECT_EQ(diff.status, kRefused) << "files that differ";
    EXPECT_NE(diff.out.find("P0.07"), std::string::npos) << diff.out;
    const Outcome same = Program("diff " + Path("a.ktr") + " " + Path("a.ktr"));
    EXPECT_EQ(same.status, kSuccess);
    EXPECT_NE(same.out.find("no differences between"), std::string::npos) << same.out;
}

} // namespace

namespace {

nlohmann::json Json(const Outcome& run) {
    EXPECT_EQ(run.status, kSuccess) << run.err;
    return nlohmann::json::parse(run.out);
}

TEST_F(CliTest, getFindsAParameterByNumberNameOrAddress) {
    StartDrive();
    DriveSets(30, 0);
    DriveSets(255, 2);
    for (const char* name : {"P0.05", "CONTROL mode", "30", "0x1e"}) {
        const auto rows = Json(Cli({"get", name, "--json"}));
        ASSERT_EQ(rows.size(), 1U) << name;
        EXPECT_EQ(rows[0].at("number"), "P0.05") << name;
        EXPECT_EQ(rows[0].at("value"), "0") << name;
    }
    const auto bits = Json(Cli({"get", "255", "--json"}));
    ASSERT_EQ(bits.size(), 3U) << "the three bit settings of register 255";
    EXPECT_EQ(bits[1].at("number"), "P0.03");
    EXPECT_EQ(bits[1].at("value"), "1");
}

TEST_F(CliTest, paramsChangedListsOnlyWhatDiffersFromTheDefault) {
    StartDrive();
    DriveSets(32, 100);
    const auto rows = Json(Cli({"params", "--changed", "--json"}));
    ASSERT_EQ(rows.size(), 1U) << rows.dump();
    EXPECT_EQ(rows[0].at("number"), "P0.07");
    EXPECT_EQ(rows[0].at("value"), "100");
    EXPECT_EQ(rows[0].at("default"), "0");
}

TEST_F(CliTest, diffAgainstTheDriveListsTheRowsThatDiffer) {
    StartDrive();
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    const Outcome same = Cli({"diff", Path("a.ktr")});
    EXPECT_EQ(same.status, kSuccess);
    EXPECT_EQ(same.out, "no differences: the drive holds every value of " + Path("a.ktr") + "\n");
    DriveSets(32, 7);
    const auto diff = Cli({"diff", Path("a.ktr"), "--json"});
    EXPECT_EQ(diff.status, kRefused);
    const auto rows = nlohmann::json::parse(diff.out).at("differences");
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].at("file"), "0");
    EXPECT_EQ(rows[0].at("drive"), "7");
}

TEST_F(CliTest, restoreListsTheValuesTheDriveDidNotTake) {
    StartDrive(1, 0, 1.0, 256, 310); // TS-126C: its inputs take only their own functions
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("a.ktr"));
    RowOf(file.rows, "P3.21")->Cell(kValueColumn) = "5"; // in 0-4095, but no input function
    RowOf(file.rows, "P0.05")->Cell(kValueColumn) = "0";
    ASSERT_FALSE(ReplaceFileContents(Path("b.ktr"), WriteParameterFile(256, "TS-126C", file.rows)));
    const Outcome run = Cli({"restore", Path("b.ktr")});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_NE(run.err.find("P3.21"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("P0.05"), std::string::npos) << "taken";
    EXPECT_EQ(DriveHolds(30), 0);
}

TEST_F(CliTest, alarmsAreExplainedAndAClearMovesTheAlarmToTheLog) {
    StartDrive();
    sim->WithDrive([](Drive& d) {
        d.RaiseAlarm(9);
        return 0;
    });
    const auto before = Json(Cli({"alarms", "--json"}));
    EXPECT_EQ(before.at("current").at("code"), 9);
    EXPECT_EQ(before.at("current").at("causes").size(), 2U) << "code 9 has two causes";

    const auto after = Json(Cli({"alarms", "--clear-current", "--json"}));
    EXPECT_TRUE(after.at("current").is_null());
    ASSERT_FALSE(after.at("history").empty());
    EXPECT_EQ(after.at("history")[0].at("code"), 9);
}

TEST_F(CliTest, offlineNothingIsSentAndEveryValueReadsZero) {
    StartDrive();
    const auto before = sim->RequestsAnswered();
    const auto rows = Json(Cli({"--offline", "get", "P0.01", "--json"}));
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].at("value"), "0");
    EXPECT_EQ(Cli({"--offline", "set", "P0.07=100"}).status, kSuccess);
    EXPECT_EQ(sim->RequestsAnswered(), before);
    EXPECT_EQ(DriveHolds(32), 0);
}

} // namespace
