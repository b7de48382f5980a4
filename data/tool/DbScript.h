#pragma once

// Turning SQL text into an encrypted database file and back, so that the model data lives as
// reviewable text and every built file can be read back as text.

#include <iosfwd>
#include <string>
#include <vector>

struct sqlite3;

namespace kdb {

struct SqlSource {
    std::string name; // shown in error messages
    std::string text;
};

// Builds a new file at outPath from the sources, run in order in one transaction. The file is
// written under a temporary name and renamed over outPath only when every statement succeeded,
// so a failed build leaves no half-made database behind. Throws CDbError naming the source and
// line of the failing statement.
void BuildDatabase(const std::string& outPath, const std::string& password,
                   const std::vector<SqlSource>& sources);

// Writes the schema and every row as SQL that BuildDatabase reads back: tables in creation order,
// rows in stored order, then indexes, views and triggers.
void DumpDatabase(sqlite3* db, std::ostream& out);

// Writes each row of a query as its fields joined by '|'. Returns the number of rows.
std::size_t PrintQuery(sqlite3* db, const std::string& sql, std::ostream& out);

// A whole file as text; throws CDbError when it cannot be read.
std::string ReadTextFile(const std::string& path);

} // namespace kdb
