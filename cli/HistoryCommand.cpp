// history: the change journal of the drive on the line, oldest first, newest last.

#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "Output.h"

#include "ChangeUndo.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

int History(Context& c) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const std::string path = JournalPathOf(s);
    const JournalRead read = ReadJournalOf(s, c.err);
    // Each entry's run number, as undo takes it.
    const std::vector<JournalRun> runs = JournalRuns(read.entries);
    std::vector<std::size_t> runOf(read.entries.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        for (const std::size_t i : runs[r].entries) {
            runOf[i] = r + 1;
        }
    }
    if (c.link.json) {
        Json list = Json::array();
        for (std::size_t i = 0; i < read.entries.size(); ++i) {
            const JournalEntry& e = read.entries[i];
            list.push_back({{"run", runOf[i]},
                            {"time", e.time},
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
    TextTable table({"RUN", "TIME (UTC)", "NUMBER", "REGISTER", "OLD", "NEW", "SOURCE", "STORED"});
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        const JournalEntry& e = read.entries[i];
        // A store or reset marker changes no value: nothing was read before it.
        const bool store = !IsParameterEntry(e);
        table.Add({std::to_string(runOf[i]), e.time, store ? "(" + e.source + ")" : e.number,
                   std::to_string(e.address), store ? "" : e.oldValue.value_or("(not read)"),
                   e.newValue, e.source, e.stored ? "yes" : "no"});
    }
    table.Print(c.out);
    return kSuccess;
}

} // namespace kestova::cli
