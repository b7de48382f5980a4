// kestova-cli: the drive from a shell.

#include "Cli.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    const kestova::cli::Terminal terminal{::isatty(STDOUT_FILENO) == 1,
                                          ::isatty(STDERR_FILENO) == 1};
    return kestova::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                std::cerr, terminal);
}
