#include "CRecordset.h"

#include "SqlCipherFile.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool OnlyBlanksAndComments(std::string_view rest) {
    std::size_t p = 0;
    while (p < rest.size()) {
        if (std::isspace(static_cast<unsigned char>(rest[p])) || rest[p] == ';') {
            ++p;
        } else if (rest.substr(p, 2) == "--") {
            while (p < rest.size() && rest[p] != '\n') {
                ++p;
            }
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

CRecordset::~CRecordset() {
    Close();
}

void CRecordset::Open(sqlite3* db, const std::string& sql) {
    Close();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()) + 1, &statement, &tail);
    if (rc != SQLITE_OK) {
        throw kdb::EngineError(db, rc);
    }
    const std::size_t used = tail != nullptr ? static_cast<std::size_t>(tail - sql.c_str()) : 0;
    if (!OnlyBlanksAndComments(std::string_view(sql).substr(std::min(used, sql.size())))) {
        // Running only the first of several statements would hide the rest silently.
        sqlite3_finalize(statement);
        throw CDbError(DB_E_TRAILING_TEXT, "Characters found after the end of the SQL statement.");
    }
    if (statement == nullptr || sqlite3_column_count(statement) == 0) {
        sqlite3_finalize(statement);
        return;
    }
    const int count = sqlite3_column_count(statement);
    m_columns.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement, i);
        m_columns.emplace_back(name != nullptr ? name : "");
    }
    m_statement = statement;
    m_eof = false;
    try {
        Step();
    } catch (...) {
        Close();
        throw;
    }
}

void CRecordset::Step() {
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW) {
        return;
    }
    m_eof = true;
    if (rc != SQLITE_DONE) {
        throw kdb::EngineError(sqlite3_db_handle(m_statement), rc);
    }
}

void CRecordset::RequireOpen() const {
    if (m_statement == nullptr) {
        throw CDbError(DB_E_RECORDSET_CLOSED,
                       "The operation is not allowed on a closed recordset.");
    }
}

void CRecordset::RequireRow() const {
    RequireOpen();
    if (m_eof) {
        throw CDbError(DB_E_NO_CURRENT_ROW,
                       "There is no current row: the recordset is at its end.");
    }
}

bool CRecordset::IsEOF() const {
    RequireOpen();
    return m_eof;
}

std::string CRecordset::GetFieldValue(std::string_view column) const {
    RequireRow();
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (!SameName(m_columns[i], column)) {
            continue;
        }
        const int index = static_cast<int>(i);
        switch (sqlite3_column_type(m_statement, index)) {
        case SQLITE_NULL:
            throw CDbError(DB_E_NULL_VALUE,
                           "Field '" + std::string(column) + "' holds no value (NULL).");
        case SQLITE_BLOB:
            throw CDbError(DB_E_NOT_TEXT,
                           "Field '" + std::string(column) + "' holds binary data, not text.");
        default: {
            const auto* text = sqlite3_column_text(m_statement, index);
            const int bytes = sqlite3_column_bytes(m_statement, index);
            if (text == nullptr) {
                throw kdb::EngineError(sqlite3_db_handle(m_statement), SQLITE_NOMEM);
            }
            return std::string(reinterpret_cast<const char*>(text),
                               static_cast<std::size_t>(bytes));
        }
        }
    }
    throw CDbError(DB_E_NO_SUCH_COLUMN,
                   "Item '" + std::string(column) + "' cannot be found in the recordset.");
}

void CRecordset::MoveNext() {
    RequireRow();
    Step();
}

void CRecordset::Close() noexcept {
    if (m_statement != nullptr) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    m_eof = true;
    m_columns.clear();
}
