// Recordings made on the simulated ESC (with its late, jittered answers) and replayed as a
// device, both as the front ends open them: the replay must make the session send the
// same frames at the same virtual times and end with the same form and outcome, and a
// replay that is sent something else must end with both reports shown.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "devices/device_uri.h"
#include "devices/recording_port.h"
#include "devices/replay_port.h"
#include "form/control_ids.h"
#include "protocol/firmware_update.h"
#include "support/scratch_dir.h"
#include "support/session_rig.h"

namespace {

using ::testing::HasSubstr;
using testing_support::SessionRig;
using Entry = testing_support::TraceRecorder::Entry;

constexpr char kSimulator[] = "sim:family=3";  // answers late with jitter, as by default
constexpr uint32_t kUpdateLimitMs = 120000;

SessionRig::DeviceOpener recordedSimulator(const std::string& file) {
    return [file](transport::Clock& clock) {
        devices::Device device;
        std::string error;
        EXPECT_TRUE(devices::openDeviceUri(kSimulator, clock, device, error)) << error;
        EXPECT_TRUE(devices::startRecording(device, file, clock, "scenario", error)) << error;
        return device;
    };
}

SessionRig::DeviceOpener replayOf(const std::string& file) {
    return [file](transport::Clock& clock) {
        devices::Device device;
        std::string error;
        EXPECT_TRUE(devices::openDeviceUri("replay:" + file, clock, device, error)) << error;
        return device;
    };
}

// What the form shows in every parameter control.
std::vector<std::string> formValues(const form::HeadlessForm& form) {
    std::vector<std::string> values;
    for (form::ControlId id : form::kParameterValueControls)
        values.push_back(std::to_string(form.selection(id)) + "|" + form.text(id));
    return values;
}

bool sameTrace(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].written != b[i].written || a[i].bytes != b[i].bytes || a[i].atMs != b[i].atMs)
            return false;
    }
    return true;
}

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string writeImage(const testing_support::ScratchDir& dir, size_t length) {
    const std::string path = dir.file("image.hgm");
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// What one run left behind: its trace, its form, its last result.
struct Outcome {
    std::vector<Entry> trace;
    std::vector<std::string> form;
    session::Outcome result = session::Outcome::Refused;
    protocol::UpdateOutcome update = protocol::UpdateOutcome::None;
    std::string difference;  // of a replay
};

// One run of an operation on a rig: the link up as a command line has it, the operation,
// its end.
using Operation = std::function<bool(SessionRig&)>;

Outcome run(SessionRig& rig, const Operation& operation, uint32_t limitMs) {
    Outcome outcome;
    EXPECT_TRUE(rig.linkUp());
    if (operation(rig)) {
        EXPECT_TRUE(rig.host.runUntil([&] { return !rig.session->busy(); }, limitMs));
        rig.host.runFor(1000);  // the polls after it are replayed too
    }
    outcome.trace = rig.trace.entries();
    outcome.form = formValues(rig.form);
    outcome.result = rig.session->lastResult().outcome;
    outcome.update = rig.session->firmwareUpdate().outcome();
    if (rig.device.replay != nullptr)
        outcome.difference = rig.device.replay->difference();
    return outcome;
}

struct ReplayCase {
    const char* name;
    Operation operation;
};

TEST(RecordingReplay, ARecordedSessionReplaysWithTheSameFramesFormAndOutcome) {
    testing_support::ScratchDir dir;
    const std::string image = writeImage(dir, 1537);
    const ReplayCase cases[] = {
        {"read", [](SessionRig& r) { return r.session->read(); }},
        {"write",
         [](SessionRig& r) {
             const int read = r.form.selection(form::kComboStartAccel);
             r.form.setSelection(form::kComboStartAccel, read == 1 ? 2 : 1);
             return r.session->write();
         }},
        {"firmware update", [&](SessionRig& r) { return r.session->update(image); }},
    };
    for (const ReplayCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(std::string(c.name) + ".rec");
        Outcome recorded;
        {
            SessionRig rig(recordedSimulator(file));
            recorded = run(rig, c.operation, kUpdateLimitMs);
        }
        ASSERT_EQ(recorded.result, session::Outcome::Ok);
        SessionRig replaying(replayOf(file));
        const Outcome replayed = run(replaying, c.operation, kUpdateLimitMs);

        EXPECT_EQ(replayed.difference, "");
        EXPECT_FALSE(replaying.device.replay->ended());
        EXPECT_EQ(replayed.result, recorded.result);
        EXPECT_EQ(replayed.update, recorded.update);
        EXPECT_EQ(replayed.form, recorded.form);
        EXPECT_TRUE(sameTrace(replayed.trace, recorded.trace))
            << recorded.trace.size() << " frames recorded, " << replayed.trace.size()
            << " replayed";
    }
}

TEST(RecordingReplay, TheUpdateReplayedIsTheWholeImage) {
    // The recording holds every block of the image: the replay fails on the first one
    // that differs, so an image changed after the recording cannot pass.
    testing_support::ScratchDir dir;
    const std::string image = writeImage(dir, 1537);
    const std::string file = dir.file("update.rec");
    {
        SessionRig rig(recordedSimulator(file));
        run(
            rig, [&](SessionRig& r) { return r.session->update(image); }, kUpdateLimitMs);
    }
    {
        std::fstream bytes(image, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(1500);
        bytes.put('\x7f');
    }
    SessionRig replaying(replayOf(file));
    const Outcome replayed = run(
        replaying, [&](SessionRig& r) { return r.session->update(image); }, kUpdateLimitMs);
    EXPECT_THAT(replayed.difference, HasSubstr("recorded: O "));
    EXPECT_NE(replayed.update, protocol::UpdateOutcome::Succeeded);
}

TEST(RecordingReplay, AnotherFrameEndsTheReplayWithBothShown) {
    testing_support::ScratchDir dir;
    const std::string file = dir.file("write.rec");
    int written = 0;
    {
        SessionRig rig(recordedSimulator(file));
        run(
            rig,
            [&](SessionRig& r) {
                written = r.form.selection(form::kComboStartAccel) == 1 ? 2 : 1;
                r.form.setSelection(form::kComboStartAccel, written);
                return r.session->write();
            },
            30000);
    }
    SessionRig replaying(replayOf(file));
    std::vector<std::string> heard;
    replaying.device.replay->setEndHandler([&](const std::string& d) { heard.push_back(d); });
    const Outcome replayed = run(
        replaying,
        [&](SessionRig& r) {
            r.form.setSelection(form::kComboStartAccel, written == 1 ? 3 : 4);  // another value
            return r.session->write();
        },
        30000);

    EXPECT_NE(replayed.result, session::Outcome::Ok);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], replayed.difference);
    // "... at line N (T ms): byte B of the report differs ...", then the recorded report,
    // the sent one, and a mark under the first byte that differs.
    std::istringstream text(replayed.difference);
    std::string first, recordedLine, sentLine, mark;
    std::getline(text, first);
    std::getline(text, recordedLine);
    std::getline(text, sentLine);
    std::getline(text, mark);
    const size_t lineAt = first.find("at line ");
    ASSERT_NE(lineAt, std::string::npos) << replayed.difference;
    const size_t lineNumber = std::stoul(first.substr(lineAt + 8));
    const std::vector<std::string> lines = fileLines(file);
    ASSERT_LE(lineNumber, lines.size());
    const std::string recordedReport = recordedLine.substr(recordedLine.find("O "));
    EXPECT_EQ(lines[lineNumber - 1].substr(lines[lineNumber - 1].find(' ') + 1), recordedReport);
    ASSERT_EQ(recordedLine.rfind("  recorded: O 02", 0), 0u) << replayed.difference;
    ASSERT_EQ(sentLine.rfind("  sent:     O 02", 0), 0u) << replayed.difference;
    // The mark stands under the first hex pair that differs, which the first line names.
    const size_t markAt = mark.find("^^");
    ASSERT_NE(markAt, std::string::npos);
    const size_t byte = std::stoul(first.substr(first.find("byte ") + 5));
    EXPECT_EQ(markAt, std::string("  recorded: O ").size() + 2 * byte);
    EXPECT_NE(recordedLine.substr(markAt, 2), sentLine.substr(markAt, 2));
    const size_t reportAt = std::string("  recorded: ").size();
    EXPECT_EQ(recordedLine.substr(reportAt, markAt - reportAt),
              sentLine.substr(reportAt, markAt - reportAt));
    // The device is gone with it: the lamps go out.
    EXPECT_FALSE(replaying.controller().adapterLinked());
}

TEST(RecordingReplay, AReplayPastTheRecordingsEndTakesTheAdapterAway) {
    testing_support::ScratchDir dir;
    const std::string file = dir.file("short.rec");
    {
        SessionRig rig(recordedSimulator(file));
        run(
            rig, [](SessionRig& r) { return r.session->read(); }, 30000);
    }
    // Cut after the first frame the session wrote: a recording a crash ended.
    std::vector<std::string> lines = fileLines(file);
    const auto firstOutput = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find(" O ") != std::string::npos;
    });
    ASSERT_NE(firstOutput, lines.end());
    lines.erase(firstOutput + 1, lines.end());
    {
        std::ofstream out(file, std::ios::trunc);
        for (const std::string& l : lines) out << l << "\n";
    }
    SessionRig replaying(replayOf(file));
    ASSERT_TRUE(replaying.session->openNow());
    replaying.session->awaitSettings();
    replaying.host.runFor(3000);
    EXPECT_TRUE(replaying.device.replay->ended());
    EXPECT_EQ(replaying.device.replay->difference(), "");
    EXPECT_FALSE(replaying.controller().adapterLinked());
    EXPECT_FALSE(replaying.session->link().isOpen());
}

}  // namespace
