#include "PortNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ktcom {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsEntryName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

std::string EntryPath(const std::string& name) {
    return PortDirectory() + "/" + name;
}

bool HasEntry(const std::string& name) {
    if (!IsEntryName(name) || !PortDirectoryProblem().empty()) {
        return false;
    }
    struct stat st {};
    return ::lstat(EntryPath(name).c_str(), &st) == 0;
}

std::vector<std::string> DirNames(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    return names;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The kernel creates ttyS devices whether or not a UART sits behind them; only a port whose
// driver reports a known UART type is a real one.
bool HasUart(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

} // namespace

std::string PortDirectory() {
    if (const char* dir = std::getenv("KESTOVA_PORT_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0') {
        return std::string(run) + "/kestova-ports";
    }
    return "/tmp/kestova-ports-" + std::to_string(::getuid());
}

std::string PortDirectoryProblem() {
    const std::string dir = PortDirectory();
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        return errno == ENOENT ? std::string() : dir + ": " + std::strerror(errno);
    }
    // The entries say which device a port name opens, so only a folder that no one else can
    // write to (or swap for a link) is believed.
    if (S_ISLNK(st.st_mode)) {
        return dir + " is a symbolic link";
    }
    if (!S_ISDIR(st.st_mode)) {
        return dir + " is not a directory";
    }
    if (st.st_uid != ::getuid()) {
        return dir + " belongs to another user";
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return dir + " is open to other users (mode " + mode + ")";
    }
    return {};
}

std::string NormalizePortName(const std::string& text) {
    const std::string upper = UpperAscii(text);
    if (StartsWith(upper, "COM")) {
        return upper;
    }
    // Device names on Linux are case-sensitive, so a name that stands for a device stays as typed.
    if (HasEntry(text)) {
        return text;
    }
    // A typed device name is kept even when the device is missing: opening it then fails rather
    // than talking to a port the user did not name.
    if (StartsWith(text, "/") ||
        (IsEntryName(text) &&
         (Exists("/dev/" + text) || StartsWith(text, "tty") || StartsWith(text, "rfcomm")))) {
        return text;
    }
    return "COM1";
}

std::string ResolvePortPath(const std::string& name) {
    if (HasEntry(name)) {
        return EntryPath(name);
    }
    if (StartsWith(name, "/")) {
        return name;
    }
    if (StartsWith(name, "COM")) {
        const std::string digits = name.substr(3);
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            return {};
        }
        const int n = std::atoi(digits.c_str());
        if (n < 1) {
            return {};
        }
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (IsEntryName(name)) {
        return "/dev/" + name;
    }
    return {};
}

std::vector<std::string> ListPorts() {
    std::vector<std::string> result;

    std::vector<std::string> registered;
    const bool usable = PortDirectoryProblem().empty();
    for (const std::string& name :
         usable ? DirNames(PortDirectory()) : std::vector<std::string>{}) {
        if (Exists(EntryPath(name))) { // stat follows the link: its device must be there
            registered.push_back(name);
        }
    }
    std::sort(registered.begin(), registered.end(), NaturalLess);
    result.insert(result.end(), registered.begin(), registered.end());

    std::vector<std::string> devices;
    for (const std::string& name : DirNames("/dev")) {
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM") ||
            StartsWith(name, "ttyAMA")) {
            devices.push_back(name);
        } else if (StartsWith(name, "ttyS") && name.size() > 4 && HasUart("/dev/" + name)) {
            devices.push_back(name);
        }
    }
    std::sort(devices.begin(), devices.end(), NaturalLess);
    result.insert(result.end(), devices.begin(), devices.end());
    return result;
}

bool RegisterPort(const std::string& name, const std::string& devicePath) {
    if (!IsEntryName(name)) {
        errno = EINVAL;
        return false;
    }
    const std::string dir = PortDirectory();
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    if (!PortDirectoryProblem().empty()) {
        errno = EACCES;
        return false;
    }
    const std::string entry = EntryPath(name);
    for (int tries = 0; tries < 2; ++tries) {
        if (::symlink(devicePath.c_str(), entry.c_str()) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
        // The name is taken. An entry whose device is still there belongs to someone else's
        // line; only one left behind by a line that is gone is replaced.
        if (Exists(entry) && EntryTarget(name) != devicePath) {
            errno = EEXIST;
            return false;
        }
        if (::unlink(entry.c_str()) != 0 && errno != ENOENT) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

std::string EntryTarget(const std::string& name) {
    if (!IsEntryName(name)) {
        return {};
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(EntryPath(name).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool UnregisterPort(const std::string& name) {
    if (!IsEntryName(name)) {
        errno = EINVAL;
        return false;
    }
    return ::unlink(EntryPath(name).c_str()) == 0;
}

bool UnregisterPort(const std::string& name, const std::string& devicePath) {
    if (EntryTarget(name) != devicePath) {
        errno = ENOENT; // gone, or somebody else's by now
        return false;
    }
    return UnregisterPort(name);
}

} // namespace ktcom
