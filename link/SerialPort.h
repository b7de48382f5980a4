#pragma once

// The serial port of this platform: a termios device opened non-blocking. Small on purpose; the
// link's request/response logic lives above it.

#include "KtExport.h"
#include "LineSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>

namespace ktcom {

// Fills a raw-mode terminal state for the settings: no flow control, no echo, reads that return
// at once. False for one and a half stop bits, which termios cannot express. The speed is left to
// Configure.
KTCOM_API bool MakeLineState(const LineSettings& settings, termios& state);

class SerialPort {
public:
    // Opens a terminal device for exclusive use. Anything that is not a terminal is refused
    // (ENOTTY) before a byte is configured or written. Returns null and leaves errno set when it
    // cannot.
    static std::shared_ptr<SerialPort> Open(const std::string& path);

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Applies the line settings. False when the device is no terminal or refuses the settings;
    // one and a half stop bits cannot be had here and are refused.
    bool Configure(const LineSettings& settings);

    // Discards what waits in both directions.
    void Purge();
    // Discards what waits in the receive queue.
    void PurgeInput();
    // Bytes waiting in the receive queue.
    std::size_t BytesWaiting() const;
    // Reads at most capacity of the bytes waiting; never blocks. Returns the count read.
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity);
    // Writes all bytes unless the line stays blocked past the time-out; returns the count written.
    std::size_t Write(const std::uint8_t* data, std::size_t length,
                      std::chrono::milliseconds timeout);

    enum class Readiness { Readable, TimedOut, HungUp, Failed };
    // Waits until bytes are there or the time-out passes (a negative time-out waits without
    // limit). A hung-up line is HungUp, never Readable.
    Readiness WaitReadable(std::chrono::microseconds timeout) const;

    // Closes the device now; false when close reports a failure. Later calls do nothing.
    bool Close();

    int Descriptor() const { return fd_; }

private:
    explicit SerialPort(int fd) : fd_(fd) {}
    int fd_;
};

// Sets a line speed that has no Bnnn constant (14400) through the kernel's free-speed call.
bool SetCustomSpeed(int fd, unsigned baud);

} // namespace ktcom
