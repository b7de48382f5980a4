#pragma once

// Reading a query's rows from the model database the way every lookup of the pages does: the
// rows read before a database error are kept, and the error says why the reading stopped.

#include <functional>
#include <string>

class CADO;
class CRecordset;

namespace kestova::params {

enum class LoadStatus {
    Ok,
    NotOpen, // the query left no open record set
    DbError  // the database raised; the rows read before it are kept
};

// Runs sql and calls eachRow for every record until the end or a database error; the record set
// is closed on every path. errorDescription is the database's text on DbError.
LoadStatus ReadRows(CADO& db, const std::string& sql,
                    const std::function<void(CRecordset&)>& eachRow, std::string& errorDescription);

} // namespace kestova::params
