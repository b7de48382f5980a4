#pragma once

// The parameter set file (*.ktr), with no widget: the page, its tests, the fuzz target and the
// command-line tool share it.
//
// The file is UTF-16 little-endian text without a byte-order mark, CRLF line ends, "|" between
// fields and nothing quoted:
//
//     DriverCode|<drive code, signed decimal>
//     DriverType|<model name>
//     <address>|<Par. #>|<description>|<value>|<range>|<unit>|<note>     one line per row
//
// Cells are UTF-8 in memory, as everywhere else in the program.

#include "ParameterRules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestova::params {

// Past these a file is not one of ours: the largest table saves to some 40 KB.
inline constexpr std::size_t kMaxParameterFileBytes = 1u << 20;
inline constexpr std::size_t kMaxParameterLineChars = 8192;
inline constexpr std::size_t kMaxParameterFileRows = 4096;

// The bytes of a file holding `rows`. A "|" or a line break inside a cell cannot be written (the
// format has no escape), so each is written as a blank; the row keeps its seven cells.
std::string WriteParameterFile(std::int16_t driveCode, std::string_view modelName,
                               const ParameterRows& rows);

enum class FileVerdict {
    Ok,
    UnknownModel,      // the model line is missing or has no separator at index 2 or later
    NotAParameterFile, // the bytes are not such a text at all; `problem` says why
};

struct ParameterFileRead {
    FileVerdict verdict = FileVerdict::Ok;
    int driveCode = 0; // 0 when the first line has no separator at index 2 or later
    std::string modelName;
    ParameterRows rows; // only for Ok
    std::string problem;
};

// Reads a file's bytes. A leading byte-order mark (an editor may add one) is skipped; line ends
// may be CRLF, LF or CR. A row line with fewer than six separators repeats its last field in the
// missing cells; a blank line after the two header lines is no row. Whatever the bytes, the result
// is the file's rows or a verdict, never rows made of something else.
ParameterFileRead ReadParameterFile(std::string_view bytes);

// The whole file at `path` (at most `maxBytes` + 1 bytes are read, so a larger one is seen as
// such). Only a regular file is read, and nothing waits: a FIFO, a device or a folder is refused at
// once. Nothing on success, else the system's description of the failure.
std::optional<std::string> LoadFileBytes(const std::string& path, std::string& bytes,
                                         std::size_t maxBytes = kMaxParameterFileBytes);

// Puts `bytes` at `path`: written to a new file beside it, flushed to the disk and then renamed
// over it, so the old file stays whole until the new one is. A symbolic link is followed and its
// target replaced; an existing file's permissions are kept. A write-protected file (no write
// permission for anyone, or none for this user) is refused with EACCES and left as it was.
// Nothing on success, else the system's description of the failure; the new file is then removed
// and the old one left as it was.
std::optional<std::string> ReplaceFileContents(const std::string& path, std::string_view bytes);

} // namespace kestova::params
