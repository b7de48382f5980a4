#pragma once

// Hexadecimal text as the person types it into the register fields (the IO function panel, the
// diagnostics pages): a lenient check of the characters and a strict reading of them.

#include <cstdint>
#include <string_view>

namespace kestova::params {

// True when every character is a hexadecimal digit, except that a "+" or "-" may stand first
// and one "." may occur anywhere. The empty text passes; callers that need a number check that.
bool IsNumberText(std::string_view text);

// Reads hexadecimal digits, most significant first. The empty text is 0; any other character,
// sign and point included, makes the result 0xFFFFFFFF.
std::uint32_t ParseHexText(std::string_view text);

} // namespace kestova::params
