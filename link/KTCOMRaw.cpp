// Exchanges outside the register protocol: pass-through batches and the raw FF-header channel.

#include "KTCOM.h"

#include "ModbusFrame.h"
#include "SerialPort.h"

#include <cstring>

using namespace std::chrono_literals;

namespace {

// Room for what one batch answer may bring back.
constexpr std::size_t kBatchBufferSize = 4096;
constexpr std::size_t kRawBufferSize = 1024;
constexpr auto kBatchWindow = 20000ms;
constexpr auto kRawPoll = 5ms;
constexpr auto kRawWindow = 20ms;
constexpr auto kRawExtension = 10ms;

} // namespace

KtVariant CKTCOM::BatchWriteData(const KtVariant& bytes, std::uint16_t pollInterval) {
    return BatchExchange(bytes, pollInterval, false);
}

KtVariant CKTCOM::BatchWriteDataForFreescale(const KtVariant& bytes, std::uint16_t pollInterval) {
    return BatchExchange(bytes, pollInterval, true);
}

KtVariant CKTCOM::BatchExchange(const KtVariant& bytes, std::uint16_t pollInterval,
                                bool firstBytesOnly) {
    using clock = std::chrono::steady_clock;
    m_lastError = 0;
    if (m_useMode.load() == 0) {
        return {};
    }
    if (m_connected.load() == 0) {
        Report(LINK_ERR_NOT_OPEN);
        return {};
    }
    const std::size_t sent = bytes.Count();
    std::unique_lock<ktcom::BusLock> bus(m_busMutex, std::defer_lock);
    if (!bus.try_lock_for(500ms)) {
        Report(LINK_ERR_BUS_BUSY);
        return {};
    }
    const auto interval =
        std::chrono::milliseconds((pollInterval == 0 || pollInterval > 3000) ? 10 : pollInterval);

    const PortHandle port = CurrentPort();
    m_exchangeTap = m_tap.load(std::memory_order_acquire);
    const std::uint8_t station = sent > 0 ? bytes.Data()[0] : 0;
    WriteComm(port, bytes.Data(), static_cast<std::uint32_t>(sent));
    const auto sentAt = clock::now();
    if (m_exchangeTap != nullptr) {
        TapFrame(KtDirection::Sent, KtVerdict::Sent, bytes.Data(), sent, station);
    }

    std::vector<std::uint8_t> buffer(kBatchBufferSize);
    std::size_t received = 0;
    const auto start = clock::now();
    while (clock::now() - start < kBatchWindow) {
        std::this_thread::sleep_for(interval);
        received += ReadComm(port, buffer.data() + received,
                             static_cast<std::uint32_t>(buffer.size() - received));
        if (firstBytesOnly ? received > 0 : received >= sent + 1) {
            break;
        }
    }
    buffer.resize(received);
    if (m_exchangeTap != nullptr) {
        // A pass-through answer is not checked: whatever came is what the caller takes.
        const auto took =
            std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - sentAt).count();
        TapFrame(KtDirection::Received, received > 0 ? KtVerdict::Taken : KtVerdict::NoAnswer,
                 buffer.data(), received, station, 0, received > 0 ? took : -1);
    }
    if (!firstBytesOnly) {
        // The answer ends with its prompt character: drop whatever came after the last one.
        while (!buffer.empty() && buffer.back() != '?') {
            buffer.pop_back();
        }
    }
    return KtVariant::FromBytes(buffer);
}

std::uint32_t CKTCOM::SendToRoboticArm(std::uint8_t identifier, std::uint16_t word,
                                       std::uint16_t value) {
    const Bytes command = ktcom::ArmCommand(identifier, word, value);
    return WriteComm(CurrentPort(), command.data(), static_cast<std::uint32_t>(command.size()));
}

std::uint32_t CKTCOM::RecvFromRoboticArm(std::uint8_t* destination) {
    using clock = std::chrono::steady_clock;
    const PortHandle port = CurrentPort();
    std::uint8_t buffer[kRawBufferSize];
    std::size_t received = 0;
    // Collect until a quiet spell: every poll that brings bytes extends the window.
    auto end = clock::now() + kRawWindow;
    while (clock::now() < end) {
        std::this_thread::sleep_for(kRawPoll);
        const std::size_t got = ReadComm(port, buffer + received,
                                         static_cast<std::uint32_t>(kRawBufferSize - received));
        if (got > 0) {
            received += got;
            end += kRawExtension;
        }
    }
    std::uint32_t result = 0;
    const long check = ktcom::CheckArmAnswer(buffer, received);
    if (check > 0) {
        if (destination != nullptr) {
            std::memcpy(destination, buffer, received);
        }
        result = static_cast<std::uint32_t>(received);
    } else if (check < 0) {
        Report(LINK_ERR_BAD_CRC);
    }
    m_readDone.Set();
    return result;
}
