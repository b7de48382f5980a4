#include "DriveSimulator.h"

#include "PortNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace kestova::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPhysicsCadence{1};
constexpr std::chrono::milliseconds kIdleWait{50};
constexpr std::int64_t kMaxTicksPerWake = 2000; // keeps the line answered while physics catches up
constexpr std::uint16_t kMaxWriteCount = 123;

void WriteAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // the line is gone; the master notices by itself
        }
    }
}

} // namespace

DriveSimulator::DriveSimulator(ModelDescription model, DriveOptions driveOptions,
                               SimulatorOptions options)
    : drive_(std::move(model), std::move(driveOptions)), options_(std::move(options)),
      faults_(options_.seed), rate_(options_.clockRate) {}

DriveSimulator::~DriveSimulator() {
    Stop();
}

bool DriveSimulator::OpenLine(Line& line, std::string& error) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    // Raw from the start: an echoing slave would hand the drive its own replies.
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    line.master = master;
    line.slave = slave;
    line.path = name;
    return true;
}

void DriveSimulator::CloseLine(Line& line) {
    if (line.master >= 0) {
        ::close(line.master);
    }
    if (line.slave >= 0) {
        ::close(line.slave);
    }
    line = Line{};
}

bool DriveSimulator::RegisterLine(const std::string& name, const std::string& path,
                                  std::string& error) {
    if (ktcom::RegisterPort(name, path)) {
        return true;
    }
    const int saved = errno;
    const std::string why = ktcom::PortDirectoryProblem();
    if (!why.empty()) {
        error = "cannot register port " + name + ": the port directory is passed over because " +
                why + "; remove it or set KESTOVA_PORT_DIR to a private folder";
    } else if (saved == EEXIST) {
        error = "port " + name + " is already taken by " + ktcom::EntryTarget(name) +
                " (another drive?); choose another name with --port";
    } else {
        error = "cannot register port " + name + " in " + ktcom::PortDirectory() + ": " +
                std::strerror(saved);
    }
    return false;
}

bool DriveSimulator::Start(std::string& error) {
    if (Running()) {
        return true;
    }
    Line line;
    if (!OpenLine(line, error)) {
        return false;
    }
    if (options_.registerPort && !RegisterLine(options_.portName, line.path, error)) {
        CloseLine(line);
        return false;
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    {
        std::lock_guard lock(lineMutex_);
        line_ = line;
    }
    {
        std::lock_guard lock(driveMutex_);
        baseReal_ = Clock::now();
        baseTicks_ = drive_.Ticks();
    }
    stop_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void DriveSimulator::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    std::lock_guard lock(lineMutex_);
    if (line_.master >= 0 && options_.registerPort) {
        ktcom::UnregisterPort(options_.portName, line_.path);
    }
    CloseLine(line_);
    if (newLine_) {
        CloseLine(*newLine_);
        newLine_.reset();
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

std::string DriveSimulator::DevicePath() const {
    std::lock_guard lock(lineMutex_);
    return line_.path;
}

void DriveSimulator::Wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void DriveSimulator::Hangup() {
    std::unique_lock lock(lineMutex_);
    if (options_.registerPort && line_.master >= 0) {
        ktcom::UnregisterPort(options_.portName, line_.path);
    }
    if (!Running()) {
        CloseLine(line_);
        return;
    }
    hangup_ = true;
    Wake();
    lineChanged_.wait_for(lock, std::chrono::seconds(5), [this] { return !hangup_; });
}

bool DriveSimulator::Replug(std::string& error) {
    Line line;
    if (!OpenLine(line, error)) {
        return false;
    }
    if (options_.registerPort && !RegisterLine(options_.portName, line.path, error)) {
        CloseLine(line);
        return false;
    }
    std::unique_lock lock(lineMutex_);
    if (!Running()) {
        CloseLine(line_);
        line_ = line;
        return true;
    }
    newLine_ = line;
    Wake();
    lineChanged_.wait_for(lock, std::chrono::seconds(5), [this] { return !newLine_; });
    return true;
}

int DriveSimulator::TakeLineChanges() {
    std::lock_guard lock(lineMutex_);
    bool changed = false;
    if (hangup_) {
        CloseLine(line_);
        hangup_ = false;
        changed = true;
    }
    if (newLine_) {
        CloseLine(line_);
        line_ = *newLine_;
        newLine_.reset();
        changed = true;
    }
    if (changed) {
        lineChanged_.notify_all();
    }
    return line_.master;
}

void DriveSimulator::SetClockRate(double simulatedPerReal) {
    std::lock_guard lock(driveMutex_);
    const auto now = Clock::now();
    baseTicks_ = std::max(TargetTicks(now), drive_.Ticks());
    baseReal_ = now;
    rate_ = std::max(0.0, simulatedPerReal);
    Wake();
}

double DriveSimulator::ClockRate() const {
    std::lock_guard lock(driveMutex_);
    return rate_;
}

void DriveSimulator::Step(std::chrono::microseconds simulated) {
    std::lock_guard lock(driveMutex_);
    const std::int64_t ticks = simulated.count() / Drive::kBasePeriodUs;
    baseTicks_ += ticks;
    const std::int64_t target = TargetTicks(Clock::now());
    if (target > drive_.Ticks()) {
        drive_.Advance(target - drive_.Ticks());
    }
}

std::int64_t DriveSimulator::TargetTicks(Clock::time_point now) const {
    const double elapsedUs = std::chrono::duration<double, std::micro>(now - baseReal_).count();
    return baseTicks_ + static_cast<std::int64_t>(rate_ * elapsedUs / Drive::kBasePeriodUs);
}

void DriveSimulator::AdvanceClock() {
    std::lock_guard lock(driveMutex_);
    if (rate_ <= 0.0) {
        return;
    }
    const auto now = Clock::now();
    std::int64_t behind = TargetTicks(now) - drive_.Ticks();
    if (behind > kMaxTicksPerWake * 4) {
        // Far behind (a stalled process, a debugger): let the lost time go.
        baseTicks_ = drive_.Ticks() + kMaxTicksPerWake;
        baseReal_ = now;
        behind = kMaxTicksPerWake;
    }
    if (behind > 0) {
        drive_.Advance(std::min(behind, kMaxTicksPerWake));
    }
}

Bytes DriveSimulator::Answer(const RtuRequest& r) {
    const std::uint8_t st = options_.station;
    if (r.malformed) {
        return ExceptionReply(st, r.function, *r.malformed);
    }
    std::lock_guard lock(driveMutex_);
    switch (r.function) {
    case 0x03: {
        ReadResult result = drive_.Read(r.address, r.count);
        if (result.error) {
            return ExceptionReply(st, r.function, *result.error);
        }
        return ReadReply(st, result.values);
    }
    case 0x06:
        if (auto e = drive_.Write(r.address, r.values)) {
            return ExceptionReply(st, r.function, *e);
        }
        return WriteSingleReply(st, r.address, r.values[0]);
    default: // 0x10
        if (r.count == 0 || r.count > kMaxWriteCount) {
            return ExceptionReply(st, r.function, ExceptionCode::IllegalDataValue);
        }
        if (auto e = drive_.Write(r.address, r.values)) {
            return ExceptionReply(st, r.function, *e);
        }
        return WriteMultipleReply(st, r.address, r.count);
    }
}

void DriveSimulator::Serve() {
    Bytes rx;
    Clock::time_point frameStart{};
    Clock::time_point lastByte{};
    Bytes pending;
    bool replyPending = false;
    Clock::time_point replyDue{};
    Clock::time_point lastNoise = Clock::now();
    const Micros gap = options_.timing.FrameGap();
    std::uint8_t buffer[4096];

    while (!stop_) {
        const int master = TakeLineChanges();
        auto now = Clock::now();
        Clock::duration wait =
            ClockRate() > 0 ? Clock::duration(kPhysicsCadence) : Clock::duration(kIdleWait);
        if (replyPending) {
            wait = std::min<Clock::duration>(wait, replyDue - now);
        }
        if (!rx.empty()) {
            wait = std::min<Clock::duration>(wait, lastByte + gap - now);
        }
        wait = std::max<Clock::duration>(wait, Clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                         static_cast<long>(ns % 1'000'000'000)};
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {master, POLLIN, 0}};
        const nfds_t count = master >= 0 ? 2 : 1;
        ::ppoll(fds, count, &timeout, nullptr);
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &drained, sizeof drained);
        }
        if (master < 0) {
            rx.clear();
            replyPending = false;
        } else if ((fds[1].revents & POLLIN) != 0) {
            for (;;) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                const auto t = Clock::now();
                if (rx.empty()) {
                    frameStart = t;
                }
                lastByte = t;
                rx.insert(rx.end(), buffer, buffer + n);
            }
        }
        AdvanceClock();
        now = Clock::now();

        if (replyPending && now >= replyDue) {
            // Counted before the bytes go out, so whoever has read the reply also sees the count.
            answered_.fetch_add(1);
            WriteAll(master, pending);
            replyPending = false;
        }
        // One request at a time: the line is half duplex.
        while (!replyPending && !rx.empty()) {
            const FrameStep step = NextFrame(rx.data(), rx.size(), now - lastByte >= gap);
            if (step.action == FrameStep::Action::Wait) {
                break;
            }
            if (step.action == FrameStep::Action::Drop) {
                rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(step.skip));
                continue;
            }
            if (step.action == FrameStep::Action::Refuse) {
                if (rx[0] == options_.station) {
                    pending =
                        ExceptionReply(options_.station, rx[1], ExceptionCode::IllegalFunction);
                    replyDue = frameStart + options_.timing.ExchangeTime(rx.size(), pending.size());
                    replyPending = true;
                }
                rx.clear();
                break;
            }
            const RtuRequest& request = step.request;
            rx.erase(rx.begin(),
                     rx.begin() + static_cast<std::ptrdiff_t>(step.skip + request.frameLength));
            const Clock::time_point started = frameStart;
            frameStart = lastByte;
            if (request.station != options_.station && request.station != 0) {
                continue; // another drive's request
            }
            if (faults_.RequestLost()) {
                continue; // spoilt on the way in: the drive never knew of it
            }
            Bytes reply = Answer(request);
            if (request.station == 0) {
                continue; // broadcasts are carried out without an answer
            }
            ReplyPlan plan = faults_.Plan(std::move(reply), options_.station, request.function);
            if (!plan.send) {
                continue;
            }
            pending = std::move(plan.bytes);
            // A request that queued up while the drive was busy answering is taken up only when
            // the drive is free again, so its reply follows the previous one by a whole exchange.
            const WireTiming& timing = options_.timing;
            const Clock::time_point takenUp =
                std::max(started + timing.BytesTime(request.frameLength), now);
            replyDue = takenUp + (timing.baud > 0 ? timing.turnaround : Micros{0}) +
                       timing.BytesTime(pending.size()) + plan.extraDelay;
            replyPending = true;
            if (replyDue <= now) {
                answered_.fetch_add(1);
                WriteAll(master, pending);
                replyPending = false;
            }
        }
        if (!replyPending && rx.empty() && master >= 0) {
            const auto idle = std::chrono::duration_cast<Micros>(now - lastNoise);
            lastNoise = now;
            for (const Bytes& burst : faults_.NoiseDue(idle)) {
                WriteAll(master, burst);
            }
        }
    }
}

} // namespace kestova::sim
