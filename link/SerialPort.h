#pragma once

// The serial port of this platform: a termios device opened non-blocking, or on Windows a COM
// port opened for overlapped I/O. Small on purpose; the link's request/response logic lives above
// it.

#include "KtExport.h"
#include "LineSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#if !defined(_WIN32)
#include <termios.h>
#endif

namespace ktcom {

#if !defined(_WIN32)
// Fills a raw-mode terminal state for the settings: no flow control, no echo, reads that return
// at once. False for one and a half stop bits, which termios cannot express. The speed is left to
// Configure.
KTCOM_API bool MakeLineState(const LineSettings& settings, termios& state);
#endif

class SerialPort {
public:
    // Opens a terminal device (on Windows a COM port) for exclusive use. Anything that is not one
    // is refused (ENOTTY) before a byte is configured or written. Returns null and leaves errno
    // set when it cannot.
    static std::shared_ptr<SerialPort> Open(const std::string& path);

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Applies the line settings. False when the device is no terminal or refuses the settings;
    // termios cannot express one and a half stop bits, so on Linux they are refused.
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

private:
#if defined(_WIN32)
    struct Overlapped; // the read, write and comm-event records
    SerialPort(void* handle, std::unique_ptr<Overlapped> io);
    void* handle_;
    std::unique_ptr<Overlapped> io_;
#else
    explicit SerialPort(int fd) : fd_(fd) {}
    int fd_;
#endif
};

#if !defined(_WIN32)
// Sets a line speed that has no Bnnn constant (14400) through the kernel's free-speed call.
bool SetCustomSpeed(int fd, unsigned baud);
#endif

} // namespace ktcom
