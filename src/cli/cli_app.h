#pragma once
// tessaro-cli as a function: the arguments after the program name, the two output
// streams and the clock the run is timed on (the real one in the program; tests may
// give a virtual one). Returns the exit code.

#include <iosfwd>
#include <string>
#include <vector>

#include "link/clock.h"

namespace cli {

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           transport::Clock& clock);

}  // namespace cli
