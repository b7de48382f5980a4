// Port names on Windows: the system's own COMn names. There is no port directory; the ports
// present are the ones the system lists under HARDWARE\DEVICEMAP\SERIALCOMM.

#include "PortNames.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace ktcom {

namespace {

bool IsComName(const std::string& name) {
    const std::string digits = name.substr(std::min<std::size_t>(3, name.size()));
    return name.rfind("COM", 0) == 0 && !digits.empty() && digits.size() <= 3 &&
           std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
           std::stoi(digits) >= 1;
}

} // namespace

std::string PortDirectory() {
    return {};
}

std::string PortDirectoryProblem() {
    return {};
}

std::string NormalizePortName(const std::string& text) {
    const std::string upper = UpperAscii(text);
    return upper.rfind("COM", 0) == 0 ? upper : "COM1";
}

// The device namespace prefix is what lets COM10 and above open at all; COM1..COM9 take it too.
std::string ResolvePortPath(const std::string& name) {
    return IsComName(name) ? "\\\\.\\" + name : std::string();
}

std::vector<std::string> ListPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        char value[256];
        DWORD valueSize = sizeof value;
        char data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG r = ::RegEnumValueA(key, i, value, &valueSize, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataSize] = '\0';
        const std::string name = data; // stops at the terminator the data may carry
        if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end()) {
            ports.push_back(name);
        }
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

bool RegisterPort(const std::string&, const std::string&) {
    errno = ENOSYS; // Windows names its ports itself
    return false;
}

std::string EntryTarget(const std::string&) {
    return {};
}

bool UnregisterPort(const std::string&) {
    errno = ENOSYS;
    return false;
}

bool UnregisterPort(const std::string&, const std::string&) {
    errno = ENOSYS;
    return false;
}

} // namespace ktcom
