#pragma once

// A scripted Modbus slave on the master side of a real pseudo-terminal. The link under test opens
// the slave side by name; the test decides per request what goes back on the line, and reads
// every request the slave saw.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kttest {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS, table-driven: written apart from the library's bitwise one so each checks the
// other.
std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t length);
Bytes WithCrc(Bytes frame);
bool CrcOk(const Bytes& frame);

// A temporary port directory for the life of a test; KESTOVA_PORT_DIR points at it.
class TempPortDir {
public:
    TempPortDir();
    ~TempPortDir();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class PtySlave {
public:
    using Responder = std::function<Bytes(const Bytes& request)>;

    PtySlave();
    ~PtySlave();
    PtySlave(const PtySlave&) = delete;
    PtySlave& operator=(const PtySlave&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // A descriptor of the slave side held open by the test, so the line's settings can be read
    // and the line does not hang up between the link's opens.
    int SlaveFd() const { return slaveFd_; }

    // What to send back for each whole request (empty: stay silent). Default: silence.
    void SetResponder(Responder responder);
    // Frames requests by a fixed length instead of by a quiet line, so requests that queue up
    // while the responder takes its time are answered one by one, as a drive would.
    void SetFrameLength(std::size_t length);
    // Writes bytes to the line now, unasked.
    void Send(const Bytes& bytes);

    std::vector<Bytes> Requests() const;
    std::size_t RequestCount() const;
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Sends garbage continuously until stopped.
    void StartFlood();
    void StopFlood();
    // Closes the master side: the link sees the line hang up.
    void HangUp();

private:
    void Run();

    int masterFd_ = -1;
    int slaveFd_ = -1;
    int stopFd_ = -1;
    std::string slavePath_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    Responder responder_;
    std::size_t frameLength_ = 0;
    std::vector<Bytes> requests_;
    std::atomic<bool> flood_{false};
    std::thread reader_;
    std::thread flooder_;
};

// A register bank answering 03, 06 and 10 the way a drive does, for responders to build on.
// Safe to use from the test and the slave's thread at once.
class RegisterBank {
public:
    explicit RegisterBank(std::uint8_t station = 1) : station_(station) {}
    void Set(std::uint16_t address, std::uint16_t value) {
        std::lock_guard lock(mutex_);
        regs_[address] = value;
    }
    std::uint16_t Get(std::uint16_t address) const {
        std::lock_guard lock(mutex_);
        return GetLocked(address);
    }
    // The proper answer to a request, or empty when it is not for this station or malformed.
    Bytes Answer(const Bytes& request);

private:
    std::uint16_t GetLocked(std::uint16_t address) const;
    std::uint8_t station_;
    mutable std::mutex mutex_;
    std::map<std::uint16_t, std::uint16_t> regs_;
};

// Two pseudo-terminals whose master sides are joined, so that two programs that each open a
// serial device by path can talk to each other.
class PtyRelay {
public:
    PtyRelay();
    ~PtyRelay();
    PtyRelay(const PtyRelay&) = delete;
    PtyRelay& operator=(const PtyRelay&) = delete;
    const std::string& PathA() const { return pathA_; }
    const std::string& PathB() const { return pathB_; }

private:
    void Run();
    int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1, stopFd_ = -1;
    std::string pathA_, pathB_;
    std::thread pump_;
};

} // namespace kttest
