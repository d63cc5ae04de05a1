#pragma once
// tessaro-cli flash IMAGE: loads a firmware image file (*.hgm, *.bin), links up with the
// adapter and the ESC and runs the same firmware update as the window's "ESC Update",
// with a progress bar (percentage and estimated time left) on standard error.
//
// Exit codes: kExitOk only when the ESC acknowledged the end of the update;
// kExitUsage for a missing or extra argument; kExitFileError when the image cannot be
// read or its size is not that of an image (more than 512, at most 65,535 bytes);
// kExitNoDevice when the adapter or the ESC does not link up; kExitUpdateFailed when the
// update fails, stalls for the time-out, or the adapter goes away during it; 130 and 143
// when SIGINT or SIGTERM ended it. A stalled or interrupted update is aborted: the ESC
// gets UpdateAbort (0xD4) and the link goes back to polling.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "cli/cli_options.h"
#include "link/clock.h"

namespace cli {

// Asked at every step of the wait while the update runs (at least once a tick), with the
// bytes the ESC acknowledged so far: 0 lets the update go on, any other value aborts it
// and is the exit code. SIGINT and SIGTERM are asked about besides.
using FlashStopRequest = std::function<int(int32_t acknowledgedBytes)>;

// Exit codes of an update that a signal ended: 128 + the signal's number.
inline constexpr int kExitInterrupted = 130;  // SIGINT
inline constexpr int kExitTerminated = 143;   // SIGTERM

// `options` as parsed by parseCommandLine, with command "flash" and the image path as
// its one argument; the device, the time-out (the longest wait for the link and for any
// step of the update) and --trace apply. The update starts once the settings were read
// and the link is quiet.
// How the progress shows on standard error: a bar redrawn in place (a terminal), a line
// at every tenth of the image (anything else), or not at all (--quiet).
enum class FlashProgress { Bar, Lines, None };

int runFlash(const CliOptions& options, std::ostream& out, std::ostream& err,
             transport::Clock& clock, const FlashStopRequest& stopRequest = {},
             FlashProgress shown = FlashProgress::Bar);

// The usage line of the flash command.
const char* flashUsageText();

// One line of the progress bar: "[#####.....]  50%  ETA 0:09" (ETA "-:--" while
// unknown).
std::string flashProgressLine(int32_t doneBytes, int32_t totalBytes, uint64_t elapsedMs);

}  // namespace cli
