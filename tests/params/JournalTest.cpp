// The change journal's file: what a killed writer, a full disk or a damaged line leave readable.

#include "ChangeJournal.h"
#include "ChangeUndo.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace kestova::params;
namespace fs = std::filesystem;

class Journal : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kestova-journal-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        path_ = (folder_ / "sub" / "drive.journal").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    std::string path_;
};

// Entry i, each of the same length, its fields telling which it is.
JournalEntry Numbered(int i) {
    char number[16];
    std::snprintf(number, sizeof number, "P%05d", i);
    JournalEntry e{"2026-12-08T05:30:00Z",
                   number,
                   100 + i % 100,
                   std::nullopt,
                   std::string(40, static_cast<char>('a' + i % 26)),
                   "set",
                   false,
                   {}};
    if (i % 2 == 0) {
        e.oldValue = std::to_string(10000 + i);
    }
    return e;
}

void ExpectEntry(const JournalEntry& got, int i) {
    const JournalEntry want = Numbered(i);
    EXPECT_EQ(got.number, want.number);
    EXPECT_EQ(got.address, want.address);
    EXPECT_EQ(got.oldValue, want.oldValue);
    EXPECT_EQ(got.newValue, want.newValue);
    EXPECT_EQ(got.source, "set");
}

TEST_F(Journal, aKilledWriterLosesAtMostTheEntryItWasWriting) {
    int confirmations[2];
    ASSERT_EQ(::pipe(confirmations), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(confirmations[0]);
        for (int i = 0;; ++i) {
            if (AppendJournal(path_, Numbered(i))) {
                ::_exit(1);
            }
            // Told only once the entry is in the file.
            if (::write(confirmations[1], &i, sizeof i) != sizeof i) {
                ::_exit(2);
            }
        }
    }
    ::close(confirmations[1]);
    // A fixed seed, so a failure repeats; the writer itself is never stopped at a chosen byte.
    std::mt19937 random(20261208U);
    const int killAfter = std::uniform_int_distribution<int>(20, 400)(random);
    SCOPED_TRACE("killed after " + std::to_string(killAfter) + " confirmed entries");
    int last = -1;
    while (last + 1 < killAfter && ::read(confirmations[0], &last, sizeof last) == sizeof last) {
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own: " << status;
    for (int i = 0; ::read(confirmations[0], &i, sizeof i) == sizeof i;) {
        last = i;
    }
    ::close(confirmations[0]);

    JournalRead read = ReadJournal(path_);
    ASSERT_FALSE(read.problem);
    // Every entry the writer finished, and at most the one it was writing.
    ASSERT_GE(static_cast<int>(read.entries.size()), last + 1);
    ASSERT_LE(static_cast<int>(read.entries.size()), last + 2);
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        ExpectEntry(read.entries[i], static_cast<int>(i));
    }
    ASSERT_LE(read.damaged.size(), 1u);

    // The next writer's entry reads back whatever the killed one left.
    ASSERT_FALSE(AppendJournal(path_, Numbered(7)));
    read = ReadJournal(path_);
    ASSERT_FALSE(read.entries.empty());
    ExpectEntry(read.entries.back(), 7);
}

TEST_F(Journal, aFullDiskCutsOnlyTheEntryBeingWrittenAndSaysSo) {
    const auto lineBytes = static_cast<rlim_t>(JournalLine(Numbered(0)).size());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The disk fills half-way through the fourth entry.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{3 * lineBytes + lineBytes / 2, 3 * lineBytes + lineBytes / 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        for (int i = 0; i < 6; ++i) {
            if (AppendJournal(path_, Numbered(i))) {
                ::_exit(10 + i); // the first failure reported
            }
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 13);

    JournalRead read = ReadJournal(path_);
    ASSERT_EQ(read.entries.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        ExpectEntry(read.entries[static_cast<std::size_t>(i)], i);
    }
    ASSERT_EQ(read.damaged.size(), 1u);
    EXPECT_EQ(read.damaged[0].line, 4u);

    // With room again, the next entry is whole, not glued to the cut one.
    ASSERT_FALSE(AppendJournal(path_, Numbered(4)));
    read = ReadJournal(path_);
    ASSERT_EQ(read.entries.size(), 4u);
    ExpectEntry(read.entries[3], 4);
    ASSERT_EQ(read.damaged.size(), 1u);
    EXPECT_EQ(read.damaged[0].line, 4u);
}

TEST_F(Journal, aDamagedLineIsReportedByNumberAndTheOthersRead) {
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(AppendJournal(path_, Numbered(i)));
    }
    std::string bytes;
    {
        std::ifstream in(path_, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    // One letter of the second entry's new value changed, as a bad sector or an editor might.
    const std::size_t second = bytes.find('\n') + 1;
    const std::size_t letter = bytes.find('b', second);
    ASSERT_NE(letter, std::string::npos);
    bytes[letter] = 'c';
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;

    const JournalRead read = ReadJournal(path_);
    ASSERT_EQ(read.entries.size(), 2u);
    ExpectEntry(read.entries[0], 0);
    ExpectEntry(read.entries[1], 2);
    ASSERT_EQ(read.damaged.size(), 1u);
    EXPECT_EQ(read.damaged[0].line, 2u);
}

TEST_F(Journal, aFifoInItsPlaceIsRefusedWithoutWaiting) {
    fs::create_directories(fs::path(path_).parent_path());
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_TRUE(ReadJournal(path_).problem);
    EXPECT_TRUE(AppendJournal(path_, Numbered(0)));
}

TEST(JournalEntries, aStoreEntryMarksEveryEarlierEntryStored) {
    JournalEntry store{"2026-12-08T05:31:00Z", "", 12, std::nullopt, "", "store", true, {}};
    const JournalRead read =
        ParseJournal(JournalLine(Numbered(0)) + JournalLine(store) + JournalLine(Numbered(1)));
    ASSERT_EQ(read.entries.size(), 3u);
    EXPECT_TRUE(read.entries[0].stored);
    EXPECT_FALSE(read.entries[2].stored);
}

TEST(JournalEntries, runsKeepTheirEntriesTogetherAndLinesOfTheFirstFormatAreRunsOfTheirOwn) {
    // Two lines as journals written before runs were named hold them.
    const std::string first =
        "K1\t2026-12-07T10:00:00Z\tP0.07\t32\t7\t100\tset\tunstored\t1e37d60a\n"
        "K1\t2026-12-07T10:00:01Z\tP0.08\t33\t1\t2\tset\tunstored\t6456d239\n";
    // A download of two rows, with an edit of another drive's tool between them, then an edit of
    // the first row again by the same download's run.
    JournalEntry a = Numbered(0), b = Numbered(1), c = Numbered(2), d = Numbered(0);
    a.group = b.group = d.group = "download";
    c.group = "edit";
    a.oldValue = "1";
    a.newValue = "5";
    d.oldValue = "5";
    d.newValue = "6";
    const JournalRead read =
        ParseJournal(first + JournalLine(a) + JournalLine(c) + JournalLine(b) + JournalLine(d));
    ASSERT_TRUE(read.damaged.empty());
    const std::vector<JournalRun> runs = JournalRuns(read.entries);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].entries, std::vector<std::size_t>{0});
    EXPECT_EQ(runs[1].entries, std::vector<std::size_t>{1});
    EXPECT_EQ(runs[2].entries, (std::vector<std::size_t>{2, 4, 5}));
    EXPECT_EQ(read.entries[0].oldValue, "7");

    // Undoing the download gives its first row the value before the run, checked against the
    // value the run left last.
    const std::vector<UndoStep> plan = PlanUndo(read.entries, runs[2]);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].number, b.number); // newest first
    EXPECT_EQ(plan[1].target, "1");
    EXPECT_EQ(plan[1].left, "6");
}

} // namespace
