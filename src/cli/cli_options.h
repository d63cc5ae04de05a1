#pragma once
// The command line of tessaro-cli.

#include <cstdint>
#include <string>
#include <vector>

#include "devices/device_uri.h"

namespace cli {

// Exit codes, the same for every command.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoDevice = 2,   // no adapter, or no answer from the adapter or the ESC in time
    kExitNotStored = 3,  // the read-back differs from what was asked
    kExitFileError = 4,
    kExitUpdateFailed = 5,
    kExitReplayDiffers = 6,  // a replayed device saw the program depart from its recording
};

inline constexpr uint32_t kDefaultTimeoutSeconds = 10;
inline constexpr uint32_t kMaxTimeoutSeconds = 3600;

// The gear calculator's inputs (--cells --kv --gear --pinion); 0 for one not given.
struct CalculatorOptions {
    int cells = 0;
    int kv = 0;
    int gear = 0;
    int pinion = 0;
    bool any() const { return cells != 0 || kv != 0 || gear != 0 || pinion != 0; }
};

struct CliOptions {
    std::string device = devices::kDefaultDeviceUri;
    uint32_t timeoutSeconds = kDefaultTimeoutSeconds;
    std::string record;  // --record FILE: what goes through the device's port, into FILE
    bool trace = false;
    bool json = false;
    bool help = false;
    bool version = false;
    bool man = false;        // --man: print the manual page
    std::string completion;  // --completion SHELL: print the completion script
    bool yes = false;        // --yes: no question before flash and defaults
    bool quiet = false;      // --quiet: no progress and no notes, only results and errors
    CalculatorOptions calculator;
    std::string lang;               // "en" or "zh": written to "lang_sel" before the run
    std::string command;            // info, read, write, defaults, profile
    std::vector<std::string> args;  // what follows the command
};

// False with a one-line reason in `error` for an unknown option, a missing or bad value
// or a missing command.
bool parseCommandLine(const std::vector<std::string>& argv, CliOptions& options,
                      std::string& error);

// The --help text.
std::string usageText();
// The help of one command (`tessaro-cli help NAME`, `tessaro-cli NAME --help`).
std::string commandHelpText(const std::string& name);
// The --version line.
std::string versionText();

}  // namespace cli
