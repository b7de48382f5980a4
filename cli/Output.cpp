#include "Output.h"

#include <algorithm>
#include <ostream>

namespace kestova::cli {

namespace {

bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

} // namespace

std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t c = lead;
        if (lead >= 0xF0) {
            length = 4;
            c = lead & 0x07U;
        } else if (lead >= 0xE0) {
            length = 3;
            c = lead & 0x0FU;
        } else if (lead >= 0xC0) {
            length = 2;
            c = lead & 0x1FU;
        }
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6U) | (static_cast<unsigned char>(text[i + k]) & 0x3FU);
        }
        width += Wide(c) ? 2 : 1;
        i += length;
    }
    return width;
}

TextTable::TextTable(std::vector<std::string> headings) : headings_(std::move(headings)) {}

void TextTable::Add(std::vector<std::string> cells) {
    cells.resize(headings_.size());
    rows_.push_back(std::move(cells));
}

void TextTable::Print(std::ostream& out) const {
    std::vector<std::size_t> widths(headings_.size(), 0);
    auto measure = [&](const std::vector<std::string>& cells) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(cells[c]));
        }
    };
    measure(headings_);
    for (const auto& row : rows_) {
        measure(row);
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            text += cells[c];
            if (c + 1 < cells.size()) {
                text.append(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out << text << '\n';
    };
    line(headings_);
    for (const auto& row : rows_) {
        line(row);
    }
}

void PrintJson(std::ostream& out, const Json& document) {
    out << document.dump(2) << '\n';
}

void PrintFields(std::ostream& out,
                 const std::vector<std::pair<std::string, std::string>>& fields) {
    std::size_t width = 0;
    for (const auto& [label, value] : fields) {
        width = std::max(width, DisplayWidth(label));
    }
    for (const auto& [label, value] : fields) {
        out << label << std::string(width - DisplayWidth(label) + 2, ' ') << value << '\n';
    }
}

Progress::~Progress() {
    Clear();
}

void Progress::Show(const std::string& text) {
    if (!enabled_) {
        return;
    }
    const std::size_t width = DisplayWidth(text);
    err_ << '\r' << text;
    if (width < shown_) {
        err_ << std::string(shown_ - width, ' ') << '\r' << text;
    }
    err_.flush();
    shown_ = width;
}

void Progress::Clear() {
    if (!enabled_ || shown_ == 0) {
        return;
    }
    err_ << '\r' << std::string(shown_, ' ') << '\r';
    err_.flush();
    shown_ = 0;
}

} // namespace kestova::cli
