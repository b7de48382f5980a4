#include "Session.h"

#include "CliError.h"
#include "DriveModel.h"
#include "KestovaDb.h"
#include "LinkFailure.h"
#include "ParameterTransfer.h"
#include "PortNames.h"
#include "RegisterMap.h"
#include "RowNames.h"
#include "Trace.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace kestova::cli {

namespace {

// The receive time-out the connection page sets.
constexpr std::uint16_t kReceiveTimeOutMs = 500;

std::string ProgramDirectory() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return ".";
    }
    buffer[n] = '\0';
    return std::filesystem::path(buffer).parent_path().string();
}

} // namespace

std::string DefaultPort() {
    for (const std::string& name : ktcom::ListPorts()) {
        if (ktcom::EntryTarget(name).rfind("/dev/pts/", 0) == 0) {
            return name;
        }
    }
    return {};
}

void CheckPortName(const std::string& port) {
    const std::vector<std::string> present = ktcom::ListPorts();
    std::string upper = port;
    for (char& c : upper) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const bool comName = upper.rfind("COM", 0) == 0;
    const std::string entry = ktcom::EntryTarget(comName ? upper : port);
    const std::string device = comName ? ktcom::ResolvePortPath(upper) : std::string();
    const bool listed = std::any_of(present.begin(), present.end(), [&](const std::string& name) {
        return name == port || (comName && name == upper) ||
               (!device.empty() && "/dev/" + name == device);
    });
    if (!entry.empty() || port.rfind('/', 0) == 0 || listed) {
        return;
    }
    std::string ports;
    for (const std::string& name : present) {
        const std::string target = ktcom::EntryTarget(name);
        ports += "\n  " + name + (target.empty() ? "" : "  (" + target + ")");
    }
    throw CliError(kUsage, "no port " + port +
                               ": not a name of the port directory, a device path or a port "
                               "present; the ports are:" +
                               (ports.empty() ? std::string("\n  (none found)") : ports));
}

Session::Session(LinkOptions options) : options_(std::move(options)) {
    if (options_.trace != nullptr) {
        trace_ = std::make_unique<Trace>(*options_.trace);
        link_.SetTap(trace_.get());
    }
}

Session::~Session() {
    link_.CloseCom();
}

void Session::OpenDatabase() {
    const std::string path =
        options_.database.empty() ? kdb::DatabasePathIn(ProgramDirectory()) : options_.database;
    if (!db_.OpenConnection(kdb::ProgramConnectionString(path))) {
        throw CliError(kRefused,
                       "cannot open the model database " + path + ": " + db_.LastConnectionError());
    }
}

void Session::Connect() {
    if (options_.offline) {
        link_.SetCurrentUseMode(0);
    } else {
        port_ = options_.port.empty() ? DefaultPort() : options_.port;
        if (port_.empty()) {
            // Nothing to ask is no drive, as a port with nothing on it is.
            throw CliError(kNoDrive, "no port given (--port) and no simulated drive registered");
        }
        CheckPortName(port_);
        const std::string baud = std::to_string(options_.baud);
        link_.ConfigCom(port_.c_str(), baud.c_str(), "8", "NONE", "1");
        link_.SetReceiveTimeOut(kReceiveTimeOutMs);
        if (link_.OpenCom() == 0) {
            throw CliError(kNoDrive,
                           "cannot open " + port_ + ": " + LinkFailureText(link_.GetLastErrors()));
        }
        link_.SetCurrentUseMode(1);
    }
    const IdentityRead read = ReadIdentity(link_, Station());
    const std::string where = port_ + " (" + std::to_string(options_.baud) + " baud, station " +
                              std::to_string(options_.station) + ")";
    if (read.failure != 0 && read.failedRegister == reg::DRIVE_CODE) {
        throw CliError(kNoDrive,
                       "no drive answered at " + where + ": " + LinkFailureText(read.failure));
    }
    if (read.failure != 0) {
        // A model is never guessed: a protocol taken as 200 would choose another table.
        throw CliError(kNoDrive, "the drive at " + where + " did not give its " +
                                     IdentityRegisterName(read.failedRegister) + ": " +
                                     LinkFailureText(read.failure));
    }
    if (read.driveCode < 1 && !options_.offline) {
        throw CliError(kNoDrive, "no drive answered at " + where + ": drive code " +
                                     std::to_string(read.driveCode));
    }
    id_.driveCode = read.driveCode;
    id_.featureBits = read.featureBits;
    id_.protocol = read.protocol;

    const DriveModelLookup found = LookUpDriveModel(db_, id_.driveCode, id_.protocol);
    switch (found.status) {
    case DriveModelLookup::Status::Found:
        id_.modelKnown = true;
        id_.model = found.model;
        id_.series = found.series;
        id_.table = found.table;
        return;
    case DriveModelLookup::Status::NoRow:
        break;
    case DriveModelLookup::Status::NotOpen:
        throw CliError(kRefused, "the model database gave no model table");
    case DriveModelLookup::Status::DbError:
        throw CliError(kRefused, "model database error: " + found.errorDescription);
    }
    id_.model = "Unknown Drive Model";
    id_.table = params::kDefaultTableName;
}

params::ParameterRows Session::LoadRows(const std::string& filter) {
    params::TableLoad load = params::LoadParameterRows(db_, id_.table, filter);
    switch (load.status) {
    case params::LoadStatus::Ok:
        break;
    case params::LoadStatus::NotOpen:
        throw CliError(kRefused, "cannot read the parameter table " + id_.table);
    case params::LoadStatus::DbError:
        throw CliError(kRefused, "cannot read the parameter table " + id_.table + ": " +
                                     load.errorDescription);
    }
    return std::move(load.rows);
}

void Session::Wait(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

void ReadValues(Session& s, params::ParameterRows& rows, const std::function<void(int)>& progress,
                const std::string& consequence) {
    params::TransferEvents events;
    events.value = [&rows](int row, std::string text) {
        rows[static_cast<std::size_t>(row)].Cell(params::kValueColumn) = std::move(text);
    };
    events.progress = progress;
    const std::atomic<bool> cancel{false};
    const params::PassReport report =
        params::ReadAllParameters(s.Link(), s.Station(), rows, cancel, events);
    if (report.failedRows.empty()) {
        return;
    }
    const std::string failure = LinkFailureText(report.lastFailure);
    const std::string after = consequence.empty() ? "" : "; " + consequence;
    if (report.end == params::PassEnd::LinkFailed) {
        const std::vector<int> at{report.stoppedAt};
        // The pass ends early only once the drive no longer answers even its drive code.
        throw CliError(kNoDrive, "the drive stopped answering at " + RowNumbers(rows, at) + " (" +
                                     failure +
                                     "); not read: " + RowNumbers(rows, report.failedRows) + after);
    }
    throw CliError(kRefused, std::to_string(report.failedRows.size()) + " of " +
                                 std::to_string(rows.size()) + " parameters were not read (" +
                                 failure + "): " + RowNumbers(rows, report.failedRows) + after);
}

} // namespace kestova::cli
