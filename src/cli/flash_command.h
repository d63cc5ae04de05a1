#pragma once
// tessaro-cli flash IMAGE: loads a firmware image file (*.hgm, *.bin), links up with the
// adapter and the ESC and runs the same firmware update as the window's "ESC Update",
// with a progress bar (percentage and estimated time left) on standard error.
//
// Exit codes: kExitOk only when the ESC acknowledged the end of the update;
// kExitUsage for a missing or extra argument; kExitFileError when the image cannot be
// read or its size is not that of an image (more than 512, at most 65,535 bytes);
// kExitNoDevice when the adapter or the ESC does not link up; kExitUpdateFailed when the
// update fails, stalls for the time-out, or the adapter goes away during it.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "cli/cli_options.h"
#include "link/clock.h"

namespace cli {

// `options` as parsed by parseCommandLine, with command "flash" and the image path as
// its one argument; the device, the time-out (the longest wait for the link and for any
// step of the update) and --trace apply.
int runFlash(const CliOptions& options, std::ostream& out, std::ostream& err,
             transport::Clock& clock);

// The usage line of the flash command.
const char* flashUsageText();

// One line of the progress bar: "[#####.....]  50%  ETA 0:09" (ETA "-:--" while
// unknown).
std::string flashProgressLine(int32_t doneBytes, int32_t totalBytes, uint64_t elapsedMs);

}  // namespace cli
