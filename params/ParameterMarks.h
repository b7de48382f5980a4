#pragma once

// Which rows of the parameter list carry a mark, with no widget: a value that differs from the
// model's default, and a value written to the drive since its last store (held in the drive's
// working memory only, and lost at power-off until the store).
//
// A row is known by its Par. # and its register, so the marks outlive a new class filter or a
// file's rows replacing the list.

#include "ParameterRules.h"

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace kestova::params {

// The Value text the drive shows for a row after `text` has been written to it (a read gives
// this text, so it compares with what a read shows). A text that is not wholly an integer the
// register can hold stays as it is: "12.9" or 70000 is never taken for 12 or 4464.
std::string ShownAfterWrite(const ParameterRow& row, std::string_view text);

// The key that names a row across tables, files and class filters.
std::string RowKey(const ParameterRow& row);

class ParameterMarks {
public:
    // The model's defaults: the Value cells of its whole table as the database holds them.
    void SetDefaults(const ParameterRows& tableRows);
    bool HasDefaults() const { return !defaults_.empty(); }
    // The row's Value cell differs from the model's default; a row the table lacks never does.
    bool DiffersFromDefault(const ParameterRow& row) const;
    // The default's text, empty when the table lacks the row.
    std::string DefaultOf(const ParameterRow& row) const;

    void MarkWritten(const ParameterRow& row);
    bool IsUnstored(const ParameterRow& row) const;
    // The drive stored its working memory, or a new connection started: nothing is unstored.
    void Stored() { unstored_.clear(); }
    std::size_t UnstoredCount() const { return unstored_.size(); }

private:
    std::map<std::string, std::string> defaults_; // key -> the default as the drive shows it
    std::set<std::string> unstored_;
};

} // namespace kestova::params
