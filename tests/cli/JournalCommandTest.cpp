// The change journal through kestova-cli: what set writes to it, and history reading it back.

#include "CliFixture.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>

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

namespace {

// Values the drive holds for every row of a backup, by Par. #.
std::map<std::string, std::string> ValuesOf(const ParameterRows& rows) {
    std::map<std::string, std::string> values;
    for (const ParameterRow& row : rows) {
        values[row.Cell(kNumberColumn)] = row.Cell(kValueColumn);
    }
    return values;
}

TEST_F(CliTest, undoOfARestoreGivesEveryRegisterItsValueBack) {
    StartDrive();
    ASSERT_EQ(Cli({"backup", Path("before.ktr")}).status, kSuccess);
    ParameterFileRead file = ReadBack(Path("before.ktr"));
    // Every third row to the other end of its range, a bit row among them.
    int changed = 0;
    for (std::size_t i = 0; i < file.rows.size(); i += 3) {
        ParameterRow& row = file.rows[i];
        const RangeLimits range = SplitRange(row.Cell(kRangeColumn));
        const std::string low = std::to_string(range.low), high = std::to_string(range.high);
        const std::string other = row.Cell(kValueColumn) == low ? high : low;
        if (ValueToWrite(row, other) && other != row.Cell(kValueColumn)) {
            row.Cell(kValueColumn) = other;
            ++changed;
        }
    }
    ASSERT_GT(changed, 5);
    ASSERT_FALSE(
        ReplaceFileContents(Path("changed.ktr"), WriteParameterFile(12, "TS-126", file.rows)));
    ASSERT_EQ(Cli({"restore", Path("changed.ktr")}).status, kSuccess);
    ASSERT_EQ(Cli({"set", "P0.07=9"}).status, kSuccess); // a later run, not undone

    // Run 1 is the restore; run 2 the set.
    const Outcome undo = Cli({"undo", "1"});
    EXPECT_EQ(undo.status, kRefused) << undo.out << undo.err; // P0.07 was changed since
    EXPECT_NE(undo.out.find("changed since, the drive holds 9"), std::string::npos) << undo.out;

    ASSERT_EQ(Cli({"backup", Path("after.ktr")}).status, kSuccess);
    std::map<std::string, std::string> expected = ValuesOf(ReadBack(Path("before.ktr")).rows);
    expected["P0.07"] = "9";
    EXPECT_EQ(ValuesOf(ReadBack(Path("after.ktr")).rows), expected);

    // The undo is a run of its own, and undoing it puts the restore's values back.
    ASSERT_EQ(Cli({"undo"}).status, kSuccess);
    ASSERT_EQ(Cli({"backup", Path("again.ktr")}).status, kSuccess);
    std::map<std::string, std::string> restored = ValuesOf(file.rows);
    restored["P0.07"] = "9";
    EXPECT_EQ(ValuesOf(ReadBack(Path("again.ktr")).rows), restored);
}

TEST_F(CliTest, undoOfAValueNotReadBeforeTheChangeWritesNothing) {
    StartDrive();
    ASSERT_EQ(Cli({"set", "P0.07=100"}).status, kSuccess);
    const std::string path = History().at("journal").get<std::string>();
    // The same change as journalled by a run that could not read the value before it.
    JournalEntry entry = ReadJournal(path).entries.at(0);
    entry.oldValue.reset();
    entry.group = "unread";
    ASSERT_FALSE(AppendJournal(path, entry));

    const Outcome undo = Cli({"undo"});
    EXPECT_EQ(undo.status, kRefused);
    EXPECT_NE(undo.out.find("its value before the change was not read"), std::string::npos)
        << undo.out;
    EXPECT_EQ(DriveHolds(32), 100);
}

} // namespace
