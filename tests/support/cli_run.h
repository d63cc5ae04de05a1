#pragma once
// Runs tessaro-cli in this process, in a folder of the test's own, on a virtual clock:
// what it printed and how it ended.

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "link/clock.h"

namespace testing_support {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// The run starts at `startMs` on its clock; with `typed` text it has a terminal to ask
// on, which answers with that text.
inline CliRun runCliIn(const std::string& folder, const std::vector<std::string>& args,
                       uint64_t startMs, const std::string& typed = {}) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::istringstream in(typed);
    std::ostringstream out;
    std::ostringstream err;
    transport::VirtualClock clock(startMs);
    CliRun result;
    result.code = cli::runCli(args, out, err, clock, cli::CliTerminal{&in, !typed.empty(), false});
    std::filesystem::current_path(before);
    result.out = out.str();
    result.err = err.str();
    return result;
}

}  // namespace testing_support
