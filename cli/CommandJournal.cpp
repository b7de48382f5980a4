#include "CommandJournal.h"

#include "CliError.h"

#include "ParameterTransfer.h"
#include "RowNames.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

std::string JournalPathOf(const Session& s) {
    return JournalPath(JournalFolder(), s.Options().station, s.Id().driveCode, s.Port());
}

JournalRead ReadJournalOf(const Session& s, std::ostream& err) {
    const std::string path = JournalPathOf(s);
    JournalRead read = ReadJournal(path);
    if (read.problem) {
        throw CliError(kRefused, "cannot read the change journal " + path + ": " + *read.problem);
    }
    for (const JournalDamage& d : read.damaged) {
        err << path << ":" << d.line << ": damaged entry skipped (" << d.reason << ")\n";
    }
    return read;
}

CommandJournal::CommandJournal(const Session& s, std::ostream& err, std::string source)
    : writer_(s.Options().offline ? std::string() : JournalPathOf(s), std::move(source)),
      err_(err) {}

void CommandJournal::Written(const ParameterRow& row, std::optional<std::string> old,
                             std::string value) {
    writer_.Written(row.Cell(kNumberColumn), AddressOf(row), std::move(old), std::move(value));
    Tell();
}

void CommandJournal::Stored() {
    writer_.Stored();
    Tell();
}

void CommandJournal::Tell() {
    if (writer_.TakeNewFailure()) {
        err_ << "kestova-cli: the change journal " << writer_.Path()
             << " could not be written: " << *writer_.Failure()
             << "; the drive was written all the same\n";
    }
}

} // namespace kestova::cli
