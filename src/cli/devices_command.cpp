#include "cli/devices_command.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli_messages.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "devices/adapter_diagnosis.h"
#include "devices/device_uri.h"

namespace cli {

namespace {

constexpr const char* kPrefix = "tessaro-cli: ";

const char* accessName(devices::AdapterAccess access) {
    switch (access) {
        case devices::AdapterAccess::Openable:
            return "ok";
        case devices::AdapterAccess::NoPermission:
            return "no-permission";
        case devices::AdapterAccess::Busy:
            return "busy";
        case devices::AdapterAccess::Failed:
            break;
    }
    return "failed";
}

}  // namespace

std::string adapterLine(const devices::AdapterReport& report) {
    std::string text = report.path + "  " + devices::usbIds(report);
    if (!report.serial.empty())
        text += "  serial " + report.serial;
    text += "  ";
    if (report.openable)
        text += report.reason.empty() ? msg(Msg::CanBeOpened)
                                      : msg(Msg::CanBeOpenedBut, {report.reason});
    else
        text += report.reason;
    if (!report.fix.empty())
        text += "; fix: " + report.fix;
    return text;
}

namespace {

nlohmann::ordered_json json(const devices::AdapterReport& report) {
    nlohmann::ordered_json entry;
    const std::string ids = devices::usbIds(report);
    entry["path"] = report.path;
    entry["vendor"] = ids.substr(0, 4);
    entry["product"] = ids.substr(5);
    entry["serial"] = report.serial;
    entry["openable"] = report.openable;
    entry["access"] = accessName(report.access);
    entry["error"] = report.error != 0 ? std::string(std::strerror(report.error)) : std::string();
    entry["reason"] = report.reason;
    entry["fix"] = report.fix;
    return entry;
}

}  // namespace

int runDevices(const CliOptions& options, std::ostream& out, std::ostream& err,
               transport::Clock& clock) {
    if (!options.args.empty()) {
        err << kPrefix << msg(Msg::DevicesTakesNoArguments, {options.args[0]}) << "\n";
        return kExitUsage;
    }
    devices::Device device;
    if (int code = kExitOk; !openDevice(options, clock, err, device, code))
        return code;
    const std::vector<devices::AdapterReport> reports =
        devices::diagnoseAdapters(device.kind, *device.port);
    if (options.json) {
        // One object, so that a failure's error object joins the adapters it is about.
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const devices::AdapterReport& report : reports) list.push_back(json(report));
        nlohmann::ordered_json result;
        result["adapters"] = std::move(list);
        out << result.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    } else {
        for (const devices::AdapterReport& report : reports) out << adapterLine(report) << "\n";
    }
    if (reports.empty()) {
        err << kPrefix << msg(Msg::NoAdapterFound, {options.device}) << "\n";
        return kExitNoDevice;
    }
    const bool anyOpenable = std::any_of(reports.begin(), reports.end(),
                                         [](const auto& report) { return report.openable; });
    if (!anyOpenable) {
        err << kPrefix << msg(Msg::NoAdapterCanBeOpened, {options.device}) << "\n";
        return kExitNoDevice;
    }
    return kExitOk;
}

namespace {

int runDevicesCommand(CommandContext& context) {
    return runDevices(context.options, context.out, context.err, context.clock);
}

}  // namespace

const Command& devicesCommand() {
    static const Command command{
        "devices", "devices [--json]",
        "list the link adapters, whether each can be opened and, if not, why",
        "Lists every link adapter the device has (for hid: each USB adapter on hidraw),\n"
        "whether it can be opened and, if not, why and what to do. Needs no language.ini.\n"
        "Exit 0 when one can be opened, 2 when none was found or none can be opened.\n",
        runDevicesCommand};
    return command;
}

}  // namespace cli
