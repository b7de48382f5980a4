#include "ParameterCompare.h"

#include "ParameterMarks.h"

#include <algorithm>
#include <map>

namespace kestova::params {

namespace {

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Contains(std::string_view text, std::string_view wanted) {
    return std::search(text.begin(), text.end(), wanted.begin(), wanted.end(),
                       [](char a, char b) { return Folded(a) == Folded(b); }) != text.end();
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

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

bool MatchesSearch(const ParameterRow& row, std::string_view text) {
    const std::string_view wanted = Trimmed(text);
    return wanted.empty() || Contains(row.Cell(kNumberColumn), wanted) ||
           Contains(row.Cell(kDescriptionColumn), wanted);
}

} // namespace kestova::params
