// kestova-drive-sim: the simulated drive as a program.

#include "BuiltinModels.h"
#include "CommandLine.h"
#include "ControlCommands.h"
#include "DriveSimulator.h"
#include "ModelDatabase.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace kestova::sim;

namespace {

std::optional<ModelDescription> ChooseModel(const CommandLine& cl, std::string& error) {
    if (cl.builtin) {
        auto m = BuiltinModel(cl.driveCode);
        if (!m) {
            error = "no built-in model with drive code " + std::to_string(cl.driveCode);
        }
        return m;
    }
    const std::string path = cl.database.empty() ? DefaultDatabasePath() : cl.database;
    return LoadModel(path, cl.driveCode, cl.protocolVersion, error);
}

int ListModelsAndExit(const CommandLine& cl) {
    std::string error;
    const std::string path = cl.database.empty() ? DefaultDatabasePath() : cl.database;
    const auto models = ListModels(path, error);
    if (!error.empty()) {
        std::fprintf(stderr, "kestova-drive-sim: %s\n", error.c_str());
        return 1;
    }
    for (const auto& m : models) {
        std::printf("%5d  protocol %3d  %-10s %s\n", m.driveCode, m.protocolVersion, m.name.c_str(),
                    m.series.c_str());
    }
    return 0;
}

// Feeds whole lines from standard input to the control channel; false once quit is asked.
bool HandleInput(DriveSimulator& sim, std::string& partial, bool& inputOpen) {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        inputOpen = false; // no terminal (run in the background): serve on
        return true;
    }
    partial.append(buffer, static_cast<std::size_t>(n));
    std::size_t eol = 0;
    while ((eol = partial.find('\n')) != std::string::npos) {
        const std::string line = partial.substr(0, eol);
        partial.erase(0, eol + 1);
        const CommandAnswer answer = RunControlCommand(sim, line);
        if (!answer.text.empty()) {
            std::printf("%s%s\n", answer.ok ? "" : "error: ", answer.text.c_str());
            std::fflush(stdout);
        }
        if (answer.quit) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!cl) {
        std::fprintf(stderr, "kestova-drive-sim: %s\n", error.c_str());
        return 2;
    }
    if (cl->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cl->listModels) {
        return ListModelsAndExit(*cl);
    }
    auto model = ChooseModel(*cl, error);
    if (!model) {
        std::fprintf(stderr, "kestova-drive-sim: %s\n", error.c_str());
        return 1;
    }
    for (const auto& w : model->warnings) {
        std::fprintf(stderr, "kestova-drive-sim: note: %s\n", w.c_str());
    }

    // Signals arrive through a descriptor, so no thread is interrupted in the middle of a reply.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);

    DriveSimulator sim(std::move(*model), cl->drive, cl->sim);
    for (const auto& setting : cl->faults) {
        if (!ApplyFaultSetting(sim, setting, error)) {
            std::fprintf(stderr, "kestova-drive-sim: %s\n", error.c_str());
            return 2;
        }
    }
    if (cl->lateMs) {
        sim.Faults().SetLateBy(Micros(static_cast<long long>(*cl->lateMs * 1000)));
    }
    if (cl->exceptionCode) {
        sim.Faults().SetExceptionCode(static_cast<ExceptionCode>(*cl->exceptionCode));
    }
    if (!sim.Start(error)) {
        std::fprintf(stderr, "kestova-drive-sim: %s\n", error.c_str());
        return 1;
    }
    sim.WithDrive([&cl](Drive& d) {
        for (const auto& note : d.TakeNotes()) {
            std::fprintf(stderr, "kestova-drive-sim: note: %s\n", note.c_str());
        }
        const auto& m = d.Model();
        std::printf("Drive %s (%s), drive code %d, protocol %d, station %d\n", m.name.c_str(),
                    m.series.c_str(), m.driveCode, m.protocolVersion, cl->sim.station);
        return 0;
    });
    std::printf("%s %s\n", sim.PortName().c_str(), sim.DevicePath().c_str());
    std::fflush(stdout);

    bool inputOpen = true;
    std::string partial;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = ::poll(fds, inputOpen ? 2 : 1, 1000);
        if (n < 0 && errno != EINTR) {
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        if (inputOpen && (fds[1].revents & (POLLIN | POLLHUP)) != 0 &&
            !HandleInput(sim, partial, inputOpen)) {
            break;
        }
        sim.WithDrive([](Drive& d) {
            for (const auto& note : d.TakeNotes()) {
                std::fprintf(stderr, "kestova-drive-sim: note: %s\n", note.c_str());
            }
            return 0;
        });
    }
    sim.Stop();
    return 0;
}
