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

// How one row's exchange went.
enum class RowOutcome {
    Done,
    Failed,  // this row only: the drive refused it, or the line spoilt its answer
    LinkDown // the pass ends here
};
struct RowResult {
    RowOutcome outcome = RowOutcome::Done;
    std::uint16_t code = 0; // the link's failure code for the row
};

// A failed exchange returns -1; the last error tells it from the value 0xFFFF. A drive refuses a
// register it does not have (or a value out of its range) with an exception reply, which the link
// reports as refused, so the pass goes on past that row. A row that got no answer at all is
// followed by one more read of a register every drive has, so the pass ends only when the drive
// is really gone.
RowResult Outcome(CKTCOM& link, std::uint8_t station) {
    const std::uint16_t code = link.GetLastErrors();
    if (code == 0) {
        return {};
    }
    if (!LinkIsDown(code)) {
        return {RowOutcome::Failed, code};
    }
    if (code == LINK_ERR_NOT_OPEN) {
        return {RowOutcome::LinkDown, code};
    }
    link.ReadAddressValue(station, kDriveCodeRegister);
    return {link.GetLastErrors() != 0 ? RowOutcome::LinkDown : RowOutcome::Failed, code};
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

void Failed(const TransferEvents& events, PassReport& report, int row) {
    report.failedRows.push_back(row);
    if (events.failed) {
        events.failed(row);
    }
}

// One pass over the rows; `transfer` moves one row and says how its exchange went. After an
// early stop `left` is told of each row not reached.
template <class Transfer, class Left>
PassReport Pass(const ParameterRows& rows, const std::atomic<bool>& cancel,
                const TransferEvents& events, Transfer transfer, Left left) {
    PassReport report;
    const int count = static_cast<int>(rows.size());
    Started(events, count);
    for (int i = 0; i < count; ++i) {
        if (cancel.load()) {
            report.end = PassEnd::Cancelled;
            return report;
        }
        const RowResult result = transfer(i, rows[static_cast<std::size_t>(i)]);
        if (result.outcome != RowOutcome::Done) {
            report.lastFailure = result.code != 0 ? result.code : report.lastFailure;
            Failed(events, report, i);
        }
        Progress(events, i + 1);
        if (result.outcome == RowOutcome::LinkDown) {
            report.end = PassEnd::LinkFailed;
            report.stoppedAt = i;
            for (int j = i + 1; j < count; ++j) {
                left(j, rows[static_cast<std::size_t>(j)]);
                Failed(events, report, j);
            }
            return report;
        }
    }
    return report;
}

} // namespace

PassReport ReadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                             const std::atomic<bool>& cancel, const TransferEvents& events) {
    const auto show = [&](int i, const ParameterRow& row, std::int16_t raw) {
        if (events.value) {
            events.value(i,
                         FormatParameterValue(row.Cell(kDescriptionColumn), RegisterOf(row), raw));
        }
    };
    return Pass(
        rows, cancel, events,
        [&](int i, const ParameterRow& row) {
            const std::int16_t raw = link.ReadAddressValue(station, RegisterOf(row));
            const RowResult result = Outcome(link, station);
            show(i, row, result.outcome == RowOutcome::Done ? raw : std::int16_t{-1});
            return result;
        },
        [&](int i, const ParameterRow& row) { show(i, row, -1); });
}

PassReport DownloadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                                 const std::atomic<bool>& cancel, const TransferEvents& events) {
    return Pass(
        rows, cancel, events,
        [&](int, const ParameterRow& row) {
            if (!HoldsValue(row)) {
                return RowResult{RowOutcome::Failed, 0}; // never cut down to another value
            }
            const std::uint16_t address = RegisterOf(row);
            const std::uint16_t value = EncodeParameterValue(address, row.Cell(kValueColumn), rows);
            link.WriteAddressValue(station, address, static_cast<std::int16_t>(value));
            return Outcome(link, station);
        },
        [](int, const ParameterRow&) {});
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
