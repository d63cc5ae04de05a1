#include "link/link_adapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "sim/simulated_port.h"
#include "support/recording_host.h"
#include "support/silent_peer.h"

namespace transport {
namespace {

using testing_support::RecordingHost;
using testing_support::RecordingListener;
using testing_support::SilentPeer;

constexpr char kPathA[] = "/dev/hidraw3";
constexpr char kPathB[] = "/dev/hidraw7";

struct Rig {
    VirtualClock clock;
    sim::SimulatedPort port{&clock};
    RecordingHost host;
    RecordingListener listener{host};
    LinkAdapter adapter{port, host, clock};

    Rig() { adapter.setListener(&listener); }

    // Plugs an adapter in, finds it and makes one open attempt.
    void openWith(const sim::AdapterOptions& options = {}, const char* path = kPathA) {
        port.plugIn(path, std::make_shared<SilentPeer>(), options);
        adapter.startLink();
        adapter.openAdapter();
    }
};

sim::AdapterOptions withLength(uint32_t length) {
    sim::AdapterOptions options;
    options.reportLength = length;
    return options;
}

std::vector<uint8_t> sequence(uint32_t length) {
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), uint8_t{1});
    return bytes;
}

// --- Writing: a frame goes out as reports of at most 59 payload bytes ---

struct WriteCase {
    uint32_t length;
    std::vector<uint8_t> counts;  // count byte of each report, in order
};

class WriteFrameTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFrameTest, SplitsIntoCountedReports) {
    const WriteCase& c = GetParam();
    Rig rig;
    rig.openWith();
    ASSERT_TRUE(rig.adapter.isOpen());
    rig.port.clearLog();

    const std::vector<uint8_t> frame = sequence(c.length);
    EXPECT_TRUE(rig.adapter.writeFrame(frame));

    ASSERT_EQ(rig.port.interruptReportCount(), c.counts.size());
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < c.counts.size(); ++i) {
        const auto& report = rig.port.sentReports()[i].bytes;
        ASSERT_EQ(report.size(), 65u);
        EXPECT_EQ(report[0], kDataReportId);
        EXPECT_EQ(report[1], c.counts[i]) << "report " << i;
        joined.insert(joined.end(), report.begin() + 2, report.begin() + 2 + report[1]);
    }
    EXPECT_EQ(joined, frame);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WriteFrameTest,
                         ::testing::Values(WriteCase{0, {}}, WriteCase{1, {1}}, WriteCase{59, {59}},
                                           WriteCase{60, {59, 1}},
                                           WriteCase{512, {59, 59, 59, 59, 59, 59, 59, 59, 40}}));

// --- Writing is refused without an open adapter or with reports too short for data ---

struct WriteRefusalCase {
    const char* name;
    uint32_t reportLength;
    bool open;
    bool expected;
};

class WriteRefusalTest : public ::testing::TestWithParam<WriteRefusalCase> {};

TEST_P(WriteRefusalTest, SendsNothingWhenRefused) {
    const WriteRefusalCase& c = GetParam();
    Rig rig;
    rig.openWith(withLength(c.reportLength));
    if (!c.open)
        rig.port.close();
    rig.port.clearLog();
    const uint8_t poll = 0xE1;
    EXPECT_EQ(rig.adapter.writeFrame({&poll, 1}), c.expected);
    EXPECT_EQ(rig.port.interruptReportCount(), c.expected ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Rules, WriteRefusalTest,
                         ::testing::Values(WriteRefusalCase{"L60", 60, true, false},
                                           WriteRefusalCase{"L61", 61, true, true},
                                           WriteRefusalCase{"L5", 5, true, false},
                                           WriteRefusalCase{"closed", 65, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriteFrame, StopsAtTheFirstFailedReport) {
    Rig rig;
    rig.openWith();
    rig.port.clearLog();
    rig.port.failInterruptWritesAfter(1);
    const std::vector<uint8_t> frame = sequence(150);
    EXPECT_FALSE(rig.adapter.writeFrame(frame));
    EXPECT_EQ(rig.port.interruptReportCount(), 1u);  // no retry, no further reports
}

// --- Reading: payloads of the queued reports are joined, clipped at the capacity ---

struct ReadCase {
    const char* name;
    std::vector<std::vector<uint8_t>> rawReports;  // id, count, payload ...
    uint32_t capacity;
    bool expectedResult;
    std::vector<uint8_t> expected;
};

class ReadFramesTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadFramesTest, JoinsPayloads) {
    const ReadCase& c = GetParam();
    Rig rig;
    rig.openWith(withLength(64));
    for (const auto& report : c.rawReports) ASSERT_TRUE(rig.port.queueRawReport(kPathA, report));

    std::vector<uint8_t> dest(c.capacity + 8, 0xEE);
    uint32_t received = 99;
    EXPECT_EQ(rig.adapter.readFrames(std::span<uint8_t>(dest).first(c.capacity),
                                     rig.adapter.fullRequestLength(), received),
              c.expectedResult);
    ASSERT_EQ(received, c.expected.size());
    EXPECT_EQ(std::vector<uint8_t>(dest.begin(), dest.begin() + received), c.expected);
    EXPECT_EQ(dest[c.capacity], 0xEE) << "wrote past the capacity";
}

std::vector<uint8_t> fullCountReport(uint8_t count) {
    std::vector<uint8_t> report(64, 0x5A);
    report[0] = 1;
    report[1] = count;
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFramesTest,
    ::testing::Values(
        ReadCase{"nothing_queued", {}, 200, true, {}},
        ReadCase{"joins_two",
                 {{1, 2, 0xE1, 0x07}, {1, 3, 0xA, 0xB, 0xC}},
                 200,
                 true,
                 {0xE1, 0x07, 0xA, 0xB, 0xC}},
        ReadCase{"clips_at_capacity", {{1, 3, 1, 2, 3}, {1, 3, 4, 5, 6}}, 4, true, {1, 2, 3, 4}},
        // L = 64: a count byte of 200 is taken as 62 (L - 2).
        ReadCase{"count_clipped_to_L_minus_2",
                 {fullCountReport(200)},
                 200,
                 true,
                 std::vector<uint8_t>(62, 0x5A)},
        ReadCase{"zero_count_adds_nothing", {{1, 0, 9, 9}, {1, 1, 7}}, 200, true, {7}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadRefusalCase {
    const char* name;
    uint32_t reportLength;
    uint32_t requestLength;
    bool readFails;
};

class ReadRefusalTest : public ::testing::TestWithParam<ReadRefusalCase> {};

TEST_P(ReadRefusalTest, ReturnsFalseWithNothing) {
    const ReadRefusalCase& c = GetParam();
    Rig rig;
    rig.openWith(withLength(c.reportLength));
    rig.port.queueRawReport(kPathA, {1, 1, 0xE1});
    rig.port.setReadFailure(c.readFails);
    uint8_t dest[200] = {};
    uint32_t received = 99;
    EXPECT_FALSE(rig.adapter.readFrames(dest, c.requestLength, received));
    EXPECT_EQ(received, 0u);
}

INSTANTIATE_TEST_SUITE_P(Rules, ReadRefusalTest,
                         ::testing::Values(ReadRefusalCase{"L60", 60, 63 * 59, false},
                                           ReadRefusalCase{"request58", 65, 58, false},
                                           ReadRefusalCase{"port_error", 65, 63 * 59, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFrames, RequestsTheLibraryMaximumAndLeavesTheRestQueued) {
    Rig rig;
    sim::AdapterOptions options;
    options.maxReportRequest = 2;
    rig.openWith(options);
    for (uint8_t i = 1; i <= 3; ++i) rig.port.queueRawReport(kPathA, {1, 1, i});
    uint8_t dest[200] = {};
    uint32_t received = 0;
    ASSERT_EQ(rig.adapter.fullRequestLength(), 2u * 59u);
    EXPECT_TRUE(rig.adapter.readFrames(dest, rig.adapter.fullRequestLength(), received));
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(rig.port.pendingInputReports(), 1u);
}

TEST(DrainInput, DiscardsEverythingPending) {
    Rig rig;
    rig.openWith();
    for (uint8_t i = 1; i <= 5; ++i) rig.port.queueRawReport(kPathA, {1, 1, i});
    rig.adapter.drainInput();
    EXPECT_EQ(rig.port.pendingInputReports(), 0u);
}

// --- Finding the adapter: last path enumerated, first index with that path ---

struct EnumerationCase {
    const char* name;
    std::vector<std::pair<std::string, bool>> entries;  // path, readable
    std::string expectedPath;
    bool expectedFound;
    uint32_t expectedIndex;
};

class EnumerationTest : public ::testing::TestWithParam<EnumerationCase> {};

TEST_P(EnumerationTest, PathAndIndex) {
    const EnumerationCase& c = GetParam();
    Rig rig;
    for (const auto& [path, readable] : c.entries) {
        sim::AdapterOptions options;
        options.pathReadable = readable;
        rig.port.plugIn(path, nullptr, options);
    }
    // A device of another kind never counts.
    sim::AdapterOptions mouse;
    mouse.vendorId = 0x046D;
    rig.port.plugIn("/dev/hidraw0", nullptr, mouse);

    EXPECT_EQ(rig.adapter.findAdapterPath(), c.expectedPath);
    uint32_t index = 77;
    EXPECT_EQ(rig.adapter.findAdapterIndex(c.expectedPath, index), c.expectedFound);
    if (c.expectedFound) {
        EXPECT_EQ(index, c.expectedIndex);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnumerationTest,
    ::testing::Values(
        EnumerationCase{"none", {}, "", false, 0},
        EnumerationCase{"one", {{kPathA, true}}, kPathA, true, 0},
        EnumerationCase{"two_last_wins", {{kPathA, true}, {kPathB, true}}, kPathB, true, 1},
        EnumerationCase{"unreadable_skipped", {{kPathA, true}, {kPathB, false}}, kPathA, true, 0},
        EnumerationCase{"first_index_of_path",
                        {{kPathB, true}, {kPathA, true}, {kPathB, true}},
                        kPathB,
                        true,
                        0},
        EnumerationCase{"all_unreadable", {{kPathA, false}}, "", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindAdapterIndex, IgnoresAsciiCase) {
    Rig rig;
    rig.port.plugIn("\\\\?\\HID#VID_10C4", nullptr);
    uint32_t index = 5;
    EXPECT_TRUE(rig.adapter.findAdapterIndex("\\\\?\\hid#vid_10c4", index));
    EXPECT_EQ(index, 0u);
    EXPECT_FALSE(rig.adapter.findAdapterIndex("\\\\?\\hid#vid_10c5", index));
}

// --- Open attempts ---

struct OpenCase {
    const char* name;
    uint32_t reportLength;
    bool refuseConnect;
    bool expectOpen;
    uint32_t expectControlReports;
};

class OpenAttemptTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenAttemptTest, OpensOnlyWhenAnnounced) {
    const OpenCase& c = GetParam();
    Rig rig;
    sim::AdapterOptions options = withLength(c.reportLength);
    options.refuseConnect = c.refuseConnect;
    rig.openWith(options);

    EXPECT_EQ(rig.adapter.isOpen(), c.expectOpen);
    EXPECT_EQ(rig.port.controlReportCount(), c.expectControlReports);
    EXPECT_EQ(rig.listener.opened, c.expectOpen ? 1 : 0);
    // A failed attempt keeps timer 1 running and leaves no handle behind.
    EXPECT_EQ(rig.host.isTimerRunning(kOpenTimer), !c.expectOpen);
    EXPECT_EQ(rig.port.openCount(), rig.port.closeCount() + (c.expectOpen ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Rules, OpenAttemptTest,
                         ::testing::Values(OpenCase{"L4", 4, false, false, 0},
                                           OpenCase{"L5", 5, false, true, 1},
                                           OpenCase{"L65", 65, false, true, 1},
                                           OpenCase{"refused", 65, true, false, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenAttempt, SendsTheConnectReportThenSetsTimeoutsAndHandsOver) {
    Rig rig;
    rig.openWith(withLength(8));
    ASSERT_EQ(rig.port.sentReports().size(), 1u);
    const auto& report = rig.port.sentReports()[0];
    EXPECT_EQ(report.channel, sim::ReportChannel::Control);
    EXPECT_EQ(report.bytes, (std::vector<uint8_t>{kConnectReportId, 'C', 'O', 'N', 'N', 0, 0, 0}));
    EXPECT_EQ(rig.port.readTimeoutMs(), 0u);
    EXPECT_EQ(rig.port.writeTimeoutMs(), 1000u);
    EXPECT_EQ(rig.host.log(),
              (std::vector<std::string>{"start1@500", "stop1", "opened", "start0@30"}));
}

TEST(OpenAttempt, WithoutListenerStartsTheTickItself) {
    Rig rig;
    rig.adapter.setListener(nullptr);
    rig.openWith();
    EXPECT_EQ(rig.host.log(), (std::vector<std::string>{"start1@500", "stop1", "start0@30"}));
}

TEST(OpenAttempt, RefusedConnectIsRetriedOnEveryTickWithoutLeakingHandles) {
    Rig rig;
    sim::AdapterOptions options;
    options.refuseConnect = true;
    rig.openWith(options);
    rig.adapter.openAdapter();
    rig.adapter.openAdapter();
    EXPECT_EQ(rig.port.controlReportCount(), 3u);
    EXPECT_FALSE(rig.adapter.isOpen());
    EXPECT_EQ(rig.port.closeCount(), 3u);
    EXPECT_EQ(rig.listener.opened, 0);
    EXPECT_TRUE(rig.host.isTimerRunning(kOpenTimer));

    options.refuseConnect = false;
    rig.port.setOptions(kPathA, options);
    rig.adapter.openAdapter();
    EXPECT_TRUE(rig.adapter.isOpen());
    EXPECT_EQ(rig.listener.opened, 1);
    EXPECT_FALSE(rig.host.isTimerRunning(kOpenTimer));
}

TEST(OpenAttempt, WhileOpenClosesTheOldHandleFirst) {
    Rig rig;
    rig.openWith();
    ASSERT_TRUE(rig.adapter.isOpen());
    rig.adapter.openAdapter();
    EXPECT_TRUE(rig.adapter.isOpen());
    EXPECT_EQ(rig.port.openCount(), 2u);
    EXPECT_EQ(rig.port.closeCount(), 1u);
    EXPECT_EQ(rig.listener.opened, 2);  // the controller starts over
}

TEST(OpenAttempt, WithoutAPathDoesNothing) {
    Rig rig;
    rig.adapter.startLink();
    rig.adapter.openAdapter();
    EXPECT_FALSE(rig.adapter.isOpen());
    EXPECT_EQ(rig.port.openCount(), 0u);
    EXPECT_EQ(rig.host.log(), (std::vector<std::string>{"start1@500"}));
}

// --- Start-up and device changes ---

TEST(StartLink, StartsTimer1At500MsWithOrWithoutAdapter) {
    for (bool present : {false, true}) {
        Rig rig;
        if (present)
            rig.port.plugIn(kPathA, nullptr);
        rig.adapter.startLink();
        EXPECT_EQ(rig.adapter.devicePath(), present ? kPathA : "");
        EXPECT_TRUE(rig.host.isTimerRunning(kOpenTimer));
        EXPECT_EQ(rig.host.period(kOpenTimer), kStartupOpenPeriodMs);
        EXPECT_EQ(rig.port.openCount(), 0u) << "the first attempt waits for the timer";
    }
}

struct DeviceChangeCase {
    const char* name;
    bool adapterOpen;
    DeviceEventKind kind;
    const char* eventPath;  // of the device that came or went
    bool plugSecondAdapter;
    std::vector<std::string> expectedLog;
    bool expectOpen;
};

class DeviceChangeTest : public ::testing::TestWithParam<DeviceChangeCase> {};

TEST_P(DeviceChangeTest, FollowsTheAdapter) {
    const DeviceChangeCase& c = GetParam();
    Rig rig;
    rig.openWith();
    if (!c.adapterOpen)
        rig.port.close();
    rig.host.clearLog();
    if (c.plugSecondAdapter)
        rig.port.plugIn(kPathB, nullptr);
    if (c.kind == DeviceEventKind::Removal && std::string(c.eventPath) == kPathA) {
        rig.port.unplug(kPathA);
    }

    EXPECT_TRUE(rig.adapter.onDeviceChange(DeviceEvent{c.kind, c.eventPath}));
    EXPECT_EQ(rig.host.log(), c.expectedLog);
    EXPECT_EQ(rig.adapter.isOpen(), c.expectOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceChangeTest,
    ::testing::Values(
        DeviceChangeCase{"removal_of_other_device",
                         true,
                         DeviceEventKind::Removal,
                         "/dev/hidraw0",
                         false,
                         {},
                         true},
        DeviceChangeCase{"removal_of_adapter",
                         true,
                         DeviceEventKind::Removal,
                         kPathA,
                         false,
                         {"stop0", "removed", "repaint"},
                         false},
        DeviceChangeCase{"removal_matches_ignoring_case",
                         true,
                         DeviceEventKind::Removal,
                         "/DEV/HIDRAW3",
                         false,
                         {"stop0", "removed", "repaint"},
                         false},
        DeviceChangeCase{
            "removal_while_closed", false, DeviceEventKind::Removal, kPathA, false, {}, false},
        // A mouse arriving during an exchange must not restart the controller.
        DeviceChangeCase{"arrival_of_other_device_while_open",
                         true,
                         DeviceEventKind::Arrival,
                         "/dev/hidraw0",
                         false,
                         {},
                         true},
        DeviceChangeCase{"arrival_of_second_adapter_while_open",
                         true,
                         DeviceEventKind::Arrival,
                         kPathB,
                         true,
                         {"start1@200"},
                         true},
        DeviceChangeCase{"arrival_while_closed",
                         false,
                         DeviceEventKind::Arrival,
                         "/dev/hidraw0",
                         false,
                         {"start1@200"},
                         false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceChange, RemovalClearsTheFlagsAndThePath) {
    Rig rig;
    rig.openWith();
    ASSERT_TRUE(rig.listener.escLinked);
    rig.adapter.onDeviceChange(rig.port.unplug(kPathA));
    EXPECT_FALSE(rig.listener.adapterLinked);
    EXPECT_FALSE(rig.listener.escLinked);
    EXPECT_FALSE(rig.listener.settingsLoaded);
    EXPECT_FALSE(rig.host.isTimerRunning(kProtocolTimer));
    EXPECT_EQ(rig.host.repaints(), 1);
    EXPECT_EQ(rig.adapter.devicePath(), "");
}

TEST(DeviceChange, ArrivalWithoutAnyAdapterStartsNothing) {
    Rig rig;
    rig.adapter.onDeviceChange(DeviceEvent{DeviceEventKind::Arrival, "/dev/hidraw0"});
    EXPECT_FALSE(rig.host.isTimerRunning(kOpenTimer));
    EXPECT_EQ(rig.adapter.devicePath(), "");
}

TEST(DeviceChange, ReplugReopensAfterTheArrivalPeriod) {
    Rig rig;
    rig.openWith();
    rig.adapter.onDeviceChange(rig.port.unplug(kPathA));
    rig.adapter.onDeviceChange(rig.port.plugIn(kPathA, std::make_shared<SilentPeer>()));
    EXPECT_TRUE(rig.host.isTimerRunning(kOpenTimer));
    EXPECT_EQ(rig.host.period(kOpenTimer), kArrivalOpenPeriodMs);
    rig.adapter.openAdapter();
    EXPECT_TRUE(rig.adapter.isOpen());
    EXPECT_EQ(rig.listener.opened, 2);
}

TEST(DeviceChange, SecondAdapterEnumeratedLastTakesTheLink) {
    Rig rig;
    rig.openWith();
    auto second = std::make_shared<SilentPeer>();
    rig.adapter.onDeviceChange(rig.port.plugIn(kPathB, second));
    rig.adapter.openAdapter();
    std::string path;
    ASSERT_EQ(rig.port.openDevicePath(path), kHidSuccess);
    EXPECT_EQ(path, kPathB);
    EXPECT_EQ(second->connects, 1);
    EXPECT_EQ(rig.port.closeCount(), 1u);  // the first adapter's handle was let go
    EXPECT_EQ(rig.listener.opened, 2);
}

TEST(CloseLink, StopsTheTickAndClosesOnlyWhenOpen) {
    Rig open;
    open.openWith();
    open.host.clearLog();
    open.adapter.closeLink();
    EXPECT_FALSE(open.adapter.isOpen());
    EXPECT_EQ(open.host.log(), (std::vector<std::string>{"stop0"}));

    Rig closed;
    closed.adapter.closeLink();
    EXPECT_TRUE(closed.host.log().empty());
}

TEST(Delay, SleepsOnTheClock) {
    Rig rig;
    rig.adapter.delayMs(100);
    EXPECT_EQ(rig.clock.sleptMs(), 100u);
    EXPECT_EQ(rig.clock.nowMs(), 100u);
}

}  // namespace
}  // namespace transport
