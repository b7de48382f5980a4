#include "CommandLine.h"

#include <cstdlib>

namespace kestova::sim {

const char* const kUsage = R"(Usage: kestova-drive-sim [options]

A simulated closed-loop drive that answers Modbus RTU on a pseudo-terminal. It registers the
pseudo-terminal in the port directory under a port name, prints the name and the device path,
and serves until SIGINT or SIGTERM (or "quit" on standard input), removing the entry on exit.

Model
  --model CODE          drive code of the model in DATA.mdb (default 12)
  --protocol N          its protocol version, when the code has several (default: the newest)
  --database PATH       model database (default: DATA.mdb beside this program)
  --builtin             use a built-in model (codes 1, 2, 256) instead of the database
  --list-models         print the database's models and exit
  --features BITS       override the feature bits of register 0x49 (1 trigger, 2 object
                        dictionary, 4 register monitor)
  --motor KIND          stepper or servo, overriding the model's motor
  --load-inertia RATIO  load inertia as a multiple of the rotor's (default 0)
  --load-torque NM      constant load torque in N m (default 0)
  --state FILE          non-volatile parameter memory: stored parameters are kept here and read
                        back at the next start

Line
  --port NAME           port name to register (default COM9)
  --station N           Modbus station to answer (default 1)
  --baud N              line speed the replies are timed for, 8N1 (default 38400; 0: at once)
  --turnaround-us N     the drive's processing time before it answers (default 500)
  --fault NAME=N        act on the next N replies (repeatable)
  --fault NAME@P        act on each reply with probability P (line-noise: bursts per second)
                        names: crc-error, no-reply, late-reply, stray-byte, short-reply,
                        exception-reply, line-noise
  --late-ms MS          how late a late reply leaves (default 300)
  --exception-code N    exception code of an exception reply (default 6, device busy)
  --seed N              seed of the fault switches' random draws (default 1)

Clock
  --clock RATE          simulated seconds per real second (default 1; 0 holds the clock, which
                        then moves only by the "step" command)

Standard input takes control commands, one per line ("help" lists them), such as
"fault no-reply 3", "alarm 4", "hangup", "replug", "clock 10", "step 500", "status".
)";

namespace {

bool ToLong(const std::string& text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return !text.empty() && end != nullptr && *end == '\0';
}

bool ToDouble(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0';
}

} // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " wants a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto integer = [&](long long low, long long high, long long& out) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (!ToLong(text, out) || out < low || out > high) {
                error = a + " wants a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not " + text;
                return false;
            }
            return true;
        };
        auto real = [&](double low, double& out) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (!ToDouble(text, out) || out < low) {
                error = a + " wants a number, not " + text;
                return false;
            }
            return true;
        };
        long long n = 0;
        double d = 0;
        std::string text;
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--model") {
            if (!integer(1, 32767, n)) {
                return std::nullopt;
            }
            cl.driveCode = static_cast<int>(n);
        } else if (a == "--protocol") {
            if (!integer(0, 32767, n)) {
                return std::nullopt;
            }
            cl.protocolVersion = static_cast<int>(n);
        } else if (a == "--database") {
            if (!value(cl.database)) {
                return std::nullopt;
            }
        } else if (a == "--builtin") {
            cl.builtin = true;
        } else if (a == "--list-models") {
            cl.listModels = true;
        } else if (a == "--features") {
            if (!integer(0, 0xFFFF, n)) {
                return std::nullopt;
            }
            cl.drive.featureBits = static_cast<std::uint16_t>(n);
        } else if (a == "--motor") {
            if (!value(text)) {
                return std::nullopt;
            }
            if (text == "stepper") {
                cl.drive.motor = MotorKind::Stepper;
            } else if (text == "servo") {
                cl.drive.motor = MotorKind::Servo;
            } else {
                error = "--motor wants stepper or servo";
                return std::nullopt;
            }
        } else if (a == "--load-inertia") {
            if (!real(0, d)) {
                return std::nullopt;
            }
            cl.drive.load.inertiaRatio = d;
        } else if (a == "--load-torque") {
            if (!real(0, d)) {
                return std::nullopt;
            }
            cl.drive.load.torque = d;
        } else if (a == "--state") {
            if (!value(cl.drive.stateFile)) {
                return std::nullopt;
            }
        } else if (a == "--port") {
            if (!value(cl.sim.portName)) {
                return std::nullopt;
            }
        } else if (a == "--station") {
            if (!integer(1, 247, n)) {
                return std::nullopt;
            }
            cl.sim.station = static_cast<std::uint8_t>(n);
        } else if (a == "--baud") {
            if (!integer(0, 4'000'000, n)) {
                return std::nullopt;
            }
            cl.sim.timing.baud = static_cast<int>(n);
        } else if (a == "--turnaround-us") {
            if (!integer(0, 1'000'000, n)) {
                return std::nullopt;
            }
            cl.sim.timing.turnaround = Micros(n);
        } else if (a == "--fault") {
            if (!value(text)) {
                return std::nullopt;
            }
            cl.faults.push_back(text);
        } else if (a == "--late-ms") {
            if (!real(0, d)) {
                return std::nullopt;
            }
            cl.lateMs = d;
        } else if (a == "--exception-code") {
            if (!integer(1, 255, n)) {
                return std::nullopt;
            }
            cl.exceptionCode = static_cast<int>(n);
        } else if (a == "--seed") {
            if (!integer(0, 0xFFFFFFFFLL, n)) {
                return std::nullopt;
            }
            cl.sim.seed = static_cast<std::uint32_t>(n);
        } else if (a == "--clock") {
            if (!real(0, d)) {
                return std::nullopt;
            }
            cl.sim.clockRate = d;
        } else {
            error = "unknown argument " + a + " (see --help)";
            return std::nullopt;
        }
    }
    return cl;
}

} // namespace kestova::sim
