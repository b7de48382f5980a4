#pragma once

// The change journal: every parameter write made to a drive, appended to one file per drive, so
// that a user can see what was changed, from what, and whether it was stored.
//
// One text line per entry, UTF-8, fields separated by a tab:
//
//     K2 <time> <group> <Par. #> <register> <old> <new> <source> <stored> <crc>
//
// time is UTC in ISO 8601 (2026-12-08T05:30:12Z); old is "?" when the drive's value could not be
// read before the write; stored is "stored" or "unstored"; crc is the CRC-32 (the zip one) of
// everything before its tab, in eight lower-case hex digits. group names the run that wrote the
// entry (one command, one download, one undo): the entries of a run share it, and are undone
// together. Lines tagged K1, written before runs were named, have no group field; each of them
// is a run of its own. A "store" entry (no parameter) says that the drive stored what it then
// held: every entry before it counts as stored. A "reset" entry (no parameter) says that the
// drive went back to its factory settings.
//
// Each entry reaches the file with one write() on a descriptor opened O_APPEND, so a killed
// process or a full disk leaves at most that entry torn, and the check finds it. Reading treats
// the file as hostile: only a regular file is read, nothing waits, and long or damaged lines are
// reported by number, never taken as entries.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestova::params {

inline constexpr std::size_t kMaxJournalLineBytes = 1024;
inline constexpr std::size_t kMaxJournalFileBytes = 64u << 20;
// Overrides the folder (tests, or a user who keeps journals elsewhere).
inline constexpr const char* kJournalFolderVariable = "KESTOVA_JOURNAL_DIR";

struct JournalEntry {
    std::string time;                    // UTC, ISO 8601
    std::string number;                  // Par. #; empty in a store entry
    int address = 0;                     // the register
    std::optional<std::string> oldValue; // as read before the write; none: it could not be read
    std::string newValue;
    std::string source; // "set", "restore", "edit", "download", "compare", "undo", "tune",
                        // "store", "reset"
    bool stored = false;
    std::string group; // the run that wrote it; empty in a K1 line
};

// A parameter write, not a store or a reset marker.
inline bool IsParameterEntry(const JournalEntry& entry) {
    return !entry.number.empty();
}

// A run's name: its start time, the process and a count, unique on this machine.
std::string NewJournalGroup();

struct JournalDamage {
    std::size_t line = 0; // 1-based
    std::string reason;
};

struct JournalRead {
    std::vector<JournalEntry> entries; // the good ones, oldest first
    std::vector<JournalDamage> damaged;
    std::optional<std::string> problem; // the file could not be read at all (none: no file is
                                        // an empty journal)
};

// $KESTOVA_JOURNAL_DIR, else $XDG_DATA_HOME/Kestova/journal, else ~/.local/share/Kestova/journal.
std::string JournalFolder();

// The drive's file in `folder`: station, drive code and port in its name.
std::string JournalPath(const std::string& folder, int station, int driveCode,
                        const std::string& port);

// Now, as an entry's time.
std::string JournalTimeNow();

// The entry's line, with its check and line end. Tabs and line breaks inside fields become blanks.
std::string JournalLine(const JournalEntry& entry);

// Appends one entry with a single write, making the folder if needed. A file whose last line was
// torn gets a line end first, in the same write, so the torn line does not swallow this one.
// Nothing on success, else the system's description of the failure.
std::optional<std::string> AppendJournal(const std::string& path, const JournalEntry& entry);

// Reads the lines' entries; damaged lines are counted with their numbers and reasons.
JournalRead ParseJournal(std::string_view bytes);

// Reads the file at `path`: a missing file is an empty journal.
JournalRead ReadJournal(const std::string& path);

} // namespace kestova::params
