// Device URIs: which port each names, and the errors for those that name none.

#include "devices/device_uri.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/adapter_choice.h"
#include "devices/device_lock.h"
#include "devices/socket_port.h"

namespace {

using ::testing::HasSubstr;

// How a front end hears the port's adapter come and go.
enum class Changes {
    None,    // no source: nothing comes or goes
    Polled,  // a source without descriptor, asked at the owner's pace
    Hotplug  // the system's hot-plug events: a descriptor, or no source where none opens
};

TEST(DeviceUri, NamesItsPort) {
    struct Case {
        const char* uri;
        devices::DeviceKind kind;
        int family;  // of the simulated ESC; -1 for other ports
        Changes changes;
    };
    const Case cases[] = {
        {"hid", devices::DeviceKind::Hid, -1, Changes::Hotplug},
        {"hid:/dev/hidraw3", devices::DeviceKind::Hid, -1, Changes::Hotplug},
        {"hid:serial=ABC123", devices::DeviceKind::Hid, -1, Changes::Hotplug},
        {"sim", devices::DeviceKind::Simulated, 3, Changes::None},
        {"sim:", devices::DeviceKind::Simulated, 3, Changes::None},
        {"sim:family=5", devices::DeviceKind::Simulated, 5, Changes::None},
        {"sim:family=9,variant=6", devices::DeviceKind::Simulated, 9, Changes::None},
        {"socket:/tmp/adapter.sock", devices::DeviceKind::Socket, -1, Changes::Polled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        transport::VirtualClock clock;
        devices::Device device;
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri(c.uri, clock, device, error)) << error;
        EXPECT_EQ(device.kind, c.kind);
        ASSERT_NE(device.port, nullptr);
        EXPECT_EQ(device.emulator != nullptr, c.family >= 0);
        if (c.family >= 0) {
            EXPECT_EQ(device.emulator->config().family, c.family);
        }
        switch (c.changes) {
            case Changes::None:
                EXPECT_EQ(device.changes, nullptr);
                break;
            case Changes::Polled:
                ASSERT_NE(device.changes, nullptr);
                EXPECT_EQ(device.changes->watchFd(), -1);
                break;
            case Changes::Hotplug:
                // A build machine may have no uevent source; then there is nothing to hear.
                if (device.changes) {
                    EXPECT_GE(device.changes->watchFd(), 0);
                }
                break;
        }
    }
}

// Re-using a Device for another URI leaves nothing of the former port's changes behind.
TEST(DeviceUri, ReopeningReplacesTheChangeSource) {
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("socket:/run/x.sock", clock, device, error));
    ASSERT_TRUE(devices::openDeviceUri("sim", clock, device, error));
    EXPECT_EQ(device.changes, nullptr);
}

// The socket's changes come from the port itself and stay with it when the port is moved
// out of the Device (the window takes the port, the Device stays behind).
TEST(DeviceUri, TheSocketsChangesTravelWithItsPort) {
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("socket:/run/absent.sock", clock, device, error));
    std::unique_ptr<transport::HidPort> port = std::move(device.port);
    ASSERT_NE(device.changes, nullptr);
    // Inside the lock that keeps the socket to one process at a time.
    auto& locked = dynamic_cast<devices::LockingPort&>(*port);
    EXPECT_EQ(dynamic_cast<transport::DeviceChangeSource*>(&locked.inner()), device.changes);
}

TEST(DeviceUri, TheSocketsPathIsTheUri) {
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("socket:/run/x.sock", clock, device, error));
    auto& locked = dynamic_cast<devices::LockingPort&>(*device.port);
    EXPECT_EQ(dynamic_cast<transport::SocketPort&>(locked.inner()).uri(), "socket:/run/x.sock");
}

// The adapter a "hid" URI names, as the port behind it keeps it.
TEST(DeviceUri, HidNamesItsAdapter) {
    struct Case {
        const char* uri;
        const char* node;
        const char* serial;
        const char* text;
    };
    const Case cases[] = {
        {"hid", "", "", ""},
        {"hid:/dev/hidraw3", "/dev/hidraw3", "", "/dev/hidraw3"},
        {"hid:/dev/serial=x", "/dev/serial=x", "", "/dev/serial=x"},
        {"hid:serial=ABC123", "", "ABC123", "serial ABC123"},
        {"hid:serial=/dev/hidraw3", "", "/dev/hidraw3", "serial /dev/hidraw3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        transport::VirtualClock clock;
        devices::Device device;
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri(c.uri, clock, device, error)) << error;
        const devices::AdapterSelection selection = devices::selectionOf(*device.port);
        EXPECT_EQ(selection.node, c.node);
        EXPECT_EQ(selection.serial, c.serial);
        EXPECT_EQ(selection.text(), c.text);
        // Held by the lock as every hidraw node is.
        EXPECT_NE(dynamic_cast<devices::LockingPort*>(device.port.get()), nullptr);
    }
}

TEST(DeviceUri, UnknownOrBadUrisSayWhy) {
    struct Case {
        const char* uri;
        const char* message;
    };
    const Case cases[] = {
        {"", "unknown device ''"},
        {"usb", "unknown device 'usb'"},
        {"hid:1", "name the adapter by its node"},
        {"hid:", "as in hid:/dev/hidraw3"},
        {"hid:serial=", "hid:serial=ABC123"},
        {"hid:hidraw3", "device 'hid:hidraw3'"},
        {"socket", "unknown device 'socket'"},
        {"socket:", "a socket path is needed"},
        {"sim:family=x", "sim:family=x"},
        {"sim:nonsense=1", "sim:nonsense=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        transport::VirtualClock clock;
        devices::Device device;
        std::string error;
        EXPECT_FALSE(devices::openDeviceUri(c.uri, clock, device, error));
        EXPECT_THAT(error, HasSubstr(c.message));
        EXPECT_EQ(device.port, nullptr);
    }
}

}  // namespace
