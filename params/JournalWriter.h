#pragma once

// One run's entries in a drive's change journal: a command of the tool, a download, an edit, an
// undo. The journal serves the user and never stops a write: a failure to append is kept for the
// caller to say once, and the writes go on.

#include "ChangeJournal.h"

#include <optional>
#include <string>

namespace kestova::params {

class JournalWriter {
public:
    // An empty path journals nothing (offline, nothing reaches a drive).
    JournalWriter(std::string path, std::string source);

    // A value the drive took; `old` as read before the write, none when it could not be read.
    // False when the entry could not be appended.
    bool Written(const std::string& number, int address, std::optional<std::string> old,
                 std::string value);
    // The drive confirmed a store of everything it holds.
    bool Stored();
    // The drive confirmed a reset to its factory settings.
    bool Reset();

    const std::string& Path() const { return path_; }
    const std::string& Group() const { return group_; }
    // The first failure to append, if any (each later one is not repeated).
    const std::optional<std::string>& Failure() const { return failure_; }
    // True once, for the first failure: the moment to tell the user.
    bool TakeNewFailure();

private:
    bool Append(JournalEntry entry);

    std::string path_;
    std::string source_;
    std::string group_;
    std::optional<std::string> failure_;
    bool told_ = false;
};

} // namespace kestova::params
