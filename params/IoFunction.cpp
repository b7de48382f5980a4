#include "IoFunction.h"

#include "NumberText.h"
#include "ParameterRules.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kestova::params {

namespace {

// The text before the first ":", when that ":" is not the first character.
std::optional<std::string_view> EntryKey(std::string_view entry) {
    const std::size_t colon = entry.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    return entry.substr(0, colon);
}

} // namespace

IoKind IoKindOf(std::string_view description) {
    std::string upper(description);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper.find("SI") != std::string::npos) {
        return IoKind::Input;
    }
    if (upper.find("SO") != std::string::npos) {
        return IoKind::Output;
    }
    return IoKind::Unknown;
}

std::optional<std::uint32_t> FunctionEntryCode(std::string_view entry) {
    const auto key = EntryKey(entry);
    if (!key) {
        return std::nullopt;
    }
    return ParseHexText(*key);
}

std::optional<std::uint32_t> FilterEntryIndex(std::string_view entry) {
    const auto key = EntryKey(entry);
    if (!key) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(LeadingInteger(*key));
}

std::uint32_t WithFunction(std::uint32_t value, std::uint32_t code) {
    return (value & ~0x3Fu) | (code & 0x3Fu);
}

std::uint32_t WithContact(std::uint32_t value, bool bNode) {
    return bNode ? (value | 0x80u) : (value & ~0x80u);
}

std::uint32_t WithFilter(std::uint32_t value, std::uint32_t index) {
    return (value & ~0xF00u) | ((index & 0xFu) << 8);
}

} // namespace kestova::params
