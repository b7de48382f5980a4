#pragma once

// The link's failure codes as a person reads them, and what a failure says about the drive.

#include "Cli.h"

#include <cstdint>
#include <string>

class CKTCOM;

namespace kestova::cli {

// "link failure 60003: fewer bytes than expected arrived in time"; "no link failure" for 0.
std::string LinkFailureText(std::uint16_t code);

// After a failed exchange: kNoDrive when the drive no longer answers even its drive code (or the
// port is closed), else kRefused (the drive is there and refused the request).
ExitStatus StatusAfterFailure(CKTCOM& link, std::uint8_t station);

} // namespace kestova::cli
