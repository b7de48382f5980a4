// The serial port on Windows: a COM port opened for overlapped I/O, with the driver's queues,
// time-outs and comm events doing what termios and poll do on Linux.

#include "SerialPort.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace ktcom {

namespace {

constexpr DWORD kQueueSize = 2048;
// How long a read of bytes already waiting, or the end of an aborted wait, may take to complete.
constexpr DWORD kCompletionWait = 200;
// Writes are timed by the driver (50 ms a byte plus two seconds); this margin only guards against
// a driver that ignores its time-outs.
constexpr DWORD kWriteMargin = 1000;

HANDLE Native(void* handle) {
    return static_cast<HANDLE>(handle);
}

int ErrnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EBUSY; // the port is open elsewhere
    default:
        return EIO;
    }
}

// Waits for an overlapped operation that has been started; when it does not complete within the
// limit it is cancelled. Returns the count it reports, or nothing when it failed.
bool Finish(HANDLE port, OVERLAPPED& ov, DWORD limit, DWORD& count) {
    if (::WaitForSingleObject(ov.hEvent, limit) != WAIT_OBJECT_0) {
        ::CancelIoEx(port, &ov);
    }
    // Waits for the end of a cancelled operation too: the record must not be reused before it.
    return ::GetOverlappedResult(port, &ov, &count, TRUE) != 0;
}

} // namespace

// One record per kind of operation, each with its own manual-reset event. A comm-event wait that
// timed out stays pending and is taken up by the next wait, so no byte's event is lost between
// two waits.
struct SerialPort::Overlapped {
    OVERLAPPED read{};
    OVERLAPPED write{};
    OVERLAPPED wait{};
    DWORD events = 0;
    bool waitPending = false;
    std::mutex waitLock; // waits come from exchanges one at a time; the lock only makes that sure

    Overlapped() {
        read.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        write.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        wait.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~Overlapped() {
        for (HANDLE h : {read.hEvent, write.hEvent, wait.hEvent}) {
            if (h != nullptr) {
                ::CloseHandle(h);
            }
        }
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    bool Complete() const {
        return read.hEvent != nullptr && write.hEvent != nullptr && wait.hEvent != nullptr;
    }
};

SerialPort::SerialPort(void* handle, std::unique_ptr<Overlapped> io)
    : handle_(handle), io_(std::move(io)) {}

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    // No sharing: the driver itself turns a second opener away.
    const HANDLE h =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ErrnoFor(::GetLastError());
        return nullptr;
    }
    // Only a communications device takes queue sizes; anything else is refused before a byte is
    // configured or written.
    if (::GetFileType(h) != FILE_TYPE_CHAR || !::SetupComm(h, kQueueSize, kQueueSize)) {
        ::CloseHandle(h);
        errno = ENOTTY;
        return nullptr;
    }
    auto io = std::make_unique<Overlapped>();
    if (!io->Complete()) {
        ::CloseHandle(h);
        errno = ENOMEM;
        return nullptr;
    }
    ::SetCommMask(h, EV_RXCHAR);
    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // Reads return at once with what is waiting; a write may take 50 ms a byte plus two seconds.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 50;
    timeouts.WriteTotalTimeoutConstant = 2000;
    ::SetCommTimeouts(h, &timeouts);
    return std::shared_ptr<SerialPort>(new SerialPort(h, std::move(io)));
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Configure(const LineSettings& s) {
    if (handle_ == nullptr) {
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(Native(handle_), &dcb)) {
        return false;
    }
    dcb.BaudRate = BaudForIndex(s.speedIndex);
    dcb.ByteSize = s.dataBitsChoice == 0 ? 7 : 8;
    dcb.Parity = s.parityChoice == 1 ? ODDPARITY : s.parityChoice == 2 ? EVENPARITY : NOPARITY;
    dcb.StopBits = s.stopBitsChoice == 1   ? ONE5STOPBITS
                   : s.stopBitsChoice == 2 ? TWOSTOPBITS
                                           : ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    // No flow control; RTS on and left on.
    dcb.fOutxCtsFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 50;
    dcb.XoffLim = 50;
    return ::SetCommState(Native(handle_), &dcb) != 0;
}

void SerialPort::Purge() {
    if (handle_ != nullptr) {
        ::PurgeComm(Native(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
}

void SerialPort::PurgeInput() {
    if (handle_ != nullptr) {
        ::PurgeComm(Native(handle_), PURGE_RXCLEAR);
    }
}

std::size_t SerialPort::BytesWaiting() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (handle_ == nullptr || !::ClearCommError(Native(handle_), &errors, &status)) {
        return 0;
    }
    return status.cbInQue;
}

std::size_t SerialPort::ReadWaiting(std::uint8_t* buffer, std::size_t capacity) {
    if (handle_ == nullptr || capacity == 0) {
        return 0;
    }
    // Exactly what waits: some drivers (Wine's among them) leave a read for more than that
    // pending despite the time-outs.
    const auto want = static_cast<DWORD>(std::min(BytesWaiting(), capacity));
    if (want == 0) {
        return 0;
    }
    const HANDLE h = Native(handle_);
    DWORD got = 0;
    if (!::ReadFile(h, buffer, want, nullptr, &io_->read) && ::GetLastError() != ERROR_IO_PENDING) {
        return 0;
    }
    return Finish(h, io_->read, kCompletionWait, got) ? got : 0;
}

std::size_t SerialPort::Write(const std::uint8_t* data, std::size_t length,
                              std::chrono::milliseconds timeout) {
    if (handle_ == nullptr || length == 0) {
        return 0;
    }
    const HANDLE h = Native(handle_);
    DWORD errors = 0;
    ::ClearCommError(h, &errors, nullptr);
    DWORD done = 0;
    const BOOL started = ::WriteFile(h, data, static_cast<DWORD>(length), nullptr, &io_->write);
    const DWORD error = started ? ERROR_SUCCESS : ::GetLastError();
    ::ClearCommError(h, &errors, nullptr);
    if (!started && error != ERROR_IO_PENDING) {
        return 0;
    }
    const auto limit = static_cast<DWORD>(std::max<long long>(timeout.count(), 0)) + kWriteMargin;
    Finish(h, io_->write, limit, done); // a timed-out write still reports what went out
    return done;
}

SerialPort::Readiness SerialPort::WaitReadable(std::chrono::microseconds timeout) const {
    using clock = std::chrono::steady_clock;
    if (handle_ == nullptr) {
        return Readiness::Failed;
    }
    const HANDLE h = Native(handle_);
    std::lock_guard lock(io_->waitLock);
    const auto deadline = clock::now() + timeout;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(h, &errors, &status)) {
            return Readiness::HungUp; // a device that went away (an adapter pulled) fails here
        }
        if (status.cbInQue > 0) {
            return Readiness::Readable;
        }
        if (!io_->waitPending) {
            if (::WaitCommEvent(h, &io_->events, &io_->wait)) {
                continue; // a character came in meanwhile: look at the queue again
            }
            if (::GetLastError() != ERROR_IO_PENDING) {
                return Readiness::Failed;
            }
            io_->waitPending = true;
        }
        DWORD limit = INFINITE;
        if (timeout.count() >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
            limit = static_cast<DWORD>(std::max<long long>(left, 0));
        }
        if (::WaitForSingleObject(io_->wait.hEvent, limit) != WAIT_OBJECT_0) {
            return Readiness::TimedOut; // the wait stays pending for the next call
        }
        DWORD unused = 0;
        ::GetOverlappedResult(h, &io_->wait, &unused, FALSE);
        io_->waitPending = false;
        // Whether it ended with a character, a mask change or an abort, the queue tells.
    }
}

bool SerialPort::Close() {
    if (handle_ == nullptr) {
        return true;
    }
    const HANDLE h = Native(handle_);
    handle_ = nullptr;
    {
        // A comm-event wait left pending ends when the event mask changes; it must have ended
        // before its record and event go away with this object.
        std::lock_guard lock(io_->waitLock);
        if (io_->waitPending) {
            ::SetCommMask(h, 0);
            DWORD unused = 0;
            Finish(h, io_->wait, kCompletionWait, unused);
            io_->waitPending = false;
        }
    }
    return ::CloseHandle(h) != 0;
}

} // namespace ktcom
