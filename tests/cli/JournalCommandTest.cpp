// The change journal through kestova-cli: what set writes to it, and history reading it back.

#include "CliFixture.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace {

nlohmann::json History() {
    std::ostringstream out, err;
    const int status = RunCli({"--database", KESTOVA_DATA_MDB, "history", "--json"}, out, err);
    EXPECT_EQ(status, kSuccess) << err.str();
    return nlohmann::json::parse(out.str());
}

TEST_F(CliTest, setJournalsTheValueItReadBeforeAndTheOneTheDriveTook) {
    StartDrive();
    DriveSets(32, 7);
    ASSERT_EQ(Cli({"set", "P0.07=100"}).status, kSuccess);
    ASSERT_EQ(Cli({"set", "P0.07=250", "--store"}).status, kSuccess);

    const nlohmann::json history = History();
    const nlohmann::json& entries = history.at("entries");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].at("number"), "P0.07");
    EXPECT_EQ(entries[0].at("address"), 32);
    EXPECT_EQ(entries[0].at("old"), "7");
    EXPECT_EQ(entries[0].at("new"), "100");
    EXPECT_EQ(entries[0].at("source"), "set");
    EXPECT_EQ(entries[1].at("old"), "100");
    EXPECT_EQ(entries[1].at("new"), "250");
    EXPECT_EQ(entries[2].at("source"), "store");
    // The store kept both values in the drive's memory.
    EXPECT_EQ(entries[0].at("stored"), true);
    EXPECT_EQ(entries[1].at("stored"), true);

    // What history prints is what the file holds.
    const JournalRead file = ReadJournal(history.at("journal").get<std::string>());
    ASSERT_EQ(file.entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].at("time"), file.entries[i].time);
        EXPECT_EQ(entries[i].at("new"), file.entries[i].newValue);
        EXPECT_EQ(entries[i].at("stored"), file.entries[i].stored);
    }
}

TEST_F(CliTest, restoreJournalsEveryRowItWroteWithTheValueReadBefore) {
    StartDrive();
    DriveSets(32, 7);
    ASSERT_EQ(Cli({"backup", Path("a.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("a.ktr"));
    RowOf(file.rows, "P0.07")->Cell(kValueColumn) = "250";
    ASSERT_FALSE(ReplaceFileContents(Path("b.ktr"), WriteParameterFile(12, "TS-126", file.rows)));
    ASSERT_EQ(Cli({"restore", Path("b.ktr")}).status, kSuccess);

    const nlohmann::json entries = History().at("entries");
    ASSERT_EQ(entries.size(), file.rows.size());
    bool found = false;
    for (const nlohmann::json& e : entries) {
        EXPECT_EQ(e.at("source"), "restore");
        if (e.at("number") == "P0.07") {
            found = true;
            EXPECT_EQ(e.at("old"), "7");
            EXPECT_EQ(e.at("new"), "250");
            EXPECT_EQ(e.at("stored"), false);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(CliTest, historyNamesADamagedLineOnStandardErrorAndListsTheRest) {
    StartDrive();
    ASSERT_EQ(Cli({"set", "P0.07=100"}).status, kSuccess);
    const std::string path = History().at("journal").get<std::string>();
    std::ofstream(path, std::ios::app) << "K1\tgarbage\n";
    ASSERT_EQ(Cli({"set", "P0.07=120"}).status, kSuccess);

    const Outcome run = Cli({"history"});
    EXPECT_EQ(run.status, kSuccess);
    EXPECT_NE(run.err.find(path + ":2: damaged entry skipped"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("100"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("120"), std::string::npos) << run.out;
}

TEST_F(CliTest, aJournalThatCannotBeWrittenIsSaidAndTheWriteStands) {
    StartDrive();
    // A file where the journal's folder would be.
    const std::string blocked = Path("blocked");
    std::ofstream(blocked) << "x";
    ::setenv(kJournalFolderVariable, (blocked + "/journal").c_str(), 1);

    const Outcome run = Cli({"set", "P0.07=100"});
    EXPECT_EQ(run.status, kSuccess);
    EXPECT_NE(run.err.find("could not be written"), std::string::npos) << run.err;
    EXPECT_EQ(DriveHolds(32), 100);
}

} // namespace
