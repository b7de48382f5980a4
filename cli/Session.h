#pragma once

// One command's way to the drive: the model database, the line, and who the drive is. A command
// opens what it needs; failures end the command with a CliError that says what went wrong.

#include "CADO.h"
#include "KTCOM.h"
#include "ParameterRules.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace kestova::cli {

// The speeds the program offers, in the order it offers them.
inline constexpr int kSpeeds[] = {38400, 115200};
inline constexpr int kFirstStation = 1;
inline constexpr int kLastStation = 63;

struct LinkOptions {
    std::string port; // empty: the simulated drive's registered port
    int baud = 38400;
    int station = 1;
    bool offline = false; // no line: every read gives 0 and nothing is sent, as offline use does
    std::string database; // empty: DATA.mdb beside the program
    bool json = false;
    bool traceOn = false;          // --trace
    std::ostream* trace = nullptr; // where each frame on the line is logged, if anywhere
};

struct Identity {
    std::int16_t driveCode = 0;
    std::int32_t featureBits = 0;
    std::int16_t protocol = 0;
    bool modelKnown = false;
    std::string model; // "Unknown Drive Model" when no row of the model table matches
    std::string series;
    std::string table; // the model's parameter table; the default table when unknown
};

// The port a command uses when none is given: the first registered port that leads to a
// pseudo-terminal (a simulated drive), or empty.
std::string DefaultPort();

// Ends the command with kUsage, listing the ports, unless `port` is a name registered in the port
// directory, a device path, or a port present (a COM name also when the device it stands for is
// one). A name the link does not know would otherwise open COM1.
void CheckPortName(const std::string& port);

class Session {
public:
    explicit Session(LinkOptions options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void OpenDatabase();
    // Opens the line and reads the drive's identity, then looks its model up (OpenDatabase
    // first). Ends the command with kNoDrive when no drive answers, or when any identity register
    // cannot be read.
    void Connect();

    const Identity& Id() const { return id_; }
    const LinkOptions& Options() const { return options_; }
    std::uint8_t Station() const { return static_cast<std::uint8_t>(options_.station); }
    const std::string& Port() const { return port_; }
    CKTCOM& Link() { return link_; }
    CADO& Db() { return db_; }

    // The visible rows of the drive's table for a class filter ("All" for every row).
    params::ParameterRows LoadRows(const std::string& filter);

    // The waits the page makes between a command and its check, done by sleeping.
    static void Wait(std::chrono::milliseconds duration);

private:
    LinkOptions options_;
    std::string port_;
    std::unique_ptr<KtTap> trace_; // outlives the link, which calls it
    CKTCOM link_;
    CADO db_;
    Identity id_;
};

// Reads the rows' values from the drive into their Value cells. A row that was not read ends the
// command naming every such row, followed by `consequence` ("no file was written"): a failure
// value is never passed on as the drive's. Status 1, or 3 when the drive stopped answering.
void ReadValues(Session& s, params::ParameterRows& rows,
                const std::function<void(int done)>& progress = {},
                const std::string& consequence = {});

} // namespace kestova::cli
