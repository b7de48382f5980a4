#pragma once

// Taking journalled changes back. The journal's entries fall into runs (one command, download,
// edit or undo each); a run is undone as a whole: every parameter it changed gets back the value
// the drive held before the run, written by the single-write rule and read back.
//
// A value that was not read before the run cannot be given back, and a parameter the drive now
// holds at another value than the run left it at has been changed since, by someone else or a
// later run: both are left as they are and reported, never overwritten blindly.

#include "ChangeJournal.h"
#include "JournalWriter.h"
#include "ParameterRules.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CKTCOM;

namespace kestova::params {

struct JournalRun {
    std::string group;                // the run's name; "#<line>" for an entry without one
    std::string time;                 // its first entry's
    std::string source;               // its first entry's
    std::vector<std::size_t> entries; // into the journal's entries, oldest first
    bool changesValues = false;       // holds a parameter write (a store or reset alone does not)
};

// The runs of a journal, in the order each began.
std::vector<JournalRun> JournalRuns(const std::vector<JournalEntry>& entries);

// The newest run that changed a value, if any.
std::optional<std::size_t> LastChangingRun(const std::vector<JournalRun>& runs);

enum class UndoOutcome {
    Undone,       // written and read back as the old value
    NotRead,      // the run did not know the value before it
    NotInTable,   // not a parameter of the connected drive's table
    NotWritable,  // the old value is outside what the row takes now
    ChangedSince, // the drive holds another value than the run left
    Refused,      // written, but the drive reads back another value (or refused it)
    NotReadNow,   // what the drive holds now could not be read: nothing written
    LinkFailed,   // the exchange failed; the undo stopped here
    NotReached,   // after a link failure
};

struct UndoStep {
    std::string number;
    int address = 0;
    std::optional<std::string> target; // the value before the run
    std::string left;                  // the value the run left
    std::string held;                  // what the drive held when the undo came (empty: not read)
    std::string back;                  // what it read back after the write (empty: not written)
    UndoOutcome outcome = UndoOutcome::NotReached;
};

struct UndoReport {
    std::vector<UndoStep> steps; // newest change first
    std::uint16_t linkFailure = 0;
    bool Whole() const; // every step undone
    int Count(UndoOutcome outcome) const;
};

// What undoing `run` asks: one step per parameter it changed, newest first, each going back to
// the value before the run's first write of it.
std::vector<UndoStep> PlanUndo(const std::vector<JournalEntry>& entries, const JournalRun& run);

// Undoes `run` on the drive whose parameter table is `table` (its rows, as the database has
// them). Every value written is journalled through `journal`.
UndoReport UndoRun(CKTCOM& link, std::uint8_t station, const ParameterRows& table,
                   const std::vector<JournalEntry>& entries, const JournalRun& run,
                   JournalWriter& journal,
                   const std::function<void(std::chrono::milliseconds)>& wait);

// "P0.03 (register 3): changed since, the drive holds 12 (the change left 15)".
std::string UndoStepText(const UndoStep& step);

} // namespace kestova::params
