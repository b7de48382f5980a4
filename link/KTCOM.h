#pragma once

// The drive link: one object is one serial line to the drive, carrying Modbus RTU request/response
// exchanges one at a time. Failures never throw: an operation returns its failure value, records
// a failure code readable with GetLastErrors, and posts it to the report target when one is set.

#include "AnswerLedger.h"
#include "BusLock.h"
#include "KtEvent.h"
#include "KtExport.h"
#include "KtTap.h"
#include "KtVariant.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ktcom {
class SerialPort;
} // namespace ktcom

// Failure codes of the link.
constexpr std::uint16_t LINK_ERR_NOT_OPEN = 60000;     // an exchange was asked for on a closed port
constexpr std::uint16_t LINK_ERR_OPEN_FAILED = 60001;  // the port cannot be opened
constexpr std::uint16_t LINK_ERR_BAD_CRC = 60002;      // an answer arrived but its CRC was wrong
constexpr std::uint16_t LINK_ERR_NO_RESPONSE = 60003;  // fewer bytes than expected arrived in time
constexpr std::uint16_t LINK_ERR_EVENT = 60004;        // a wake-up object could not be created
constexpr std::uint16_t LINK_ERR_BUS_BUSY = 60005;     // another exchange held the line too long
constexpr std::uint16_t LINK_ERR_BAD_ARGUMENT = 60006; // the arguments cannot make a request
constexpr std::uint16_t LINK_ERR_REFUSED = 60007;      // the drive answered with an exception reply

// Message number of link reports; wParam 0, lParam the failure code.
constexpr unsigned WM_LINK_NOTIFY = 0x7E8;

// Receiver of the link's failure reports. Post is called on whichever thread met the failure, so
// it must be thread-safe and return quickly (queue the report, do not handle it in place).
class KTCOM_API KtReportTarget {
public:
    virtual ~KtReportTarget();
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};
using KtReportHandle = KtReportTarget*;

class KTCOM_API CKTCOM {
public:
    CKTCOM();
    ~CKTCOM();
    CKTCOM(const CKTCOM&) = delete;
    CKTCOM& operator=(const CKTCOM&) = delete;

    // Line settings; they take effect at the next OpenCom. Always returns 1.
    int ConfigCom(char* port, char* baud, char* dataBits, char* parity, char* stopBits);
    int ConfigCom(const char* port, const char* baud, const char* dataBits, const char* parity,
                  const char* stopBits);
    int OpenCom();
    int CloseCom();
    int GetConnectStatus();
    int SetReceiveTimeOut(std::uint16_t milliseconds);
    std::uint16_t GetReceiveTimeOut();
    void SetCurrentUseMode(int mode);
    int GetCurrentUseMode();
    void SetReportHWND(KtReportHandle target);
    std::uint16_t GetLastErrors();
    // Sets the tap that sees every frame of the register and pass-through exchanges (KtTap.h);
    // null takes it off. It waits for the exchange on the line, if any, so once it returns the
    // tap set before is no longer called. Never call it from a tap.
    void SetTap(KtTap* tap);

    // Register access.
    std::int16_t ReadAddressValue(std::uint8_t station, std::uint16_t address);
    std::int16_t WriteAddressValue(std::uint8_t station, std::uint16_t address, std::int16_t value);
    std::int32_t ReadAddressValue32Bit(std::uint8_t station, std::uint16_t address);
    std::int32_t WriteAddressValue32Bit(std::uint8_t station, std::uint16_t address,
                                        std::int32_t value);
    std::int16_t FindDrive(std::uint8_t station, std::uint16_t address);
    KtVariant ReadBigData(std::uint8_t station, std::uint16_t address, std::uint16_t count);
    std::int16_t WriteBigData(std::uint8_t station, std::uint16_t address, std::uint16_t count,
                              const KtVariant& bytes);
    std::int16_t WriteCmdBuffer(std::uint8_t station, std::uint16_t address,
                                const std::uint8_t* data, std::uint16_t count);
    // The destination must hold 1024 bytes.
    std::int16_t RecvCmdBuffer(std::uint8_t station, std::uint16_t address, std::uint16_t third,
                               std::uint16_t fourth, std::uint8_t* destination);

    // Pass-through exchanges: the bytes go out as given and the answer comes back unchecked.
    KtVariant BatchWriteData(const KtVariant& bytes, std::uint16_t pollInterval);
    KtVariant BatchWriteDataForFreescale(const KtVariant& bytes, std::uint16_t pollInterval);

    // Raw frames with the FF FF FF FF header. They take no bus lock: never call them while another
    // thread exchanges on the same link. The destination must hold 1024 bytes.
    std::uint32_t SendToRoboticArm(std::uint8_t identifier, std::uint16_t word,
                                   std::uint16_t value);
    std::uint32_t RecvFromRoboticArm(std::uint8_t* destination);

private:
    using Bytes = std::vector<std::uint8_t>;
    using PortHandle = std::shared_ptr<ktcom::SerialPort>;

    struct Plan;
    enum class Gate { Go, Offline, NotOpen };

    int ConfigComDCB(const PortHandle& port);
    std::uint32_t WriteComm(const PortHandle& port, const std::uint8_t* bytes,
                            std::uint32_t length);
    std::uint32_t ReadComm(const PortHandle& port, std::uint8_t* buffer, std::uint32_t capacity);
    std::uint32_t ReadComThread(Bytes& array, std::uint32_t expected);
    void DiscardInput(const PortHandle& port);

    static std::uint32_t CRC_Check(const std::uint8_t* bytes, std::uint16_t length);
    static int CByteArrary_CRC_CHECK(const Bytes& array);
    static void CutOutValidData(Bytes& array, std::uint8_t station, std::uint8_t function,
                                std::uint16_t length);
    static KtVariant ByteArraryToVariant(const Bytes& array);
    static char ConvertHexChar(char c);
    static int StringToHex(const std::string& text, Bytes& array);
    static std::string HexToDec(const std::string& text);

    Gate Enter();
    // The value an operation returns before any exchange (offline, or the port closed), if any.
    template <class T> std::optional<T> EnterWith(T offline, T failure);
    PortHandle CurrentPort();
    bool Exchange(const Bytes& request, const Plan& plan, Bytes& answer);
    // Accounts for what came since the last receive (`read` bytes); true when it holds a late
    // answer to an earlier attempt of `exchange`, which is then in `answer`.
    bool TakeWaiting(const PortHandle& port, std::uint64_t exchange, Bytes& answer,
                     std::size_t& read);
    // Before a request goes out: while an earlier request to a drive that answers may still get
    // an answer this request's could not be told from, its answer is waited for.
    void WaitOutLookAlikes(const PortHandle& port, std::uint64_t exchange,
                           const ktcom::AnswerRule& rule);
    struct ReceiveCount {
        std::size_t received = 0;    // bytes read
        std::size_t unexplained = 0; // bytes that made no frame
    };
    // Receives until the answer to `exchange` is in, it is judged, or the response time-out.
    ktcom::AnswerLedger::Result ReceiveAnswer(const PortHandle& port, std::uint64_t exchange,
                                              const ktcom::AnswerRule& rule, ReceiveCount& count);
    // Gives the answers due more time when a wait of `expected` from `start` overran by far.
    void NoteStall(std::chrono::steady_clock::time_point start, std::chrono::microseconds expected);
    // How long after it was taken up an answer to a request may still come.
    std::chrono::microseconds AnswerWindow(std::size_t requestBytes, const ktcom::AnswerRule& rule);
    KtVariant BatchExchange(const KtVariant& bytes, std::uint16_t pollInterval,
                            bool firstBytesOnly);
    void Report(std::uint16_t code);
    // Hands a frame to the exchange's tap, which is set.
    void TapFrame(KtDirection direction, KtVerdict verdict, const std::uint8_t* bytes,
                  std::size_t count, std::uint8_t station, std::uint8_t attempt = 0,
                  std::int64_t answerUs = -1);
    // Hands the tap the outcome of an attempt that went out at `sent`.
    void TapOutcome(const ktcom::AnswerLedger::Result& got, bool noAnswer, std::uint8_t station,
                    std::chrono::steady_clock::time_point sent);
    static void TapPassed(void* context, const std::uint8_t* data, std::size_t count, bool late,
                          std::uint8_t station);
    void MonitorThread(PortHandle port);
    void StopMonitor();

    // Marks the line as taken by an exchange for as long as it lives; the monitor stays off it.
    class LineHeld {
    public:
        explicit LineHeld(std::atomic<bool>& flag) : flag_(flag) { flag_.store(true); }
        ~LineHeld() { flag_.store(false); }
        LineHeld(const LineHeld&) = delete;
        LineHeld& operator=(const LineHeld&) = delete;

    private:
        std::atomic<bool>& flag_;
    };

    std::atomic<int> m_connected{0};
    PortHandle m_port;
    ktcom::KtEvent m_readDone;
    ktcom::KtEvent m_dataWaiting;
    ktcom::KtEvent m_closing;            // ends the monitor's pause when the port closes
    std::atomic<bool> m_lineHeld{false}; // an exchange owns the line
    std::string m_portName = "COM1";
    int m_speedIndex = 6;
    int m_dataBits = 0;
    int m_parity = 0;
    int m_stopBits = 0;
    ktcom::BusLock m_busMutex;
    std::thread m_monitor;
    std::atomic<int> m_useMode{1};
    std::atomic<std::uint16_t> m_timeout{50};
    std::atomic<KtReportHandle> m_report{nullptr};
    std::atomic<std::uint16_t> m_lastError{0};
    std::atomic<KtTap*> m_tap{nullptr};
    KtTap* m_exchangeTap = nullptr; // the tap of the exchange on the line; under the bus lock
    // The bytes received and the requests whose answers may still come; used under the bus lock.
    ktcom::AnswerLedger m_ledger;
    std::uint64_t m_exchanges = 0;
    std::chrono::microseconds m_stallLongest{0}; // the longest stall lately, and when it was
    std::chrono::steady_clock::time_point m_stallSeen{};

    std::mutex m_stateLock; // settings and the port handle, between callers and the monitor
    std::mutex m_openLock;  // one OpenCom or CloseCom at a time
};
