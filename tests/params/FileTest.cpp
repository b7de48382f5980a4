// The parameter file's reader and writer over bytes, and its replacement of a file on disk.

#include "ParameterFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace kestova::params;

// UTF-16LE bytes of a text written as a u"" literal, independently of the writer.
std::string Bytes(std::u16string_view text) {
    std::string out;
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

ParameterRow Row(std::array<std::string, kColumnCount> cells) {
    return ParameterRow{std::move(cells)};
}

TEST(ParameterFile, writesUtf16LittleEndianWithoutMarkCrlfAndBars) {
    const ParameterRows rows = {Row({"255", "P09", "脉冲边沿 Edge", "1", "0-1", "", "n"})};
    EXPECT_EQ(WriteParameterFile(-3, "TS-126", rows),
              Bytes(u"DriverCode|-3\r\nDriverType|TS-126\r\n"
                    u"255|P09|脉冲边沿 Edge|1|0-1||n\r\n"));
    // Nothing identified: code 0 and nothing after the model line's separator.
    EXPECT_EQ(WriteParameterFile(0, "", {}), Bytes(u"DriverCode|0\r\nDriverType|\r\n"));
}

TEST(ParameterFile, aSavedFileReadsBackWithEveryCell) {
    const ParameterRows rows = {Row({"14", "P01", "Speed 速度 😀", "65535", "0-65535", "rpm", ""}),
                                Row({"20", "", "", "-1", "", "", "note with spaces "})};
    const ParameterFileRead read = ReadParameterFile(WriteParameterFile(257, "TA-275C", rows));
    ASSERT_EQ(read.verdict, FileVerdict::Ok);
    EXPECT_EQ(read.driveCode, 257);
    EXPECT_EQ(read.modelName, "TA-275C");
    ASSERT_EQ(read.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(read.rows[i].cells, rows[i].cells);
    }
}

TEST(ParameterFile, aCellHoldingABarOrLineBreakKeepsTheRowWhole) {
    const ParameterRows rows = {Row({"1", "P1", "a|b", "5", "0-9", "m\r\ns", "x\ny"})};
    const ParameterFileRead read = ReadParameterFile(WriteParameterFile(1, "M", rows));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].cells,
              (std::array<std::string, kColumnCount>{"1", "P1", "a b", "5", "0-9", "m  s", "x y"}));
}

TEST(ParameterFile, shortRowLinesRepeatTheirLastField) {
    const ParameterFileRead read = ReadParameterFile(
        Bytes(u"DriverCode|12\r\nDriverType|X\r\nwhole line\r\n41|P2|d|5\r\n42|P3|d|5|0-9||note"));
    ASSERT_EQ(read.verdict, FileVerdict::Ok);
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[0].cells, (std::array<std::string, kColumnCount>{
                                      "whole line", "whole line", "whole line", "whole line",
                                      "whole line", "whole line", "whole line"}));
    EXPECT_EQ(read.rows[1].cells,
              (std::array<std::string, kColumnCount>{"41", "P2", "d", "5", "5", "5", "5"}));
    EXPECT_EQ(read.rows[2].cells[5], "");
    EXPECT_EQ(read.rows[2].cells[6], "note"); // the last line needs no line end
}

TEST(ParameterFile, theHeaderLinesDecideTheDriveCodeAndTheModel) {
    struct Case {
        std::u16string text;
        FileVerdict verdict;
        int driveCode;
    };
    const Case cases[] = {
        {u"DriverCode|12\r\nDriverType|TS-126\r\n", FileVerdict::Ok, 12}, // only the header
        {u"DriverCode12\r\nDriverType|TS-126\r\n", FileVerdict::Ok, 0},   // no separator
        {u"D|12\r\nDriverType|TS-126\r\n", FileVerdict::Ok, 0},           // separator at 1
        {u"Code|  -7x\r\nDriverType|\r\n", FileVerdict::Ok, -7},          // leading integer
        {u"DriverCode|12\r\nD|TS-126\r\n", FileVerdict::UnknownModel, 12},
        {u"DriverCode|12\r\nDriverType TS-126\r\n1|2|3|4|5|6|7\r\n", FileVerdict::UnknownModel, 12},
        {u"DriverCode|12\r\n", FileVerdict::UnknownModel, 12},
        {u"", FileVerdict::UnknownModel, 0},
    };
    for (const Case& c : cases) {
        const ParameterFileRead read = ReadParameterFile(Bytes(c.text));
        EXPECT_EQ(read.verdict, c.verdict) << read.problem;
        EXPECT_EQ(read.driveCode, c.driveCode);
        EXPECT_TRUE(read.rows.empty());
    }
}

TEST(ParameterFile, aByteOrderMarkAndLfLineEndsFromAnEditorAreAccepted) {
    const ParameterFileRead read =
        ReadParameterFile(Bytes(u"\uFEFFDriverCode|12\nDriverType|TS-126\n1|2|3|4|5|6|7\n"));
    ASSERT_EQ(read.verdict, FileVerdict::Ok);
    EXPECT_EQ(read.driveCode, 12);
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].cells[6], "7");
}

// 8-bit text without a mark reads as one line: refused for its missing model line.
TEST(ParameterFile, bytesThatAreNotSuchATextAreRefusedWithoutRows) {
    const std::string good = Bytes(u"DriverCode|12\r\nDriverType|TS-126\r\n1|2|3|4|5|6|7\r\n");
    const std::string cases[] = {
        good.substr(1), // odd byte count
        "\xEF\xBB\xBF"
        "DriverCode|12\r\nDriverType|TS-126\r\n1|2|3",               // UTF-8 with its mark
        "DriverCode|12\r\nDriverType|TS-126\r\n1|2|3|4|5|6|7\r\n",   // plain 8-bit text
        "\xFE\xFF" + good.substr(0, good.size() - 2),                // big-endian mark
        std::string("\xFF\xFE\0\0", 4) + good,                       // UTF-32 mark
        good + Bytes(u"1|2|") + std::string(2, '\0') + Bytes(u"|4"), // a NUL character
        good + std::string("\x00\xD8", 2) + Bytes(u"x"),             // unpaired surrogate
        good + Bytes(std::u16string(kMaxParameterLineChars + 1, u'9')),
        std::string(kMaxParameterFileBytes + 2, 'a'),
    };
    for (const std::string& bytes : cases) {
        const ParameterFileRead read = ReadParameterFile(bytes);
        EXPECT_NE(read.verdict, FileVerdict::Ok);
        EXPECT_TRUE(read.rows.empty());
    }
}

class FileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kestova-file-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Slurp(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path dir;
};

TEST_F(FileOnDisk, aReplacementLeavesOnlyTheNewFileWithTheOldPermissions) {
    const auto path = dir / "set.ktr";
    std::ofstream(path) << "old";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    const auto link = dir / "link.ktr";
    std::filesystem::create_symlink(path, link);
    ASSERT_EQ(ReplaceFileContents(link.string(), "new bytes"), std::nullopt);
    EXPECT_EQ(Slurp(path), "new bytes");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);

    std::string bytes;
    EXPECT_NE(LoadFileBytes((dir / "missing.ktr").string(), bytes), std::nullopt);
    EXPECT_NE(ReplaceFileContents((dir / "gone" / "set.ktr").string(), "x"), std::nullopt);
}

} // namespace
