// kestova-db: builds the model database from its SQL sources and reads a built file back.
//
//   kestova-db build -o DATA.mdb schema.sql drivers.sql ...
//   kestova-db dump DATA.mdb                 schema and rows as SQL
//   kestova-db query DATA.mdb "SELECT ..."   rows as fields joined by '|'
//
// --password TEXT before the command replaces the program's password ("" for a plain file).

#include "DbScript.h"
#include "KestovaDb.h"
#include "SqlCipherFile.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::cerr << "usage: kestova-db [--password TEXT] build -o OUT SOURCE.sql...\n"
                 "       kestova-db [--password TEXT] dump FILE\n"
                 "       kestova-db [--password TEXT] query FILE SQL\n";
    return 2;
}

int Build(const std::string& password, const std::vector<std::string>& args) {
    std::string out;
    std::vector<kdb::SqlSource> sources;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            out = args[++i];
        } else {
            sources.push_back({args[i], kdb::ReadTextFile(args[i])});
        }
    }
    if (out.empty() || sources.empty()) {
        return Usage();
    }
    kdb::BuildDatabase(out, password, sources);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string password = kdb::kPassword;
    if (args.size() >= 2 && args[0] == "--password") {
        password = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        return Usage();
    }
    const std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "build") {
            return Build(password, args);
        }
        if (command == "dump" && args.size() == 1) {
            const kdb::SqliteHandle db =
                kdb::OpenCipherFile(args[0], password, kdb::OpenMode::ReadOnly);
            kdb::DumpDatabase(db.get(), std::cout);
            return 0;
        }
        if (command == "query" && args.size() == 2) {
            const kdb::SqliteHandle db =
                kdb::OpenCipherFile(args[0], password, kdb::OpenMode::ReadOnly);
            kdb::PrintQuery(db.get(), args[1], std::cout);
            return 0;
        }
    } catch (const CDbError& e) {
        std::cerr << "kestova-db: " << e.Description() << '\n';
        return 1;
    }
    return Usage();
}
