#include "CommandJournal.h"

#include "ParameterTransfer.h"
#include "RowNames.h"

#include <ostream>

namespace kestova::cli {

using namespace params;

std::string JournalPathOf(const Session& s) {
    return JournalPath(JournalFolder(), s.Options().station, s.Id().driveCode, s.Port());
}

CommandJournal::CommandJournal(const Session& s, std::ostream& err, std::string source)
    : path_(s.Options().offline ? std::string() : JournalPathOf(s)), err_(err),
      source_(std::move(source)) {}

void CommandJournal::Written(const ParameterRow& row, std::optional<std::string> old,
                             std::string value) {
    Append({JournalTimeNow(), row.Cell(kNumberColumn), AddressOf(row), std::move(old),
            std::move(value), source_, false});
}

void CommandJournal::Stored() {
    Append({JournalTimeNow(), "", kStoreRegister, std::nullopt, "", "store", true});
}

void CommandJournal::Append(const JournalEntry& entry) {
    if (path_.empty()) {
        return;
    }
    if (const auto error = AppendJournal(path_, entry)) {
        if (!failed_) {
            err_ << "kestova-cli: the change journal " << path_
                 << " could not be written: " << *error << "; the drive was written all the same\n";
        }
        failed_ = true;
    }
}

} // namespace kestova::cli
