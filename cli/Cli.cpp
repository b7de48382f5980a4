#include "Cli.h"

#include "CliError.h"
#include "Commands.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace kestova::cli {

namespace {

constexpr const char* kDescription =
    "kestova-cli: the drive from a shell. Parameters by name with their units and ranges, "
    "parameter files as the program writes them, alarms and wave captures, for scripts, "
    "production lines and remote sessions.\n"
    "Exit status: 0 success, 1 the drive refused or a check failed, 2 usage, 3 no drive "
    "answered.";

void AddLinkOptions(CLI::App& app, LinkOptions& link) {
    app.add_option("--port", link.port,
                   "port name or device (default: the simulated drive's registered port)");
    app.add_option("--baud", link.baud, "line speed")
        ->check(CLI::IsMember({kSpeeds[0], kSpeeds[1]}))
        ->capture_default_str();
    app.add_option("--station", link.station, "Modbus station of the drive")
        ->check(CLI::Range(kFirstStation, kLastStation))
        ->capture_default_str();
    app.add_flag("--offline", link.offline,
                 "no drive: every value reads 0 and nothing is sent, as offline use does");
    app.add_flag("--json", link.json, "print JSON for scripts instead of tables");
    app.add_flag("--trace", link.traceOn,
                 "log every frame on the line to standard error: time, direction, station, "
                 "function, verdict, summary and bytes");
    app.add_option("--database", link.database,
                   "model database (default: DATA.mdb beside this program)");
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           Terminal terminal) {
    CLI::App app(kDescription, "kestova-cli");
    app.set_version_flag("--version", std::string("kestova-cli ") + KESTOVA_VERSION,
                         "print the program's version and exit");
    app.require_subcommand(1);
    app.fallthrough();
    LinkOptions link;
    AddLinkOptions(app, link);

    CLI::App* ports = app.add_subcommand("ports", "list the ports: registered names, then devices");
    CLI::App* identify =
        app.add_subcommand("identify", "drive code, protocol, features, firmware and model");

    ScanOptions scanOptions;
    CLI::App* scan =
        app.add_subcommand("scan", "look for drives on a port at both speeds, stations 1..63");
    scan->add_flag("--first", scanOptions.first, "stop at the first drive that answers");
    scan->add_option("--timeout", scanOptions.timeoutMs,
                     "how long each station is given to answer, in ms (slow adapters want more)")
        ->check(CLI::Range(10, 5000))
        ->capture_default_str();

    ParamsOptions paramsOptions;
    CLI::App* params = app.add_subcommand(
        "params", "the model's parameters: number, name, value from the drive, unit, range");
    params->add_option("--class", paramsOptions.className, "only this class of parameters");
    params->add_flag("--changed", paramsOptions.changed,
                     "only parameters whose value differs from the default");

    std::vector<std::string> names;
    CLI::App* get = app.add_subcommand("get", "read parameters by number, name or address");
    get->add_option("parameter", names, "Par. # (P0.05), name, or register address")->required();

    std::vector<std::string> assignments;
    bool setStore = false;
    CLI::App* set = app.add_subcommand(
        "set", "write parameters; each value is range-checked first and read back after");
    set->add_option("assignment", assignments, "NAME=VALUE (NAME as for get)")->required();
    set->add_flag("--store", setStore, "store the values in the drive's memory afterwards");

    std::string backupPath;
    CLI::App* backup =
        app.add_subcommand("backup", "save the drive's parameters to a parameter file");
    backup->add_option("file", backupPath, "FILE.ktr")->required();

    std::string restorePath;
    bool restoreStore = false;
    CLI::App* restore = app.add_subcommand(
        "restore", "write a parameter file of this drive model to the drive, then check it");
    restore->add_option("file", restorePath, "FILE.ktr")->required();
    restore->add_flag("--store", restoreStore, "store the values in the drive's memory afterwards");
    bool restoreSkip = false;
    restore->add_flag("--skip-unwritable", restoreSkip,
                      "write the other rows when some cannot be written to this drive (not its "
                      "parameters, or values out of range); without it nothing is written");

    std::vector<std::string> diffPaths;
    CLI::App* diff = app.add_subcommand(
        "diff", "rows where the drive and a file differ, or two files (no drive); status 1 when "
                "any differ");
    diff->add_option("files", diffPaths, "FILE.ktr, or A.ktr B.ktr")->required()->expected(1, 2);

    AlarmOptions alarmOptions;
    CLI::App* alarms =
        app.add_subcommand("alarms", "the alarm in force and the drive's alarm log, explained");
    alarms->add_flag("--clear-current", alarmOptions.clearCurrent, "clear the alarm in force");
    alarms->add_flag("--clear-history", alarmOptions.clearHistory, "clear the alarm log");

    CLI::App* history = app.add_subcommand(
        "history",
        "the parameter changes made to this drive, from its change journal, newest last");

    int undoRun = 0;
    CLI::App* undo = app.add_subcommand(
        "undo", "take back a run of changes from the change journal: the last, or run N of "
                "history, each value read first and read back");
    undo->add_option("run", undoRun, "the run's number in history (default: the last change)")
        ->check(CLI::PositiveNumber);

    CaptureOptions captureOptions;
    CLI::App* capture = app.add_subcommand(
        "capture", "run one wave capture and write time plus one column per channel");
    capture->add_option("--test", captureOptions.test, "motion, scope or current")
        ->capture_default_str();
    for (std::size_t k = 0; k < 4; ++k) {
        capture->add_option("--ch" + std::to_string(k + 1), captureOptions.channels[k],
                            "channel " + std::to_string(k + 1) +
                                ": name (\"Velocity Feedback (RPM)\"), short name "
                                "(velocity-feedback) or signal code");
    }
    capture
        ->add_option("--samples", captureOptions.samples,
                     "write only the first N samples of each channel")
        ->check(CLI::PositiveNumber);
    capture
        ->add_option("--sampling", captureOptions.sampling,
                     "sample every M base periods (later protocol; default: fitted to the "
                     "whole move in the motion test, else the drive's)")
        ->check(CLI::Range(1, 1000));
    capture->add_option("--speed", captureOptions.speed, "motion test: speed in rpm");
    capture->add_option("--acceleration", captureOptions.acceleration,
                        "motion test: acceleration in rev/s^2");
    capture->add_option("--distance", captureOptions.distance,
                        "motion test: revolutions per move (0.01 steps)");
    capture->add_option("--current", captureOptions.current, "current test: test current in A");
    capture->add_option("--csv", captureOptions.csv,
                        "write the CSV to this file (default: standard output)");

    TuneOptions tuneOptions;
    CLI::App* tune = app.add_subcommand(
        "tune", "tune the current, speed and position loops from the drive's own captures");
    tune->add_option("step", tuneOptions.step, "current, identify, loops or all")
        ->capture_default_str();
    tune->add_option("--stiffness", tuneOptions.stiffness, "soft, medium or stiff")
        ->capture_default_str();
    tune->add_option("--max-distance", tuneOptions.maxDistance,
                     "revolutions a move may go (default 2)");
    tune->add_option("--max-speed", tuneOptions.maxSpeed, "rpm a move may reach (default 600)");
    tune->add_flag("--apply", tuneOptions.apply,
                   "keep the tuned values in working memory (default: write the originals back)");
    tune->add_flag("--store", tuneOptions.store,
                   "keep the tuned values and store them in the drive's memory");

    // The drive and output options belong to the program; each command takes them too.
    for (CLI::App* command : app.get_subcommands({})) {
        command->footer("Drive and output options (--port, --baud, --station, --offline, --json, "
                        "--database) go before or after the command; see kestova-cli --help.");
    }

    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kSuccess : kUsage;
    }

    if (link.traceOn) {
        link.trace = &err;
    }
    Context context{link, out, err, terminal};
    try {
        if (*ports) {
            return Ports(context);
        }
        if (*identify) {
            return IdentifyDrive(context);
        }
        if (*scan) {
            // --baud narrows the scan to that speed.
            if (app.get_option("--baud")->count() > 0) {
                scanOptions.baud = link.baud;
            }
            return Scan(context, scanOptions);
        }
        if (*params) {
            return ListParameters(context, paramsOptions);
        }
        if (*get) {
            return GetParameters(context, names);
        }
        if (*set) {
            return SetParameters(context, assignments, setStore);
        }
        if (*backup) {
            return Backup(context, backupPath);
        }
        if (*restore) {
            return Restore(context, restorePath, restoreStore, restoreSkip);
        }
        if (*diff) {
            return Diff(context, diffPaths);
        }
        if (*alarms) {
            return Alarms(context, alarmOptions);
        }
        if (*history) {
            return History(context);
        }
        if (*undo) {
            return Undo(context, undoRun);
        }
        if (*capture) {
            return Capture(context, captureOptions);
        }
        if (*tune) {
            return Tune(context, tuneOptions);
        }
    } catch (const CliError& e) {
        err << "kestova-cli: " << e.what() << '\n';
        return e.Status();
    } catch (const std::exception& e) {
        err << "kestova-cli: " << e.what() << '\n';
        return kRefused;
    }
    return kUsage;
}

} // namespace kestova::cli
