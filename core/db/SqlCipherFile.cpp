#include "SqlCipherFile.h"

#include "KestovaDb.h"

#include <sqlite3.h>

#include <cctype>

namespace kdb {

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The engine gives a few names a meaning of their own (":memory:", "file:" URIs, the empty name
// for a temporary file). A database path is only ever a file name.
std::string AsFileName(const std::string& path) {
    if (path.front() == ':' || StartsWithNoCase(path, "file:")) {
        return "./" + path;
    }
    return path;
}

long TableCount(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1,
                                &statement, nullptr);
    if (rc != SQLITE_OK) {
        throw EngineError(db, rc);
    }
    rc = sqlite3_step(statement);
    const long count = rc == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(statement, 0)) : 0;
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW) {
        throw EngineError(db, rc);
    }
    return count;
}

} // namespace

void SqliteCloser::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

CDbError EngineError(sqlite3* db, int code) {
    const char* text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return CDbError(db != nullptr ? sqlite3_extended_errcode(db) : code, text);
}

void Execute(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        CDbError error(rc, message != nullptr ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw error;
    }
}

SqliteHandle OpenCipherFile(const std::string& path, const std::string& password, OpenMode mode) {
    if (path.empty()) {
        throw CDbError(SQLITE_CANTOPEN, "No database file is named.");
    }
    const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(AsFileName(path).c_str(), &raw, flags, nullptr);
    SqliteHandle db(raw);
    if (rc != SQLITE_OK) {
        throw CDbError(rc, "Cannot open database file " + path + ": " +
                               (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    }
    sqlite3_extended_result_codes(raw, 1);
    if (!password.empty()) {
        const int keyed = sqlite3_key(raw, password.data(), static_cast<int>(password.size()));
        if (keyed != SQLITE_OK) {
            throw EngineError(raw, keyed);
        }
        Execute(raw, "PRAGMA kdf_iter = " + std::to_string(kKdfIterations));
    }
    long tables = 0;
    try {
        tables = TableCount(raw);
    } catch (const CDbError& e) {
        // A wrong key and a file that is no database read alike.
        throw CDbError(e.Error(), "Cannot read database file " + path + ": " + e.Description());
    }
    if (mode == OpenMode::ReadOnly && tables == 0) {
        throw CDbError(SQLITE_NOTADB, "Database file " + path + " holds no tables.");
    }
    return db;
}

std::string CipherVersion(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    std::string version;
    if (sqlite3_prepare_v2(db, "PRAGMA cipher_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        version = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(statement);
    return version;
}

} // namespace kdb
