#pragma once

// The one exception of the database layer: a result code and the engine's description text.
// Query sites show the description after their own prefix, so it must read well on its own.

#include <stdexcept>
#include <string>

// Result codes. Below 0x10000 the code is the engine's own (SQLite extended result code); the
// codes from 0x10000 on are raised by the access layer itself.
enum DbErrorCode : long {
    DB_E_CONNECTION_STRING = 0x10001, // the connection string names no data source
    DB_E_NOT_OPEN = 0x10002,          // a query was asked for without an open connection
    DB_E_RECORDSET_CLOSED = 0x10003,  // the recordset was used while closed
    DB_E_NO_CURRENT_ROW = 0x10004,    // a field was read, or a move asked for, at the end
    DB_E_NO_SUCH_COLUMN = 0x10005,    // the result has no column of that name
    DB_E_NULL_VALUE = 0x10006,        // the field holds no value
    DB_E_NOT_TEXT = 0x10007,          // the field holds binary data
    DB_E_TRAILING_TEXT = 0x10008,     // the SQL text goes on after its statement
};

class CDbError : public std::runtime_error {
public:
    CDbError(long code, const std::string& description)
        : std::runtime_error(description), m_code(code) {}

    long Error() const noexcept { return m_code; }
    std::string Description() const { return what(); }

private:
    long m_code;
};
