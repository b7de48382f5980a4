#pragma once

// Opening an encrypted database file and proving its key, shared by the access layer and the
// build tool. The key is proven by reading the schema: SQLCipher itself accepts any key and only
// fails at the first read.

#include "DbError.h"

#include <memory>
#include <string>

struct sqlite3;

namespace kdb {

struct SqliteCloser {
    void operator()(sqlite3* db) const noexcept;
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

enum class OpenMode {
    ReadOnly, // an existing file that holds at least one table
    Create,   // read-write, created when missing
};

// Throws CDbError carrying the engine's code and text, prefixed with what failed.
SqliteHandle OpenCipherFile(const std::string& path, const std::string& password, OpenMode mode);

// The engine's last error on db as a CDbError.
CDbError EngineError(sqlite3* db, int code);

// Runs SQL that returns no rows; throws CDbError on failure.
void Execute(sqlite3* db, const std::string& sql);

// The version of the cipher engine linked, or empty when the engine has no cipher.
std::string CipherVersion(sqlite3* db);

} // namespace kdb
