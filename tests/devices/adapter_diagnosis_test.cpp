// Which adapters there are and why one cannot be opened: the hidraw survey on a fake
// sysfs, /dev and /proc, and the one adapter of the simulated and socket devices.

#include "devices/adapter_diagnosis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "devices/device_lock.h"
#include "devices/linux/hidraw_survey.h"
#include "devices/socket_port.h"
#include "sim/esc_emulator.h"
#include "sim/simulated_port.h"
#include "support/fake_hidraw_system.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr int kOwnPid = testing_support::kFakeOwnPid;

using FakeSystem = testing_support::FakeHidrawSystem;

constexpr char kAdapterId[] = "0003:000010C4:00008468";

TEST(HidAdapters, EachNodeSaysWhetherItOpensAndWhy) {
    struct Case {
        const char* node;
        const char* hidId;
        const char* serial;
        int openError;
        const char* holder;  // a process of another program holding the node; null: none
        bool listed;
        devices::AdapterAccess access;
        const char* reasonHas;
        const char* fixHas;
    };
    const Case cases[] = {
        {"hidraw2", kAdapterId, "A1B2", 0, nullptr, true, devices::AdapterAccess::Openable, "", ""},
        {"hidraw3", kAdapterId, "", EACCES, nullptr, true, devices::AdapterAccess::NoPermission,
         "Permission denied", "60-tessaro.rules"},
        {"hidraw4", kAdapterId, "", EPERM, nullptr, true, devices::AdapterAccess::NoPermission,
         "Operation not permitted", "replug"},
        {"hidraw5", kAdapterId, "", EBUSY, "othertool", true, devices::AdapterAccess::Busy,
         "held by process 4205 (othertool)", "close the program"},
        {"hidraw6", kAdapterId, "", EBUSY, nullptr, true, devices::AdapterAccess::Busy,
         "another program holds it", "close the program"},
        {"hidraw7", kAdapterId, "", 0, "configurator", true, devices::AdapterAccess::Openable,
         "also open in process 4207 (configurator)", "close that program"},
        {"hidraw8", kAdapterId, "", ENXIO, nullptr, true, devices::AdapterAccess::Failed,
         "No such device or address", "replug"},
        {"hidraw12", kAdapterId, "", 0, nullptr, true, devices::AdapterAccess::Openable, "", ""},
        // Not the adapter: another USB device, the same ids over Bluetooth, a broken entry.
        {"hidraw0", "0003:0000046D:0000C52B", "", 0, nullptr, false, {}, "", ""},
        {"hidraw1", "0005:000010C4:00008468", "", 0, nullptr, false, {}, "", ""},
        {"hidraw9", "garbage", "", 0, nullptr, false, {}, "", ""},
        {"hidrawX", kAdapterId, "", 0, nullptr, false, {}, "", ""},
    };
    FakeSystem system;
    for (const Case& c : cases) {
        system.node(c.node, c.hidId, c.serial, c.openError);
        if (c.holder)
            system.holder(4200 + std::stoi(std::string(c.node).substr(6)), c.holder, c.node);
    }
    // This program's own handle on a node is no other program's.
    system.holder(kOwnPid, "tessaro", "hidraw2");

    const std::vector<devices::AdapterReport> reports =
        devices::diagnoseHidAdapters(system.system());
    std::vector<std::string> paths;
    for (const devices::AdapterReport& r : reports) paths.push_back(r.path);
    // In the order of the node numbers, hidraw12 after hidraw8.
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        if (c.listed)
            expected.push_back(system.nodePath(c.node));
    }
    ASSERT_EQ(paths, expected);
    for (std::size_t i = 0, r = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        if (!c.listed)
            continue;
        const devices::AdapterReport& report = reports[r++];
        SCOPED_TRACE(c.node);
        EXPECT_EQ(devices::usbIds(report), "10c4:8468");
        EXPECT_EQ(report.serial, c.serial);
        EXPECT_EQ(report.access, c.access);
        EXPECT_EQ(report.openable, c.openError == 0);
        EXPECT_EQ(report.error, c.openError);
        EXPECT_THAT(report.reason, HasSubstr(c.reasonHas));
        EXPECT_THAT(report.fix, HasSubstr(c.fixHas));
        if (c.reasonHas[0] == '\0') {
            EXPECT_TRUE(report.reason.empty()) << report.reason;
            EXPECT_TRUE(report.fix.empty()) << report.fix;
        }
    }
}

TEST(HidAdapters, NoSysfsEntriesIsNoAdapter) {
    transport::HidrawSystem system;
    system.classDir = "/nonexistent/class/hidraw";
    EXPECT_TRUE(devices::diagnoseHidAdapters(system).empty());
}

// The fix for a node without rights is the rule the package installs, word for word.
TEST(HidAdapters, TheFixGivesTheRuleThePackageInstalls) {
    std::ifstream file(std::string(TESSARO_SOURCE_DIR) + "/packaging/60-tessaro.rules");
    std::string rule;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#')
            rule = line;
    }
    EXPECT_EQ(rule, devices::kUdevRule);
    FakeSystem system;
    system.node("hidraw3", kAdapterId, "", EACCES);
    const auto reports = devices::diagnoseHidAdapters(system.system());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(reports[0].fix, HasSubstr(devices::kUdevRule));
    EXPECT_THAT(reports[0].fix, HasSubstr(devices::kUdevRuleFile));
}

// The simulated device has its one adapter while it is plugged in, and opens it as its
// access option says.
TEST(DeviceAdapters, TheSimulatedAdapter) {
    struct Case {
        const char* uri;
        bool unplugged;
        std::size_t count;
        devices::AdapterAccess access;
    };
    const Case cases[] = {
        {"sim", false, 1, devices::AdapterAccess::Openable},
        {"sim:access=ok", false, 1, devices::AdapterAccess::Openable},
        {"sim:access=denied", false, 1, devices::AdapterAccess::NoPermission},
        {"sim:access=busy", false, 1, devices::AdapterAccess::Busy},
        {"sim", true, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        transport::VirtualClock clock;
        devices::Device device;
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri(c.uri, clock, device, error)) << error;
        auto& port = static_cast<sim::SimulatedPort&>(*device.port);
        if (c.unplugged)
            port.unplug(sim::kSimAdapterPath);
        const auto reports = devices::adapterSurvey(device.kind, *device.port)();
        ASSERT_EQ(reports.size(), c.count);
        if (c.count == 0)
            continue;
        EXPECT_EQ(reports[0].path, sim::kSimAdapterPath);
        EXPECT_EQ(reports[0].access, c.access);
        // The port opens it exactly when the report says so.
        port.open(0, transport::kAdapterVendorId, transport::kAdapterProductId, 1);
        EXPECT_EQ(port.isOpen(), reports[0].openable);
    }
}

// The socket's adapter is there while its path accepts a connection.
TEST(DeviceAdapters, TheSocketAdapter) {
    testing_support::ScratchDir dir;
    const std::string path = dir.path() + "/adapter.sock";
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("socket:" + path, clock, device, error)) << error;
    EXPECT_TRUE(devices::diagnoseAdapters(device.kind, *device.port).empty());

    const int server = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    const auto reports = devices::diagnoseAdapters(device.kind, *device.port);
    // Asking left the port's own news alone: the link still hears the adapter arrive.
    // The socket's port is wrapped in the lock that keeps it to one process.
    auto& locking = dynamic_cast<devices::LockingPort&>(*device.port);
    const auto changes = dynamic_cast<transport::SocketPort&>(locking.inner()).takeChanges();
    ::close(server);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].path, "socket:" + path);
    EXPECT_TRUE(reports[0].openable);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, transport::DeviceEventKind::Arrival);
}

}  // namespace
