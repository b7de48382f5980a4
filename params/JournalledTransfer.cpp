#include "JournalledTransfer.h"

#include "ParameterMarks.h"

#include <algorithm>

namespace kestova::params {

PassReport DownloadJournalled(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                              const std::atomic<bool>& cancel, const TransferEvents& reading,
                              const TransferEvents& writing, JournalWriter& journal) {
    std::vector<std::optional<std::string>> olds(rows.size());
    if (!journal.Path().empty()) {
        TransferEvents before = reading;
        before.value = [&olds](int i, std::string text) {
            olds[static_cast<std::size_t>(i)] = std::move(text);
        };
        before.failed = [&olds](int i) { olds[static_cast<std::size_t>(i)].reset(); };
        const PassReport read = ReadAllParameters(link, station, rows, cancel, before);
        if (read.end == PassEnd::Cancelled) {
            return {PassEnd::Cancelled, -1, {}, 0};
        }
        // A drive that stopped answering before anything was written is a download that lost
        // the drive at its first row: nothing is sent to a drive in that state.
        if (read.end == PassEnd::LinkFailed) {
            PassReport lost{PassEnd::LinkFailed, 0, {}, read.lastFailure};
            for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
                lost.failedRows.push_back(i);
                if (writing.failed) {
                    writing.failed(i);
                }
            }
            return lost;
        }
    }
    int reached = 0;
    TransferEvents events = writing;
    events.progress = [&reached, &writing](int done) {
        reached = done;
        if (writing.progress) {
            writing.progress(done);
        }
    };
    const PassReport report = DownloadAllParameters(link, station, rows, cancel, events);
    for (int i = 0; i < reached; ++i) {
        if (std::find(report.failedRows.begin(), report.failedRows.end(), i) !=
            report.failedRows.end()) {
            continue;
        }
        const ParameterRow& row = rows[static_cast<std::size_t>(i)];
        journal.Written(row.Cell(kNumberColumn), LeadingInteger(row.Cell(kAddressColumn)),
                        olds[static_cast<std::size_t>(i)],
                        ShownAfterWrite(row, row.Cell(kValueColumn)));
    }
    return report;
}

} // namespace kestova::params
