#include "CADO.h"

#include "ConnectionString.h"

CADO::CADO() : m_recordset(std::make_shared<CRecordset>()) {}

CADO::~CADO() {
    CloseConnection();
}

bool CADO::OpenConnection(const std::string& connectionString) {
    CloseConnection();
    m_lastConnectionError.clear();
    const kdb::ConnectionSettings settings = kdb::ParseConnectionString(connectionString);
    try {
        m_connection =
            kdb::OpenCipherFile(settings.dataSource, settings.password, kdb::OpenMode::ReadOnly);
    } catch (const CDbError& e) {
        m_lastConnectionError = e.Description();
    }
    return IsConnectionOpen();
}

bool CADO::IsConnectionOpen() const noexcept {
    return m_connection != nullptr;
}

RecordsetPtr CADO::OpenRecordset(const std::string& sql) {
    m_recordset->Close();
    if (!m_connection) {
        throw CDbError(DB_E_NOT_OPEN, "The connection to the database is not open.");
    }
    m_recordset->Open(m_connection.get(), sql);
    return m_recordset;
}

bool CADO::IsRecordsetOpen() const noexcept {
    return m_recordset->IsOpen();
}

void CADO::CloseConnection() noexcept {
    // A statement left open would keep the engine from releasing the file.
    m_recordset->Close();
    m_connection.reset();
}
