#pragma once

// The model database: one connection to DATA.mdb and the one recordset that every query reuses.
//
//   CADO db;
//   if (!db.OpenConnection(kdb::ProgramConnectionString(path))) { ... "Unable to connect DB" }
//   RecordsetPtr rs = db.OpenRecordset("Select * from   AlarmTable Where AlarmCode=3");
//   while (!rs->IsEOF()) { rs->GetFieldValue("AlarmName"); rs->MoveNext(); }
//   rs->Close();
//
// Failures raise CDbError; CADO catches none of them. Opening a query closes the previous one,
// whoever holds a reference to it, so a caller reads its rows completely before the next query.
// One object serves one thread at a time.

#include "CRecordset.h"
#include "DbError.h"
#include "SqlCipherFile.h"

#include <string>

class CADO {
public:
    CADO();
    virtual ~CADO();
    CADO(const CADO&) = delete;
    CADO& operator=(const CADO&) = delete;

    // Closes an open connection first. A missing, unreadable or wrongly keyed file leaves the
    // connection closed and returns false (LastConnectionError tells why); a connection string
    // without a data source raises.
    bool OpenConnection(const std::string& connectionString);
    bool IsConnectionOpen() const noexcept;

    // Closes the shared recordset, runs sql on it and returns a new reference to it. Raises when
    // the connection is not open or the engine refuses the query; the recordset is then closed.
    RecordsetPtr OpenRecordset(const std::string& sql);
    bool IsRecordsetOpen() const noexcept;

    // Closes the recordset and the connection.
    void CloseConnection() noexcept;

    const std::string& LastConnectionError() const noexcept { return m_lastConnectionError; }

private:
    kdb::SqliteHandle m_connection;
    RecordsetPtr m_recordset;
    std::string m_lastConnectionError;
};
