#pragma once

// The simulated drive on a line: a pseudo-terminal pair whose slave side is registered in the
// port directory, and a thread that answers Modbus RTU requests on it with realistic timing while
// the drive's clock runs in real time, faster, or only when stepped.
//
//   DriveSimulator sim(model, driveOptions, {.portName = "COM9"});
//   if (!sim.Start(error)) { ... }
//   sim.Faults().Set(LineFault::NoReply, {.count = 2});
//   sim.Stop();

#include "Drive.h"
#include "LineFaults.h"
#include "WireTiming.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kestova::sim {

struct SimulatorOptions {
    std::string portName = "COM9";
    std::uint8_t station = 1;
    WireTiming timing;
    std::uint32_t seed = 1;
    // Simulated seconds per real second; 0 stops the clock so that only Step moves it.
    double clockRate = 1.0;
    bool registerPort = true;
};

class DriveSimulator {
public:
    DriveSimulator(ModelDescription model, DriveOptions driveOptions, SimulatorOptions options);
    ~DriveSimulator();
    DriveSimulator(const DriveSimulator&) = delete;
    DriveSimulator& operator=(const DriveSimulator&) = delete;

    // Opens the line and starts answering. Returns false with a reason when it cannot.
    bool Start(std::string& error);
    // Stops answering, closes the line and removes the port entry. Safe to call twice.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    const std::string& PortName() const { return options_.portName; }
    std::string DevicePath() const;

    LineFaults& Faults() { return faults_; }

    // The line goes dead as when a cable is pulled: the device closes under its user.
    void Hangup();
    // A new line under the same port name; false with a reason when it cannot be made.
    bool Replug(std::string& error);

    void SetClockRate(double simulatedPerReal);
    double ClockRate() const;
    // Advances the drive's clock by this much simulated time, on the caller's thread.
    void Step(std::chrono::microseconds simulated);

    // Runs f with the drive locked against the line thread.
    template <class F> auto WithDrive(F&& f) {
        std::lock_guard lock(driveMutex_);
        return f(drive_);
    }

    std::uint64_t RequestsAnswered() const { return answered_.load(); }

private:
    // Gives the line its port name; says why when it cannot.
    static bool RegisterLine(const std::string& name, const std::string& path, std::string& error);
    struct Line {
        int master = -1;
        int slave = -1; // held open so the line does not hang up between clients
        std::string path;
    };

    bool OpenLine(Line& line, std::string& error);
    static void CloseLine(Line& line);
    void Serve();
    int TakeLineChanges(); // on the line thread: applies Hangup and Replug, returns the master
    Bytes Answer(const RtuRequest& request);
    void AdvanceClock();
    std::int64_t TargetTicks(std::chrono::steady_clock::time_point now) const;
    void Wake();

    Drive drive_;
    SimulatorOptions options_;
    LineFaults faults_;

    mutable std::mutex driveMutex_; // the drive and the clock
    mutable std::mutex lineMutex_;  // the line and the changes asked of it
    std::condition_variable lineChanged_;
    Line line_;
    std::optional<Line> newLine_; // handed to the line thread by Replug
    bool hangup_ = false;         // asked of the line thread by Hangup
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> answered_{0};

    // Clock: simulated ticks = baseTicks_ + rate x (real time since baseReal_).
    double rate_ = 1.0;
    std::chrono::steady_clock::time_point baseReal_;
    std::int64_t baseTicks_ = 0;
};

} // namespace kestova::sim
