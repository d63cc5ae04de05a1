// tessaro-cli: the headless front end on the same core as the window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "link/clock.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    transport::SteadyClock clock;
    return cli::runCli(args, std::cout, std::cerr, clock);
}
