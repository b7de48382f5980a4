#pragma once

// A command ends early by throwing this: RunCli prints the message on standard error and
// returns the status.

#include "Cli.h"

#include <stdexcept>
#include <string>

namespace kestova::cli {

class CliError : public std::runtime_error {
public:
    CliError(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus Status() const { return status_; }

private:
    ExitStatus status_;
};

} // namespace kestova::cli
