#include "devices/device_uri.h"

#include <filesystem>

#include "devices/adapter_choice.h"
#include "devices/device_lock.h"
#include "devices/linux/hidapi_port.h"
#include "devices/linux/hidraw_survey.h"
#include "devices/linux/hotplug_monitor.h"
#include "devices/replay_port.h"
#include "devices/socket_port.h"
#include "sim/esc_config.h"

namespace devices {

namespace {

constexpr std::string_view kHidScheme = "hid";
constexpr std::string_view kSimScheme = "sim";
constexpr std::string_view kSocketScheme = "socket";
constexpr std::string_view kReplayScheme = "replay";

// The lock of a hidraw node is named after the node ("hidraw3"), that of a socket after
// its path, that of a named simulator after its name.
std::string nodeLockKey(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool openDeviceUri(std::string_view uri, transport::Clock& clock, Device& device,
                   std::string& error) {
    const size_t colon = uri.find(':');
    const std::string_view scheme = uri.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? "" : uri.substr(colon + 1);

    if (scheme == kHidScheme) {
        AdapterSelection selection;
        if (colon != std::string_view::npos && !parseAdapterSelection(rest, selection, error))
            return false;
        device.kind = DeviceKind::Hid;
        std::unique_ptr<transport::HidPort> port = std::make_unique<transport::HidapiPort>();
        if (selection.named()) {
            port = std::make_unique<ChosenAdapterPort>(
                std::move(port), selection,
                [](const std::string& path) { return transport::hidrawSerial(path); });
        }
        device.port = std::make_unique<LockingPort>(std::move(port), nodeLockKey);
        device.emulator.reset();
        auto monitor = std::make_unique<transport::HotplugMonitor>();
        if (monitor->start()) {
            device.changes = monitor.get();
            device.watcher = std::move(monitor);
        } else {
            device.changes = nullptr;
            device.watcher.reset();
        }
        return true;
    }
    if (scheme == kSimScheme) {
        sim::EscConfig config;
        if (!sim::parseSimOptions(rest, config, error)) {
            error = "device '" + std::string(uri) + "': " + error;
            return false;
        }
        device.kind = DeviceKind::Simulated;
        device.port = sim::makeSimulatedDevice(config, &clock, &device.emulator);
        if (!config.name.empty()) {
            device.port = std::make_unique<LockingPort>(
                std::move(device.port),
                [name = config.name](const std::string&) { return "sim-" + name; });
        }
        device.changes = nullptr;
        device.watcher.reset();
        return true;
    }
    if (scheme == kSocketScheme && colon != std::string_view::npos) {
        if (rest.empty()) {
            error = "device 'socket:': a socket path is needed, as in socket:/tmp/adapter.sock";
            return false;
        }
        device.kind = DeviceKind::Socket;
        auto port = std::make_unique<transport::SocketPort>(std::string(rest), &clock);
        device.changes = port.get();
        device.port = std::make_unique<LockingPort>(
            std::move(port), [socketPath = std::string(rest)](const std::string&) {
                // One lock for every spelling of the path.
                std::error_code ec;
                const std::filesystem::path full =
                    std::filesystem::weakly_canonical(socketPath, ec);
                return "socket" + (ec ? socketPath : full.string());
            });
        device.emulator.reset();
        device.watcher.reset();
        return true;
    }
    if (scheme == kReplayScheme && colon != std::string_view::npos) {
        std::unique_ptr<ReplayPort> port;
        if (!loadReplay(std::string(rest), clock, port, error))
            return false;
        device = Device{};
        device.kind = DeviceKind::Replay;
        device.replay = port.get();
        device.changes = port.get();
        device.port = std::move(port);
        return true;
    }
    error = "unknown device '" + std::string(uri) +
            "': use hid[:NODE|:serial=SERIAL], sim[:key=value,...], socket:PATH or replay:FILE";
    return false;
}

std::string hidLibraryVersion() {
    return transport::HidapiPort::libraryVersion();
}

}  // namespace devices
