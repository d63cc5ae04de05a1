#pragma once
// tessaro-cli as a function: the arguments after the program name, the two output
// streams and the clock the run is timed on (the real one in the program; tests may
// give a virtual one). Returns the exit code.

#include <iosfwd>
#include <string>
#include <vector>

#include "link/clock.h"

namespace cli {

// What the run knows of its terminal: where answers to a question come from, and whether
// standard input and standard error are terminals. The plain overload runs without one
// (no questions can be answered, progress comes as plain lines).
struct CliTerminal {
    std::istream* in = nullptr;
    bool inputIsTerminal = false;
    bool errorIsTerminal = false;
};

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock);
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock, const CliTerminal& terminal);

}  // namespace cli
