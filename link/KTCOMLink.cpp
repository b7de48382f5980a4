// The link object itself: settings, opening and closing the port, the monitor thread, and the
// byte transport that every exchange uses.

#include "KTCOM.h"

#include "AnswerRule.h"
#include "LineSettings.h"
#include "ModbusFrame.h"
#include "PortNames.h"
#include "SerialPort.h"

using namespace std::chrono_literals;
using ktcom::SerialPort;

KtReportTarget::~KtReportTarget() = default;

namespace {

constexpr std::size_t kReceiveBufferSize = 1024;
constexpr auto kReceiveStep = 5ms;
constexpr auto kMonitorPause = 10ms;
// How late an answer may come and still be told from the answer to a later request: this many
// response time-outs past the time-out of its own attempt, plus the line time of both frames and
// a margin for the drive's turnaround and our own scheduling. An answer later than that may be
// taken for a later request's when that one has the same shape (docs/architecture.md).
constexpr int kLateAnswerTimeOuts = 4;
constexpr auto kLateAnswerMargin = 50ms;
// A wait that overran by more than this was a stall of the machine, not of the drive. The longest
// stall of the last half minute widens every window too: a machine that stalls once will again.
constexpr auto kStall = 20ms;
constexpr auto kStallMemory = std::chrono::seconds(30);

} // namespace

// The link's waits are condition variables, which cannot fail to be made, so construction has
// nothing to report.
CKTCOM::CKTCOM() = default;

CKTCOM::~CKTCOM() {
    CloseCom();
    StopMonitor();
}

int CKTCOM::ConfigCom(char* port, char* baud, char* dataBits, char* parity, char* stopBits) {
    return ConfigCom(static_cast<const char*>(port), static_cast<const char*>(baud),
                     static_cast<const char*>(dataBits), static_cast<const char*>(parity),
                     static_cast<const char*>(stopBits));
}

int CKTCOM::ConfigCom(const char* port, const char* baud, const char* dataBits, const char* parity,
                      const char* stopBits) {
    std::string name = ktcom::NormalizePortName(port != nullptr ? port : "");
    const ktcom::LineSettings settings = ktcom::ParseLineSettings(baud, dataBits, parity, stopBits);
    std::lock_guard lock(m_stateLock);
    m_portName = std::move(name);
    m_speedIndex = settings.speedIndex;
    m_dataBits = settings.dataBitsChoice;
    m_parity = settings.parityChoice;
    m_stopBits = settings.stopBitsChoice;
    return 1;
}

int CKTCOM::OpenCom() {
    std::lock_guard open(m_openLock);
    if (m_connected.load() == 1) {
        return 0;
    }
    StopMonitor(); // a thread of an earlier open may still be on its way out

    std::string name;
    {
        std::lock_guard lock(m_stateLock);
        name = m_portName;
    }
    // An exchange that was running when the port closed keeps the old descriptor, and with it the
    // lock on the device, until it ends; a reopen right after a close waits for it, as long as one
    // exchange can take.
    std::unique_lock<ktcom::BusLock> line(m_busMutex, std::defer_lock);
    const auto exchangeAtMost = std::chrono::milliseconds(4 * (m_timeout.load() + 15) + 100);
    if (!line.try_lock_for(exchangeAtMost)) {
        m_connected = 0;
        Report(LINK_ERR_OPEN_FAILED);
        return 0;
    }
    // A new line: nothing received before belongs to it, and no request on it is due.
    m_ledger.Clear();
    PortHandle port = SerialPort::Open(ktcom::ResolvePortPath(name));
    if (!port) {
        m_connected = 0;
        Report(LINK_ERR_OPEN_FAILED);
        return 0;
    }
    port->Purge();
    if (ConfigComDCB(port) == 0) {
        m_connected = 0;
        port->Close();
        return 0;
    }

    m_closing.Reset();
    {
        std::lock_guard lock(m_stateLock);
        m_port = port;
    }
    m_connected = 1;
    try {
        m_monitor = std::thread(&CKTCOM::MonitorThread, this, port);
    } catch (const std::system_error&) {
        m_connected = 0;
        std::lock_guard lock(m_stateLock);
        m_port.reset();
        port->Close();
        return 0;
    }
    return 1;
}

int CKTCOM::CloseCom() {
    std::lock_guard open(m_openLock);
    if (m_connected.exchange(0) == 0) {
        return 1;
    }
    m_readDone.Set();
    m_dataWaiting.Set();
    m_closing.Set();
    // The monitor leaves at once; waiting for it here means no thread of ours
    // ever polls a descriptor number after it was closed and handed out again.
    StopMonitor();

    PortHandle port;
    {
        std::lock_guard lock(m_stateLock);
        port.swap(m_port);
    }
    // An exchange running on another thread keeps its own reference; the device then closes when
    // that exchange ends.
    if (port.use_count() == 1 && !port->Close()) {
        return 0;
    }
    return 1;
}

void CKTCOM::StopMonitor() {
    if (m_monitor.joinable()) {
        m_monitor.join();
    }
}

int CKTCOM::GetConnectStatus() {
    return m_connected.load();
}

int CKTCOM::SetReceiveTimeOut(std::uint16_t milliseconds) {
    if (milliseconds >= 5 && milliseconds <= 3000) {
        m_timeout = milliseconds;
        return 1;
    }
    m_timeout = 50;
    return 0;
}

std::uint16_t CKTCOM::GetReceiveTimeOut() {
    return m_timeout.load();
}

void CKTCOM::SetCurrentUseMode(int mode) {
    m_useMode = mode;
}

int CKTCOM::GetCurrentUseMode() {
    return m_useMode.load();
}

void CKTCOM::SetReportHWND(KtReportHandle target) {
    m_report = target;
}

std::uint16_t CKTCOM::GetLastErrors() {
    return m_lastError.load();
}

void CKTCOM::Report(std::uint16_t code) {
    m_lastError = code;
    if (KtReportHandle target = m_report.load()) {
        target->Post(WM_LINK_NOTIFY, 0, code);
    }
}

CKTCOM::PortHandle CKTCOM::CurrentPort() {
    std::lock_guard lock(m_stateLock);
    return m_port;
}

int CKTCOM::ConfigComDCB(const PortHandle& port) {
    ktcom::LineSettings settings;
    {
        std::lock_guard lock(m_stateLock);
        settings = {m_speedIndex, m_dataBits, m_parity, m_stopBits};
    }
    return port->Configure(settings) ? 1 : 0;
}

// The monitor watches the line between exchanges. It looks at the receive queue once per pause
// rather than waiting on the device, so an answer wakes only the caller that waits for it, and it
// leaves the line alone while an exchange holds it. Bytes that arrive unasked park it until a
// receive has taken them. Both of its waits end when the port closes.
void CKTCOM::MonitorThread(PortHandle port) {
    while (m_connected.load() == 1) {
        if (!m_lineHeld.load() && port->BytesWaiting() > 0) {
            m_dataWaiting.Set();
            m_readDone.Wait();
            m_readDone.Reset();
            continue;
        }
        if (m_closing.WaitFor(kMonitorPause)) {
            return;
        }
    }
}

std::uint32_t CKTCOM::WriteComm(const PortHandle& port, const std::uint8_t* bytes,
                                std::uint32_t length) {
    if (!port) {
        return 0;
    }
    // As long as the line needs for the bytes at 50 ms each, plus two seconds.
    const auto timeout = std::chrono::milliseconds(50ull * length + 2000);
    return static_cast<std::uint32_t>(port->Write(bytes, length, timeout));
}

std::uint32_t CKTCOM::ReadComm(const PortHandle& port, std::uint8_t* buffer,
                               std::uint32_t capacity) {
    if (!port) {
        return 0;
    }
    return static_cast<std::uint32_t>(port->ReadWaiting(buffer, capacity));
}

// Gathers bytes until `expected` have come or the response time-out, as they arrive; the
// register operations receive through ReceiveAnswer instead, which knows what answers them.
std::uint32_t CKTCOM::ReadComThread(Bytes& array, std::uint32_t expected) {
    using clock = std::chrono::steady_clock;
    array.clear();
    if (expected == 0) {
        return 0;
    }
    const PortHandle port = CurrentPort();
    const auto start = clock::now();
    const auto limit = std::chrono::milliseconds(m_timeout.load());
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint32_t received = 0;
    while (received < expected && received < kReceiveBufferSize && clock::now() - start < limit) {
        const auto stepEnd = clock::now() + kReceiveStep;
        if (port) {
            port->WaitReadable(kReceiveStep);
        }
        const std::uint32_t got = ReadComm(
            port, buffer + received, static_cast<std::uint32_t>(kReceiveBufferSize - received));
        if (got == 0) {
            std::this_thread::sleep_until(stepEnd);
        }
        received += got;
    }
    array.assign(buffer, buffer + received);
    m_readDone.Set();
    return received;
}

ktcom::AnswerLedger::Result CKTCOM::ReceiveAnswer(const PortHandle& port, std::uint64_t exchange,
                                                  const ktcom::AnswerRule& rule,
                                                  ReceiveCount& count) {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto limit = std::chrono::milliseconds(m_timeout.load());
    const bool strict = !rule.locate;
    ktcom::AnswerLedger::Result result;
    std::uint8_t buffer[kReceiveBufferSize];
    // A receive gathers at most one buffer's worth of bytes towards its answer.
    while (clock::now() - start < limit && m_ledger.Buffered() < kReceiveBufferSize) {
        // Each step waits at most 5 ms for bytes, so a whole answer is taken as soon as it is in.
        const auto stepStart = clock::now();
        const auto stepEnd = stepStart + kReceiveStep;
        if (port) {
            port->WaitReadable(kReceiveStep);
        }
        NoteStall(stepStart, kReceiveStep);
        const std::uint32_t got = ReadComm(
            port, buffer, static_cast<std::uint32_t>(kReceiveBufferSize - m_ledger.Buffered()));
        if (got == 0) {
            // Nothing came although the line looked ready: a hung-up or failing line reports
            // itself ready for ever. Such a step still lasts its 5 ms, so the wait stays idle.
            std::this_thread::sleep_until(stepEnd);
            continue;
        }
        count.received += got;
        m_ledger.Add(buffer, got);
        result = m_ledger.Scan(exchange, strict, false, clock::now());
        count.unexplained += result.unexplained;
        if (result.end != ktcom::AnswerLedger::End::NeedMore) {
            m_readDone.Set();
            return result;
        }
    }
    result = m_ledger.Scan(exchange, strict, true, clock::now());
    count.unexplained += result.unexplained;
    m_readDone.Set();
    return result;
}

bool CKTCOM::TakeWaiting(const PortHandle& port, std::uint64_t exchange, Bytes& answer,
                         std::size_t& read) {
    const auto now = std::chrono::steady_clock::now();
    std::uint8_t buffer[kReceiveBufferSize];
    bool taken = false;
    // A few buffers' worth; a line that floods past them is emptied unread.
    for (int round = 0; round < 4 && !taken; ++round) {
        const std::uint32_t got = ReadComm(port, buffer, kReceiveBufferSize);
        if (got == 0) {
            break;
        }
        read += got;
        m_ledger.Add(buffer, got);
        for (;;) {
            ktcom::AnswerLedger::Result r =
                m_ledger.Scan(exchange, false, false, std::chrono::steady_clock::now());
            if (r.end == ktcom::AnswerLedger::End::Taken) {
                answer = std::move(r.frame);
                taken = true;
                break;
            }
            // A late refusal or a spoilt late answer to an earlier attempt: this attempt asks
            // again.
            if (r.end == ktcom::AnswerLedger::End::NeedMore) {
                break;
            }
            if (m_exchangeTap != nullptr && !r.frame.empty()) {
                TapFrame(KtDirection::Received, KtVerdict::Late, r.frame.data(), r.frame.size(),
                         r.frame[0]);
            }
        }
        if (m_ledger.Buffered() >= kReceiveBufferSize) {
            m_ledger.DropBuffered();
        }
    }
    if (!taken && port && port->BytesWaiting() > 0) {
        DiscardInput(port);
    }
    m_readDone.Set();
    // Every byte that came by `now` has been read, so an answer that came in time is accounted.
    m_ledger.Expire(now);
    return taken;
}

void CKTCOM::WaitOutLookAlikes(const PortHandle& port, std::uint64_t exchange,
                               const ktcom::AnswerRule& rule) {
    using clock = std::chrono::steady_clock;
    // The wait ends when those answers have come or can no longer come; a bound keeps it finite
    // whatever stalls stretch their windows.
    const auto limit = clock::now() + 2 * AnswerWindow(0, rule);
    Bytes none;
    std::size_t read = 0;
    for (;;) {
        TakeWaiting(port, exchange, none, read);
        const auto until = m_ledger.AmbiguousUntil(rule);
        const auto now = clock::now();
        if (!until || now >= limit || !port) {
            return;
        }
        if (*until <= now) {
            continue; // ran out while the bytes were read: the next look forgets it
        }
        const auto step = std::chrono::duration_cast<std::chrono::microseconds>(
            std::min<clock::duration>(kReceiveStep, *until - now));
        if (port->WaitReadable(step) != ktcom::SerialPort::Readiness::Readable) {
            std::this_thread::sleep_until(now + step); // a hung-up line is waited out idle
        }
        NoteStall(now, step);
    }
}

std::chrono::microseconds CKTCOM::AnswerWindow(std::size_t requestBytes,
                                               const ktcom::AnswerRule& rule) {
    int speedIndex = 6;
    {
        std::lock_guard lock(m_stateLock);
        speedIndex = m_speedIndex;
    }
    // Ten bits a character; both frames cross the line once.
    const auto bytes = static_cast<std::uint64_t>(requestBytes) + rule.expected;
    const auto lineTime =
        std::chrono::microseconds(bytes * 10'000'000ull / ktcom::BaudForIndex(speedIndex));
    const auto timeout = std::chrono::milliseconds(m_timeout.load());
    std::chrono::microseconds stall{0};
    if (std::chrono::steady_clock::now() - m_stallSeen < kStallMemory) {
        stall = m_stallLongest;
    }
    return timeout + kLateAnswerTimeOuts * timeout + lineTime + kLateAnswerMargin + stall;
}

void CKTCOM::NoteStall(std::chrono::steady_clock::time_point start,
                       std::chrono::microseconds expected) {
    const auto over = std::chrono::steady_clock::now() - start - expected;
    if (over > kStall) {
        // The machine held this thread far past its wait; a drive simulated on it, or the
        // adapter's driver, may have been held as long, and its answers with them.
        const auto by = std::chrono::duration_cast<std::chrono::microseconds>(over);
        m_ledger.Postpone(by);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_stallSeen >= kStallMemory || by > m_stallLongest) {
            m_stallLongest = by;
            m_stallSeen = now;
        }
    }
}

void CKTCOM::DiscardInput(const PortHandle& port) {
    if (port) {
        port->PurgeInput();
    }
}

std::uint32_t CKTCOM::CRC_Check(const std::uint8_t* bytes, std::uint16_t length) {
    return ktcom::Crc16(bytes, length);
}

int CKTCOM::CByteArrary_CRC_CHECK(const Bytes& array) {
    return ktcom::IsValidFrame(array) ? 1 : 0;
}

void CKTCOM::CutOutValidData(Bytes& array, std::uint8_t station, std::uint8_t function,
                             std::uint16_t length) {
    ktcom::CutOutValidData(array, station, function, length);
}

KtVariant CKTCOM::ByteArraryToVariant(const Bytes& array) {
    return KtVariant::FromBytes(array);
}

char CKTCOM::ConvertHexChar(char c) {
    return ktcom::ConvertHexChar(c);
}

int CKTCOM::StringToHex(const std::string& text, Bytes& array) {
    return ktcom::StringToHex(text, array);
}

std::string CKTCOM::HexToDec(const std::string& text) {
    return ktcom::HexToDec(text);
}
