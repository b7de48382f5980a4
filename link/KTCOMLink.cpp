// The link object itself: settings, opening and closing the port, the monitor thread, and the
// byte transport that every exchange uses.

#include "KTCOM.h"

#include "LineSettings.h"
#include "ModbusFrame.h"
#include "PortNames.h"
#include "SerialPort.h"

#include <sys/eventfd.h>
#include <unistd.h>

using namespace std::chrono_literals;
using ktcom::SerialPort;

KtReportTarget::~KtReportTarget() = default;

namespace {

constexpr std::size_t kReceiveBufferSize = 1024;
constexpr auto kReceiveStep = 5ms;
constexpr auto kMonitorPause = 10ms;

} // namespace

CKTCOM::CKTCOM() {
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        Report(LINK_ERR_EVENT);
    }
}

CKTCOM::~CKTCOM() {
    CloseCom();
    StopMonitor();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
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

    if (m_wakeFd >= 0) {
        eventfd_t drained;
        while (::eventfd_read(m_wakeFd, &drained) == 0) {
        }
    }
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
    if (m_wakeFd >= 0) {
        ::eventfd_write(m_wakeFd, 1);
    }
    // The monitor leaves within one of its pauses; waiting for it here means no thread of ours
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

void CKTCOM::MonitorThread(PortHandle port) {
    while (m_connected.load() == 1) {
        if (port->BytesWaiting() > 0) {
            // Park while a receive takes the bytes; every receive releases us when it ends.
            m_dataWaiting.Set();
            m_readDone.Wait();
            m_readDone.Reset();
            continue;
        }
        switch (port->WaitReadable(std::chrono::microseconds(-1), m_wakeFd)) {
        case SerialPort::Readiness::Failed:
            return;
        case SerialPort::Readiness::Woken:
            continue; // the port is closing; the loop condition ends us
        default:
            break;
        }
        std::this_thread::sleep_for(kMonitorPause);
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

std::uint32_t CKTCOM::ReadComThread(Bytes& array, std::uint32_t expected) {
    return ReadComThread(CurrentPort(), array, expected);
}

std::uint32_t CKTCOM::ReadComThread(const PortHandle& port, Bytes& array, std::uint32_t expected) {
    using clock = std::chrono::steady_clock;
    if (expected == 0) {
        array.clear();
        return 0;
    }
    const auto start = clock::now();
    const auto limit = std::chrono::milliseconds(m_timeout.load());
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint32_t received = 0;
    while (received < expected && clock::now() - start < limit) {
        // Each step waits at most 5 ms for bytes, so a whole answer is taken as soon as it is in.
        const auto stepEnd = clock::now() + kReceiveStep;
        auto readiness = SerialPort::Readiness::Failed;
        if (port && received < kReceiveBufferSize) {
            readiness = port->WaitReadable(kReceiveStep);
        }
        if (readiness != SerialPort::Readiness::Readable &&
            readiness != SerialPort::Readiness::TimedOut) {
            // A hung-up line or a full buffer is always "ready"; keep the 5 ms pace regardless.
            std::this_thread::sleep_until(stepEnd);
        }
        received += ReadComm(port, buffer + received,
                             static_cast<std::uint32_t>(kReceiveBufferSize - received));
    }
    array.assign(buffer, buffer + received);
    m_readDone.Set();
    return received;
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
