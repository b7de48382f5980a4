#include "ParameterFile.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestova::params {

namespace {

constexpr char16_t kSeparator = u'|';
constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char32_t kReplacement = 0xFFFD;

// --- UTF-8 cells to UTF-16LE bytes ---------------------------------------------------------

void PutUnit(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

void PutCodePoint(std::string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        PutUnit(out, static_cast<char16_t>(0xD800 + (cp >> 10)));
        PutUnit(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        PutUnit(out, static_cast<char16_t>(cp));
    }
}

// The next code point of UTF-8 text; a malformed sequence gives U+FFFD and moves one byte on.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 1, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3, cp = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement;
    }
    if (text.size() - i < static_cast<std::size_t>(length)) {
        return kReplacement;
    }
    for (int k = 0; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kReplacement;
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

// A cell as one field: what would end the field or the line becomes a blank.
void PutField(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = NextCodePoint(text, i);
        if (cp == U'|' || cp == U'\r' || cp == U'\n' || cp == 0) {
            cp = U' ';
        }
        PutCodePoint(out, cp);
    }
}

void PutAscii(std::string& out, std::string_view text) {
    for (const char c : text) {
        PutUnit(out, static_cast<char16_t>(c));
    }
}

// --- UTF-16 lines to UTF-8 cells -----------------------------------------------------------

// Surrogates are known to be paired: the whole text was checked first.
std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

ParameterFileRead Refused(std::string problem) {
    ParameterFileRead read;
    read.verdict = FileVerdict::NotAParameterFile;
    read.problem = std::move(problem);
    return read;
}

// The text after the line's first separator, if that stands at index 2 or later.
std::optional<std::u16string_view> AfterHeaderSeparator(std::u16string_view line) {
    const std::size_t at = line.find(kSeparator);
    if (at == std::u16string_view::npos || at < 2) {
        return std::nullopt;
    }
    return line.substr(at + 1);
}

// Seven fields; when the separators run out, the rest of the line fills every later field.
ParameterRow SplitRow(std::u16string_view line) {
    ParameterRow row;
    for (std::string& cell : row.cells) {
        const std::size_t at = line.find(kSeparator);
        if (at == std::u16string_view::npos) {
            cell = ToUtf8(line);
            continue;
        }
        cell = ToUtf8(line.substr(0, at));
        line.remove_prefix(at + 1);
    }
    return row;
}

std::string SystemError(int error) {
    return std::strerror(error);
}

} // namespace

std::string WriteParameterFile(std::int16_t driveCode, std::string_view modelName,
                               const ParameterRows& rows) {
    std::string out;
    out.reserve(64 + rows.size() * 256);
    PutAscii(out, "DriverCode|" + std::to_string(driveCode) + "\r\n");
    PutAscii(out, "DriverType|");
    PutField(out, modelName);
    PutAscii(out, "\r\n");
    for (const ParameterRow& row : rows) {
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            if (c != 0) {
                PutUnit(out, kSeparator);
            }
            PutField(out, row.cells[c]);
        }
        PutAscii(out, "\r\n");
    }
    return out;
}

ParameterFileRead ReadParameterFile(std::string_view bytes) {
    if (bytes.size() > kMaxParameterFileBytes) {
        return Refused("the file is too large");
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return Refused("the file is UTF-8 text, not UTF-16");
    }
    if (bytes.size() % 2 != 0) {
        return Refused("the file is not UTF-16 text");
    }
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::u16string_view rest(text);
    if (!rest.empty() && rest.front() == kByteOrderMark) {
        rest.remove_prefix(1);
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char16_t unit = rest[i];
        if (unit == 0) {
            // Also where a UTF-32 text shows itself. 8-bit text without a mark has no NUL and
            // reads as a single line, which has no model line and is refused for that.
            return Refused("the file holds NUL characters");
        }
        if (unit == 0xFFFE) {
            return Refused("the file is not little-endian UTF-16 text");
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return Refused("the file is not UTF-16 text");
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= rest.size() || rest[i + 1] < 0xDC00 || rest[i + 1] > 0xDFFF) {
                return Refused("the file is not UTF-16 text");
            }
            ++i;
        }
    }

    std::vector<std::u16string_view> lines;
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of(u"\r\n");
        const std::u16string_view line = rest.substr(0, end);
        if (line.size() > kMaxParameterLineChars) {
            return Refused("line " + std::to_string(lines.size() + 1) + " is too long");
        }
        if (lines.size() >= kMaxParameterFileRows + 2) {
            return Refused("the file has too many lines");
        }
        lines.push_back(line);
        if (end == std::u16string_view::npos) {
            break;
        }
        const bool crlf = rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n';
        rest.remove_prefix(end + (crlf ? 2 : 1));
    }

    ParameterFileRead read;
    if (!lines.empty()) {
        if (const auto code = AfterHeaderSeparator(lines[0])) {
            read.driveCode = LeadingInteger(ToUtf8(*code));
        }
    }
    const auto model = lines.size() >= 2 ? AfterHeaderSeparator(lines[1]) : std::nullopt;
    if (!model) {
        read.verdict = FileVerdict::UnknownModel;
        return read;
    }
    read.modelName = ToUtf8(*model);
    read.rows.reserve(lines.size() - 2);
    for (std::size_t n = 2; n < lines.size(); ++n) {
        // A blank line is no row: its empty cells would name register 0 with the value 0.
        if (lines[n].find_first_not_of(u" \t") != std::u16string_view::npos) {
            read.rows.push_back(SplitRow(lines[n]));
        }
    }
    return read;
}

std::optional<std::string> LoadFileBytes(const std::string& path, std::string& bytes,
                                         std::size_t maxBytes) {
    bytes.clear();
    // Without waiting: a FIFO would hold the open (and every read) until someone writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return SystemError(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::string("not a regular file");
    }
    char buffer[16384];
    while (bytes.size() <= maxBytes) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return SystemError(error);
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return std::nullopt;
}

std::optional<std::string> ReplaceFileContents(const std::string& path, std::string_view bytes) {
    std::string target = path;
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            target = resolved;
        }
    }
    const bool existed = ::stat(target.c_str(), &old) == 0;
    // A file its owner write-protected is left alone, as cp leaves it: also for a user (root) whom
    // the permissions cannot stop.
    if (existed && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        return SystemError(EACCES);
    }

    // A name of our own beside the target, so the rename stays on one file system.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return SystemError(errno);
        }
    }
    if (fd < 0) {
        return SystemError(EEXIST);
    }
    auto fail = [&](int error) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temporary.c_str());
        return std::optional<std::string>(SystemError(error));
    };
    if (existed && ::fchmod(fd, old.st_mode & 07777) != 0) {
        return fail(errno);
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return fail(put < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(put);
    }
    if (::fsync(fd) != 0) {
        return fail(errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return fail(errno);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    // The rename itself reaches the disk with the folder's entry.
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

} // namespace kestova::params
