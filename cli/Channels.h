#pragma once

// The capture channels as the scope names them, with their units, and the short names a command
// line may use instead ("velocity-feedback").

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestova::cli {

struct Channel {
    std::uint16_t source; // the drive's signal code
    const char* title;    // as the scope's channel list shows it
};

const std::vector<Channel>& Channels();

// "Velocity Feedback (RPM)" -> "velocity-feedback".
std::string ShortName(const std::string& title);

// A channel by its title or short name (any case) or its source code.
std::optional<Channel> FindChannel(const std::string& word);

} // namespace kestova::cli
