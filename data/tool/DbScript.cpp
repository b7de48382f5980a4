#include "DbScript.h"

#include "SqlCipherFile.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace kdb {

namespace {

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    if (rc != SQLITE_OK) {
        throw EngineError(db, rc);
    }
    return Statement(raw);
}

// Where the next statement starts, past blanks and "--" comments.
const char* SkipToStatement(const char* at) {
    const char* p = at;
    while (*p != '\0') {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p != '\0' && *p != '\n') {
                ++p;
            }
        } else {
            break;
        }
    }
    return p;
}

void RunSource(sqlite3* db, const SqlSource& source) {
    const char* next = source.text.c_str();
    const char* counted = next;
    int line = 1;
    while (*next != '\0') {
        for (const char* start = SkipToStatement(next); counted < start; ++counted) {
            line += *counted == '\n' ? 1 : 0;
        }
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db, next, -1, &raw, &tail);
        Statement statement(raw);
        if (rc == SQLITE_OK && raw != nullptr) {
            while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            }
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        }
        if (rc != SQLITE_OK) {
            throw CDbError(sqlite3_extended_errcode(db),
                           source.name + ":" + std::to_string(line) + ": " + sqlite3_errmsg(db));
        }
        if (tail == nullptr || tail == next) {
            break;
        }
        next = tail;
    }
}

std::string Quoted(const char* text, int bytes) {
    std::string out = "'";
    for (int i = 0; i < bytes; ++i) {
        out += text[i];
        if (text[i] == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

std::string Literal(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return "NULL";
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT: {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", sqlite3_column_double(statement, column));
        std::string text = buffer;
        if (text.find_first_of(".eEn") == std::string::npos) {
            text += ".0"; // keep it a real number when read back
        }
        return text;
    }
    case SQLITE_BLOB: {
        const auto* bytes =
            static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        static const char digits[] = "0123456789ABCDEF";
        std::string out = "X'";
        for (int i = 0; i < size; ++i) {
            out += digits[bytes[i] >> 4];
            out += digits[bytes[i] & 0xF];
        }
        return out + "'";
    }
    default:
        return Quoted(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                      sqlite3_column_bytes(statement, column));
    }
}

std::string QuotedName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

} // namespace

void BuildDatabase(const std::string& outPath, const std::string& password,
                   const std::vector<SqlSource>& sources) {
    namespace fs = std::filesystem;
    const fs::path target(outPath);
    const fs::path temporary = target.string() + ".part";
    std::error_code ignored;
    fs::remove(temporary, ignored);
    try {
        SqliteHandle db = OpenCipherFile(temporary.string(), password, OpenMode::Create);
        Execute(db.get(), "BEGIN");
        for (const SqlSource& source : sources) {
            RunSource(db.get(), source);
        }
        Execute(db.get(), "COMMIT");
    } catch (...) {
        fs::remove(temporary, ignored);
        throw;
    }
    std::error_code renamed;
    fs::rename(temporary, target, renamed);
    if (renamed) {
        fs::remove(temporary, ignored);
        throw CDbError(SQLITE_CANTOPEN, "Cannot write " + outPath + ": " + renamed.message());
    }
}

void DumpDatabase(sqlite3* db, std::ostream& out) {
    std::vector<std::pair<std::string, std::string>> tables;
    {
        Statement schema = Prepare(db, "SELECT name, sql FROM sqlite_master WHERE type = 'table' "
                                       "AND name NOT LIKE 'sqlite_%' ORDER BY rowid");
        while (sqlite3_step(schema.get()) == SQLITE_ROW) {
            tables.emplace_back(
                reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 0)),
                reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 1)));
        }
    }
    for (const auto& [name, sql] : tables) {
        out << sql << ";\n";
        Statement rows = Prepare(db, "SELECT * FROM " + QuotedName(name) + " ORDER BY rowid");
        const int columns = sqlite3_column_count(rows.get());
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            out << "INSERT INTO " << QuotedName(name) << " VALUES(";
            for (int c = 0; c < columns; ++c) {
                out << (c > 0 ? "," : "") << Literal(rows.get(), c);
            }
            out << ");\n";
        }
        if (rc != SQLITE_DONE) {
            throw EngineError(db, rc);
        }
    }
    Statement others =
        Prepare(db, "SELECT sql FROM sqlite_master WHERE type IN "
                    "('index', 'view', 'trigger') AND sql IS NOT NULL ORDER BY rowid");
    while (sqlite3_step(others.get()) == SQLITE_ROW) {
        out << reinterpret_cast<const char*>(sqlite3_column_text(others.get(), 0)) << ";\n";
    }
}

std::size_t PrintQuery(sqlite3* db, const std::string& sql, std::ostream& out) {
    Statement statement = Prepare(db, sql);
    const int columns = sqlite3_column_count(statement.get());
    std::size_t count = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* text = sqlite3_column_text(statement.get(), c);
            out << (c > 0 ? "|" : "")
                << (text != nullptr ? reinterpret_cast<const char*>(text) : "");
        }
        out << '\n';
        ++count;
    }
    if (rc != SQLITE_DONE) {
        throw EngineError(db, rc);
    }
    return count;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CDbError(SQLITE_CANTOPEN, "Cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace kdb
