// The query texts of the program, blanks included, against the built DATA.mdb: the rows that
// come back and their order.

#include "DbTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

using dbtest::DataMdbTest;
using dbtest::ReadAll;

std::string Format(const char* format, auto... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::string IdentifyQuery(int code, int version) {
    return Format("Select * from   DriverTable  Where DriverCode = %d And ProtocolVerssion =%d",
                  code, version);
}
std::string TableQuery(const std::string& table) {
    return Format("Select * from   %s  Order by rank asc, Greyout desc", table.c_str());
}
std::string ClassQuery(const std::string& table, const std::string& cls) {
    return Format("Select * from   %s  Where Class='%s' Order by rank asc, Greyout desc",
                  table.c_str(), cls.c_str());
}
std::string ClassListQuery(const std::string& table) {
    return Format("Select distinct Class from  %s Order by Class asc", table.c_str());
}
std::string AlarmQuery(int code) {
    return Format("Select * from   AlarmTable Where AlarmCode=%d", code);
}

const std::vector<std::string> kParameterColumns = {
    "rank",          "Greyout",        "Invisible", "Number", "Address", "Class",
    "ParameterName", "ParameterValue", "Range",     "Units",  "Remark"};

std::vector<std::string> ParameterTables(CADO& db) {
    std::set<std::string> names;
    for (const auto& row : ReadAll(db, "Select * from DriverTable", {"ParaTable"})) {
        names.insert(row.at("ParaTable"));
    }
    return {names.begin(), names.end()};
}

// ---------------------------------------------------------------------------- identification

struct IdentifyCase {
    int code;
    int version;
    const char* model;
    const char* series;
    const char* table;
};

void PrintTo(const IdentifyCase& c, std::ostream* out) {
    *out << c.code << "/" << c.version;
}

class IdentifyQueryTest : public DataMdbTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyQueryTest, FindsTheModel) {
    const IdentifyCase& c = GetParam();
    const auto rows =
        ReadAll(db, IdentifyQuery(c.code, c.version), {"DriverType", "Series", "ParaTable"});
    if (c.model == nullptr) {
        EXPECT_TRUE(rows.empty());
        return;
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("DriverType"), c.model);
    EXPECT_EQ(rows[0].at("Series"), c.series);
    EXPECT_EQ(rows[0].at("ParaTable"), c.table);
}

INSTANTIATE_TEST_SUITE_P(
    Models, IdentifyQueryTest,
    ::testing::Values(IdentifyCase{11, 200, "TS-112", "TS Series", "ParaCS2L"},
                      IdentifyCase{12, 200, "TS-126", "TS Series", "ParameterTable"},
                      // Same drive code, later firmware: the protocol version picks the table.
                      IdentifyCase{12, 310, "TS-126", "TS Series", "ParaCS3"},
                      IdentifyCase{256, 310, "TS-126C", "TS Series", "ParaCSX"},
                      IdentifyCase{22, 320, "TA-275", "TA Series", "ParaSD7"},
                      IdentifyCase{257, 320, "TA-275C", "TA Series", "ParaSDX"},
                      // Versions below 300 are only ever looked up as 200.
                      IdentifyCase{12, 250, nullptr, nullptr, nullptr},
                      IdentifyCase{12, 300, nullptr, nullptr, nullptr},
                      IdentifyCase{0, 200, nullptr, nullptr, nullptr},
                      IdentifyCase{-1, 200, nullptr, nullptr, nullptr}));

TEST_F(DataMdbTest, EveryModelRowIsFoundByItsOwnKey) {
    const auto models =
        ReadAll(db, "Select * from DriverTable", {"DriverCode", "ProtocolVerssion", "DriverType"});
    ASSERT_GE(models.size(), 6u);
    for (const auto& model : models) {
        const auto rows = ReadAll(db,
                                  IdentifyQuery(std::stoi(model.at("DriverCode")),
                                                std::stoi(model.at("ProtocolVerssion"))),
                                  {"DriverType"});
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].at("DriverType"), model.at("DriverType"));
    }
}

// ---------------------------------------------------------------------------- parameter tables

TEST_F(DataMdbTest, TableQueryOrdersRowsByRankAsANumber) {
    for (const std::string& table : ParameterTables(db)) {
        const auto rows = ReadAll(db, TableQuery(table), kParameterColumns);
        ASSERT_FALSE(rows.empty()) << table;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            // Ranks run past 100, where a text sort would put "100" before "20".
            EXPECT_LT(std::stol(rows[i - 1].at("rank")), std::stol(rows[i].at("rank")))
                << table << " row " << i;
        }
    }
}

TEST_F(DataMdbTest, FirstRowsOfTheEarliestTable) {
    const auto rows = ReadAll(db, TableQuery("ParameterTable"), kParameterColumns);
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0].at("Number"), "P0.01");
    EXPECT_EQ(rows[0].at("Address"), "14");
    EXPECT_EQ(rows[0].at("ParameterValue"), "4000");
    EXPECT_EQ(rows[0].at("Range"), "200-51200");
    EXPECT_EQ(rows[0].at("Invisible"), "0");
    // The three settings packed into register 255 follow as rows of their own.
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(rows[i].at("Address"), "255");
    }
}

TEST_F(DataMdbTest, ClassQueriesPartitionTheTable) {
    for (const std::string& table : ParameterTables(db)) {
        const auto classes = ReadAll(db, ClassListQuery(table), {"Class"});
        ASSERT_GE(classes.size(), 4u) << table;
        ASSERT_LE(classes.size(), 8u) << table;
        std::size_t total = 0;
        for (std::size_t i = 0; i < classes.size(); ++i) {
            const std::string& cls = classes[i].at("Class");
            if (i > 0) {
                EXPECT_LT(classes[i - 1].at("Class"), cls) << table;
            }
            const auto rows = ReadAll(db, ClassQuery(table, cls), kParameterColumns);
            EXPECT_FALSE(rows.empty()) << table << " " << cls;
            for (const auto& row : rows) {
                EXPECT_EQ(row.at("Class"), cls);
            }
            total += rows.size();
        }
        EXPECT_EQ(total, ReadAll(db, TableQuery(table), {"rank"}).size()) << table;
    }
}

TEST_F(DataMdbTest, TablesHideSomeRowsAndShowMost) {
    std::size_t hidden = 0;
    for (const std::string& table : ParameterTables(db)) {
        std::size_t shown = 0;
        const auto rows = ReadAll(db, TableQuery(table), {"Invisible"});
        for (const auto& row : rows) {
            (row.at("Invisible") == "0" ? shown : hidden) += 1;
        }
        EXPECT_GE(shown, 40u) << table;
    }
    EXPECT_GT(hidden, 0u);
}

// ---------------------------------------------------------------------------- alarms

struct AlarmCase {
    int code;
    std::vector<std::string> names;
};

void PrintTo(const AlarmCase& c, std::ostream* out) {
    *out << "code " << c.code;
}

class AlarmQueryTest : public DataMdbTest, public ::testing::WithParamInterface<AlarmCase> {};

TEST_P(AlarmQueryTest, ReturnsTheCodesRowsInStoredOrder) {
    const auto rows =
        ReadAll(db, AlarmQuery(GetParam().code), {"AlarmCode", "AlarmName", "Grade", "Dispose"});
    ASSERT_EQ(rows.size(), GetParam().names.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].at("AlarmCode"), std::to_string(GetParam().code));
        EXPECT_EQ(rows[i].at("AlarmName"), GetParam().names[i]);
        EXPECT_FALSE(rows[i].at("Grade").empty());
        EXPECT_FALSE(rows[i].at("Dispose").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AlarmQueryTest,
    ::testing::Values(AlarmCase{1, {"Over-current"}}, AlarmCase{4, {"Position following error"}},
                      AlarmCase{9, {"Encoder disconnected", "Encoder count error"}},
                      // No alarm, and the value of a failed register read: nothing to show.
                      AlarmCase{0, {}}, AlarmCase{-1, {}}, AlarmCase{32767, {}}));

} // namespace
