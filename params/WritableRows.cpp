#include "WritableRows.h"

#include <algorithm>

namespace kestova::params {

namespace {

std::string Label(const ParameterRow& row, int index) {
    const std::string& number = row.Cell(kNumberColumn);
    return number.empty() ? "row " + std::to_string(index + 1) : number;
}

// The table's row for the address, and for register 255 for the same bit.
const ParameterRow* TableRow(const ParameterRows& table, long long address, BitSetting bit) {
    for (const ParameterRow& row : table) {
        const std::optional<long long> at = WholeInteger(row.Cell(kAddressColumn));
        if (at && *at == address &&
            (address != kBitFieldAddress || BitKeyword(row.Cell(kDescriptionColumn)) == bit)) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

std::vector<RowRefusal> RowsNotWritable(const ParameterRows& rows, const ParameterRows& table) {
    std::vector<RowRefusal> refused;
    bool bitRowRefused = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ParameterRow& row = rows[i];
        const int index = static_cast<int>(i);
        const std::string& addressText = row.Cell(kAddressColumn);
        const std::optional<long long> address = WholeInteger(addressText);
        const BitSetting bit = BitKeyword(row.Cell(kDescriptionColumn));
        const ParameterRow* own =
            address && (*address != kBitFieldAddress || bit != BitSetting::None)
                ? TableRow(table, *address, bit)
                : nullptr;
        if (own == nullptr) {
            refused.push_back({index, Label(row, index) + " (register " + addressText +
                                          "): not a parameter of this drive"});
        } else {
            // The drive's own range and register, whatever the file says of them.
            const std::string& value = row.Cell(kValueColumn);
            if (!ValueToWrite(*own, value)) {
                refused.push_back(
                    {index,
                     Label(row, index) + ": " + (value.empty() ? "an empty value" : value) +
                         (WholeInteger(value) ? " is out of " : " is not a whole number in ") +
                         own->Cell(kRangeColumn)});
            }
        }
        if (!refused.empty() && refused.back().row == index && address &&
            *address == kBitFieldAddress) {
            bitRowRefused = true;
        }
    }
    if (bitRowRefused) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int index = static_cast<int>(i);
            const bool listed = std::any_of(refused.begin(), refused.end(),
                                            [&](const RowRefusal& r) { return r.row == index; });
            if (!listed && WholeInteger(rows[i].Cell(kAddressColumn)) == kBitFieldAddress) {
                refused.push_back({index, Label(rows[i], index) +
                                              ": shares register 255 with a bit that cannot be "
                                              "written"});
            }
        }
        std::sort(refused.begin(), refused.end(),
                  [](const RowRefusal& a, const RowRefusal& b) { return a.row < b.row; });
    }
    return refused;
}

ParameterRows WritableRows(const ParameterRows& rows, const std::vector<RowRefusal>& refused,
                           std::vector<int>& kept) {
    ParameterRows out;
    kept.clear();
    std::size_t next = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (next < refused.size() && refused[next].row == static_cast<int>(i)) {
            ++next;
            continue;
        }
        out.push_back(rows[i]);
        kept.push_back(static_cast<int>(i));
    }
    return out;
}

} // namespace kestova::params
