#include "ParameterMarks.h"

namespace kestova::params {

std::string ShownAfterWrite(const ParameterRow& row, std::string_view text) {
    const int address = LeadingInteger(row.Cell(kAddressColumn));
    if (address == kBitFieldAddress) {
        return std::to_string(LeadingInteger(text)); // one bit row: its setting's number
    }
    const std::uint16_t raw = EncodeParameterValue(address, text, {});
    return FormatParameterValue(row.Cell(kDescriptionColumn), address,
                                static_cast<std::int16_t>(raw));
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
