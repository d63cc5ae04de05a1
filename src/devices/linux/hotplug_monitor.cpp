#include "devices/linux/hotplug_monitor.h"

#include <libudev.h>
#include <unistd.h>

#include <cstring>

namespace transport {

namespace {

constexpr char kSubsystem[] = "hidraw";
constexpr char kActionAdd[] = "add";
constexpr char kActionRemove[] = "remove";

}  // namespace

HotplugMonitor::HotplugMonitor() = default;

HotplugMonitor::~HotplugMonitor() {
    stop();
}

std::string HotplugMonitor::chooseSource(const std::string& controlPath) {
    return access(controlPath.c_str(), F_OK) == 0 ? "udev" : "kernel";
}

bool HotplugMonitor::start() {
    stop();
    m_udev = udev_new();
    if (!m_udev)
        return false;
    const std::string source = chooseSource();
    m_monitor = udev_monitor_new_from_netlink(m_udev, source.c_str());
    if (m_monitor &&
        (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kSubsystem, nullptr) < 0 ||
         udev_monitor_enable_receiving(m_monitor) < 0)) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
    if (!m_monitor) {
        stop();
        return false;
    }
    m_source = source;
    return true;
}

void HotplugMonitor::stop() {
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
    m_monitor = nullptr;
    m_udev = nullptr;
    m_source.clear();
}

int HotplugMonitor::watchFd() const {
    return m_monitor ? udev_monitor_get_fd(m_monitor) : -1;
}

std::vector<DeviceEvent> HotplugMonitor::takeChanges() {
    std::vector<DeviceEvent> events;
    if (!m_monitor)
        return events;
    // The monitor's socket is non-blocking: this returns null once the queue is empty.
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        const char* subsystem = udev_device_get_subsystem(device);
        const char* node = udev_device_get_devnode(device);
        if (action && node && subsystem && std::strcmp(subsystem, kSubsystem) == 0) {
            if (std::strcmp(action, kActionAdd) == 0) {
                events.push_back(DeviceEvent{DeviceEventKind::Arrival, node});
            } else if (std::strcmp(action, kActionRemove) == 0) {
                events.push_back(DeviceEvent{DeviceEventKind::Removal, node});
            }
        }
        udev_device_unref(device);
    }
    return events;
}

}  // namespace transport
