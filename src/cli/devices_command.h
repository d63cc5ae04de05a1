#pragma once
// tessaro-cli devices [--json]: the link adapters the device has, one line each (or one
// JSON object whose "adapters" array lists them), with whether each can be opened and, if
// not, why and what to do.
//
// Exit codes: kExitOk when an adapter that can be opened was found; kExitNoDevice when
// none was found or none can be opened (the lines still say why); kExitUsage for an
// argument or a device URI it does not take.

#include <iosfwd>
#include <string>

#include "cli/cli_options.h"
#include "link/clock.h"

namespace devices {
struct AdapterReport;
}

namespace cli {

// One adapter as a line: path, USB ids, serial, whether it opens, why not and the fix.
std::string adapterLine(const devices::AdapterReport& report);

int runDevices(const CliOptions& options, std::ostream& out, std::ostream& err,
               transport::Clock& clock);

}  // namespace cli
