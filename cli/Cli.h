#pragma once

// kestova-cli: the drive from a shell. RunCli parses a command line, runs its command against
// the drive (or the files alone) and returns the exit status; the program's main only hands it
// the process's streams. Tests call it in-process.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestova::cli {

// Exit statuses.
enum ExitStatus : int {
    kSuccess = 0,
    kRefused = 1, // the drive refused something, or a check failed (range, drive code, diff)
    kUsage = 2,   // the command line was wrong
    kNoDrive = 3, // no drive answered
};

struct Terminal {
    bool out = false; // standard output is a terminal: tables may be drawn for people
    bool err = false; // standard error is a terminal: progress lines may be shown
};

// args without the program's name.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           Terminal terminal = {});

} // namespace kestova::cli
