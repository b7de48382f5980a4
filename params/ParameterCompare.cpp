#include "ParameterCompare.h"

#include "ParameterMarks.h"

#include <map>

namespace kestova::params {

std::vector<RowDifference> CompareWithFile(const ParameterRows& driveRows,
                                           const ParameterRows& fileRows) {
    std::map<std::string, const ParameterRow*> inFile;
    for (const ParameterRow& row : fileRows) {
        inFile.emplace(RowKey(row), &row);
    }
    std::vector<RowDifference> out;
    for (std::size_t i = 0; i < driveRows.size(); ++i) {
        const auto found = inFile.find(RowKey(driveRows[i]));
        if (found == inFile.end()) {
            continue;
        }
        const std::string wanted =
            ShownAfterWrite(*found->second, found->second->Cell(kValueColumn));
        const std::string& held = driveRows[i].Cell(kValueColumn);
        if (wanted != held) {
            out.push_back({static_cast<int>(i), held, wanted});
        }
    }
    return out;
}

ParameterRows MergeChosen(const ParameterRows& driveRows,
                          const std::vector<RowDifference>& chosen) {
    ParameterRows out = driveRows;
    for (const RowDifference& d : chosen) {
        if (d.row >= 0 && static_cast<std::size_t>(d.row) < out.size()) {
            out[static_cast<std::size_t>(d.row)].Cell(kValueColumn) = d.fileValue;
        }
    }
    return out;
}

} // namespace kestova::params
