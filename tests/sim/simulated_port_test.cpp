#include "sim/simulated_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace sim {
namespace {

// Answers every report with a reply of a fixed size.
class FixedReplyPeer final : public AdapterPeer {
  public:
    explicit FixedReplyPeer(size_t size) : m_size(size) {}
    std::vector<PeerReply> onConnect() override { return {}; }
    std::vector<PeerReply> onData(const std::vector<uint8_t>&) override {
        std::vector<uint8_t> bytes(m_size);
        for (size_t i = 0; i < m_size; ++i) bytes[i] = static_cast<uint8_t>(i);
        return {PeerReply{bytes, 0}};
    }

  private:
    size_t m_size;
};

struct Opened {
    transport::VirtualClock clock;
    SimulatedPort port{&clock};

    Opened(size_t replySize, AdapterOptions options, uint32_t inputBuffers = 512) {
        port.plugIn("sim:0", std::make_shared<FixedReplyPeer>(replySize), options);
        port.open(0, transport::kAdapterVendorId, transport::kAdapterProductId, inputBuffers);
    }
    void send() {
        std::vector<uint8_t> report(port.reportLength(), 0);
        report[0] = 2;
        report[1] = 1;
        report[2] = 0xE1;
        ASSERT_EQ(port.sendInterruptReport(report.data(), port.reportLength()),
                  transport::kHidSuccess);
    }
    std::vector<uint8_t> counts(uint32_t reportCount) {
        const uint32_t length = port.reportLength();
        std::vector<uint8_t> buffer(reportCount * length);
        uint32_t bytes = 0;
        port.readInputReports(buffer.data(), static_cast<uint32_t>(buffer.size()), reportCount,
                              bytes);
        std::vector<uint8_t> result;
        for (uint32_t offset = 0; offset < bytes; offset += length)
            result.push_back(buffer[offset + 1]);
        return result;
    }
};

// --- Replies are cut into reports of at most min(59, L - 2) payload bytes ---

struct ChunkCase {
    uint32_t reportLength;
    size_t replySize;
    std::vector<uint8_t> counts;
};

class ChunkingTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkingTest, CountBytes) {
    AdapterOptions options;
    options.reportLength = GetParam().reportLength;
    Opened rig(GetParam().replySize, options);
    rig.send();
    EXPECT_EQ(rig.counts(63), GetParam().counts);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ChunkingTest,
                         ::testing::Values(ChunkCase{65, 7, {7}}, ChunkCase{65, 59, {59}},
                                           ChunkCase{65, 60, {59, 1}}, ChunkCase{61, 118, {59, 59}},
                                           ChunkCase{20, 25, {18, 7}}, ChunkCase{65, 0, {}}));

// --- Read status: success only when every asked-for report came ---

struct StatusCase {
    size_t replySize;
    uint32_t asked;
    int status;
    uint32_t bytes;
};

class ReadStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ReadStatusTest, StatusAndBytes) {
    Opened rig(GetParam().replySize, AdapterOptions{});
    rig.send();
    std::vector<uint8_t> buffer(63 * 65);
    uint32_t bytes = 99;
    EXPECT_EQ(rig.port.readInputReports(buffer.data(), static_cast<uint32_t>(buffer.size()),
                                        GetParam().asked, bytes),
              GetParam().status);
    EXPECT_EQ(bytes, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadStatusTest,
                         ::testing::Values(StatusCase{0, 63, transport::kHidReadTimedOut, 0},
                                           StatusCase{60, 63, transport::kHidReadTimedOut, 130},
                                           StatusCase{118, 2, transport::kHidSuccess, 130},
                                           StatusCase{7, 64, transport::kHidInvalidParameter, 0},
                                           StatusCase{7, 0, transport::kHidInvalidParameter, 0}));

TEST(SimulatedPort, FullInputQueueDropsNewReports) {
    Opened rig(59, AdapterOptions{}, 3);
    for (int i = 0; i < 5; ++i) rig.send();
    EXPECT_EQ(rig.port.pendingInputReports(), 3u);
}

TEST(SimulatedPort, LatencyHoldsRepliesBack) {
    AdapterOptions options;
    options.latencyMs = 25;
    Opened rig(4, options);
    rig.send();
    rig.clock.advance(24);
    EXPECT_TRUE(rig.counts(63).empty());
    rig.clock.advance(1);
    EXPECT_EQ(rig.counts(63), (std::vector<uint8_t>{4}));
}

TEST(SimulatedPort, PulledOutWhileOpenKeepsItsPathButFailsIo) {
    Opened rig(4, AdapterOptions{});
    const transport::DeviceEvent event = rig.port.unplug("sim:0");
    EXPECT_EQ(event.kind, transport::DeviceEventKind::Removal);
    EXPECT_EQ(event.path, "sim:0");
    EXPECT_TRUE(rig.port.isOpen());
    std::string path;
    EXPECT_EQ(rig.port.openDevicePath(path), transport::kHidSuccess);
    EXPECT_EQ(path, "sim:0");
    std::vector<uint8_t> report(65, 0);
    EXPECT_EQ(rig.port.sendInterruptReport(report.data(), 65), transport::kHidWriteFailed);
    uint32_t bytes = 0;
    std::vector<uint8_t> buffer(63 * 65);
    EXPECT_EQ(
        rig.port.readInputReports(buffer.data(), static_cast<uint32_t>(buffer.size()), 63, bytes),
        transport::kHidReadFailed);
    EXPECT_EQ(rig.port.deviceCount(transport::kAdapterVendorId, transport::kAdapterProductId), 0u);
}

TEST(SimulatedPort, ReplugDoesNotReviveAStaleHandle) {
    Opened rig(4, AdapterOptions{});
    rig.port.unplug("sim:0");
    rig.port.plugIn("sim:0", std::make_shared<FixedReplyPeer>(4));
    std::vector<uint8_t> report(65, 0);
    EXPECT_EQ(rig.port.sendInterruptReport(report.data(), 65), transport::kHidWriteFailed);
    ASSERT_EQ(rig.port.open(0, transport::kAdapterVendorId, transport::kAdapterProductId, 512),
              transport::kHidSuccess);
    rig.send();
    EXPECT_EQ(rig.counts(63), (std::vector<uint8_t>{4}));
}

TEST(SimulatedPort, ClosedPortReportsNothingOpen) {
    SimulatedPort port;
    std::string path;
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.reportLength(), 0u);
    EXPECT_EQ(port.openDevicePath(path), transport::kHidDeviceNotOpened);
    EXPECT_EQ(port.open(0, transport::kAdapterVendorId, transport::kAdapterProductId, 512),
              transport::kHidDeviceNotFound);
}

}  // namespace
}  // namespace sim

namespace sim {
namespace {

// A report queued before the report length shrank is handed out at the new length,
// never copied past the reader's slot (found by fuzzing).
TEST(SimulatedPortLengthChange, QueuedReportsKeepToTheNewLength) {
    AdapterOptions wide;
    wide.reportLength = 122;
    Opened rig(4, wide);
    ASSERT_TRUE(rig.port.queueRawReport("sim:0", std::vector<uint8_t>(122, 0x33)));
    AdapterOptions narrow;
    narrow.reportLength = 61;
    ASSERT_TRUE(rig.port.setOptions("sim:0", narrow));
    ASSERT_EQ(rig.port.reportLength(), 61u);
    std::vector<uint8_t> buffer(61 + 8, 0xEE);  // one slot and a guard behind it
    uint32_t bytes = 0;
    rig.port.readInputReports(buffer.data(), 61, 1, bytes);
    EXPECT_EQ(bytes, 61u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 61, buffer.end()),
              std::vector<uint8_t>(8, 0xEE));
}

}  // namespace
}  // namespace sim
