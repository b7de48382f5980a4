#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace kestova::sim {

namespace {

constexpr const char* kDescription =
    R"(A simulated closed-loop drive that answers Modbus RTU on a pseudo-terminal. It registers the
pseudo-terminal in the port directory under a port name, prints the name and the device path,
and serves until SIGINT or SIGTERM (or "quit" on standard input), removing the entry on exit.)";

constexpr const char* kFooter =
    R"(Standard input takes control commands, one per line ("help" lists them), such as
"fault no-reply 3", "alarm 4", "hangup", "replug", "clock 10", "step 500", "status".)";

// The help laid out as the program has always shown it: usage, description, the option groups
// with their value names, the control commands.
class UsageLayout : public CLI::Formatter {
public:
    UsageLayout() { column_width(24); }
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::ostringstream out;
        out << "Usage: kestova-drive-sim [options]\n\n" << app->get_description() << '\n';
        for (const std::string& group : app->get_groups()) {
            const auto options = app->get_options([&](const CLI::Option* o) {
                return o->get_group() == group && o != app->get_help_ptr();
            });
            if (group.empty() || options.empty()) {
                continue;
            }
            out << '\n' << group << '\n';
            for (const CLI::Option* o : options) {
                out << make_option(o, false);
            }
        }
        out << '\n' << app->get_footer() << '\n';
        return out.str();
    }
};

// The switches and what they set; `faultText` and friends are turned into values afterwards.
struct Parsed {
    CommandLine cl;
    int protocol = 0;
    int features = 0;
    int station = 1;
    std::string motor;
    long long turnaroundUs = 0;
    long long seed = 0;
    double lateMs = 0;
    int exceptionCode = 0;
};

void Describe(CLI::App& app, Parsed& p) {
    app.description(kDescription);
    app.footer(kFooter);
    app.formatter(std::make_shared<UsageLayout>());
    app.set_help_flag("-h,--help", "print this help and exit");
    CommandLine& cl = p.cl;

    const std::string model = "Model";
    app.add_option("--model", cl.driveCode, "drive code of the model in DATA.mdb (default 12)")
        ->option_text("CODE")
        ->check(CLI::Range(1, 32767))
        ->group(model);
    app.add_option("--protocol", p.protocol,
                   "its protocol version, when the code has several (default: the newest)")
        ->option_text("N")
        ->check(CLI::Range(0, 32767))
        ->group(model);
    app.add_option("--database", cl.database,
                   "model database (default: DATA.mdb beside this program)")
        ->option_text("PATH")
        ->group(model);
    app.add_flag("--builtin", cl.builtin,
                 "use a built-in model (codes 1, 2, 256) instead of the database")
        ->group(model);
    app.add_flag("--list-models", cl.listModels, "print the database's models and exit")
        ->group(model);
    app.add_option("--features", p.features,
                   "override the feature bits of register 0x49 (1 trigger, 2 object\n"
                   "dictionary, 4 register monitor)")
        ->option_text("BITS")
        ->check(CLI::Range(0, 0xFFFF))
        ->group(model);
    app.add_option("--motor", p.motor, "stepper or servo, overriding the model's motor")
        ->option_text("KIND")
        ->check(CLI::IsMember({"stepper", "servo"}))
        ->group(model);
    app.add_option("--load-inertia", cl.drive.load.inertiaRatio,
                   "load inertia as a multiple of the rotor's (default 0)")
        ->option_text("RATIO")
        ->check(CLI::NonNegativeNumber)
        ->group(model);
    app.add_option("--load-torque", cl.drive.load.torque, "constant load torque in N m (default 0)")
        ->option_text("NM")
        ->check(CLI::NonNegativeNumber)
        ->group(model);
    app.add_option("--state", cl.drive.stateFile,
                   "non-volatile parameter memory: stored parameters are kept here and read\n"
                   "back at the next start")
        ->option_text("FILE")
        ->group(model);

    const std::string line = "Line";
    app.add_option("--port", cl.sim.portName, "port name to register (default COM9)")
        ->option_text("NAME")
        ->group(line);
    app.add_option("--station", p.station, "Modbus station to answer (default 1)")
        ->option_text("N")
        ->check(CLI::Range(1, 247))
        ->group(line);
    app.add_option("--baud", cl.sim.timing.baud,
                   "line speed the replies are timed for, 8N1 (default 38400; 0: at once)")
        ->option_text("N")
        ->check(CLI::Range(0, 4'000'000))
        ->group(line);
    app.add_option("--turnaround-us", p.turnaroundUs,
                   "the drive's processing time before it answers (default 500)")
        ->option_text("N")
        ->check(CLI::Range(0LL, 1'000'000LL))
        ->group(line);
    app.add_option("--fault", cl.faults,
                   "NAME=N acts on the next N replies, NAME@P on each reply with probability\n"
                   "P (line-noise: bursts per second; lost-request: requests); repeatable\n"
                   "names: crc-error, no-reply, late-reply, stray-byte, short-reply,\n"
                   "exception-reply, line-noise, lost-request")
        ->option_text("NAME=N|NAME@P")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group(line);
    app.add_option("--late-ms", p.lateMs, "how late a late reply leaves (default 300)")
        ->option_text("MS")
        ->check(CLI::NonNegativeNumber)
        ->group(line);
    app.add_option("--exception-code", p.exceptionCode,
                   "exception code of an exception reply (default 6, device busy)")
        ->option_text("N")
        ->check(CLI::Range(1, 255))
        ->group(line);
    app.add_option("--seed", p.seed, "seed of the fault switches' random draws (default 1)")
        ->option_text("N")
        ->check(CLI::Range(0LL, 0xFFFFFFFFLL))
        ->group(line);

    app.add_option("--clock", cl.sim.clockRate,
                   "simulated seconds per real second (default 1; 0 holds the clock, which\n"
                   "then moves only by the \"step\" command)")
        ->option_text("RATE")
        ->check(CLI::NonNegativeNumber)
        ->group("Clock");
}

std::string BuildUsage() {
    CLI::App app("", "kestova-drive-sim");
    Parsed p;
    Describe(app, p);
    return app.help();
}

const std::string& UsageText() {
    static const std::string text = BuildUsage();
    return text;
}

} // namespace

const char* const kUsage = UsageText().c_str();

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CLI::App app("", "kestova-drive-sim");
    Parsed p;
    Describe(app, p);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForHelp&) {
        p.cl.help = true;
        return p.cl;
    } catch (const CLI::ParseError& e) {
        error = std::string(e.what()) + " (see --help)";
        return std::nullopt;
    }
    CommandLine& cl = p.cl;
    if (app.count("--protocol") > 0) {
        cl.protocolVersion = p.protocol;
    }
    if (app.count("--features") > 0) {
        cl.drive.featureBits = static_cast<std::uint16_t>(p.features);
    }
    cl.sim.station = static_cast<std::uint8_t>(p.station);
    if (!p.motor.empty()) {
        cl.drive.motor = p.motor == "servo" ? MotorKind::Servo : MotorKind::Stepper;
    }
    if (app.count("--turnaround-us") > 0) {
        cl.sim.timing.turnaround = Micros(p.turnaroundUs);
    }
    if (app.count("--seed") > 0) {
        cl.sim.seed = static_cast<std::uint32_t>(p.seed);
    }
    if (app.count("--late-ms") > 0) {
        cl.lateMs = p.lateMs;
    }
    if (app.count("--exception-code") > 0) {
        cl.exceptionCode = p.exceptionCode;
    }
    return cl;
}

} // namespace kestova::sim
