#pragma once

// A download whose every write goes into the drive's change journal with the value the drive
// held before it, for the page and the command-line tool alike.

#include "JournalWriter.h"
#include "ParameterTransfer.h"

namespace kestova::params {

// Reads `rows` first when the journal is kept (`reading` hears that pass; a value not read is
// journalled as not read, never guessed), then downloads them as DownloadAllParameters does
// (`writing` hears it), and journals each row whose write the drive answered, as the Value text
// the drive shows for it. A cancel during the first read ends before anything is written; a drive
// that stops answering during it ends the download at its first row, nothing written.
PassReport DownloadJournalled(CKTCOM& link, std::uint8_t station, const ParameterRows& rows,
                              const std::atomic<bool>& cancel, const TransferEvents& reading,
                              const TransferEvents& writing, JournalWriter& journal);

} // namespace kestova::params
