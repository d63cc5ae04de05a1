// One process per adapter: the lock a port takes before it opens a device, and what a
// second session on the same adapter hears. flock belongs to an open file, so two
// sessions of this one process stand for two processes.

#include "devices/device_lock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "devices/device_uri.h"
#include "form/headless_form.h"
#include "protocol/tick_host.h"
#include "session/session.h"
#include "support/recording_prompter.h"
#include "support/scratch_dir.h"
#include "support/session_rig.h"

namespace {

using ::testing::HasSubstr;

// Lock files in a folder of the test's own.
struct LockDirectory {
    testing_support::ScratchDir dir;
    LockDirectory() { ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1); }
    ~LockDirectory() { ::unsetenv("XDG_RUNTIME_DIR"); }
};

struct Holder final : session::Listener {
    std::vector<transport::DeviceHolder> heard;
    void adapterHeld(const transport::DeviceHolder& holder) override { heard.push_back(holder); }
};

// A session on the device a URI names, as a front end builds it.
struct UriSession {
    transport::VirtualClock& clock;
    devices::Device device;
    protocol::TickHost host{clock};
    form::HeadlessForm form;
    testing_support::RecordingPrompter prompter;
    testing_support::ScratchDir backups;
    Holder listener;
    std::unique_ptr<session::Session> session;

    UriSession(transport::VirtualClock& c, const std::string& uri) : clock(c) {
        testing_support::useShippedLanguageFile();
        std::string error;
        EXPECT_TRUE(devices::openDeviceUri(uri, clock, device, error)) << error;
        session = std::make_unique<session::Session>(*device.port, host, clock, form, prompter,
                                                     backups.path());
        session->setListener(&listener);
    }
};

std::string ownName() {
    std::string name = testing_support::readBytes("/proc/self/comm").value_or("");
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

TEST(DeviceLock, WhichDevicesOneProcessAtATimeMayOpen) {
    struct Case {
        const char* first;
        const char* second;
        bool secondRefused;
    };
    const Case cases[] = {
        {"sim:name=bench", "sim:name=bench", true},
        {"sim:name=bench", "sim:name=bench,family=1", true},  // the name, not the ESC
        {"sim:name=bench", "sim:name=other", false},
        {"sim:", "sim:", false},  // an unnamed simulator is every process's own
        {"sim:name=bench", "sim:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second);
        LockDirectory locks;
        transport::VirtualClock clock;
        UriSession first(clock, c.first);
        UriSession second(clock, c.second);
        ASSERT_TRUE(first.session->openNow());
        ASSERT_TRUE(first.device.port->isOpen());
        ASSERT_TRUE(second.session->openNow());
        EXPECT_EQ(second.device.port->isOpen(), !c.secondRefused);
        EXPECT_EQ(second.session->adapterHolder().has_value(), c.secondRefused);
        if (c.secondRefused) {
            const transport::DeviceHolder& holder = *second.session->adapterHolder();
            EXPECT_EQ(holder.pid, ::getpid());
            EXPECT_EQ(holder.program, ownName());
            // Nothing went to the adapter the other one holds.
            EXPECT_EQ(second.device.emulator->connectCount(), 0u);
        }
        EXPECT_TRUE(first.listener.heard.empty());
    }
}

// The window's way: open attempts go on every 500 ms; the holder is heard once, and the
// adapter links up here as soon as the other session lets go of it.
TEST(DeviceLock, ASecondSessionLinksUpOnceTheFirstLetsGo) {
    LockDirectory locks;
    transport::VirtualClock clock;
    auto first = std::make_unique<UriSession>(clock, "sim:name=bench");
    UriSession second(clock, "sim:name=bench");
    ASSERT_TRUE(first->session->openNow());
    second.session->startLink();
    second.host.runFor(3000);
    EXPECT_FALSE(second.device.port->isOpen());
    ASSERT_EQ(second.listener.heard.size(), 1u);
    EXPECT_EQ(second.listener.heard[0].pid, ::getpid());

    first.reset();
    EXPECT_TRUE(second.host.runUntil([&] { return second.session->controller().linksUp(); }, 3000));
    EXPECT_FALSE(second.session->adapterHolder().has_value());
}

TEST(DeviceLock, TheLockFileNamesItsHolderAndOutlivesIt) {
    LockDirectory locks;
    {
        devices::DeviceLock lock;
        ASSERT_EQ(lock.take(locks.dir.path(), "hidraw3"), devices::DeviceLock::Result::Taken);
        EXPECT_EQ(testing_support::readBytes(locks.dir.file("tessaro-hidraw3.lock")),
                  std::to_string(::getpid()) + " " + ownName() + "\n");
        devices::DeviceLock again;
        EXPECT_EQ(again.take(locks.dir.path(), "hidraw3"), devices::DeviceLock::Result::Busy);
        EXPECT_EQ(again.holder().pid, ::getpid());
        EXPECT_FALSE(again.held());
    }
    // Let go: the next one takes it, over what the last holder wrote.
    testing_support::writeBytes(locks.dir.file("tessaro-hidraw3.lock"), "99999999 gone-long-ago\n");
    devices::DeviceLock next;
    EXPECT_EQ(next.take(locks.dir.path(), "hidraw3"), devices::DeviceLock::Result::Taken);
    EXPECT_EQ(testing_support::readBytes(locks.dir.file("tessaro-hidraw3.lock")),
              std::to_string(::getpid()) + " " + ownName() + "\n");
}

// Asking who holds a lock takes nothing: a holder is told while it holds the lock, and an
// open right after the question still gets it.
TEST(DeviceLock, WhoHoldsItIsToldWithoutTakingIt) {
    LockDirectory locks;
    EXPECT_FALSE(devices::DeviceLock::heldBy(locks.dir.path(), "hidraw5"));  // no file yet
    {
        devices::DeviceLock lock;
        ASSERT_EQ(lock.take(locks.dir.path(), "hidraw5"), devices::DeviceLock::Result::Taken);
        const auto holder = devices::DeviceLock::heldBy(locks.dir.path(), "hidraw5");
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder->pid, ::getpid());
        EXPECT_EQ(holder->program, ownName());
        EXPECT_FALSE(devices::DeviceLock::heldBy(locks.dir.path(), "hidraw6"));
    }
    // Let go, the file stays and says who held it last: that is no holder.
    EXPECT_FALSE(devices::DeviceLock::heldBy(locks.dir.path(), "hidraw5"));
    EXPECT_FALSE(devices::DeviceLock::heldBy(locks.dir.path(), "hidraw5"));
    devices::DeviceLock next;
    EXPECT_EQ(next.take(locks.dir.path(), "hidraw5"), devices::DeviceLock::Result::Taken);
}

TEST(DeviceLock, NoFolderForLocksLeavesTheDeviceUnlocked) {
    devices::DeviceLock lock;
    EXPECT_EQ(lock.take("/nonexistent-folder-for-tessaro-locks", "hidraw3"),
              devices::DeviceLock::Result::Unavailable);
    EXPECT_FALSE(lock.held());
}

TEST(DeviceLock, FileNamesKeepToOneFolder) {
    EXPECT_EQ(devices::lockFileName("hidraw3"), "tessaro-hidraw3.lock");
    EXPECT_EQ(devices::lockFileName("socket/tmp/a b.sock"), "tessaro-socket_tmp_a_b.sock.lock");
    EXPECT_EQ(devices::lockFileName("sim-../x"), "tessaro-sim-.._x.lock");
}

}  // namespace
