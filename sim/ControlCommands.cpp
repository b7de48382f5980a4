#include "ControlCommands.h"

#include "DriveSimulator.h"

#include <chrono>
#include <sstream>

namespace kestova::sim {

namespace {

constexpr const char* kHelp =
    "commands: fault <name> <N>|@<p>|clear, late-ms <ms>, exception-code <n>, alarm <code>, "
    "clear-alarm, hangup, replug, clock <rate>, step <ms>, status, quit; fault names: crc-error "
    "no-reply late-reply stray-byte short-reply exception-reply line-noise lost-request";

bool ParseNumber(const std::string& text, double& value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

bool SetFault(DriveSimulator& sim, const std::string& name, const std::string& amount,
              std::string& error) {
    const auto fault = LineFaultFromName(name);
    if (!fault) {
        error = "no fault switch named " + name;
        return false;
    }
    FaultSetting setting;
    double v = 0;
    if (!amount.empty() && amount[0] == '@') {
        if (!ParseNumber(amount.substr(1), v) || v < 0) {
            error = "rate not understood: " + amount;
            return false;
        }
        setting.rate = v;
    } else {
        if (!ParseNumber(amount, v) || v < 0) {
            error = "count not understood: " + amount;
            return false;
        }
        setting.count = static_cast<int>(v);
    }
    sim.Faults().Set(*fault, setting);
    return true;
}

std::string Status(DriveSimulator& sim) {
    std::ostringstream out;
    out << "port " << sim.PortName() << " -> " << sim.DevicePath() << "; clock x" << sim.ClockRate()
        << "; ";
    sim.WithDrive([&out](Drive& d) {
        out << "model " << d.Model().driveCode << "/" << d.Model().protocolVersion << " ("
            << d.Model().name << "); t=" << d.Seconds() << " s; alarm " << d.Alarms().Current()
            << "; ";
        return 0;
    });
    out << "faults " << sim.Faults().Describe() << "; answered " << sim.RequestsAnswered();
    return out.str();
}

} // namespace

bool ApplyFaultSetting(DriveSimulator& sim, const std::string& setting, std::string& error) {
    const auto cut = setting.find_first_of("=@");
    if (cut == std::string::npos) {
        error = "fault switch wants name=N or name@p: " + setting;
        return false;
    }
    const std::string amount = setting[cut] == '@' ? setting.substr(cut) : setting.substr(cut + 1);
    return SetFault(sim, setting.substr(0, cut), amount, error);
}

CommandAnswer RunControlCommand(DriveSimulator& sim, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    std::string a;
    std::string b;
    in >> command >> a >> b;
    CommandAnswer answer;
    double v = 0;
    auto fail = [&answer](std::string text) {
        answer.ok = false;
        answer.text = std::move(text);
        return answer;
    };
    if (command.empty()) {
        answer.text = "";
    } else if (command == "help") {
        answer.text = kHelp;
    } else if (command == "quit" || command == "exit") {
        answer.quit = true;
        answer.text = "bye";
    } else if (command == "status") {
        answer.text = Status(sim);
    } else if (command == "fault") {
        if (a == "clear") {
            sim.Faults().ClearAll();
        } else if (std::string error; !SetFault(sim, a, b, error)) {
            return fail(error);
        }
        answer.text = "faults " + sim.Faults().Describe();
    } else if (command == "late-ms") {
        if (!ParseNumber(a, v) || v < 0) {
            return fail("late-ms wants milliseconds");
        }
        sim.Faults().SetLateBy(Micros(static_cast<long long>(v * 1000)));
        answer.text = "late replies " + a + " ms late";
    } else if (command == "exception-code") {
        if (!ParseNumber(a, v) || v < 1 || v > 255) {
            return fail("exception-code wants 1..255");
        }
        sim.Faults().SetExceptionCode(static_cast<ExceptionCode>(static_cast<int>(v)));
        answer.text = "exception replies carry code " + a;
    } else if (command == "alarm") {
        if (!ParseNumber(a, v) || v < 1 || v > 32767) {
            return fail("alarm wants a code 1..32767");
        }
        sim.WithDrive([v](Drive& d) {
            d.RaiseAlarm(static_cast<std::int16_t>(v));
            return 0;
        });
        answer.text = "alarm " + a + " raised";
    } else if (command == "clear-alarm") {
        sim.WithDrive([](Drive& d) { return d.Write(0x10, {0}); });
        answer.text = "alarm cleared";
    } else if (command == "hangup") {
        sim.Hangup();
        answer.text = "line hung up";
    } else if (command == "replug") {
        std::string error;
        if (!sim.Replug(error)) {
            return fail(error);
        }
        answer.text = "port " + sim.PortName() + " -> " + sim.DevicePath();
    } else if (command == "clock") {
        if (!ParseNumber(a, v) || v < 0) {
            return fail("clock wants a rate, 0 to hold");
        }
        sim.SetClockRate(v);
        answer.text = "clock x" + a;
    } else if (command == "step") {
        if (!ParseNumber(a, v) || v < 0) {
            return fail("step wants milliseconds");
        }
        sim.Step(std::chrono::microseconds(static_cast<long long>(v * 1000)));
        answer.text = "stepped " + a + " ms";
    } else {
        return fail("unknown command " + command + "; " + kHelp);
    }
    return answer;
}

} // namespace kestova::sim
