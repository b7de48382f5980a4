#include "ParameterTransfer.h"

#include "KTCOM.h"

#include <cstddef>
#include <optional>

namespace kestova::params {

namespace {

using namespace std::chrono_literals;

constexpr auto kReadBackDelay = 50ms;
constexpr auto kCommandDelay = 3000ms;
constexpr auto kPollInterval = 200ms;
constexpr int kCommandPolls = 10;

// Failures after which every further row would fail the same way, each only after the link has
// spent its retries: the port is closed, or the drive no longer answers (or never gets the bus).
// A spoilt CRC is left to the next row: a noisy line may well carry it.
bool LinkIsDown(std::uint16_t code) {
    return code == LINK_ERR_NOT_OPEN || code == LINK_ERR_NO_RESPONSE || code == LINK_ERR_BUS_BUSY;
}

// The drive code register: every drive answers it, so it tells a drive that refused one register
// from one that is gone.
constexpr std::uint16_t kDriveCodeRegister = 0xFD;

// A failed exchange returns -1; the last error tells it from the value 0xFFFF. A drive refuses a
// register it does not have (or a value out of its range) with an exception reply, which the link
// reports as refused, so the pass goes on past that row. A row that got no answer at all is
// followed by one more read of a register every drive has, so the pass ends only when the drive
// is really gone.
bool Failed(CKTCOM& link, std::uint8_t station, std::int16_t result) {
    if (result != -1 || !LinkIsDown(link.GetLastErrors())) {
        return false;
    }
    if (link.GetLastErrors() == LINK_ERR_NOT_OPEN) {
        return true;
    }
    link.ReadAddressValue(station, kDriveCodeRegister);
    return link.GetLastErrors() != 0;
}

std::uint16_t RegisterOf(const ParameterRow& row) {
    return static_cast<std::uint16_t>(LeadingInteger(row.Cell(kAddressColumn)));
}

// The row's Value cell is wholly an integer that its register can hold.
bool HoldsValue(const ParameterRow& row) {
    const std::optional<long long> value = WholeInteger(row.Cell(kValueColumn));
    const RangeLimits width =
        RegisterLimits(LeadingInteger(row.Cell(kAddressColumn)), row.Cell(kDescriptionColumn));
    return value && *value >= width.low && *value <= width.high;
}

void Started(const TransferEvents& events, int rowCount) {
    if (events.started) {
        events.started(rowCount);
    }
}

void Progress(const TransferEvents& events, int rowsDone) {
    if (events.progress) {
        events.progress(rowsDone);
    }
}

// One pass over the rows; `transfer` moves one row and says whether its exchange failed.
template <class Transfer>
PassEnd Pass(const ParameterRows& rows, const std::atomic<bool>& cancel,
             const TransferEvents& events, Transfer transfer) {
    const int count = static_cast<int>(rows.size());
    Started(events, count);
    for (int i = 0; i < count; ++i) {
        if (cancel.load()) {
            return PassEnd::Cancelled;
        }
        const bool failed = transfer(i, rows[static_cast<std::size_t>(i)]);
        Progress(events, i + 1);
        if (failed) {
            return PassEnd::LinkFailed;
        }
    }
    return PassEnd::Complete;
}

} // namespace

PassEnd ReadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                          const std::atomic<bool>& cancel, const TransferEvents& events) {
    return Pass(rows, cancel, events, [&](int i, const ParameterRow& row) {
        const std::uint16_t address = RegisterOf(row);
        const std::int16_t raw = link.ReadAddressValue(station, address);
        const bool failed = Failed(link, station, raw);
        if (events.value) {
            events.value(i, FormatParameterValue(row.Cell(kDescriptionColumn), address, raw));
        }
        return failed;
    });
}

PassEnd DownloadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                              const std::atomic<bool>& cancel, const TransferEvents& events) {
    return Pass(rows, cancel, events, [&](int, const ParameterRow& row) {
        const std::uint16_t address = RegisterOf(row);
        const std::uint16_t value = EncodeParameterValue(address, row.Cell(kValueColumn), rows);
        return Failed(link, station,
                      link.WriteAddressValue(station, address, static_cast<std::int16_t>(value)));
    });
}

std::string WriteOneParameter(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                              int row, const std::function<void(std::chrono::milliseconds)>& wait) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
        return {};
    }
    const ParameterRow& edited = rows[static_cast<std::size_t>(row)];
    const std::uint16_t address = RegisterOf(edited);
    // A text the register cannot hold is not cut down to one it can: nothing is written, and the
    // cell shows what the drive keeps.
    if (HoldsValue(edited)) {
        const std::uint16_t value = EncodeParameterValue(address, edited.Cell(kValueColumn), rows);
        link.WriteAddressValue(station, address, static_cast<std::int16_t>(value));
    }
    wait(kReadBackDelay);
    const std::int16_t raw = link.ReadAddressValue(station, address);
    return FormatParameterValue(edited.Cell(kDescriptionColumn), address, raw);
}

bool RunDriveCommand(CKTCOM& link, std::uint8_t station, std::uint16_t commandRegister,
                     const std::function<void(std::chrono::milliseconds)>& wait) {
    // A drive that never got the command reads 0 as one that has finished it: only a command the
    // drive answered is waited for.
    link.WriteAddressValue(station, commandRegister, 1);
    if (link.GetLastErrors() != 0) {
        return false;
    }
    wait(kCommandDelay);
    for (int poll = 0; poll < kCommandPolls; ++poll) {
        const std::int16_t state = link.ReadAddressValue(station, commandRegister);
        // Offline every read gives 0 without asking the drive, which proves nothing.
        if (state == 0 && link.GetCurrentUseMode() == 1) {
            return true;
        }
        wait(kPollInterval);
    }
    return false;
}

} // namespace kestova::params
