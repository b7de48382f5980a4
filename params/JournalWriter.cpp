#include "JournalWriter.h"

#include "ParameterTransfer.h"

namespace kestova::params {

JournalWriter::JournalWriter(std::string path, std::string source)
    : path_(std::move(path)), source_(std::move(source)), group_(NewJournalGroup()) {}

bool JournalWriter::Written(const std::string& number, int address, std::optional<std::string> old,
                            std::string value) {
    return Append({JournalTimeNow(), number, address, std::move(old), std::move(value), source_,
                   false, group_});
}

bool JournalWriter::Stored() {
    return Append({JournalTimeNow(), "", kStoreRegister, std::nullopt, "", "store", true, group_});
}

bool JournalWriter::Reset() {
    return Append(
        {JournalTimeNow(), "", kFactoryResetRegister, std::nullopt, "", "reset", true, group_});
}

bool JournalWriter::TakeNewFailure() {
    if (!failure_ || told_) {
        return false;
    }
    told_ = true;
    return true;
}

bool JournalWriter::Append(JournalEntry entry) {
    if (path_.empty()) {
        return true;
    }
    if (auto error = AppendJournal(path_, entry)) {
        if (!failure_) {
            failure_ = std::move(error);
        }
        return false;
    }
    return true;
}

} // namespace kestova::params
