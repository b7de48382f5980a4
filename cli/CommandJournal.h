#pragma once

// A command's entries in the connected drive's change journal. The journal serves the user; it
// never stops a command: a journal that cannot be written is said once on standard error and the
// command goes on with its own exit status.

#include "ChangeJournal.h"
#include "JournalWriter.h"
#include "ParameterRules.h"
#include "Session.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace kestova::cli {

// The journal file of the drive the session is connected to.
std::string JournalPathOf(const Session& s);

// That journal as read: a file that cannot be read ends the command (status 1); each damaged
// entry is named on `err` and left out.
params::JournalRead ReadJournalOf(const Session& s, std::ostream& err);

class CommandJournal {
public:
    // Offline nothing reaches a drive, so nothing is journalled.
    CommandJournal(const Session& s, std::ostream& err, std::string source);

    // A value the drive took; `old` as read before the write, none when it could not be read.
    void Written(const params::ParameterRow& row, std::optional<std::string> old,
                 std::string value);
    // The drive confirmed a store of everything it holds.
    void Stored();

    // For a run that journals its own writes; Tell() afterwards says a failure to append.
    params::JournalWriter& Writer() { return writer_; }
    void Tell();

private:
    params::JournalWriter writer_;
    std::ostream& err_;
};

} // namespace kestova::cli
