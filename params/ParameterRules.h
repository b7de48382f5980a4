#pragma once

// The parameter list's rules that need no widget: the rows of a model's parameter table, the
// queries that fetch them, and the rules that turn a raw 16-bit register into the text of the
// Value cell and back. The page, its tests and the command-line tool all call these.

#include "DbRows.h"

#include <array>
#include <cstdint>
#include <optional>
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
// leading integer cut to 16 bits. Callers check a value with ValueToWrite first.
std::uint16_t EncodeParameterValue(int address, std::string_view valueText,
                                   const ParameterRows& rows);

// The Range cell split into its limits. The hyphen that separates them is the first one after
// the low limit's own sign, so "-1000-1000" reads -1000 to 1000; each side by the leading-integer
// rule. Without a separating hyphen the low limit is 0 and the high one the whole text.
struct RangeLimits {
    long long low = 0;
    long long high = 0;
};
RangeLimits SplitRange(std::string_view range);

// What the register behind a row can hold: 0..65535 at an unsigned register, 0..1 in a bit row
// of register 255, -32768..32767 elsewhere.
RangeLimits RegisterLimits(int address, std::string_view description);

// A value to be written, as typed or as a file gives it: wholly an integer, that is an optional
// sign and decimal digits with nothing before, between or after them (with `hex` also "0x" and
// hexadecimal digits). Anything else, and a number too long for any register, gives nothing.
// Unlike the leading-integer rule, which stays for showing cells, "12abc", "1e2", "12.9" and ""
// are not numbers here.
std::optional<long long> WholeInteger(std::string_view text, bool hex = false);

// The value `text` asks of the row when it may be written: wholly an integer inside both the
// row's Range and what its register holds. Nothing for any other text.
std::optional<long long> ValueToWrite(const ParameterRow& row, std::string_view text,
                                      bool hex = false);

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
