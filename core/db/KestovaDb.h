#pragma once

// The program's model database: its file name, how it is keyed, and the connection string the
// program opens it with. Everything that opens DATA.mdb (the program, the simulated drive, the
// build tool, tests) takes these from here so that they cannot drift apart.

#include <string>

namespace kdb {

inline constexpr const char* kFileName = "DATA.mdb";
inline constexpr const char* kPassword = "KZRP";

// Key derivation rounds of our files. The password ships inside the program, so stretching it
// protects nothing; a low count keeps opening the file well under the time a user notices.
inline constexpr int kKdfIterations = 4000;

// "Provider=...;Jet OLEDB:DataBase Password=KZRP;Data Source=" followed by the path as it stands:
// no quotes, no closing semicolon.
std::string ProgramConnectionString(const std::string& databasePath);

// The database path beside a program directory given without trailing separator.
std::string DatabasePathIn(const std::string& programDirectory);

} // namespace kdb
