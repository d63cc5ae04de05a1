// The recording's text: every kind of event read back as written, files that are not a
// recording refused with the line that says so, and a recording that cannot be made
// refused before anything reaches the device.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "devices/device_uri.h"
#include "devices/recording_format.h"
#include "devices/recording_port.h"
#include "devices/replay_port.h"
#include "link/clock.h"
#include "support/scratch_dir.h"

namespace {

using devices::RecordedEvent;
using devices::RecordedKind;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(RecordingFormat, EveryKindReadsBackAsWritten) {
    const std::vector<std::string> lines = {
        "0 present 1",      "0 open 65 63", "3 openfail 7",        "3 openfail 7 4242 tessaro cli",
        "512 C fd434f4e4e", "530 O 0201e1", "531 O 0201e1 fail=3", "545 I 0103d7010203",
        "560 readfail 5",   "900 close",    "901 removed",         "1200 arrived",
    };
    std::string text = "tessaro-recording 1\n# a note\n\n";
    for (const std::string& line : lines) text += line + "\n";
    std::vector<RecordedEvent> events;
    std::string error;
    ASSERT_TRUE(devices::parseRecording(text, events, error)) << error;
    ASSERT_EQ(events.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(devices::formatEvent(events[i]), lines[i]);
        EXPECT_EQ(events[i].line, i + 4);
    }
}

struct Malformed {
    const char* name;
    const char* text;
    const char* error;  // the start of the reason
};

TEST(RecordingFormat, AFileThatIsNoRecordingNamesItsLine) {
    const Malformed cases[] = {
        {"empty file", "", "line 1: not a recording"},
        {"bad header", "tessaro-recording 2\n0 close\n", "line 1: not a recording"},
        {"bad hex", "tessaro-recording 1\n0 open 65 63\n5 O 02zz\n", "line 3: bad hex \"02zz\""},
        {"odd length", "tessaro-recording 1\n5 I 020\n", "line 2: odd number of hex digits"},
        {"time backwards", "tessaro-recording 1\n50 open 65 63\n40 close\n",
         "line 3: time 40 is earlier than 50"},
        {"unknown event", "tessaro-recording 1\n\n7 X 02\n", "line 3: unknown event \"X\""},
        {"bad time", "tessaro-recording 1\n-5 close\n", "line 2: bad time \"-5\""},
        {"no kind", "tessaro-recording 1\n5\n", "line 2: an event's kind is missing"},
        {"open without sizes", "tessaro-recording 1\n0 open 65\n", "line 2: \"open\" wants"},
        {"zero report length", "tessaro-recording 1\n0 open 0 63\n", "line 2: \"open\" wants"},
        {"report missing", "tessaro-recording 1\n0 O\n", "line 2: \"O\" wants"},
        {"bad status", "tessaro-recording 1\n0 C fd fail=x\n", "line 2: \"C\" wants"},
        {"extra field", "tessaro-recording 1\n0 close now\n", "line 2: \"close\" wants"},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RecordedEvent> events;
        std::string error;
        EXPECT_FALSE(devices::parseRecording(c.text, events, error));
        EXPECT_THAT(error, StartsWith(c.error));
        EXPECT_TRUE(events.empty());
    }
}

TEST(RecordingFormat, AMalformedReplayIsRefusedAsADevice) {
    testing_support::ScratchDir dir;
    const std::string file = dir.file("bad.rec");
    std::ofstream(file) << "tessaro-recording 1\n0 open 65 63\n10 O 0201e\n";
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    EXPECT_FALSE(devices::openDeviceUri("replay:" + file, clock, device, error));
    EXPECT_EQ(error, file + ": line 3: odd number of hex digits in \"0201e\"");
    EXPECT_FALSE(devices::openDeviceUri("replay:" + dir.file("none.rec"), clock, device, error));
    EXPECT_THAT(error, HasSubstr("cannot read the recording"));
}

TEST(RecordingPort, ARecordingThatCannotBeMadeLeavesTheDeviceUntouched) {
    testing_support::ScratchDir dir;
    transport::VirtualClock clock;
    devices::Device device;
    std::string error;
    ASSERT_TRUE(devices::openDeviceUri("sim:family=3", clock, device, error)) << error;
    transport::HidPort* port = device.port.get();
    EXPECT_FALSE(
        devices::startRecording(device, dir.file("missing/folder/x.rec"), clock, "", error));
    EXPECT_THAT(error,
                HasSubstr("cannot create the recording " + dir.file("missing/folder/x.rec")));
    EXPECT_EQ(device.port.get(), port);
    EXPECT_FALSE(port->isOpen());
}

}  // namespace

namespace {

// When a replayed input report becomes readable: the recording sent a link poll at 30 ms
// and read its answer at 60 ms; the replay sends the poll at `sentAt` and reads at `readAt`.
struct AnswerTiming {
    const char* name;
    uint32_t sentAt;
    uint32_t readAt;
    bool read;
};

TEST(ReplayPort, AnAnswerIsReadableAtItsRecordedDelayAfterTheStepItFollowed) {
    const AnswerTiming cases[] = {
        {"on time", 30, 60, true},
        {"a tick early by the allowance", 30, 50, true},
        {"before the allowance", 30, 49, false},
        {"the poll late, read on the tick's schedule", 45, 60, true},
        {"the poll late by the most that counts from when it was due", 50, 60, true},
        {"the poll later than that counts from when it was sent", 51, 60, false},
        {"... and is read its recorded delay later", 51, 71, true},
    };
    const std::string text =
        "tessaro-recording 1\n0 present 1\n0 open 65 63\n30 O 0201e1\n60 I 0101e1\n";
    for (const AnswerTiming& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RecordedEvent> events;
        std::string error;
        ASSERT_TRUE(devices::parseRecording(text, events, error)) << error;
        transport::VirtualClock clock(1000);
        devices::ReplayPort port(events, "replay:t", clock);
        ASSERT_EQ(port.open(0, transport::kAdapterVendorId, transport::kAdapterProductId, 512),
                  transport::kHidSuccess);
        clock.advance(c.sentAt);
        std::vector<uint8_t> poll(65, 0);
        poll[0] = 2;
        poll[1] = 1;
        poll[2] = 0xe1;
        ASSERT_EQ(port.sendInterruptReport(poll.data(), 65), transport::kHidSuccess);
        clock.advance(c.readAt - c.sentAt);
        std::vector<uint8_t> buffer(65 * 63);
        uint32_t bytes = 0;
        port.readInputReports(buffer.data(), static_cast<uint32_t>(buffer.size()), 63, bytes);
        EXPECT_EQ(bytes, c.read ? 65u : 0u);
        EXPECT_EQ(port.difference(), "");
    }
}

}  // namespace
