#include "Channels.h"

#include <cstdlib>

namespace kestova::cli {

const std::vector<Channel>& Channels() {
    static const std::vector<Channel> channels{
        {1, "Position Error (P)"},      {2, "Velocity Feedback (RPM)"},
        {4, "Position Feedback (P)"},   {8, "Velocity Targeted  (RPM)"},
        {16, "Position Targeted (P)"},  {64, "Synthetic Current (mA)"},
        {128, "Bus Voltage (0.1V)"},    {1024, "A Phase Current (mA)"},
        {2048, "B Phase Current (mA)"},
    };
    return channels;
}

std::string ShortName(const std::string& title) {
    std::string out;
    bool gap = false;
    for (const char ch : title) {
        if (ch == '(') {
            break;
        }
        const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
        const bool upper = ch >= 'A' && ch <= 'Z';
        if (!letter && !upper) {
            gap = !out.empty();
            continue;
        }
        if (gap) {
            out += '-';
            gap = false;
        }
        out += upper ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return out;
}

std::optional<Channel> FindChannel(const std::string& word) {
    const std::string wanted = ShortName(word);
    char* end = nullptr;
    const long code = std::strtol(word.c_str(), &end, 0);
    const bool numeric = !word.empty() && end != nullptr && *end == '\0';
    for (const Channel& channel : Channels()) {
        if (numeric ? code == channel.source : ShortName(channel.title) == wanted) {
            return channel;
        }
    }
    return std::nullopt;
}

} // namespace kestova::cli
