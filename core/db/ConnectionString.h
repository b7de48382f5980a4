#pragma once

// Reading an ADO-style connection string: "Key=value;Key=value;...;Data Source=path".

#include <string>

namespace kdb {

struct ConnectionSettings {
    std::string provider;
    std::string password;   // "Jet OLEDB:DataBase Password"; empty for an unkeyed file
    std::string dataSource; // everything after "Data Source=", so blanks and ';' need no quotes
};

// Keys are matched without regard to case or surrounding blanks; unknown keys are skipped.
// Throws CDbError (DB_E_CONNECTION_STRING) when no "Data Source=" is given.
ConnectionSettings ParseConnectionString(const std::string& text);

} // namespace kdb
