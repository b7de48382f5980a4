#include "ParameterMarks.h"

namespace kestova::params {

std::string ShownAfterWrite(const ParameterRow& row, std::string_view text) {
    const int address = LeadingInteger(row.Cell(kAddressColumn));
    const RangeLimits width = RegisterLimits(address, row.Cell(kDescriptionColumn));
    const std::optional<long long> value = WholeInteger(text);
    if (!value || *value < width.low || *value > width.high) {
        // No register holds it: compared as it stands, so it never equals what a drive shows.
        return std::string(text);
    }
    if (address == kBitFieldAddress) {
        return std::to_string(*value); // one bit row: its setting's number
    }
    return FormatParameterValue(row.Cell(kDescriptionColumn), address,
                                static_cast<std::int16_t>(static_cast<std::uint16_t>(*value)));
}

std::string RowKey(const ParameterRow& row) {
    return row.Cell(kNumberColumn) + '|' + std::to_string(LeadingInteger(row.Cell(kAddressColumn)));
}

void ParameterMarks::SetDefaults(const ParameterRows& tableRows) {
    defaults_.clear();
    for (const ParameterRow& row : tableRows) {
        defaults_[RowKey(row)] = ShownAfterWrite(row, row.Cell(kValueColumn));
    }
}

std::string ParameterMarks::DefaultOf(const ParameterRow& row) const {
    const auto found = defaults_.find(RowKey(row));
    return found != defaults_.end() ? found->second : std::string();
}

bool ParameterMarks::DiffersFromDefault(const ParameterRow& row) const {
    const auto found = defaults_.find(RowKey(row));
    return found != defaults_.end() &&
           ShownAfterWrite(row, row.Cell(kValueColumn)) != found->second;
}

void ParameterMarks::MarkWritten(const ParameterRow& row) {
    unstored_.insert(RowKey(row));
}

bool ParameterMarks::IsUnstored(const ParameterRow& row) const {
    return unstored_.count(RowKey(row)) != 0;
}

} // namespace kestova::params
