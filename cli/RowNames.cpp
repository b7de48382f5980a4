#include "RowNames.h"

#include "ParameterMarks.h"

#include <cstdlib>

namespace kestova::cli {

using namespace params;

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A register address typed as a number; -1 when the word is not one.
long AddressWord(const std::string& word) {
    if (word.empty()) {
        return -1;
    }
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 0);
    if (end == nullptr || *end != '\0' || value < 0 || value > 0xFFFF) {
        return -1;
    }
    return value;
}

} // namespace

int AddressOf(const ParameterRow& row) {
    return LeadingInteger(row.Cell(kAddressColumn));
}

std::string RowNumbers(const ParameterRows& rows, const std::vector<int>& which) {
    std::string out;
    for (const int i : which) {
        const ParameterRow& row = rows.at(static_cast<std::size_t>(i));
        out += out.empty() ? "" : ", ";
        out += row.Cell(kNumberColumn).empty() ? "register " + row.Cell(kAddressColumn)
                                               : row.Cell(kNumberColumn);
    }
    return out;
}

std::vector<std::size_t> FindRows(const ParameterRows& rows, const std::string& word) {
    const std::string wanted = Lower(word);
    std::vector<std::size_t> found;
    for (const Column column : {kNumberColumn, kDescriptionColumn}) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (Lower(rows[i].Cell(column)) == wanted) {
                found.push_back(i);
            }
        }
        if (!found.empty()) {
            return found;
        }
    }
    const long address = AddressWord(word);
    for (std::size_t i = 0; address >= 0 && i < rows.size(); ++i) {
        if (AddressOf(rows[i]) == address) {
            found.push_back(i);
        }
    }
    return found;
}

std::string ShownValue(const ParameterRow& row, std::string_view text) {
    return ShownAfterWrite(row, text);
}

} // namespace kestova::cli
