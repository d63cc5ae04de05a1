#pragma once
// tessaro-cli udev check|install: whether the udev rule that gives the seat user the
// adapter is in force and each adapter plugged in can be opened; and putting the rule in
// place (through sudo or pkexec when not root) with udev told to apply it at once.
//
// Exit codes: check — kExitOk when the rule is in force and every adapter found can be
// opened, kExitNoDevice otherwise; install — kExitOk when the rule is in force and udev
// applied it, kExitFileError when it could not be written, kExitNoDevice when it was
// written but udev did not apply it (no udev running). kExitUsage for other arguments.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "devices/adapter_diagnosis.h"
#include "devices/udev_rule.h"

namespace cli {

// What the command looks at and runs: the real system's by default, fakes in the tests.
struct UdevSystem {
    std::vector<std::string> ruleDirs = devices::udevRuleDirs();
    std::function<std::vector<devices::AdapterReport>()> adapters;
    devices::UdevInstallSetup install;
};

// The rule folders, adapters, rights and elevation program of this process's system.
UdevSystem realUdevSystem();

int runUdev(const CliOptions& options, std::ostream& out, std::ostream& err,
            const UdevSystem& system);

}  // namespace cli
