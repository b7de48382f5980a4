// Checks on the model data itself, for the mistakes an edit of the SQL sources can make: a table
// name that does not exist, a default outside its range, a packed-bit row the program cannot
// recognise, an IO row the IO editor would take for the wrong kind, a parameter on a command
// register, or a character the parameter file cannot carry.

#include "DbTestSupport.h"
#include "SqlCipherFile.h"

#include <sqlite3.h>

#include <map>
#include <optional>
#include <set>

namespace {

using dbtest::DataMdbTest;
using dbtest::ReadAll;
using dbtest::Row;

const std::vector<std::string> kParameterColumns = {
    "Greyout",       "Invisible",      "Number", "Address", "Class",
    "ParameterName", "ParameterValue", "Range",  "Units",   "Remark"};

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool Has(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// The parameter page's leading-integer rule.
long LeadingInteger(const std::string& text) {
    std::size_t p = text.find_first_not_of(' ');
    if (p == std::string::npos) {
        return 0;
    }
    long sign = 1;
    if (text[p] == '+' || text[p] == '-') {
        sign = text[p] == '-' ? -1 : 1;
        ++p;
    }
    long value = 0;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
        value = value * 10 + (text[p++] - '0');
    }
    return sign * value;
}

// The limits as the edit check reads them: split at the first hyphen.
std::pair<long, long> CheckedLimits(const std::string& range) {
    const std::size_t hyphen = range.find('-');
    if (hyphen == std::string::npos) {
        return {0, LeadingInteger(range)};
    }
    return {LeadingInteger(range.substr(0, hyphen)), LeadingInteger(range.substr(hyphen + 1))};
}

// The limits as written: "low-high" with digits only, the low limit may carry a minus sign.
std::optional<std::pair<long, long>> WrittenLimits(const std::string& range) {
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    const std::size_t start = (!range.empty() && range[0] == '-') ? 1 : 0;
    const std::size_t hyphen = range.find('-', start);
    if (hyphen == std::string::npos) {
        return std::nullopt;
    }
    const std::string low = range.substr(start, hyphen - start);
    const std::string high = range.substr(hyphen + 1);
    if (!digits(low) || !digits(high)) {
        return std::nullopt;
    }
    const long lowValue = std::stol(low);
    return std::make_pair(start == 1 ? -lowValue : lowValue, std::stol(high));
}

// Which packed setting of register 255 a description names, by the page's keyword groups.
std::vector<int> PackedBitsNamed(const std::string& description) {
    const std::string text = Upper(description);
    std::vector<int> bits;
    if (Has(text, "边沿") || Has(text, "EDGE")) {
        bits.push_back(1);
    }
    if (Has(text, "模式") || Has(text, "MODE")) {
        bits.push_back(0);
    }
    if (Has(text, "方向") || Has(text, "DIRECTION")) {
        bits.push_back(2);
    }
    return bits;
}

// Registers that carry commands, alarms, tests, identity or capture, never a parameter.
bool IsReservedRegister(long address) {
    static const std::set<long> reserved = {
        0x00, 0x01, 0x02, 0x04, 0x05, 0x09, 0x0C, 0x1A, 0x1B, 0x1C, 0x40, 0x41, 0x42, 0x43, 0x44,
        0x45, 0x46, 0x47, 0x49, 0x4A, 0xD0, 0xD1, 0xDA, 0xF5, 0xF6, 0xF7, 0xF8, 0xFA, 0xFD};
    const bool alarms = address >= 16 && address <= 25;
    return alarms || reserved.count(address) > 0 || address > 0xFF;
}

bool IsUnsignedRegister(long address) {
    return address == 14 || address == 18 || address == 165;
}

class ModelData : public DataMdbTest {
protected:
    void SetUp() override {
        DataMdbTest::SetUp();
        models = ReadAll(db, "Select * from DriverTable",
                         {"DriverCode", "ProtocolVerssion", "DriverType", "Series", "ParaTable"});
        for (const Row& model : models) {
            codesOfTable[model.at("ParaTable")].insert(std::stoi(model.at("DriverCode")));
        }
        for (const auto& [table, codes] : codesOfTable) {
            try {
                tables[table] =
                    ReadAll(db, "Select * from " + table + " Order by rank", kParameterColumns);
            } catch (const CDbError& e) {
                missing.push_back(e.Description());
            }
        }
    }

    std::vector<Row> models;
    std::map<std::string, std::set<int>> codesOfTable;
    std::map<std::string, std::vector<Row>> tables;
    std::vector<std::string> missing;
};

TEST_F(ModelData, ModelsCoverSeriesGenerationsAndIoDrives) {
    std::set<std::pair<int, int>> keys;
    std::set<std::string> names;
    std::set<std::string> series;
    std::set<int> codes;
    bool earlier = false;
    bool later = false;
    for (const Row& model : models) {
        const int code = std::stoi(model.at("DriverCode"));
        const int version = std::stoi(model.at("ProtocolVerssion"));
        EXPECT_TRUE(keys.emplace(code, version).second)
            << "duplicate key " << code << "/" << version;
        EXPECT_GE(code, 1);
        EXPECT_LE(code, 32767);
        // The program looks up every version below 300 as 200; any other value there never matches.
        EXPECT_TRUE(version == 200 || version >= 300) << model.at("DriverType") << " " << version;
        earlier = earlier || version == 200;
        later = later || version >= 300;
        names.insert(model.at("DriverType"));
        series.insert(model.at("Series"));
        codes.insert(code);
    }
    EXPECT_TRUE(earlier && later);
    EXPECT_GE(names.size(), 6u);
    EXPECT_GE(series.size(), 2u);
    EXPECT_LE(series.size(), 3u);
    EXPECT_TRUE(codes.count(256) && codes.count(257));
}

TEST_F(ModelData, EveryNamedTableExistsWithAFullParameterSet) {
    EXPECT_TRUE(missing.empty()) << missing.front();
    for (const auto& [table, rows] : tables) {
        EXPECT_GE(rows.size(), 40u) << table;
        EXPECT_LE(rows.size(), 150u) << table;
    }
    // The page reads this table before any drive is identified.
    EXPECT_TRUE(tables.count("ParameterTable"));
    // A table no model names would escape every check here.
    for (const Row& row :
         ReadAll(db, "Select name from sqlite_master Where type='table'", {"name"})) {
        const std::string& name = row.at("name");
        EXPECT_TRUE(name == "DriverTable" || name == "AlarmTable" || tables.count(name) > 0)
            << name << " is named by no model";
    }
}

TEST_F(ModelData, DefaultsLieInTheirRangesAndRegisters) {
    for (const auto& [table, rows] : tables) {
        for (const Row& row : rows) {
            const std::string where = table + " " + row.at("Number");
            const long address = std::stol(row.at("Address"));
            const long value = std::stol(row.at("ParameterValue"));
            const auto written = WrittenLimits(row.at("Range"));
            ASSERT_TRUE(written) << where << ": range '" << row.at("Range") << "'";
            const auto [low, high] = *written;
            EXPECT_LE(low, high) << where;
            EXPECT_LE(low, value) << where;
            EXPECT_LE(value, high) << where;
            // What the 16-bit register can hold as the page shows it.
            const long least = IsUnsignedRegister(address) ? 0 : -32768;
            const long most = IsUnsignedRegister(address) ? 65535 : 32767;
            EXPECT_GE(low, least) << where;
            EXPECT_LE(high, most) << where;
            // The edit check reads a negative low limit as 0: it may refuse part of the range
            // but must never let a value outside it through, and must accept the default.
            const auto [checkedLow, checkedHigh] = CheckedLimits(row.at("Range"));
            EXPECT_GE(checkedLow, low) << where;
            EXPECT_LE(checkedHigh, high) << where;
            EXPECT_LE(checkedLow, value) << where;
            EXPECT_LE(value, checkedHigh) << where;
        }
    }
}

TEST_F(ModelData, RowsAreWellFormed) {
    for (const auto& [table, rows] : tables) {
        std::set<std::string> numbers;
        std::set<long> addresses;
        std::set<std::string> classes;
        for (const Row& row : rows) {
            const std::string where = table + " " + row.at("Number");
            EXPECT_TRUE(numbers.insert(row.at("Number")).second) << "duplicate " << where;
            EXPECT_TRUE(row.at("Invisible") == "0" || row.at("Invisible") == "1") << where;
            EXPECT_TRUE(row.at("Greyout") == "0" || row.at("Greyout") == "1") << where;
            EXPECT_FALSE(row.at("ParameterName").empty()) << where;
            const long address = std::stol(row.at("Address"));
            EXPECT_FALSE(IsReservedRegister(address)) << where << " on register " << address;
            if (address != 255) {
                EXPECT_TRUE(addresses.insert(address).second) << where << " shares " << address;
            }
            // "All" in a class name makes the filter load the whole table; a quote breaks it.
            EXPECT_FALSE(Has(row.at("Class"), "All")) << where;
            EXPECT_FALSE(Has(row.at("Class"), "'")) << where;
            classes.insert(row.at("Class"));
        }
        EXPECT_GE(classes.size(), 4u) << table;
        EXPECT_LE(classes.size(), 8u) << table;
    }
}

TEST_F(ModelData, EachClassKeepsToAParameterGroupOfItsOwn) {
    // Numbers read Pg.nn and people look a parameter up by its group, so a row numbered in
    // another class's group is misfiled. Hidden factory rows share P9 whatever their class.
    for (const auto& [table, rows] : tables) {
        std::map<std::string, std::string> groupOfClass;
        std::map<std::string, std::string> classOfGroup;
        for (const Row& row : rows) {
            if (row.at("Invisible") != "0") {
                continue;
            }
            const std::string& number = row.at("Number");
            const std::string group = number.substr(0, number.find('.'));
            const std::string& cls = row.at("Class");
            const std::string where = table + " " + number + " (" + cls + ")";
            EXPECT_EQ(groupOfClass.emplace(cls, group).first->second, group) << where;
            EXPECT_EQ(classOfGroup.emplace(group, cls).first->second, cls) << where;
        }
    }
}

TEST_F(ModelData, PackedBitRowsEachNameOneSetting) {
    std::set<std::string> seriesWithBits;
    for (const auto& [table, rows] : tables) {
        std::multiset<int> bits;
        for (const Row& row : rows) {
            if (row.at("Address") != "255") {
                continue;
            }
            const auto named = PackedBitsNamed(row.at("ParameterName"));
            ASSERT_EQ(named.size(), 1u) << table << " " << row.at("ParameterName");
            bits.insert(named[0]);
            EXPECT_EQ(row.at("Range"), "0-1") << table << " " << row.at("Number");
        }
        if (bits.empty()) {
            continue;
        }
        EXPECT_EQ(bits, (std::multiset<int>{0, 1, 2})) << table;
        for (const Row& model : models) {
            if (model.at("ParaTable") == table) {
                seriesWithBits.insert(model.at("Series"));
            }
        }
    }
    std::set<std::string> allSeries;
    for (const Row& model : models) {
        allSeries.insert(model.at("Series"));
    }
    EXPECT_EQ(seriesWithBits, allSeries);
}

TEST_F(ModelData, IoFunctionRowsBelongToIoDrivesAndNameTheirKind) {
    for (const auto& [table, rows] : tables) {
        const std::set<int>& codes = codesOfTable.at(table);
        const bool ioTable = codes.count(256) > 0 || codes.count(257) > 0;
        std::size_t inputs = 0;
        std::size_t outputs = 0;
        for (const Row& row : rows) {
            const long address = std::stol(row.at("Address"));
            if (address < 101 || address > 120) {
                continue;
            }
            const std::string where = table + " " + row.at("Number");
            EXPECT_TRUE(ioTable) << where << ": IO register in a table of other drives";
            // The IO editor takes any description holding "SI" for an input, else "SO" for an
            // output: an output description must not hold "SI" anywhere (as POSITION does).
            const std::string name = Upper(row.at("ParameterName"));
            if (name.rfind("SI", 0) == 0) {
                ++inputs;
            } else {
                EXPECT_EQ(name.rfind("SO", 0), 0u) << where;
                EXPECT_FALSE(Has(name, "SI")) << where;
                ++outputs;
            }
        }
        if (ioTable) {
            // Tables of IO drives serve only IO drives, or their IO rows would edit as numbers.
            for (int code : codes) {
                EXPECT_TRUE(code == 256 || code == 257) << table;
            }
            EXPECT_GT(inputs, 0u) << table;
            EXPECT_GT(outputs, 0u) << table;
        }
    }
}

TEST_F(DataMdbTest, AlarmTableCoversTheCommonFaults) {
    const auto rows =
        ReadAll(db, "Select * from AlarmTable", {"AlarmCode", "AlarmName", "Grade", "Dispose"});
    std::map<long, int> rowsOfCode;
    for (const Row& row : rows) {
        const long code = std::stol(row.at("AlarmCode"));
        // Register 16 holds a signed code and 0 means no alarm.
        EXPECT_GE(code, 1);
        EXPECT_LE(code, 32767);
        EXPECT_FALSE(row.at("AlarmName").empty());
        EXPECT_FALSE(row.at("Grade").empty());
        EXPECT_GE(row.at("Dispose").size(), 20u) << code;
        ++rowsOfCode[code];
    }
    EXPECT_GE(rowsOfCode.size(), 20u);
    EXPECT_TRUE(std::any_of(rowsOfCode.begin(), rowsOfCode.end(),
                            [](const auto& entry) { return entry.second == 2; }));
}

TEST(ModelDataText, NoFieldHoldsAFileSeparatorOrLineBreak) {
    // Parameter rows and model names go into '|'-separated, line-based parameter files.
    const kdb::SqliteHandle db =
        kdb::OpenCipherFile(dbtest::DataMdbPath(), kdb::kPassword, kdb::OpenMode::ReadOnly);
    std::vector<std::string> tables;
    sqlite3_stmt* list = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT name FROM sqlite_master WHERE type='table'", -1,
                                 &list, nullptr),
              SQLITE_OK);
    while (sqlite3_step(list) == SQLITE_ROW) {
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
    }
    sqlite3_finalize(list);
    ASSERT_GE(tables.size(), 3u);
    std::size_t fields = 0;
    for (const std::string& table : tables) {
        sqlite3_stmt* rows = nullptr;
        ASSERT_EQ(
            sqlite3_prepare_v2(db.get(), ("SELECT * FROM " + table).c_str(), -1, &rows, nullptr),
            SQLITE_OK);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(rows); ++c) {
                ASSERT_NE(sqlite3_column_type(rows, c), SQLITE_NULL) << table;
                const std::string text =
                    reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
                EXPECT_EQ(text.find_first_of("|\r\n"), std::string::npos) << table << ": " << text;
                ++fields;
            }
        }
        sqlite3_finalize(rows);
    }
    EXPECT_GT(fields, 1000u);
}

} // namespace
