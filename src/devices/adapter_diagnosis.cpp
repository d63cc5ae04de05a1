#include "devices/adapter_diagnosis.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devices/adapter_choice.h"
#include "devices/device_lock.h"
#include "devices/linux/hidraw_survey.h"
#include "devices/recording_port.h"
#include "devices/socket_port.h"
#include "sim/simulated_port.h"

namespace devices {

namespace {

std::string holderList(const std::vector<transport::NodeHolder>& holders) {
    std::string text;
    for (const transport::NodeHolder& holder : holders) {
        if (!text.empty())
            text += ", ";
        text += "process " + std::to_string(holder.pid);
        if (!holder.name.empty())
            text += " (" + holder.name + ")";
    }
    return text;
}

// Fills access, reason and fix from the open's errno and the other holders of the node.
void describe(AdapterReport& report, int error, const std::vector<transport::NodeHolder>& holders) {
    report.error = error;
    report.openable = error == 0;
    if (error == 0) {
        report.access = AdapterAccess::Openable;
        if (!holders.empty()) {
            report.reason = "also open in " + holderList(holders);
            report.fix =
                "close that program: two programs talking to one adapter take each other's "
                "answers";
        }
        return;
    }
    const std::string why = std::string("cannot be opened: ") + std::strerror(error);
    if (error == EACCES || error == EPERM) {
        report.access = AdapterAccess::NoPermission;
        report.reason = why + " (this user may not read and write " + report.path + ")";
        report.fix = std::string("install the udev rule of the README as ") + kUdevRuleFile + ": " +
                     kUdevRule +
                     " - then run 'sudo udevadm control --reload-rules' and unplug and replug "
                     "the adapter";
    } else if (error == EBUSY) {
        report.access = AdapterAccess::Busy;
        report.reason = why + (holders.empty() ? ": another program holds it"
                                               : ": held by " + holderList(holders));
        report.fix = "close the program that holds it, or unplug and replug the adapter";
    } else {
        report.access = AdapterAccess::Failed;
        report.reason = why;
        report.fix = "unplug and replug the adapter (README, Troubleshooting, has more)";
    }
}

std::vector<AdapterReport> simulatedAdapters(sim::SimulatedPort& port) {
    std::vector<AdapterReport> reports;
    const uint32_t count =
        port.deviceCount(transport::kAdapterVendorId, transport::kAdapterProductId);
    for (uint32_t index = 0; index < count; ++index) {
        AdapterReport report;
        if (port.devicePath(index, transport::kAdapterVendorId, transport::kAdapterProductId,
                            report.path) != transport::kHidSuccess)
            continue;
        const sim::AdapterOptions* options = port.options(report.path);
        describe(report, options ? options->openError : 0, {});
        reports.push_back(report);
    }
    return reports;
}

// The socket's adapter is there while its path accepts a connection. The port is not asked:
// its own check would take the arrival the link has still to hear.
std::vector<AdapterReport> socketAdapter(transport::SocketPort& port) {
    AdapterReport report;
    report.path = port.uri();
    if (port.isOpen()) {
        describe(report, 0, {});
        return {report};
    }
    const std::string path = port.uri().substr(std::strlen(transport::kSocketUriPrefix));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        describe(report, ENAMETOOLONG, {});
        return {report};
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket of the stream type (one SSH forwards) serves the adapter as well.
    int error = 0;
    for (const int type : {SOCK_SEQPACKET, SOCK_STREAM}) {
        const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            describe(report, errno, {});
            return {report};
        }
        error = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                    ? 0
                    : errno;
        ::close(fd);
        if (error != EPROTOTYPE)
            break;
    }
    if (error == ENOENT || error == ECONNREFUSED)
        return {};  // nobody serves an adapter there
    describe(report, error, {});
    return {report};
}

}  // namespace

std::vector<AdapterReport> diagnoseHidAdapters() {
    return diagnoseHidAdapters(transport::HidrawSystem{});
}

std::vector<AdapterReport> diagnoseHidAdapters(const transport::HidrawSystem& system) {
    std::vector<AdapterReport> reports;
    for (const transport::HidrawNode& node : transport::surveyHidraw(
             transport::kAdapterVendorId, transport::kAdapterProductId, system)) {
        AdapterReport report;
        report.path = node.path;
        report.vendorId = node.vendorId;
        report.productId = node.productId;
        report.serial = node.serial;
        describe(report, node.openError, node.holders);
        reports.push_back(report);
    }
    return reports;
}

namespace {

// An adapter that opens may still be another Tessaro's (the window's or a CLI's): its lock
// says whose. Asking does not take the lock, so it never gets in the way of an open.
void noteLockHolder(AdapterReport& report) {
    if (!report.openable)
        return;
    const size_t slash = report.path.rfind('/');
    const std::optional<transport::DeviceHolder> held = DeviceLock::heldBy(
        lockDirectory(), slash == std::string::npos ? report.path : report.path.substr(slash + 1));
    if (!held)
        return;
    const transport::DeviceHolder& holder = *held;
    report.openable = false;
    report.access = AdapterAccess::Busy;
    report.reason = "in use by " +
                    (holder.program.empty() ? std::string("another program") : holder.program) +
                    (holder.pid > 0 ? " (pid " + std::to_string(holder.pid) + ")" : "");
    report.fix = "close that program; the adapter is free again when it ends";
}

}  // namespace

std::vector<AdapterReport> diagnoseAdapters(DeviceKind kind, transport::HidPort& port) {
    // A recorded or locked device's port is the one it wraps.
    transport::HidPort* inner = &port;
    if (auto* recording = dynamic_cast<RecordingPort*>(inner))
        inner = &recording->inner();
    if (auto* locking = dynamic_cast<LockingPort*>(inner))
        inner = &locking->inner();
    switch (kind) {
        case DeviceKind::Hid: {
            // A device that names its adapter has that one only.
            std::vector<AdapterReport> reports =
                namedAdapters(diagnoseHidAdapters(), selectionOf(port));
            for (AdapterReport& report : reports) noteLockHolder(report);
            return reports;
        }
        case DeviceKind::Simulated:
            if (auto* simulated = dynamic_cast<sim::SimulatedPort*>(inner))
                return simulatedAdapters(*simulated);
            break;
        case DeviceKind::Socket:
            if (auto* socket = dynamic_cast<transport::SocketPort*>(inner))
                return socketAdapter(*socket);
            break;
        case DeviceKind::Replay:
            break;  // a recording holds no adapter to look at
    }
    return {};
}

AdapterSurvey adapterSurvey(DeviceKind kind, transport::HidPort& port) {
    return [kind, &port] { return diagnoseAdapters(kind, port); };
}

std::string usbIds(const AdapterReport& report) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", report.vendorId, report.productId);
    return text;
}

}  // namespace devices
