#include "ChangeJournal.h"

#include "ParameterFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestova::params {

namespace {

constexpr std::string_view kTag = "K2";
constexpr std::string_view kUngroupedTag = "K1";
constexpr std::string_view kUnknown = "?";
constexpr std::size_t kFields = 10;

std::string SystemError(int error) {
    return std::strerror(error);
}

std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string Field(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch == '\t' || ch == '\n' || ch == '\r') {
            ch = ' ';
        }
    }
    return out;
}

std::string FileSafe(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                           (ch >= '0' && ch <= '9') || ch == '-';
        out += plain ? ch : '_';
    }
    return out;
}

// mkdir -p for the journal's folder.
std::optional<std::string> MakeFolders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') {
            continue;
        }
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return SystemError(errno);
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos) {
            return fields;
        }
        from = tab + 1;
    }
}

// The entry of one line without its line end, or the reason it is none.
std::optional<JournalEntry> ParseLine(std::string_view line, std::string& reason) {
    const std::size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos || line.size() - lastTab - 1 != 8) {
        reason = "no check";
        return std::nullopt;
    }
    if (Hex8(Crc32(line.substr(0, lastTab))) != line.substr(lastTab + 1)) {
        reason = "check does not match";
        return std::nullopt;
    }
    std::vector<std::string_view> f = Split(line);
    JournalEntry e;
    if (f.size() == kFields - 1 && f[0] == kUngroupedTag) {
        f.insert(f.begin() + 2, std::string_view());
    } else if (f.size() != kFields || f[0] != kTag || f[2].empty()) {
        reason = "not an entry of this journal";
        return std::nullopt;
    }
    e.group = f[2] == "-" ? std::string() : std::string(f[2]);
    f.erase(f.begin() + 2);
    e.time = f[1];
    e.number = f[2];
    char* end = nullptr;
    const std::string address(f[3]);
    const long value = std::strtol(address.c_str(), &end, 10);
    if (address.empty() || *end != '\0' || value < 0 || value > 65535) {
        reason = "bad register";
        return std::nullopt;
    }
    e.address = static_cast<int>(value);
    if (f[4] != kUnknown) {
        e.oldValue = std::string(f[4]);
    }
    e.newValue = f[5];
    e.source = f[6];
    if (f[7] != "stored" && f[7] != "unstored") {
        reason = "bad stored field";
        return std::nullopt;
    }
    e.stored = f[7] == "stored";
    return e;
}

} // namespace

std::string JournalFolder() {
    if (const char* own = std::getenv(kJournalFolderVariable); own != nullptr && *own != '\0') {
        return own;
    }
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::string(data) + "/Kestova/journal";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/Kestova/journal";
}

std::string JournalPath(const std::string& folder, int station, int driveCode,
                        const std::string& port) {
    return folder + "/station" + std::to_string(station) + "_drive" + std::to_string(driveCode) +
           "_" + FileSafe(port) + ".journal";
}

std::string JournalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string NewJournalGroup() {
    static std::atomic<unsigned> count{0};
    std::string time = JournalTimeNow();
    std::erase_if(time, [](char ch) { return ch == '-' || ch == ':'; });
    return time + "-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
}

std::string JournalLine(const JournalEntry& e) {
    const std::string group = e.group.empty() ? std::string("-") : Field(e.group);
    std::string line = std::string(kTag) + '\t' + Field(e.time) + '\t' + group + '\t' +
                       Field(e.number) + '\t' + std::to_string(e.address) + '\t' +
                       (e.oldValue ? Field(*e.oldValue) : std::string(kUnknown)) + '\t' +
                       Field(e.newValue) + '\t' + Field(e.source) + '\t' +
                       (e.stored ? "stored" : "unstored");
    line += '\t' + Hex8(Crc32(line)) + '\n';
    return line;
}

std::optional<std::string> AppendJournal(const std::string& path, const JournalEntry& entry) {
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0) {
        if (auto error = MakeFolders(path.substr(0, slash))) {
            return error;
        }
    }
    // Read as well, for the last byte. O_NONBLOCK: a FIFO put in the journal's place fails the open
    // instead of holding it.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return SystemError(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::string("not a regular file");
    }
    std::string line = JournalLine(entry);
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1) {
        last = '\n';
    }
    if (last != '\n') {
        line.insert(line.begin(), '\n');
    }
    ssize_t wrote = -1;
    do {
        wrote = ::write(fd, line.data(), line.size());
    } while (wrote < 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    if (wrote < 0) {
        return SystemError(error);
    }
    if (static_cast<std::size_t>(wrote) != line.size()) {
        return std::string("the entry was cut short (") + std::to_string(wrote) + " of " +
               std::to_string(line.size()) + " bytes written; is the disk full?)";
    }
    return std::nullopt;
}

JournalRead ParseJournal(std::string_view bytes) {
    JournalRead read;
    std::size_t number = 0;
    std::size_t from = 0;
    while (from < bytes.size()) {
        ++number;
        const std::size_t end = bytes.find('\n', from);
        const bool complete = end != std::string_view::npos;
        const std::string_view line =
            bytes.substr(from, complete ? end - from : std::string_view::npos);
        from = complete ? end + 1 : bytes.size();
        if (!complete) {
            read.damaged.push_back({number, "incomplete last line"});
            break;
        }
        if (line.empty()) {
            continue; // the line end a later entry put after a torn one
        }
        if (line.size() > kMaxJournalLineBytes) {
            read.damaged.push_back({number, "line too long"});
            continue;
        }
        std::string reason;
        std::optional<JournalEntry> entry = ParseLine(line, reason);
        if (!entry) {
            read.damaged.push_back({number, reason});
            continue;
        }
        if (entry->source == "store") {
            for (JournalEntry& before : read.entries) {
                before.stored = true;
            }
        }
        read.entries.push_back(std::move(*entry));
    }
    return read;
}

JournalRead ReadJournal(const std::string& path) {
    JournalRead read;
    // No journal yet is an empty one, not a failure.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        return read;
    }
    std::string bytes;
    if (auto problem = LoadFileBytes(path, bytes, kMaxJournalFileBytes)) {
        read.problem = std::move(*problem);
        return read;
    }
    if (bytes.size() > kMaxJournalFileBytes) {
        read.problem = "larger than " + std::to_string(kMaxJournalFileBytes >> 20) + " MB";
        return read;
    }
    return ParseJournal(bytes);
}

} // namespace kestova::params
