// The parameter rules: how a raw register becomes the Value text and back, the check of a value to
// write, the queries, and loading rows from small databases made here (DATA.mdb must never hold
// such rows; the transfer tests load theirs from it).

#include "CADO.h"
#include "DbScript.h"
#include "KestovaDb.h"
#include "ParameterRules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace kestova::params;

namespace {

ParameterRow Row(const std::string& address, const std::string& description,
                 const std::string& value) {
    ParameterRow row;
    row.Cell(kAddressColumn) = address;
    row.Cell(kDescriptionColumn) = description;
    row.Cell(kValueColumn) = value;
    return row;
}

TEST(ValueText, unsignedRegistersShowTheTopOfTheRangeOthersMinusOne) {
    EXPECT_EQ(FormatParameterValue("Pulses per revolution", 14, -1), "65535");
    EXPECT_EQ(FormatParameterValue("Position following error limit", 165, -25536), "40000");
    EXPECT_EQ(FormatParameterValue("Anything", 20, -1), "-1");
}

TEST(ValueText, bitRowsShowTheirOwnBitAndAKeywordlessRowTheWholeRegister) {
    EXPECT_EQ(FormatParameterValue("Pulse input mode", 255, 5), "1");
    EXPECT_EQ(FormatParameterValue("Active pulse edge", 255, 5), "0");
    EXPECT_EQ(FormatParameterValue("Motor direction", 255, 5), "1");
    EXPECT_EQ(FormatParameterValue("Pulse input", 255, 5), "5");
    // Matched upper-cased, and EDGE is looked for before MODE.
    EXPECT_EQ(FormatParameterValue("active edge", 255, 2), "1");
    EXPECT_EQ(FormatParameterValue("Edge mode", 255, 1), "0");
    EXPECT_EQ(FormatParameterValue("脉冲边沿", 255, 2), "1");
    EXPECT_EQ(FormatParameterValue("旋转方向", 255, 4), "1");
    // The same keywords elsewhere mean nothing.
    EXPECT_EQ(FormatParameterValue("Control mode", 40, 5), "5");
}

TEST(EncodeValue, leadingIntegerCutTo16Bits) {
    const ParameterRows none;
    EXPECT_EQ(EncodeParameterValue(30, "12abc", none), 12);
    EXPECT_EQ(EncodeParameterValue(30, "abc", none), 0);
    EXPECT_EQ(EncodeParameterValue(30, "  -7 rpm", none), 0xFFF9);
    EXPECT_EQ(EncodeParameterValue(30, "-1", none), 0xFFFF);
    EXPECT_EQ(EncodeParameterValue(14, "65535", none), 0xFFFF);
}

TEST(EncodeValue, bitRegisterIsPackedFromTheRowsAndAnAbsentRowCountsZero) {
    const ParameterRows rows = {Row("255", "Pulse input mode", "1"), Row("30", "Gain", "7"),
                                Row("255", "Active pulse EDGE", "1")};
    EXPECT_EQ(ComposeBitFieldRegister(rows), 3);
    EXPECT_EQ(EncodeParameterValue(255, "0", rows), 3) << "the typed text is not used";

    ParameterRows later = rows;
    later.push_back(Row("255", "Motor direction", "1"));
    later.push_back(Row("255", "Pulse input mode", "0")); // a later row of one kind wins
    EXPECT_EQ(ComposeBitFieldRegister(later), 6);
}

ParameterRow Ranged(const std::string& address, const std::string& description,
                    const std::string& range) {
    ParameterRow row = Row(address, description, "0");
    row.Cell(kRangeColumn) = range;
    return row;
}

// Values to write are whole integers or nothing: the leading-integer rule would send 12abc as 12,
// 70000 as 4464 and a full-width 12 as 0.
TEST(ValueToWrite, onlyAWholeIntegerInsideTheRangeAndTheRegisterIsTaken) {
    const ParameterRow gain = Ranged("42", "Gain", "0-512");
    EXPECT_EQ(ValueToWrite(gain, "512"), 512);
    EXPECT_EQ(ValueToWrite(gain, "+12"), 12);
    EXPECT_FALSE(ValueToWrite(gain, "513"));
    for (const char* text : {"", "-", "12abc", "1e2", "12.9", " 12", "12 ", "0x10", "\uFF11\uFF12",
                             "99999999999999999999"}) {
        EXPECT_FALSE(ValueToWrite(gain, text)) << text;
    }
    EXPECT_EQ(ValueToWrite(gain, "0x10", true), 16) << "hexadecimal only where asked for";
    EXPECT_FALSE(ValueToWrite(gain, "0x", true));
    EXPECT_FALSE(ValueToWrite(gain, "-0x10", true));

    // The register's width bounds a range that says more: 16 bits, unsigned or signed, and one
    // bit in a bit row.
    const ParameterRow limit = Ranged("165", "Following error limit", "0-65535");
    EXPECT_EQ(ValueToWrite(limit, "65535"), 65535);
    EXPECT_FALSE(ValueToWrite(limit, "65536"));
    EXPECT_FALSE(ValueToWrite(limit, "70000"));
    EXPECT_FALSE(ValueToWrite(limit, "-1"));
    EXPECT_FALSE(ValueToWrite(Ranged("30", "Speed", "0-65535"), "40000"));
    EXPECT_FALSE(ValueToWrite(Ranged("255", "Motor direction", "0-7"), "2"));
    EXPECT_EQ(ValueToWrite(Ranged("255", "Motor direction", "0-7"), "1"), 1);
}

TEST(ValueToWrite, aNegativeLowLimitKeepsItsSign) {
    EXPECT_EQ(SplitRange("-1000-1000").low, -1000);
    EXPECT_EQ(SplitRange("-1000-1000").high, 1000);
    EXPECT_EQ(SplitRange("-100--50").high, -50);
    const ParameterRow offset = Ranged("171", "Home offset", "-30000-30000");
    EXPECT_EQ(ValueToWrite(offset, "-30000"), -30000);
    EXPECT_FALSE(ValueToWrite(offset, "-30001"));
    // Without a separating hyphen: 0 up to the text.
    EXPECT_TRUE(ValueToWrite(Ranged("42", "Gain", "500"), "0"));
    EXPECT_FALSE(ValueToWrite(Ranged("42", "Gain", "500"), "-1"));
    EXPECT_EQ(SplitRange("-5").high, 5);
}

TEST(Queries, wholeTableForAllOrEmptyAndAnEscapedClassOtherwise) {
    const std::string whole = "Select * from   ParaCS3  Order by rank asc, Greyout desc";
    EXPECT_EQ(TableQuery("ParaCS3", "All Parameters"), whole);
    EXPECT_EQ(TableQuery("ParaCS3", ""), whole);
    EXPECT_EQ(TableQuery("ParaCS3", "Basic"),
              "Select * from   ParaCS3  Where Class='Basic' Order by rank asc, Greyout desc");
    EXPECT_EQ(TableQuery("ParaCS3", "Operator's"),
              "Select * from   ParaCS3  Where Class='Operator''s' Order by rank asc, Greyout desc");
    EXPECT_EQ(ClassQuery("ParaCS3"), "Select distinct Class from  ParaCS3 Order by Class asc");
}

// A database of our own for what DATA.mdb must never hold.
class MadeDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestova-params-db-XXXXXX";
        dir_ = ::mkdtemp(pattern);
    }
    void TearDown() override {
        db.CloseConnection();
        std::filesystem::remove_all(dir_);
    }
    void Build(const std::string& rows) {
        const std::string path = dir_ + "/made.mdb";
        kdb::BuildDatabase(
            path, kdb::kPassword,
            {{"made.sql", "CREATE TABLE T (rank INTEGER, Greyout INTEGER, Invisible, Number TEXT,"
                          " Address INTEGER, Class TEXT, ParameterName TEXT, ParameterValue,"
                          " Range TEXT, Units TEXT, Remark TEXT);\n" +
                              rows}});
        ASSERT_TRUE(db.OpenConnection(kdb::ProgramConnectionString(path)))
            << db.LastConnectionError();
    }
    static std::vector<std::string> Numbers(const TableLoad& load) {
        std::vector<std::string> out;
        for (const auto& row : load.rows) {
            out.push_back(row.Cell(kNumberColumn));
        }
        return out;
    }
    std::string dir_;
    CADO db;
};

TEST_F(MadeDatabase, onlyTheExactTextZeroShowsARowInRankOrder) {
    Build("INSERT INTO T VALUES (40, 0, '0',  'P0.04', 33, 'Basic', 'd', 4, '0-9', '', '');\n"
          "INSERT INTO T VALUES (10, 0, 0,    'P0.01', 30, 'Basic', 'd', 1, '0-9', '', '');\n"
          "INSERT INTO T VALUES (20, 0, '1',  'P0.02', 31, 'Basic', 'd', 2, '0-9', '', '');\n"
          "INSERT INTO T VALUES (30, 0, '00', 'P0.03', 32, 'Basic', 'd', 3, '0-9', '', '');\n"
          "INSERT INTO T VALUES (35, 0, ' 0', 'P0.05', 34, 'Basic', 'd', 5, '0-9', '', '');\n"
          "INSERT INTO T VALUES (50, 1, '0',  'P0.07', 36, 'Basic', 'd', 7, '0-9', '', '');\n"
          "INSERT INTO T VALUES (50, 0, '0',  'P0.06', 35, 'Basic', 'd', 6, '0-9', '', '');\n");
    const TableLoad load = LoadParameterRows(db, "T", "All Parameters");
    EXPECT_EQ(load.status, LoadStatus::Ok) << load.errorDescription;
    EXPECT_EQ(Numbers(load), (std::vector<std::string>{"P0.01", "P0.04", "P0.07", "P0.06"}));
    const ParameterRow& first = load.rows.front();
    EXPECT_EQ(first.Cell(kAddressColumn), "30");
    EXPECT_EQ(first.Cell(kValueColumn), "1");
    EXPECT_EQ(first.Cell(kRangeColumn), "0-9");
}

TEST_F(MadeDatabase, aClassWithAnApostropheLoadsItsRows) {
    Build("INSERT INTO T VALUES (10, 0, 0, 'P7.01', 30, 'Operator''s', 'd', 1, '0-9', '', '');\n"
          "INSERT INTO T VALUES (20, 0, 0, 'P0.01', 31, 'Basic', 'd', 1, '0-9', '', '');\n");
    const ClassLoad classes = LoadClasses(db, "T");
    ASSERT_EQ(classes.classes, (std::vector<std::string>{"Basic", "Operator's"}));
    const TableLoad load = LoadParameterRows(db, "T", "Operator's");
    EXPECT_EQ(load.status, LoadStatus::Ok) << load.errorDescription;
    EXPECT_EQ(Numbers(load), std::vector<std::string>{"P7.01"});
}

TEST_F(MadeDatabase, anUnreadableFieldEndsTheLoadKeepingTheRowsBeforeIt) {
    Build("INSERT INTO T VALUES (10, 0, 0, 'P0.01', 30, 'Basic', 'd', 1, '0-9', '', '');\n"
          "INSERT INTO T VALUES (20, 0, 0, 'P0.02', 31, 'Basic', 'd', NULL, '0-9', '', '');\n"
          "INSERT INTO T VALUES (30, 0, 0, 'P0.03', 32, 'Basic', 'd', 3, '0-9', '', '');\n");
    const TableLoad load = LoadParameterRows(db, "T", "");
    EXPECT_EQ(load.status, LoadStatus::DbError);
    EXPECT_FALSE(load.errorDescription.empty());
    EXPECT_EQ(Numbers(load), std::vector<std::string>{"P0.01"});

    const TableLoad missing = LoadParameterRows(db, "NoSuchTable", "");
    EXPECT_EQ(missing.status, LoadStatus::DbError);
    EXPECT_TRUE(missing.rows.empty());
}

} // namespace
