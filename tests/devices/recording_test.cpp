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
