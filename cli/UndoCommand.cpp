// undo: a run of journalled changes taken back, the last one or the one history numbers N.

#include "CliError.h"
#include "CommandJournal.h"
#include "Commands.h"
#include "LinkFailure.h"
#include "Output.h"

#include "ChangeUndo.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

namespace {

const char* OutcomeName(UndoOutcome outcome) {
    switch (outcome) {
    case UndoOutcome::Undone:
        return "undone";
    case UndoOutcome::NotRead:
        return "not-read";
    case UndoOutcome::NotInTable:
        return "not-in-table";
    case UndoOutcome::NotWritable:
        return "not-writable";
    case UndoOutcome::ChangedSince:
        return "changed-since";
    case UndoOutcome::Refused:
        return "refused";
    case UndoOutcome::NotReadNow:
        return "not-read-now";
    case UndoOutcome::LinkFailed:
        return "link-failed";
    case UndoOutcome::NotReached:
        return "not-reached";
    }
    return "";
}

} // namespace

int Undo(Context& c, int runNumber) {
    if (c.link.offline) {
        throw CliError(kUsage, "undo writes to a drive: it cannot run --offline");
    }
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const std::string path = JournalPathOf(s);
    const JournalRead read = ReadJournalOf(s, c.err);
    const std::vector<JournalRun> runs = JournalRuns(read.entries);
    std::size_t which = 0;
    if (runNumber == 0) {
        const std::optional<std::size_t> last = LastChangingRun(runs);
        if (!last) {
            throw CliError(kRefused, "nothing to undo: the journal " + path +
                                         " holds no change to this drive");
        }
        which = *last;
    } else if (runNumber < 0 || static_cast<std::size_t>(runNumber) > runs.size()) {
        throw CliError(kUsage, "there is no run " + std::to_string(runNumber) + " in " + path +
                                   " (" + std::to_string(runs.size()) + " runs; see history)");
    } else {
        which = static_cast<std::size_t>(runNumber - 1);
        if (!runs[which].changesValues) {
            throw CliError(kRefused, "run " + std::to_string(runNumber) + " (" +
                                         runs[which].source + ") changed no value");
        }
    }

    CommandJournal journal(s, c.err, "undo");
    const UndoReport report = UndoRun(s.Link(), s.Station(), s.LoadRows("All"), read.entries,
                                      runs[which], journal.Writer(), Session::Wait);
    journal.Tell();
    if (c.link.json) {
        Json steps = Json::array();
        for (const UndoStep& step : report.steps) {
            steps.push_back({{"number", step.number},
                             {"address", step.address},
                             {"target", step.target ? Json(*step.target) : Json(nullptr)},
                             {"held", step.held},
                             {"back", step.back},
                             {"outcome", OutcomeName(step.outcome)}});
        }
        PrintJson(c.out, {{"run", which + 1}, {"steps", steps}, {"whole", report.Whole()}});
    } else {
        c.out << "run " << which + 1 << " (" << runs[which].source << ", " << runs[which].time
              << "):\n";
        for (const UndoStep& step : report.steps) {
            c.out << "  " << UndoStepText(step) << '\n';
        }
        if (report.Count(UndoOutcome::Undone) > 0) {
            c.out << "the values given back are in working memory; store them with set --store "
                     "or the program's Write to Drive\n";
        }
    }
    if (report.linkFailure != 0) {
        c.err << "the drive stopped answering: " << LinkFailureText(report.linkFailure) << '\n';
        return StatusAfterFailure(s.Link(), s.Station());
    }
    return report.Whole() ? kSuccess : kRefused;
}

} // namespace kestova::cli
