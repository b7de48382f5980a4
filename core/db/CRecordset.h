#pragma once

// The rows of one query, read forward one at a time. Every field reads as text whatever its
// column type; reading a NULL field, a column that is not there, or past the end raises CDbError.

#include "DbError.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CRecordset {
public:
    CRecordset() = default;
    ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    bool IsOpen() const noexcept { return m_statement != nullptr; }

    // True once the rows are used up (and for a query without rows). Raises when closed.
    bool IsEOF() const;

    // The current row's value of the named column (matched without regard to case) as text.
    std::string GetFieldValue(std::string_view column) const;

    void MoveNext();

    // Closing a closed recordset does nothing.
    void Close() noexcept;

private:
    friend class CADO;

    // Prepares sql on db and moves to its first row. A statement that returns no columns is not
    // run and leaves the recordset closed. Raises on any engine error.
    void Open(sqlite3* db, const std::string& sql);
    void Step();
    void RequireOpen() const;
    void RequireRow() const;

    sqlite3_stmt* m_statement = nullptr;
    bool m_eof = true;
    std::vector<std::string> m_columns;
};

using RecordsetPtr = std::shared_ptr<CRecordset>;
