#pragma once
// tessaro-cli devices [--json]: the link adapters the device has, one line each (or one
// JSON object whose "adapters" array lists them), with whether each can be opened and, if
// not, why and what to do.
//
// Exit codes: kExitOk when an adapter that can be opened was found; kExitNoDevice when
// none was found or none can be opened (the lines still say why); kExitUsage for an
// argument or a device URI it does not take.

#include <iosfwd>

#include "cli/cli_options.h"
#include "link/clock.h"

namespace cli {

int runDevices(const CliOptions& options, std::ostream& out, std::ostream& err,
               transport::Clock& clock);

}  // namespace cli
