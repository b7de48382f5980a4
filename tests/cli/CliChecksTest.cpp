// What kestova-cli refuses before anything reaches a drive or a file: identity registers that were
// not read, values that are not whole numbers in their range, and rows that were not read.

#include "CliFixture.h"
#include "PtySlave.h"

namespace {

constexpr auto npos = std::string::npos;

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

} // namespace
