// kestova-cli tune against the simulated servo drive (TA-240): the before/after table, the
// originals back unless --apply, every write journalled as the tuner's, and an early end's status.

#include "CliFixture.h"

#include <nlohmann/json.hpp>

namespace {

constexpr std::uint16_t kSpeedGain = 81;    // P2.02 Speed loop gain
constexpr std::uint16_t kInertiaRatio = 83; // P2.04 Load inertia ratio

std::vector<std::string> TuneAll(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"tune",        "all", "--max-distance", "2",
                                  "--max-speed", "600", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST_F(CliTest, tuneRevertsUnlessAppliedAndJournalsEveryWriteAsTheTuners) {
    StartDrive(1, 0, 1.0, 21, 320);
    const std::uint16_t gain = DriveHolds(kSpeedGain);

    const Outcome measured = Cli(TuneAll());
    ASSERT_EQ(measured.status, kSuccess) << measured.err;
    const nlohmann::json m = nlohmann::json::parse(measured.out);
    EXPECT_EQ(m.at("left"), "reverted");
    EXPECT_FALSE(m.at("changes").empty());
    EXPECT_EQ(DriveHolds(kSpeedGain), gain);

    const Outcome applied = Cli(TuneAll({"--apply"}));
    ASSERT_EQ(applied.status, kSuccess) << applied.err;
    const nlohmann::json a = nlohmann::json::parse(applied.out);
    EXPECT_EQ(a.at("left"), "applied");
    for (const nlohmann::json& change : a.at("changes")) {
        if (change.at("number") == "P2.02") {
            EXPECT_EQ(DriveHolds(kSpeedGain), change.at("after").get<int>());
        }
    }
    EXPECT_NE(DriveHolds(kSpeedGain), gain);

    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"--database", KESTOVA_DATA_MDB, "history", "--json"}, out, err), kSuccess);
    const nlohmann::json entries = nlohmann::json::parse(out.str()).at("entries");
    ASSERT_FALSE(entries.empty());
    for (const nlohmann::json& entry : entries) {
        EXPECT_EQ(entry.at("source"), "tune");
    }
    // The measured run wrote the gain and took it back; the applied one left its value.
    EXPECT_EQ(entries.back().at("new"), std::to_string(DriveHolds(entries.back().at("address"))));
}

TEST_F(CliTest, tuneEndsWithAFailureStatusWhenTheDriveIsInAlarm) {
    StartDrive(1, 0, 1.0, 21, 320);
    const std::uint16_t ratio = DriveHolds(kInertiaRatio);
    sim->WithDrive([](Drive& d) {
        d.RaiseAlarm(d.Model().alarms.overCurrent);
        return 0;
    });
    const Outcome o = Cli({"tune", "identify"});
    EXPECT_EQ(o.status, kRefused);
    EXPECT_NE(o.err.find("alarm"), std::string::npos) << o.err;
    EXPECT_EQ(DriveHolds(kInertiaRatio), ratio);
}

} // namespace
