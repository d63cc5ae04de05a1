#include "devices/linux/hidapi_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devices/linux/hotplug_monitor.h"

namespace transport {
namespace {

// No adapter is attached on a build machine: the real port must say so calmly.
TEST(HidapiPort, WithoutAdapterFindsNothingAndOpensNothing) {
    HidapiPort port;
    EXPECT_EQ(port.deviceCount(kAdapterVendorId, kAdapterProductId), 0u);
    std::string path = "unchanged";
    EXPECT_EQ(port.devicePath(0, kAdapterVendorId, kAdapterProductId, path), kHidDeviceNotFound);
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(port.open(0, kAdapterVendorId, kAdapterProductId, 512), kHidDeviceNotFound);
    EXPECT_FALSE(port.isOpen());
}

TEST(HidapiPort, ClosedPortRefusesIo) {
    HidapiPort port;
    EXPECT_EQ(port.openPath("/nonexistent/hidraw99"), kHidDeviceNotOpened);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.reportLength(), 0u);
    EXPECT_EQ(port.maxReportRequest(), 0u);
    uint8_t report[65] = {2, 1, 0xE1};
    EXPECT_EQ(port.sendControlReport(report, sizeof report), kHidDeviceNotOpened);
    EXPECT_EQ(port.sendInterruptReport(report, sizeof report), kHidDeviceNotOpened);
    uint32_t bytes = 7;
    EXPECT_EQ(port.readInputReports(report, sizeof report, 1, bytes), kHidDeviceNotOpened);
    EXPECT_EQ(bytes, 0u);
    std::string path;
    EXPECT_EQ(port.openDevicePath(path), kHidDeviceNotOpened);
    port.close();  // closing twice is harmless
}

TEST(HotplugMonitor, SourceFollowsTheUdevControlSocket) {
    const std::string present = ::testing::TempDir() + "tessaro_udev_control";
    std::ofstream(present) << "";
    EXPECT_EQ(HotplugMonitor::chooseSource(present), "udev");
    std::remove(present.c_str());
    EXPECT_EQ(HotplugMonitor::chooseSource(present), "kernel");
}

TEST(HotplugMonitor, StartsWithoutErrorAndReportsNothingUnasked) {
    HotplugMonitor monitor;
    EXPECT_EQ(monitor.watchFd(), -1);
    EXPECT_TRUE(monitor.takeChanges().empty());
    if (monitor.start()) {
        EXPECT_GE(monitor.watchFd(), 0);
        EXPECT_FALSE(monitor.source().empty());
    } else {
        EXPECT_EQ(monitor.watchFd(), -1);  // no source here: silent, not broken
    }
    // Nothing is plugged in meanwhile on a build machine; the read must not block.
    monitor.takeChanges();
    monitor.stop();
    EXPECT_EQ(monitor.watchFd(), -1);
    EXPECT_TRUE(monitor.source().empty());
}

}  // namespace
}  // namespace transport
