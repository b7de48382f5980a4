#pragma once

// The simulator's control channel: one text command per line, from the program's standard input
// or from a test. Each command returns one line of answer.
//
//   fault <name> <N>       the next N replies (or bursts, for line-noise)
//   fault <name> @<p>      each reply with probability p (bursts per second for line-noise)
//   fault clear            every switch off
//   late-ms <ms>           how late a late reply is
//   exception-code <n>     which exception an exception reply carries
//   alarm <code>           the drive raises an alarm
//   clear-alarm            the alarm in force is cleared
//   hangup | replug        the line goes dead / a new line under the same name
//   clock <rate>           simulated seconds per real second; 0 holds the clock
//   step <ms>              advance a held clock
//   status                 port, clock, alarm and fault switches
//   help

#include <string>

namespace kestova::sim {

class DriveSimulator;

struct CommandAnswer {
    bool ok = true;
    bool quit = false;
    std::string text;
};

CommandAnswer RunControlCommand(DriveSimulator& sim, const std::string& line);

// Parses "name=N" or "name@p" as given to --fault.
bool ApplyFaultSetting(DriveSimulator& sim, const std::string& setting, std::string& error);

} // namespace kestova::sim
