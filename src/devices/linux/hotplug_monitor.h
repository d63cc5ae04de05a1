#pragma once
// Arrival and removal of hidraw nodes, from libudev. The owner watches watchFd() (a
// QSocketNotifier, or poll) and calls takeChanges() when it becomes readable, handing each
// event to LinkAdapter::onDeviceChange.
//
// The "udev" source reports a node after the rules ran (permissions set); where no udev
// daemon runs (containers, CI: no /run/udev/control) it would hear nothing, so the monitor
// listens to the kernel's own uevents instead. When neither can be opened the monitor
// simply reports nothing; that is not an error.

#include <string>
#include <vector>

#include "link/device_change_source.h"
#include "link/link_adapter.h"

struct udev;
struct udev_monitor;

namespace transport {

inline constexpr char kUdevControlPath[] = "/run/udev/control";

class HotplugMonitor final : public DeviceChangeSource {
  public:
    HotplugMonitor();
    ~HotplugMonitor() override;
    HotplugMonitor(const HotplugMonitor&) = delete;
    HotplugMonitor& operator=(const HotplugMonitor&) = delete;

    // Starts listening. True when a source is listening, false when none could be opened
    // (the monitor then stays silent; callers need not treat this as a failure).
    bool start();
    void stop();
    bool isListening() const { return m_monitor != nullptr; }
    // The descriptor to watch for readability; -1 when not listening.
    int watchFd() const override;
    // "udev", "kernel", or empty when not listening.
    const std::string& source() const { return m_source; }
    // Every event queued now, without waiting. Only hidraw "add" (Arrival) and "remove"
    // (Removal) with a device node count; the path is the node, e.g. /dev/hidraw3.
    std::vector<DeviceEvent> takeChanges() override;

    // The source to use: "udev" when `controlPath` exists, otherwise "kernel".
    static std::string chooseSource(const std::string& controlPath = kUdevControlPath);

  private:
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::string m_source;
};

}  // namespace transport
