// history: the change journal of the drive on the line, oldest first, newest last.

#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "Output.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

int History(Context& c) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const std::string path = JournalPathOf(s);
    const JournalRead read = ReadJournal(path);
    if (read.problem) {
        throw CliError(kRefused, "cannot read the change journal " + path + ": " + *read.problem);
    }
    for (const JournalDamage& d : read.damaged) {
        c.err << path << ":" << d.line << ": damaged entry skipped (" << d.reason << ")\n";
    }
    if (c.link.json) {
        Json list = Json::array();
        for (const JournalEntry& e : read.entries) {
            list.push_back({{"time", e.time},
                            {"number", e.number},
                            {"address", e.address},
                            {"old", e.oldValue ? Json(*e.oldValue) : Json(nullptr)},
                            {"new", e.newValue},
                            {"source", e.source},
                            {"stored", e.stored}});
        }
        PrintJson(c.out, {{"journal", path}, {"entries", list}, {"damaged", read.damaged.size()}});
        return kSuccess;
    }
    if (read.entries.empty()) {
        c.out << "no changes journalled for this drive (" << path << ")\n";
        return kSuccess;
    }
    TextTable table({"TIME (UTC)", "NUMBER", "REGISTER", "OLD", "NEW", "SOURCE", "STORED"});
    for (const JournalEntry& e : read.entries) {
        // A store changes no value: nothing was read before it.
        const bool store = e.number.empty();
        table.Add({e.time, store ? "(store)" : e.number, std::to_string(e.address),
                   store ? "" : e.oldValue.value_or("(not read)"), e.newValue, e.source,
                   e.stored ? "yes" : "no"});
    }
    table.Print(c.out);
    return kSuccess;
}

} // namespace kestova::cli
