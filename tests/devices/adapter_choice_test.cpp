// Which of several adapters a device takes: "hid:NODE" and "hid:serial=…" name one, and
// then only that one is ever opened; several with none named must be named first.

#include "devices/adapter_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "link/link_adapter.h"
#include "sim/simulated_port.h"
#include "support/fake_hidraw_system.h"
#include "support/recording_host.h"
#include "support/silent_peer.h"

namespace {

using ::testing::HasSubstr;
constexpr char kAdapterId[] = "0003:000010C4:00008468";

devices::AdapterSelection selectionFor(const std::string& text) {
    devices::AdapterSelection selection;
    std::string error;
    if (!text.empty()) {
        EXPECT_TRUE(devices::parseAdapterSelection(text, selection, error)) << error;
    }
    return selection;
}

// Two adapters, one this user may not open, and a link to the other as a udev rule makes.
TEST(AdapterChoice, SeveralMustBeNamedAndANameTakesOne) {
    testing_support::FakeHidrawSystem system;
    system.node("hidraw3", kAdapterId, "A1", 0);
    system.node("hidraw5", kAdapterId, "B2", EACCES);
    const std::string dev = system.system().devDir;
    std::filesystem::create_directories(dev);
    std::ofstream(dev + "/hidraw3").put('\n');
    std::ofstream(dev + "/hidraw5").put('\n');
    std::filesystem::create_symlink("hidraw3", dev + "/tessaro-adapter");

    struct Case {
        std::string selection;  // after "hid:"; empty: none named
        devices::AdapterChoiceKind kind;
        const char* node;  // the one taken
        devices::AdapterAccess access;
    };
    const Case cases[] = {
        {"", devices::AdapterChoiceKind::Several, nullptr, {}},
        {system.nodePath("hidraw3"), devices::AdapterChoiceKind::One, "hidraw3",
         devices::AdapterAccess::Openable},
        {dev + "/tessaro-adapter", devices::AdapterChoiceKind::One, "hidraw3",
         devices::AdapterAccess::Openable},
        {"serial=B2", devices::AdapterChoiceKind::One, "hidraw5",
         devices::AdapterAccess::NoPermission},
        {"serial=b2", devices::AdapterChoiceKind::None, nullptr, {}},
        {system.nodePath("hidraw4"), devices::AdapterChoiceKind::None, nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("hid:" + c.selection);
        const devices::AdapterChoice choice = devices::chooseAdapter(devices::namedAdapters(
            devices::diagnoseHidAdapters(system.system()), selectionFor(c.selection)));
        EXPECT_EQ(choice.kind, c.kind);
        if (c.kind == devices::AdapterChoiceKind::Several) {
            EXPECT_EQ(choice.adapters.size(), 2u);
        }
        if (c.node == nullptr)
            continue;
        ASSERT_EQ(choice.adapters.size(), 1u);
        EXPECT_EQ(choice.adapters[0].path, system.nodePath(c.node));
        EXPECT_EQ(choice.adapters[0].access, c.access);
    }
}

// The permission problem of the adapter named says what to do, in one line: the rule,
// reloading the rules and plugging the adapter in again.
TEST(AdapterChoice, TheNamedAdapterWithoutRightsSaysTheFix) {
    testing_support::FakeHidrawSystem system;
    system.node("hidraw5", kAdapterId, "B2", EACCES);
    const auto reports = devices::namedAdapters(devices::diagnoseHidAdapters(system.system()),
                                                selectionFor("serial=B2"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(reports[0].reason, HasSubstr("Permission denied"));
    for (const char* step : {devices::kUdevRule, "udevadm control --reload-rules", "replug"})
        EXPECT_THAT(reports[0].fix, HasSubstr(step));
    EXPECT_EQ(reports[0].fix.find('\n'), std::string::npos);
}

TEST(AdapterChoice, TheSerialNumberComesFromSysfs) {
    testing_support::FakeHidrawSystem system;
    system.node("hidraw3", kAdapterId, "A1", 0);
    EXPECT_EQ(transport::hidrawSerial("/dev/hidraw3", system.system()), "A1");
    EXPECT_EQ(transport::hidrawSerial("/dev/hidraw4", system.system()), "");
    EXPECT_EQ(transport::hidrawSerial("/dev/null", system.system()), "");
}

// Three adapters come and go behind a link adapter; the port of a named one shows it alone.
class ChosenPort : public ::testing::Test {
  protected:
    void plugAll() {
        for (const auto& [path, serial] : m_serials) plug(path);
    }
    transport::DeviceEvent plug(const std::string& path) {
        return m_sim->plugIn(path, std::make_shared<testing_support::SilentPeer>());
    }
    std::unique_ptr<transport::HidPort> portFor(const std::string& selection) {
        auto sim = std::make_unique<sim::SimulatedPort>();
        m_sim = sim.get();
        plugAll();
        if (selection.empty())
            return sim;
        return std::make_unique<devices::ChosenAdapterPort>(
            std::move(sim), selectionFor(selection),
            [this](const std::string& path) { return m_serials[path]; });
    }
    std::map<std::string, std::string> m_serials = {{"/dev/hidraw3", "A1"}, {"/dev/hidraw5", "B2"}};
    sim::SimulatedPort* m_sim = nullptr;
};

TEST_F(ChosenPort, OnlyTheNamedAdapterIsEverOpened) {
    struct Case {
        std::string selection;
        const char* opened;        // at the start
        const char* afterArrival;  // once /dev/hidraw7 came
        const char* afterReplug;   // once the one opened was pulled out and plugged in again
    };
    const Case cases[] = {
        // Nothing named: the last one listed, and a newcomer takes the link over.
        {"", "/dev/hidraw5", "/dev/hidraw7", "/dev/hidraw7"},
        {"/dev/hidraw3", "/dev/hidraw3", "/dev/hidraw3", "/dev/hidraw3"},
        {"serial=A1", "/dev/hidraw3", "/dev/hidraw3", "/dev/hidraw3"},
        {"serial=B2", "/dev/hidraw5", "/dev/hidraw5", "/dev/hidraw5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("hid:" + c.selection);
        std::unique_ptr<transport::HidPort> port = portFor(c.selection);
        testing_support::RecordingHost host;
        transport::VirtualClock clock;
        transport::LinkAdapter link(*port, host, clock);
        const auto openedPath = [&] {
            std::string path;
            port->openDevicePath(path);
            return path;
        };
        link.startLink();
        link.openAdapter();
        EXPECT_EQ(openedPath(), c.opened);

        m_serials["/dev/hidraw7"] = "C3";
        link.onDeviceChange(plug("/dev/hidraw7"));
        link.openAdapter();
        EXPECT_EQ(openedPath(), c.afterArrival);

        const std::string pulled = openedPath();
        link.onDeviceChange(m_sim->unplug(pulled));
        EXPECT_FALSE(link.isOpen());
        link.onDeviceChange(plug(pulled));
        link.openAdapter();
        EXPECT_EQ(openedPath(), c.afterReplug);
        m_serials.erase("/dev/hidraw7");
    }
}

TEST_F(ChosenPort, ANamedAdapterThatIsAbsentIsNoAdapter) {
    for (const char* selection : {"/dev/hidraw9", "serial=Z9"}) {
        SCOPED_TRACE(selection);
        std::unique_ptr<transport::HidPort> port = portFor(selection);
        EXPECT_EQ(port->deviceCount(transport::kAdapterVendorId, transport::kAdapterProductId), 0u);
        EXPECT_NE(port->open(0, transport::kAdapterVendorId, transport::kAdapterProductId, 512),
                  transport::kHidSuccess);
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(devices::selectionOf(*port).text(), selectionFor(selection).text());
    }
}

}  // namespace
