// tessaro-cli: the headless front end on the same core as the window.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "link/clock.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    transport::SteadyClock clock;
    cli::CliTerminal terminal;
    terminal.in = &std::cin;
    terminal.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    terminal.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    int code = cli::runCli(args, std::cout, std::cerr, clock, terminal);
    // The standard output is buffered: a write that fails shows only when it is flushed.
    // (A failure runCli met itself has been reported with its exit code.)
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (std::cout && !flushed) {
        const int cause = errno;
        std::cerr << "tessaro-cli: cannot write the standard output"
                  << (cause != 0 ? std::string(": ") + std::strerror(cause) : std::string())
                  << "\n";
        code = 4;  // a file error
    }
    return code;
}
