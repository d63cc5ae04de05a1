#include "cli/udev_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli_messages.h"
#include "cli/command.h"
#include "cli/command_support.h"

namespace cli {

namespace {

std::string ruleLine(const devices::UdevRuleFile& file) {
    if (file.hidden)
        return msg(Msg::UdevRuleHidden, {file.path, file.hiddenBy});
    if (!file.same)
        return msg(Msg::UdevRuleDifferent, {file.path, file.firstRule});
    if (file.tooLate)
        return msg(Msg::UdevRuleTooLate, {file.path, devices::kUdevSeatLateName});
    return msg(Msg::UdevRuleSame, {file.path});
}

std::string adapterLine(const devices::AdapterReport& report) {
    const std::string ids = devices::usbIds(report);
    if (report.openable)
        return msg(Msg::UdevAdapterOk, {report.path, ids});
    std::string why = report.reason;
    if (!report.fix.empty())
        why += "; fix: " + report.fix;
    return msg(Msg::UdevAdapterNot, {report.path, ids, why});
}

int runCheck(const CliOptions& options, std::ostream& out, std::ostream& err,
             const UdevSystem& system) {
    const devices::UdevRuleStatus status = devices::checkUdevRule(system.ruleDirs);
    const std::vector<devices::AdapterReport> adapters =
        system.adapters ? system.adapters() : std::vector<devices::AdapterReport>{};
    const bool allOpen = std::all_of(adapters.begin(), adapters.end(),
                                     [](const auto& report) { return report.openable; });
    if (options.json) {
        nlohmann::ordered_json json;
        json["installed"] = status.installed();
        json["rules"] = nlohmann::ordered_json::array();
        for (const devices::UdevRuleFile& file : status.files) {
            json["rules"].push_back({{"path", file.path},
                                     {"same", file.same},
                                     {"hidden", file.hidden},
                                     {"too_late", file.tooLate}});
        }
        json["adapters"] = nlohmann::ordered_json::array();
        for (const devices::AdapterReport& report : adapters) {
            json["adapters"].push_back({{"path", report.path},
                                        {"openable", report.openable},
                                        {"reason", report.reason},
                                        {"fix", report.fix}});
        }
        out << json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    } else {
        for (const devices::UdevRuleFile& file : status.files) out << ruleLine(file) << "\n";
        out << msg(status.installed() ? Msg::UdevRuleInstalled : Msg::UdevRuleMissing) << "\n";
        for (const devices::AdapterReport& report : adapters) out << adapterLine(report) << "\n";
        if (adapters.empty())
            out << msg(Msg::UdevNoAdapter) << "\n";
    }
    if (!status.installed())
        return fail(err, kExitNoDevice, msg(Msg::UdevRuleMissing));
    if (!allOpen)
        return fail(err, kExitNoDevice, msg(Msg::UdevAdapterClosed));
    return kExitOk;
}

int runInstall(const CliOptions& options, std::ostream& out, std::ostream& err,
               const UdevSystem& system) {
    devices::UdevInstallSetup setup = system.install;
    setup.readDirs = system.ruleDirs;
    if (!setup.root && !setup.elevation.empty() && !options.quiet)
        err << kProgramPrefix << msg(Msg::UdevThroughElevation, {setup.elevation}) << "\n";
    const devices::UdevInstallResult result = devices::installUdevRule(setup);
    switch (result.failed) {
        case devices::UdevInstallStep::None:
            break;
        case devices::UdevInstallStep::NoElevation:
            return fail(err, kExitFileError, msg(Msg::UdevNoElevation));
        case devices::UdevInstallStep::Write:
            return fail(err, kExitFileError,
                        msg(Msg::UdevWriteFailed, {result.path, result.detail}));
        case devices::UdevInstallStep::Reload:
            return fail(err, kExitNoDevice,
                        msg(Msg::UdevReloadFailed, {result.path, result.detail}));
        case devices::UdevInstallStep::Trigger:
            return fail(err, kExitNoDevice,
                        msg(Msg::UdevTriggerFailed, {result.path, result.detail}));
    }
    out << msg(result.written ? Msg::UdevWritten : Msg::UdevAlreadyThere, {result.path}) << "\n"
        << msg(Msg::UdevApplied) << "\n";
    return kExitOk;
}

int runUdevCommand(CommandContext& ctx) {
    return runUdev(ctx.options, ctx.out, ctx.err, realUdevSystem());
}

}  // namespace

UdevSystem realUdevSystem() {
    UdevSystem system;
    system.adapters = [] { return devices::diagnoseHidAdapters(); };
    system.install.root = ::geteuid() == 0;
    if (!system.install.root)
        system.install.elevation = devices::chooseElevation(devices::programOnPath);
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0')
        system.install.scratchDir = tmp;
    return system;
}

int runUdev(const CliOptions& options, std::ostream& out, std::ostream& err,
            const UdevSystem& system) {
    const std::vector<std::string>& args = options.args;
    if (args.size() == 1 && args[0] == "check")
        return runCheck(options, out, err, system);
    if (args.size() == 1 && args[0] == "install")
        return runInstall(options, out, err, system);
    return fail(err, kExitUsage, msg(Msg::UdevTakes));
}

const Command& udevCommand() {
    static const Command command{
        "udev", "udev check|install", "whether the adapter's udev rule is in force; install it",
        "check: lists the udev rule files that concern the adapter (this program's rule, a\n"
        "different one, one hidden by a file of the same name), says whether the rule is in\n"
        "force, and whether each adapter plugged in can be opened. Exit 0 when the rule is in\n"
        "force and every adapter can be opened, else 2.\n"
        "install: writes the rule to /etc/udev/rules.d/60-tessaro.rules (through sudo or\n"
        "pkexec when not root) unless the same rule is in force already, then runs\n"
        "'udevadm control --reload' and 'udevadm trigger' for hidraw and the adapter's USB\n"
        "device, so that an adapter already plugged in can be opened without replugging.\n"
        "Exit 0 when done, 4 when the rule could not be written, 2 when udev did not apply it.\n",
        runUdevCommand};
    return command;
}

}  // namespace cli
