#include "devices/device_uri.h"

#include "devices/linux/hidapi_port.h"
#include "devices/linux/hotplug_monitor.h"
#include "devices/socket_port.h"
#include "sim/esc_config.h"

namespace devices {

namespace {

constexpr std::string_view kHidScheme = "hid";
constexpr std::string_view kSimScheme = "sim";
constexpr std::string_view kSocketScheme = "socket";

}  // namespace

bool openDeviceUri(std::string_view uri, transport::Clock& clock, Device& device,
                   std::string& error) {
    const size_t colon = uri.find(':');
    const std::string_view scheme = uri.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? "" : uri.substr(colon + 1);

    if (scheme == kHidScheme && colon == std::string_view::npos) {
        device.kind = DeviceKind::Hid;
        device.port = std::make_unique<transport::HidapiPort>();
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
        auto port = std::make_unique<transport::SocketPort>(std::string(rest));
        device.changes = port.get();
        device.port = std::move(port);
        device.emulator.reset();
        device.watcher.reset();
        return true;
    }
    error =
        "unknown device '" + std::string(uri) + "': use hid, sim[:key=value,...] or socket:PATH";
    return false;
}

std::string hidLibraryVersion() {
    return transport::HidapiPort::libraryVersion();
}

}  // namespace devices
