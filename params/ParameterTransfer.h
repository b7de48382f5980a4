#pragma once

// Moving parameter values between the rows and the drive, with no widget: the full read and the
// full download (run on a worker thread by the page, or in place by the command-line tool), and
// the drive commands that the drive acknowledges through a register (store, factory reset).

#include "ParameterRules.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CKTCOM;

namespace kestova::params {

// Register commands: write 1, the drive clears the register when done.
inline constexpr std::uint16_t kStoreRegister = 12;
inline constexpr std::uint16_t kFactoryResetRegister = 250;

// What a pass reports as it goes; called on the thread that runs the pass.
struct TransferEvents {
    std::function<void(int rowCount)> started;            // progress range 0..rowCount
    std::function<void(int row, std::string text)> value; // a read row's new Value text
    std::function<void(int rowsDone)> progress;           // progress position
    // The row was not read (its Value text, reported first, is the failure value) or not
    // written. Each row left after a pass that ended early is reported as well.
    std::function<void(int row)> failed;
};

enum class PassEnd {
    Complete,  // every row done
    Cancelled, // the cancel flag was set; the row in hand was finished first
    LinkFailed // the link failed (closed, or the drive stopped answering): the pass ended there
};

struct PassReport {
    PassEnd end = PassEnd::Complete;
    int stoppedAt = -1; // LinkFailed: the row at which the drive stopped answering
    // The rows not read or not written, in order: each row whose exchange failed, and after an
    // early stop every row from there on. Empty when every row was done.
    std::vector<int> failedRows;
    std::uint16_t lastFailure = 0; // the link's failure code for the last of them, if any
};

// Reads each row's register in order and reports its Value text. A failed read shows the failure
// value (-1, 65535 at an unsigned register, 1 in a bit row) and is reported as failed. The pass
// ends early when the link is closed or the drive no longer answers even its drive code, instead
// of waiting out every remaining row; each row left then shows the failure value too, so none
// keeps a value that looks read. A register the drive refuses only fails its own row.
PassReport ReadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                             const std::atomic<bool>& cancel, const TransferEvents& events);

// Writes each row's value (register 255 packed from all bit rows) in order; nothing is read back.
// A row whose value is not wholly an integer its register holds is not sent; it fails, as does a
// write the drive did not answer or refused. The pass ends early as a read does.
PassReport DownloadAllParameters(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                                 const std::atomic<bool>& cancel, const TransferEvents& events);

// Writes a row's value, waits 50 ms and returns the Value text of what the drive then holds. A
// value its register cannot hold (not wholly an integer, or wider than 16 bits) is not written.
std::string WriteOneParameter(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                              int row, const std::function<void(std::chrono::milliseconds)>& wait);

// Writes 1 to the command register, waits 3000 ms, then polls it at most ten times 200 ms apart
// (the wait follows the tenth poll too). Done when it reads 0 with the link in use mode 1. A
// command write that fails is a failure at once, with no wait and no poll.
// `wait` does the waiting, so a window can keep painting meanwhile.
bool RunDriveCommand(CKTCOM& link, std::uint8_t station, std::uint16_t commandRegister,
                     const std::function<void(std::chrono::milliseconds)>& wait);

} // namespace kestova::params
