// What kestova-cli refuses before anything reaches a drive or a file: identity registers that were
// not read, values that are not whole numbers in their range, rows that were not read, rows a
// file may not write.

#include "CliFixture.h"
#include "PtySlave.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

constexpr auto npos = std::string::npos;

// A parameter file as an editor may leave it: UTF-16LE text, written as it stands.
void PutText(const std::string& path, const std::u16string& text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    ASSERT_FALSE(ReplaceFileContents(path, bytes));
}

std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// A protocol guessed as 200 for a register not read would choose another model's table.
TEST_F(CliTest, anIdentityRegisterNotReadEndsWithStatusThreeNamingIt) {
    kttest::RegisterBank bank;
    bank.Set(0xFD, 12);
    bank.Set(0x47, 310);
    bank.Set(0x49, 7);
    kttest::PtySlave slave;
    slave.SetResponder([&bank](const kttest::Bytes& request) {
        return request.size() > 3 && request[3] == 0x47 ? kttest::Bytes{} : bank.Answer(request);
    });
    const Outcome run = Cli({"identify", "--json", "--port", slave.SlavePath()});
    EXPECT_EQ(run.status, kNoDrive);
    EXPECT_NE(run.err.find("0x47"), npos) << run.err;
    EXPECT_NE(run.err.find("60003"), npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
}

// The leading-integer rule would write 1e2 as 1 and 12abc as 12.
TEST_F(CliTest, setWritesOnlyWholeNumbersTakingHexAndSendsNothingForAnyOther) {
    StartDrive();
    for (const std::string value : {"", "1e2", "12abc", "12.9", "0x"}) {
        const auto before = sim->RequestsAnswered();
        const Outcome run = Cli({"set", "P0.07=" + value});
        EXPECT_EQ(run.status, kRefused) << value;
        EXPECT_NE(run.err.find("0-512"), npos) << run.err;
        EXPECT_EQ(sim->RequestsAnswered() - before, 3U) << "the drive's identity only: " << value;
    }
    EXPECT_EQ(DriveHolds(32), 0);
    const Outcome hex = Cli({"set", "P0.07=0x10"});
    EXPECT_EQ(hex.status, kSuccess) << hex.err;
    EXPECT_EQ(DriveHolds(32), 16);
}

TEST_F(CliTest, aRangeWithANegativeLowLimitTakesNegativeValues) {
    StartDrive(1, 0, 1.0, 21, 320); // ParaSD3: P4.03 at register 123, -1000-1000
    const Outcome run = Cli({"set", "P4.03=-500"});
    EXPECT_EQ(run.status, kSuccess) << run.err;
    EXPECT_EQ(static_cast<std::int16_t>(DriveHolds(123)), -500);
    EXPECT_EQ(Cli({"set", "P4.03=-1001"}).status, kRefused);
}

// A row whose read failed showed -1, and the backup saved it as the drive's value.
TEST_F(CliTest, aBackupWithAnyRowNotReadWritesNoFileAndNamesTheRow) {
    kttest::RegisterBank bank;
    bank.Set(0xFD, 12);
    bank.Set(0x47, 310);
    bank.Set(0x49, 7);
    kttest::PtySlave slave;
    slave.SetResponder([&bank](const kttest::Bytes& request) {
        kttest::Bytes answer = bank.Answer(request);
        if (request.size() > 3 && request[2] == 0 && request[3] == 30 && !answer.empty()) {
            answer.back() ^= 0xFF; // register 30's answers arrive with a spoilt CRC
        }
        return answer;
    });
    const Outcome run = Cli({"backup", Path("a.ktr"), "--port", slave.SlavePath()});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_NE(run.err.find("were not read"), npos) << run.err;
    EXPECT_NE(run.err.find("P0.05"), npos) << run.err;
    EXPECT_NE(run.err.find("60002"), npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("a.ktr")));
}

// Rows that are not this drive's parameters, or whose values its ranges do not take, are refused
// with nothing written; asked to skip them, the tool writes the others.
TEST_F(CliTest, restoreWritesOnlyTheDrivesOwnParametersAndOnlyWhenTheRestMayBeSkipped) {
    StartDrive();
    DriveSets(40, 3);
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("a.ktr"));
    RowOf(file.rows, "P0.09")->Cell(kValueColumn) = "3";            // the one change that may go
    RowOf(file.rows, "P0.07")->Cell(kValueColumn) = "\uFF11\uFF12"; // full-width 12
    RowOf(file.rows, "P4.01")->Cell(kValueColumn) = "70000";
    RowOf(file.rows, "P0.01")->Cell(kValueColumn) = "65536";
    RowOf(file.rows, "P1.03")->Cell(kValueColumn) = "12.9";
    RowOf(file.rows, "P1.02")->Cell(kValueColumn) = "1e2";
    RowOf(file.rows, "P0.10")->Cell(kValueColumn) = "12abc";
    std::string bytes = WriteParameterFile(12, "TS-126", file.rows);
    std::u16string text(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    text += Utf16("\r\n250|P0.99|Factory reset|1|0-1||\r\n12|P0.98|Store|1|0-1||\r\n"
                  "9|P9.09|Start|1|0-1||\r\n  \r\n");
    PutText(Path("b.ktr"), text);

    const auto before = sim->RequestsAnswered();
    const Outcome refused = Cli({"restore", Path("b.ktr")});
    EXPECT_EQ(refused.status, kRefused);
    EXPECT_EQ(sim->RequestsAnswered() - before, 3U) << "the drive's identity only";
    for (const char* named : {"P0.07", "P4.01", "P0.01", "P1.03", "P1.02", "P0.10", "P0.99",
                              "P0.98", "P9.09", "9 of"}) {
        EXPECT_NE(refused.err.find(named), npos) << named << "\n" << refused.err;
    }
    EXPECT_NE(refused.err.find("--skip-unwritable"), npos) << refused.err;
    EXPECT_EQ(DriveHolds(35), 2);

    const Outcome skipped = Cli({"restore", Path("b.ktr"), "--skip-unwritable"});
    EXPECT_EQ(skipped.status, kSuccess) << skipped.err;
    EXPECT_EQ(DriveHolds(35), 3);
    EXPECT_EQ(DriveHolds(32), 0);
    EXPECT_EQ(DriveHolds(165), 4000);
    EXPECT_EQ(DriveHolds(14), 4000);
    EXPECT_EQ(DriveHolds(9), 0) << "no move started";
    EXPECT_EQ(DriveHolds(40), 3) << "no factory reset";
}

// A name the link does not know would open COM1 and talk there.
TEST_F(CliTest, aPortNameThatNamesNoPortIsRefusedBeforeAnythingIsOpenedAndThePortsAreListed) {
    StartDrive();
    const auto before = sim->RequestsAnswered();
    const Outcome run = Cli({"identify", "--port", "bogus"});
    EXPECT_EQ(run.status, kUsage);
    EXPECT_NE(run.err.find("bogus"), npos) << run.err;
    EXPECT_NE(run.err.find("COM9"), npos) << "the ports are listed: " << run.err;
    EXPECT_EQ(Cli({"scan", "--port", "bogus"}).status, kUsage);
    EXPECT_EQ(sim->RequestsAnswered(), before);
    EXPECT_EQ(Cli({"identify", "--port", "com9"}).status, kSuccess) << "a registered name";
}

// As cp would, also for root, whom the permissions do not stop.
TEST_F(CliTest, aBackupLeavesAWriteProtectedFileAsItIs) {
    StartDrive();
    ASSERT_FALSE(ReplaceFileContents(Path("kept.ktr"), "old"));
    ASSERT_EQ(::chmod(Path("kept.ktr").c_str(), 0444), 0);
    const Outcome run = Cli({"backup", Path("kept.ktr")});
    EXPECT_EQ(run.status, kRefused);
    EXPECT_NE(run.err.find("Permission denied"), npos) << run.err;
    std::string bytes;
    ASSERT_FALSE(LoadFileBytes(Path("kept.ktr"), bytes));
    EXPECT_EQ(bytes, "old");
}

// A FIFO held restore and diff for ever; the program is run under a time limit so that a wait
// fails the test instead of hanging it.
TEST_F(CliTest, restoreAndDiffTakeRegularFilesOnlyAndNeverWaitOnAFifo) {
    StartDrive();
    ASSERT_EQ(::mkfifo(Path("pipe.ktr").c_str(), 0600), 0);
    for (const std::string command : {"restore", "diff"}) {
        const std::string line = "timeout 10 " + std::string(KESTOVA_CLI_PROGRAM) + " --database " +
                                 KESTOVA_DATA_MDB + " " + command + " " + Path("pipe.ktr") +
                                 " 2>&1";
        FILE* pipe = ::popen(line.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[1024];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        const int status = ::pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), kRefused) << command << ": " << out;
        EXPECT_NE(out.find("not a regular file"), npos) << out;
    }
}

} // namespace
