#pragma once

// The parameter list's rules that need no widget: the rows of a model's parameter table, the
// queries that fetch them, and the rules that turn a raw 16-bit register into the text of the
// Value cell and back. The page, its tests and the command-line tool all call these.

#include "DbRows.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CADO;

namespace kestova::params {

// The cells of one row, as the list shows them.
enum Column : int {
    kAddressColumn = 0, // hidden: the register address, decimal
    kNumberColumn = 1,
    kDescriptionColumn = 2,
    kValueColumn = 3,
    kRangeColumn = 4,
    kUnitColumn = 5,
    kNoteColumn = 6,
};
inline constexpr int kColumnCount = 7;

struct ParameterRow {
    std::array<std::string, kColumnCount> cells;
    const std::string& Cell(Column c) const { return cells[static_cast<std::size_t>(c)]; }
    std::string& Cell(Column c) { return cells[static_cast<std::size_t>(c)]; }
};
using ParameterRows = std::vector<ParameterRow>;

// The table used before any drive is identified.
inline constexpr const char* kDefaultTableName = "ParameterTable";
// The register that packs the three one-bit settings, each a row of its own.
inline constexpr int kBitFieldAddress = 255;
// Registers shown unsigned, 0..65535.
bool IsUnsignedAddress(int address);

// Skips leading blanks, takes an optional sign and the decimal digits up to the first other
// character; a text without digits gives 0.
int LeadingInteger(std::string_view text);

enum class BitSetting { None, Mode, Edge, Direction };
// Which bit a register-255 row stands for, from its description (matched upper-cased: EDGE
// first, then MODE, then DIRECTION, each also in Chinese).
BitSetting BitKeyword(std::string_view description);

// The Value cell's text for a raw register value of the row at `address`.
std::string FormatParameterValue(std::string_view description, int address, std::int16_t raw);
// Register 255 built from the rows' bit settings; a setting whose row is absent stays 0.
std::uint16_t ComposeBitFieldRegister(const ParameterRows& rows);
// The 16-bit value to write for a row: register 255 from all bit rows, any other the text's
// leading integer cut to 16 bits.
std::uint16_t EncodeParameterValue(int address, std::string_view valueText,
                                   const ParameterRows& rows);

// The Range cell split at its first hyphen; each side by the leading-integer rule (no hyphen:
// low 0, high the whole text).
struct RangeLimits {
    int low = 0;
    int high = 0;
};
RangeLimits SplitRange(std::string_view range);
bool InRange(std::string_view range, std::string_view typed);

// The queries. A filter that is empty or contains "All" selects the whole table; a class name is
// escaped, so one with an apostrophe works.
std::string TableQuery(const std::string& table, const std::string& filter);
std::string ClassQuery(const std::string& table);

struct TableLoad {
    ParameterRows rows; // the rows appended, also those before a database error
    LoadStatus status = LoadStatus::Ok;
    std::string errorDescription;
};
// The visible rows (Invisible exactly "0") of the table for the filter, in query order.
TableLoad LoadParameterRows(CADO& db, const std::string& table, const std::string& filter);

struct ClassLoad {
    std::vector<std::string> classes; // those read, also before a database error
    LoadStatus status = LoadStatus::Ok;
    std::string errorDescription;
};
ClassLoad LoadClasses(CADO& db, const std::string& table);

} // namespace kestova::params
