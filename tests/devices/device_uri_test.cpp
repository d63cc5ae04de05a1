// Device URIs: which port each names, and the errors for those that name none.

#include "devices/device_uri.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/socket_port.h"

namespace {

using ::testing::HasSubstr;

TEST(DeviceUri, NamesItsPort) {
    struct Case {
        const char* uri;
        devices::DeviceKind kind;
        int family;  // of the simulated ESC; -1 for other ports
    };
    const Case cases[] = {
        {"hid", devices::DeviceKind::Hid, -1},
        {"sim", devices::DeviceKind::Simulated, 3},
        {"sim:", devices::DeviceKind::Simulated, 3},
        {"sim:family=5", devices::DeviceKind::Simulated, 5},
        {"sim:family=9,variant=6", devices::DeviceKind::Simulated, 9},
        {"socket:/tmp/adapter.sock", devices::DeviceKind::Socket, -1},
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
    }
}

TEST(DeviceUri, TheSocketsPathIsTheUri) {
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("socket:/run/x.sock", clock, device, error));
    EXPECT_EQ(static_cast<transport::SocketPort&>(*device.port).uri(), "socket:/run/x.sock");
}

TEST(DeviceUri, UnknownOrBadUrisSayWhy) {
    struct Case {
        const char* uri;
        const char* message;
    };
    const Case cases[] = {
        {"", "unknown device ''"},
        {"usb", "unknown device 'usb'"},
        {"hid:1", "unknown device 'hid:1'"},
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
