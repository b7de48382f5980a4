#include "PtySlave.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace kttest {

namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
        std::uint16_t c = static_cast<std::uint16_t>(n);
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                        : static_cast<std::uint16_t>(c >> 1);
        }
        t[n] = c;
    }
    return t;
}
constexpr auto kTable = MakeTable();

void OpenRawPty(int& master, int& slave, std::string& path) {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::abort();
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = name;
}

void WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EAGAIN) {
            pollfd pf{fd, POLLOUT, 0};
            if (::poll(&pf, 1, 1000) <= 0) {
                return;
            }
        } else if (!(w < 0 && errno == EINTR)) {
            return;
        }
    }
}

// Requests that queued up on the line while this thread was not scheduled arrive as one burst;
// they are told apart by their CRCs so that each is answered and counted on its own. Bytes that
// do not split into whole frames stay one request.
std::vector<Bytes> SplitFrames(const Bytes& burst) {
    std::vector<Bytes> frames;
    std::size_t start = 0;
    while (start < burst.size()) {
        std::size_t end = start + 4;
        while (end <= burst.size() &&
               !CrcOk(Bytes(burst.begin() + static_cast<std::ptrdiff_t>(start),
                            burst.begin() + static_cast<std::ptrdiff_t>(end)))) {
            ++end;
        }
        if (end > burst.size()) {
            return {burst};
        }
        frames.emplace_back(burst.begin() + static_cast<std::ptrdiff_t>(start),
                            burst.begin() + static_cast<std::ptrdiff_t>(end));
        start = end;
    }
    return frames;
}

} // namespace

std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

Bytes WithCrc(Bytes frame) {
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

bool CrcOk(const Bytes& frame) {
    if (frame.size() < 3) {
        return false;
    }
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

TempPortDir::TempPortDir() {
    char tmpl[] = "/tmp/kestova-test-ports-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        std::abort();
    }
    path_ = tmpl;
    ::setenv("KESTOVA_PORT_DIR", path_.c_str(), 1);
}

TempPortDir::~TempPortDir() {
    ::unsetenv("KESTOVA_PORT_DIR");
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) {
        // leaving a temp folder behind is harmless
    }
}

PtySlave::PtySlave() {
    OpenRawPty(masterFd_, slaveFd_, slavePath_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    reader_ = std::thread(&PtySlave::Run, this);
}

PtySlave::~PtySlave() {
    StopFlood();
    ::eventfd_write(stopFd_, 1);
    reader_.join();
    if (masterFd_ >= 0) {
        ::close(masterFd_);
    }
    ::close(slaveFd_);
    ::close(stopFd_);
}

void PtySlave::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void PtySlave::SetFrameLength(std::size_t length) {
    std::lock_guard lock(mutex_);
    frameLength_ = length;
}

void PtySlave::Send(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    if (masterFd_ >= 0) {
        WriteAll(masterFd_, bytes.data(), bytes.size());
    }
}

std::vector<Bytes> PtySlave::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t PtySlave::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool PtySlave::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void PtySlave::StartFlood() {
    if (flood_.exchange(true)) {
        return;
    }
    flooder_ = std::thread([this] {
        std::mt19937 rng(1234);
        Bytes junk(64);
        while (flood_.load()) {
            for (auto& b : junk) {
                b = static_cast<std::uint8_t>(rng());
            }
            Send(junk);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

void PtySlave::StopFlood() {
    if (flood_.exchange(false)) {
        flooder_.join();
    }
}

void PtySlave::HangUp() {
    std::lock_guard lock(mutex_);
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}

void PtySlave::Run() {
    Bytes pending;
    for (;;) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = masterFd_;
        }
        // A request is whole once the line has been quiet for 3 ms.
        pollfd p[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int r = ::poll(p, 2, pending.empty() ? 50 : 3);
        if (r < 0 && errno != EINTR) {
            return;
        }
        if (p[1].revents & POLLIN) {
            return;
        }
        if (fd >= 0 && (p[0].revents & POLLIN)) {
            std::uint8_t buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                pending.insert(pending.end(), buf, buf + n);
                continue;
            }
        }
        if (fd < 0 || p[0].revents & (POLLHUP | POLLERR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::size_t frameLength;
        {
            std::lock_guard lock(mutex_);
            frameLength = frameLength_;
        }
        std::vector<Bytes> burst;
        if (frameLength > 0) {
            while (pending.size() >= frameLength) {
                const auto end = pending.begin() + static_cast<std::ptrdiff_t>(frameLength);
                burst.emplace_back(pending.begin(), end);
                pending.erase(pending.begin(), end);
            }
        } else if (r == 0 && !pending.empty()) {
            burst = SplitFrames(pending);
            pending.clear();
        }
        for (const Bytes& request : burst) {
            Responder responder;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                responder = responder_;
            }
            cv_.notify_all();
            if (responder) {
                const Bytes reply = responder(request);
                if (!reply.empty()) {
                    Send(reply);
                }
            }
        }
    }
}

std::uint16_t RegisterBank::GetLocked(std::uint16_t address) const {
    const auto it = regs_.find(address);
    return it == regs_.end() ? 0 : it->second;
}

Bytes RegisterBank::Answer(const Bytes& req) {
    if (req.size() < 8 || req[0] != station_ || !CrcOk(req)) {
        return {};
    }
    const std::uint16_t addr = static_cast<std::uint16_t>((req[2] << 8) | req[3]);
    const std::uint16_t word = static_cast<std::uint16_t>((req[4] << 8) | req[5]);
    std::lock_guard lock(mutex_);
    switch (req[1]) {
    case 0x03: {
        Bytes out{station_, 0x03, static_cast<std::uint8_t>(2 * word)};
        for (std::uint16_t i = 0; i < word; ++i) {
            const std::uint16_t v = GetLocked(static_cast<std::uint16_t>(addr + i));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
        return WithCrc(out);
    }
    case 0x06:
        regs_[addr] = word;
        return req;
    case 0x10: {
        for (std::uint16_t i = 0; i < word && 7u + 2u * i + 1u < req.size() - 2; ++i) {
            regs_[static_cast<std::uint16_t>(addr + i)] =
                static_cast<std::uint16_t>((req[7 + 2 * i] << 8) | req[8 + 2 * i]);
        }
        return WithCrc(Bytes(req.begin(), req.begin() + 6));
    }
    default:
        return {};
    }
}

PtyRelay::PtyRelay() {
    OpenRawPty(masterA_, slaveA_, pathA_);
    OpenRawPty(masterB_, slaveB_, pathB_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    pump_ = std::thread(&PtyRelay::Run, this);
}

PtyRelay::~PtyRelay() {
    ::eventfd_write(stopFd_, 1);
    pump_.join();
    for (int fd : {masterA_, slaveA_, masterB_, slaveB_, stopFd_}) {
        ::close(fd);
    }
}

void PtyRelay::Run() {
    for (;;) {
        pollfd p[3] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 3, 100) < 0 && errno != EINTR) {
            return;
        }
        if (p[2].revents & POLLIN) {
            return;
        }
        std::uint8_t buf[4096];
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(masterA_, buf, sizeof buf);
            if (n > 0) {
                WriteAll(masterB_, buf, static_cast<std::size_t>(n));
            }
        }
        if (p[1].revents & POLLIN) {
            const ssize_t n = ::read(masterB_, buf, sizeof buf);
            if (n > 0) {
                WriteAll(masterA_, buf, static_cast<std::size_t>(n));
            }
        }
    }
}

} // namespace kttest
