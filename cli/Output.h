#pragma once

// How commands print: aligned text tables for people, JSON documents for scripts, and a progress
// line on standard error that only a terminal gets.

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace kestova::cli {

using Json = nlohmann::ordered_json;

class TextTable {
public:
    explicit TextTable(std::vector<std::string> headings);
    void Add(std::vector<std::string> cells);
    bool Empty() const { return rows_.empty(); }
    // Columns padded to their widest cell (counted in characters, East Asian wide ones as two),
    // two blanks apart, the last column unpadded.
    void Print(std::ostream& out) const;

private:
    std::vector<std::string> headings_;
    std::vector<std::vector<std::string>> rows_;
};

// Characters a terminal gives a UTF-8 text.
std::size_t DisplayWidth(const std::string& text);

// One document, indented, then a line end.
void PrintJson(std::ostream& out, const Json& document);

// "label  value" lines with the labels aligned.
void PrintFields(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& fields);

// A line rewritten in place on a terminal; nothing otherwise.
class Progress {
public:
    Progress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void Show(const std::string& text);
    void Clear();

private:
    std::ostream& err_;
    bool enabled_;
    std::size_t shown_ = 0;
};

} // namespace kestova::cli
