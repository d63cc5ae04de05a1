// What the CLI session makes of the arrivals and removals its device's change source
// reports: only a removal that closes the open adapter ends the run as a removal; the
// coming and going of other devices leaves the link as it is.

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_session.h"
#include "devices/device_uri.h"
#include "link/clock.h"
#include "link/device_change_source.h"
#include "sim/esc_emulator.h"

namespace {

using Kind = transport::DeviceEventKind;

// Hands out the events it was given, all at the next call.
class QueuedChanges final : public transport::DeviceChangeSource {
  public:
    int watchFd() const override { return -1; }
    std::vector<transport::DeviceEvent> takeChanges() override {
        std::vector<transport::DeviceEvent> changes(m_queue.begin(), m_queue.end());
        m_queue.clear();
        return changes;
    }
    void queue(const transport::DeviceEvent& event) { m_queue.push_back(event); }

  private:
    std::deque<transport::DeviceEvent> m_queue;
};

TEST(CliSessionChanges, OnlyTheOpenAdaptersRemovalEndsTheRun) {
    struct Case {
        const char* name;
        std::vector<transport::DeviceEvent> events;
        cli::CliSession::Failure failure;
        bool stillOpen;
    };
    const std::string adapter = sim::kSimAdapterPath;
    const Case cases[] = {
        {"nothing comes or goes", {}, cli::CliSession::Failure::None, true},
        {"the open adapter goes",
         {{Kind::Removal, adapter}},
         cli::CliSession::Failure::AdapterRemoved,
         false},
        {"the open adapter goes, its path in other case",
         {{Kind::Removal, "SIM:0"}},
         cli::CliSession::Failure::AdapterRemoved,
         false},
        {"another device goes",
         {{Kind::Removal, "/dev/hidraw7"}},
         cli::CliSession::Failure::None,
         true},
        {"another device comes",
         {{Kind::Arrival, "/dev/hidraw7"}},
         cli::CliSession::Failure::None,
         true},
        {"another comes and goes, then the adapter goes",
         {{Kind::Arrival, "/dev/hidraw7"},
          {Kind::Removal, "/dev/hidraw7"},
          {Kind::Removal, adapter}},
         cli::CliSession::Failure::AdapterRemoved,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        transport::VirtualClock clock;
        devices::Device device;
        std::string error;
        ASSERT_TRUE(devices::openDeviceUri("sim", clock, device, error)) << error;
        auto source = std::make_unique<QueuedChanges>();
        QueuedChanges& changes = *source;
        device.watcher = std::move(source);
        device.changes = &changes;
        std::ostringstream err;
        cli::CliSession session(std::move(device), "sim", clock, err, false);
        session.setTimeoutMs(5000);
        ASSERT_TRUE(session.startLink()) << session.failureText();
        for (const transport::DeviceEvent& e : c.events) changes.queue(e);
        session.runFor(4 * transport::kProtocolPeriodMs);
        EXPECT_EQ(session.failure(), c.failure);
        EXPECT_EQ(session.session().link().isOpen(), c.stillOpen);
    }
}

}  // namespace
