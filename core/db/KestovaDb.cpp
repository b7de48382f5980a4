#include "KestovaDb.h"

namespace kdb {

std::string ProgramConnectionString(const std::string& databasePath) {
    return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:DataBase Password=") +
           kPassword + ";Data Source=" + databasePath;
}

std::string DatabasePathIn(const std::string& programDirectory) {
    return programDirectory + "/" + kFileName;
}

} // namespace kdb
