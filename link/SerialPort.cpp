#include "SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ktcom {

namespace {

speed_t SpeedConstant(unsigned baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 500000:
        return B500000;
    default:
        return B0; // no constant: set afterwards as a free speed
    }
}

} // namespace

bool MakeLineState(const LineSettings& s, termios& tio) {
    if (s.stopBitsChoice == 1) {
        return false; // one and a half stop bits: not a state termios can express
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL | (s.dataBitsChoice == 0 ? CS7 : CS8);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    if (s.parityChoice == 1 || s.parityChoice == 2) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (s.parityChoice == 1) {
            tio.c_cflag |= PARODD;
        }
    }
    if (s.stopBitsChoice == 2) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    return true;
}

namespace {

// A device the kernel files under a class other than tty (a watchdog, memory, a disk) is never a
// serial port, and opening some of them acts on the machine; such a node is refused before it is
// opened. Devices that sysfs does not list (pseudo-terminals in a container) are judged once open.
bool KnownNotTerminal(const struct stat& st) {
    const std::string node = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(node.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return false;
    }
    const std::string_view subsystem(target, static_cast<std::size_t>(n));
    const auto slash = subsystem.rfind('/');
    return subsystem.substr(slash == std::string_view::npos ? 0 : slash + 1) != "tty";
}

// Asks the serial driver to hand received bytes on at once instead of holding them for its
// latency timer. Drivers without the setting (a pseudo-terminal) refuse, which changes nothing.
void AskForLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0 && (info.flags & ASYNC_LOW_LATENCY) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &info);
    }
}

} // namespace

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    // Only a terminal is a port. What the path names is looked at before it is opened, and the
    // opened descriptor again, before anything is configured or written.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return nullptr;
    }
    if (!S_ISCHR(st.st_mode) || KnownNotTerminal(st)) {
        errno = ENOTTY;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || !::isatty(fd)) {
        ::close(fd);
        errno = ENOTTY;
        return nullptr;
    }
    // No sharing: a second program (or link) that tries the same device is turned away. The lock
    // holds against everyone; TIOCEXCL adds the kernel's own guard for programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    AskForLowLatency(fd);
    return std::shared_ptr<SerialPort>(new SerialPort(fd));
}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Configure(const LineSettings& s) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    if (!MakeLineState(s, tio)) {
        return false;
    }
    const unsigned baud = BaudForIndex(s.speedIndex);
    const speed_t constant = SpeedConstant(baud);
    ::cfsetispeed(&tio, constant == B0 ? B9600 : constant);
    ::cfsetospeed(&tio, constant == B0 ? B9600 : constant);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return false;
    }
    if (constant == B0 && !SetCustomSpeed(fd_, baud)) {
        return false;
    }
    // RTS on and left on; a pseudo-terminal has no modem lines and ignores the request.
    int rts = TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &rts);
    return true;
}

void SerialPort::Purge() {
    ::tcflush(fd_, TCIOFLUSH);
}

void SerialPort::PurgeInput() {
    ::tcflush(fd_, TCIFLUSH);
}

std::size_t SerialPort::BytesWaiting() const {
    int n = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) {
        return 0;
    }
    return static_cast<std::size_t>(n);
}

std::size_t SerialPort::ReadWaiting(std::uint8_t* buffer, std::size_t capacity) {
    if (fd_ < 0 || capacity == 0) {
        return 0;
    }
    const std::size_t want = std::min(BytesWaiting(), capacity);
    if (want == 0) {
        return 0;
    }
    ssize_t got;
    do {
        got = ::read(fd_, buffer, want);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t SerialPort::Write(const std::uint8_t* data, std::size_t length,
                              std::chrono::milliseconds timeout) {
    using clock = std::chrono::steady_clock;
    if (fd_ < 0) {
        return 0;
    }
    const auto deadline = clock::now() + timeout;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP)) != 0) {
            break;
        }
    }
    return done;
}

SerialPort::Readiness SerialPort::WaitReadable(std::chrono::microseconds timeout) const {
    if (fd_ < 0) {
        return Readiness::Failed;
    }
    pollfd p{fd_, POLLIN, 0};
    timespec ts{};
    timespec* tsp = nullptr;
    if (timeout.count() >= 0) {
        ts.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
        ts.tv_nsec = static_cast<long>((timeout.count() % 1000000) * 1000);
        tsp = &ts;
    }
    const int r = ::ppoll(&p, 1, tsp, nullptr);
    if (r < 0) {
        return errno == EINTR ? Readiness::TimedOut : Readiness::Failed;
    }
    if (r == 0) {
        return Readiness::TimedOut;
    }
    // A line that has hung up also reports itself readable; it is told apart so that no caller
    // takes it for bytes waiting.
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return Readiness::HungUp;
    }
    return (p.revents & POLLIN) != 0 ? Readiness::Readable : Readiness::Failed;
}

bool SerialPort::Close() {
    if (fd_ < 0) {
        return true;
    }
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

} // namespace ktcom
