// Times the parameter page's database work on the built DATA.mdb, for every parameter table:
//   open:  OpenConnection to the first row of "Select * from   T  Order by rank asc, Greyout desc"
//   load:  that query read to its end, all eleven columns of every row as text, on an open
//          connection (what the page does on every class change)
// Goal: both under 20 ms. Usage: bench_db [DATA.mdb] [rounds]

#include "CADO.h"
#include "KestovaDb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kColumns[] = {"rank",    "Greyout", "Invisible",     "Number",
                                "Address", "Class",   "ParameterName", "ParameterValue",
                                "Range",   "Units",   "Remark"};

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Figures {
    double best;
    double median;
    double worst;
};

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2], samples.back()};
}

std::size_t LoadTable(CADO& db, const std::string& query) {
    std::size_t rows = 0;
    std::size_t bytes = 0;
    RecordsetPtr rs = db.OpenRecordset(query);
    while (!rs->IsEOF()) {
        for (const char* column : kColumns) {
            bytes += rs->GetFieldValue(column).size();
        }
        ++rows;
        rs->MoveNext();
    }
    rs->Close();
    return bytes > 0 ? rows : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : KESTOVA_DATA_MDB;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    const std::string connection = kdb::ProgramConnectionString(path);

    std::set<std::string> tables;
    {
        CADO db;
        if (!db.OpenConnection(connection)) {
            std::fprintf(stderr, "bench_db: %s\n", db.LastConnectionError().c_str());
            return 1;
        }
        RecordsetPtr rs = db.OpenRecordset("Select ParaTable from DriverTable");
        for (; !rs->IsEOF(); rs->MoveNext()) {
            tables.insert(rs->GetFieldValue("ParaTable"));
        }
        rs->Close();
    }

    std::printf("DATA.mdb: %s, %d rounds, key derivation %d rounds\n", path.c_str(), rounds,
                kdb::kKdfIterations);
    std::printf("%-16s %5s  %-28s %-28s\n", "table", "rows", "open to first row ms (min/med/max)",
                "whole load ms (min/med/max)");
    bool met = true;
    for (const std::string& table : tables) {
        const std::string query = "Select * from   " + table + "  Order by rank asc, Greyout desc";
        std::vector<double> open;
        std::vector<double> load;
        std::size_t rows = 0;
        for (int i = 0; i < rounds; ++i) {
            CADO db;
            const Clock::time_point start = Clock::now();
            if (!db.OpenConnection(connection)) {
                return 1;
            }
            RecordsetPtr rs = db.OpenRecordset(query);
            const bool any = !rs->IsEOF();
            open.push_back(Milliseconds(Clock::now() - start));
            rs->Close();
            if (!any) {
                return 1;
            }
            const Clock::time_point loadStart = Clock::now();
            rows = LoadTable(db, query);
            load.push_back(Milliseconds(Clock::now() - loadStart));
        }
        const Figures o = Summarise(open);
        const Figures l = Summarise(load);
        met = met && o.median < 20.0 && l.median < 20.0;
        std::printf("%-16s %5zu  %7.3f %7.3f %7.3f        %7.3f %7.3f %7.3f\n", table.c_str(), rows,
                    o.best, o.median, o.worst, l.best, l.median, l.worst);
    }
    std::printf("goal (median under 20 ms): %s\n", met ? "met" : "missed");
    return 0;
}
