#include "ParameterRules.h"

#include "CADO.h"

#include <climits>
#include <cstdio>
#include <string>

namespace kestova::params {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// ASCII letters only: the Chinese keywords are multi-byte UTF-8 and must pass through untouched.
std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool Holds(const std::string& text, std::string_view word) {
    return text.find(word) != std::string::npos;
}

// A bit row's setting as the Value cell shows it: 1 when the bit is set.
int BitOf(BitSetting setting, std::int16_t raw) {
    const int v = raw;
    switch (setting) {
    case BitSetting::Mode:
        return (v & 1) == 1 ? 1 : 0;
    case BitSetting::Edge:
        return (v & 2) == 2 ? 1 : 0;
    case BitSetting::Direction:
        return (v & 4) == 4 ? 1 : 0;
    case BitSetting::None:
        break;
    }
    return v;
}

// A class name inside a quoted SQL literal: an apostrophe is written twice.
std::string QuoteLiteral(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out;
}

std::string Format(const char* format, const std::string& a, const std::string& b = {}) {
    const int size = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    std::string out(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, a.c_str(), b.c_str());
    out.resize(static_cast<std::size_t>(size));
    return out;
}

} // namespace

bool IsUnsignedAddress(int address) {
    return address == 14 || address == 18 || address == 165;
}

int LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Saturates instead of wrapping: an absurdly long number must stay out of every range.
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

BitSetting BitKeyword(std::string_view description) {
    const std::string upper = UpperAscii(description);
    if (Holds(upper, "边沿") || Holds(upper, "EDGE")) {
        return BitSetting::Edge;
    }
    if (Holds(upper, "模式") || Holds(upper, "MODE")) {
        return BitSetting::Mode;
    }
    if (Holds(upper, "方向") || Holds(upper, "DIRECTION")) {
        return BitSetting::Direction;
    }
    return BitSetting::None;
}

std::string FormatParameterValue(std::string_view description, int address, std::int16_t raw) {
    int shown = raw;
    if (IsUnsignedAddress(address)) {
        shown = static_cast<std::uint16_t>(raw);
    } else if (address == kBitFieldAddress) {
        shown = BitOf(BitKeyword(description), raw);
    }
    return std::to_string(shown);
}

std::uint16_t ComposeBitFieldRegister(const ParameterRows& rows) {
    int mode = 0;
    int edge = 0;
    int direction = 0;
    for (const ParameterRow& row : rows) {
        if (LeadingInteger(row.Cell(kAddressColumn)) != kBitFieldAddress) {
            continue;
        }
        const int value = LeadingInteger(row.Cell(kValueColumn));
        switch (BitKeyword(row.Cell(kDescriptionColumn))) {
        case BitSetting::Mode:
            mode = value;
            break;
        case BitSetting::Edge:
            edge = value;
            break;
        case BitSetting::Direction:
            direction = value;
            break;
        case BitSetting::None:
            break;
        }
    }
    // Unsigned, so that an odd value typed into a bit row cannot overflow; only 16 bits are kept.
    const auto packed = static_cast<unsigned>(mode) | (static_cast<unsigned>(edge) << 1U) |
                        (static_cast<unsigned>(direction) << 2U);
    return static_cast<std::uint16_t>(packed);
}

std::uint16_t EncodeParameterValue(int address, std::string_view valueText,
                                   const ParameterRows& rows) {
    if (address == kBitFieldAddress) {
        return ComposeBitFieldRegister(rows);
    }
    return static_cast<std::uint16_t>(LeadingInteger(valueText));
}

RangeLimits SplitRange(std::string_view range) {
    std::size_t sign = 0;
    while (sign < range.size() && IsBlank(range[sign])) {
        ++sign;
    }
    std::size_t hyphen = std::string_view::npos;
    if (sign < range.size() && (range[sign] == '-' || range[sign] == '+')) {
        hyphen = range.find('-', sign + 1);
    }
    if (hyphen == std::string_view::npos) {
        hyphen = range.find('-');
    }
    if (hyphen == std::string_view::npos) {
        return {0, LeadingInteger(range)};
    }
    return {LeadingInteger(range.substr(0, hyphen)), LeadingInteger(range.substr(hyphen + 1))};
}

RangeLimits RegisterLimits(int address, std::string_view description) {
    if (IsUnsignedAddress(address)) {
        return {0, 65535};
    }
    if (address == kBitFieldAddress && BitKeyword(description) != BitSetting::None) {
        return {0, 1};
    }
    return {-32768, 32767};
}

std::optional<long long> WholeInteger(std::string_view text, bool hex) {
    // More digits than this make no register's value, and cannot overflow.
    constexpr std::size_t kMaxDigits = 12;
    int base = 10;
    bool negative = false;
    if (hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > kMaxDigits) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return negative ? -value : value;
}

std::optional<long long> ValueToWrite(const ParameterRow& row, std::string_view text, bool hex) {
    const std::optional<long long> value = WholeInteger(text, hex);
    if (!value) {
        return std::nullopt;
    }
    const RangeLimits range = SplitRange(row.Cell(kRangeColumn));
    const RangeLimits width =
        RegisterLimits(LeadingInteger(row.Cell(kAddressColumn)), row.Cell(kDescriptionColumn));
    if (*value < range.low || *value > range.high || *value < width.low || *value > width.high) {
        return std::nullopt;
    }
    return value;
}

std::string TableQuery(const std::string& table, const std::string& filter) {
    if (filter.empty() || Holds(filter, "All")) {
        return Format("Select * from   %s  Order by rank asc, Greyout desc", table);
    }
    return Format("Select * from   %s  Where Class='%s' Order by rank asc, Greyout desc", table,
                  QuoteLiteral(filter));
}

std::string ClassQuery(const std::string& table) {
    return Format("Select distinct Class from  %s Order by Class asc", table);
}

TableLoad LoadParameterRows(CADO& db, const std::string& table, const std::string& filter) {
    TableLoad load;
    load.status = ReadRows(
        db, TableQuery(table, filter),
        [&](CRecordset& rs) {
            if (rs.GetFieldValue("Invisible") != "0") {
                return;
            }
            ParameterRow row;
            row.Cell(kNumberColumn) = rs.GetFieldValue("Number");
            row.Cell(kAddressColumn) = rs.GetFieldValue("Address");
            // Read although not shown: a row whose class or order key cannot be read is as
            // broken as one whose value cannot.
            rs.GetFieldValue("Class");
            row.Cell(kDescriptionColumn) = rs.GetFieldValue("ParameterName");
            row.Cell(kValueColumn) = rs.GetFieldValue("ParameterValue");
            row.Cell(kRangeColumn) = rs.GetFieldValue("Range");
            row.Cell(kUnitColumn) = rs.GetFieldValue("Units");
            row.Cell(kNoteColumn) = rs.GetFieldValue("Remark");
            rs.GetFieldValue("Greyout");
            load.rows.push_back(std::move(row));
        },
        load.errorDescription);
    return load;
}

ClassLoad LoadClasses(CADO& db, const std::string& table) {
    ClassLoad load;
    load.status = ReadRows(
        db, ClassQuery(table),
        [&](CRecordset& rs) { load.classes.push_back(rs.GetFieldValue("Class")); },
        load.errorDescription);
    return load;
}

} // namespace kestova::params
