#include "ParameterTable.h"

namespace kestova::tune {

std::vector<TableRow> TableOfParameterRows(const params::ParameterRows& rows) {
    std::vector<TableRow> table;
    for (const params::ParameterRow& row : rows) {
        const int address = params::LeadingInteger(row.Cell(params::kAddressColumn));
        if (address == params::kBitFieldAddress || address < 0 || address > 0xFFFF) {
            continue;
        }
        const params::RangeLimits range = params::SplitRange(row.Cell(params::kRangeColumn));
        table.push_back({static_cast<std::uint16_t>(address), row.Cell(params::kNumberColumn),
                         row.Cell(params::kDescriptionColumn), row.Cell(params::kUnitColumn),
                         static_cast<int>(range.low), static_cast<int>(range.high)});
    }
    return table;
}

} // namespace kestova::tune
