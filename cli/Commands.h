#pragma once

// The commands of kestova-cli, each a function that runs one command line's request and returns
// its exit status (or throws a CliError).

#include "Cli.h"
#include "Session.h"

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kestova::cli {

struct Context {
    LinkOptions link;
    std::ostream& out;
    std::ostream& err;
    Terminal terminal;
};

int Ports(Context& c);
int IdentifyDrive(Context& c);

struct ScanOptions {
    bool first = false;
    std::optional<int> baud; // only this speed; none: both
    int timeoutMs = 50;      // how long each station is given to answer
};
int Scan(Context& c, const ScanOptions& o);

struct ParamsOptions {
    std::string className; // empty: every class
    bool changed = false;  // only rows whose drive value differs from the table's default
};
int ListParameters(Context& c, const ParamsOptions& o);
int GetParameters(Context& c, const std::vector<std::string>& names);
int SetParameters(Context& c, const std::vector<std::string>& assignments, bool store);

int Backup(Context& c, const std::string& path);
// Rows the drive may not take (not its parameters, values its ranges refuse) are refused with
// nothing written, unless skipUnwritable: then the others are written.
int Restore(Context& c, const std::string& path, bool store, bool skipUnwritable);
// One file: against the drive. Two: against each other, no drive.
int Diff(Context& c, const std::vector<std::string>& paths);

struct AlarmOptions {
    bool clearCurrent = false;
    bool clearHistory = false;
};
int Alarms(Context& c, const AlarmOptions& o);

// The change journal of the drive on the line; damaged entries are named on standard error.
int History(Context& c);
// undo [N]: run N of history, or the last run that changed a value.
int Undo(Context& c, int runNumber);

struct CaptureOptions {
    std::string test = "motion";           // motion, scope or current
    std::array<std::string, 4> channels{}; // names, short names or codes; empty: none
    std::optional<int> samples;            // the first N samples of each channel
    std::optional<int> sampling;           // the later protocol's multiplier M
    std::optional<int> speed;              // rpm
    std::optional<int> acceleration;       // rev/s^2
    std::optional<std::string> distance;   // revolutions
    std::optional<std::string> current;    // A, current-loop test
    std::string csv;                       // empty: CSV on standard output
};
int Capture(Context& c, const CaptureOptions& o);

struct TuneOptions {
    std::string step = "all";               // current, identify, loops or all
    std::string stiffness = "medium";       // soft, medium or stiff
    std::optional<std::string> maxDistance; // revolutions; default 2
    std::optional<int> maxSpeed;            // rpm; default 600
    bool apply = false;                     // keep the tuned values in working memory
    bool store = false;                     // and store them
};
// Without --apply or --store the original values are written back once the table is printed.
int Tune(Context& c, const TuneOptions& o);

} // namespace kestova::cli
