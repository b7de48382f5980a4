#include "ParameterSearch.h"

#include <algorithm>

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

bool MatchesSearch(const ParameterRow& row, std::string_view text) {
    const std::string_view wanted = Trimmed(text);
    return wanted.empty() || Contains(row.Cell(kNumberColumn), wanted) ||
           Contains(row.Cell(kDescriptionColumn), wanted);
}

} // namespace kestova::params
