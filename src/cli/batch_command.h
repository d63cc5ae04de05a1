#pragma once
// tessaro-cli batch import FILE | defaults | flash IMAGE: programs one ESC after another on
// the same adapter (session::Batch) and prints one result row per ESC on standard output
// (--json: one object per line), until Ctrl-C or --count N ESCs.

#include <cstdint>
#include <functional>

#include "cli/command.h"

namespace cli {

// Asked at every step of the wait with the number of ESCs handled so far: true ends the
// batch as SIGINT does. SIGINT and SIGTERM are asked about besides.
using BatchStopRequest = std::function<bool(uint32_t handled)>;

// The command's context, its options as parsed by parseCommandLine with command "batch".
int runBatch(CommandContext& ctx, const BatchStopRequest& stopRequest = {});

}  // namespace cli
