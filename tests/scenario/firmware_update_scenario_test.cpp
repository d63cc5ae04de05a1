// Whole firmware updates on the virtual clock: the session's update of the simulated ESC,
// with the form it shows its progress on, from the link-up to the return to polling.
// Images are written to files and the session loads them as the window has it do, and the
// ESC's reassembled image is compared with the file's bytes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "files/firmware_image.h"
#include "form/headless_form.h"
#include "i18n/ui_text.h"
#include "protocol/firmware_update.h"
#include "protocol/protocol_controller.h"
#include "session/session.h"
#include "sim/esc_emulator.h"
#include "support/scripted_prompter.h"
#include "support/session_rig.h"

namespace {

using Bytes = std::vector<uint8_t>;
using protocol::UpdateOutcome;

constexpr int kBarWidth = 200;
constexpr uint32_t kRunLimitMs = 60000;

// The form, with every percentage text and bar fill the update showed, in order.
class RecordingForm final : public form::HeadlessForm {
  public:
    void setText(form::ControlId id, const std::string& text) override {
        if (id == protocol::kPercentField)
            percents.push_back(text);
        HeadlessForm::setText(id, text);
    }
    void setProgressFill(form::ControlId id, int done, int rest) override {
        fills.push_back({done, rest});
        HeadlessForm::setProgressFill(id, done, rest);
    }
    std::vector<std::string> percents;
    std::vector<std::pair<int, int>> fills;
};

// File bytes that differ from position to position and from image to image.
Bytes fileBytes(int32_t length) {
    Bytes bytes(static_cast<size_t>(length));
    uint32_t x = 0x9E3779B9u ^ static_cast<uint32_t>(length);
    for (uint8_t& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

std::string writeImageFile(const Bytes& bytes) {
    const std::string path = ::testing::TempDir() + "fw_scenario_" + std::to_string(::getpid()) +
                             "_" + std::to_string(bytes.size()) + ".hgm";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes unscrambled(const Bytes& file) {
    Bytes image = file;
    for (uint8_t& b : image) b ^= 0xB7;
    return image;
}

// The session on the simulated ESC with the form that records the update's progress, its
// link up and its settings read; updates start as the window starts them.
struct Rig : testing_support::BasicSessionRig<RecordingForm, testing_support::ScriptedPrompter> {
    Bytes file;

    explicit Rig(const std::string& options = "") : BasicSessionRig(options) {
        EXPECT_TRUE(linkUp(5000));
        // A bar of known width, so the fills below are plain numbers.
        const form::Rect bar = form.controlRect(protocol::kProgressBar);
        form.setControlRect(protocol::kProgressBar,
                            form::Rect{bar.left, bar.top, bar.left + kBarWidth, bar.bottom});
    }

    // Writes an image file and starts its update through the session.
    void startUpdate(int32_t length) {
        file = fileBytes(length);
        const std::string path = writeImageFile(file);
        form.setText(protocol::kStatusField, i18n::LookupUiText("plswait"));
        form.percents.clear();
        form.fills.clear();
        port->clearLog();
        ASSERT_TRUE(session->update(path)) << session->lastResult().message;
        ASSERT_EQ(session->firmwareImage().length(), length);
    }
    const protocol::FirmwareUpdate& update() const { return session->firmwareUpdate(); }
    bool runUntilOutcome() {
        return host.runUntil(
            [this] {
                return update().outcome() == UpdateOutcome::Succeeded ||
                       update().outcome() == UpdateOutcome::Failed;
            },
            kRunLimitMs);
    }
    uint8_t state() { return controller().protocolState(); }
};

// ---- whole images --------------------------------------------------------------------------

struct Spot {
    size_t ack;  // index of the full block's acknowledgement
    const char* percent;
    int fill;
};

struct ImageCase {
    int32_t length;
    size_t fullBlocks;
    uint32_t lastOffset;
    uint32_t lastSize;
    std::vector<Spot> spots;
};

class WholeImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(WholeImage, TravelsInBlocksWithItsProgress) {
    const ImageCase& c = GetParam();
    Rig rig;
    rig.startUpdate(c.length);
    ASSERT_TRUE(rig.runUntilOutcome());
    ASSERT_EQ(rig.update().outcome(), UpdateOutcome::Succeeded);

    const sim::FirmwareAcceptor& esc = rig.esc->firmware();
    EXPECT_TRUE(esc.violations().empty()) << esc.violations().front();
    EXPECT_EQ(esc.completedUpdates(), 1u);
    EXPECT_EQ(esc.announcedLength(), static_cast<uint32_t>(c.length));
    EXPECT_EQ(esc.image(), unscrambled(rig.file));

    // Full blocks from offset 0 upward, then the last one.
    ASSERT_EQ(esc.blocks().size(), c.fullBlocks + 1);
    for (size_t i = 0; i < c.fullBlocks; ++i) {
        EXPECT_EQ(esc.blocks()[i],
                  (sim::FirmwareAcceptor::Block{static_cast<uint32_t>(i * 512), 512}));
    }
    EXPECT_EQ(esc.blocks().back(), (sim::FirmwareAcceptor::Block{c.lastOffset, c.lastSize}));

    // One percentage and one fill per full block, then "100%", the full bar and "".
    ASSERT_EQ(rig.form.percents.size(), c.fullBlocks + 2);
    ASSERT_EQ(rig.form.fills.size(), c.fullBlocks + 1);
    for (const Spot& s : c.spots) {
        SCOPED_TRACE(s.ack);
        EXPECT_EQ(rig.form.percents[s.ack], s.percent);
        EXPECT_EQ(rig.form.fills[s.ack], std::make_pair(s.fill, kBarWidth - s.fill));
    }
    EXPECT_EQ(rig.form.percents[c.fullBlocks], "100%");
    EXPECT_EQ(rig.form.percents[c.fullBlocks + 1], "");
    EXPECT_EQ(rig.form.fills.back(), std::make_pair(kBarWidth, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WholeImage,
    ::testing::Values(
        ImageCase{1000, 1, 512, 488, {{0, "0%", 0}}}, ImageCase{1024, 1, 512, 512, {{0, "0%", 0}}},
        ImageCase{1536, 2, 1024, 512, {{0, "0%", 0}, {1, "33%", 66}}},
        ImageCase{1537, 3, 1536, 1, {{0, "0%", 0}, {1, "33%", 66}, {2, "66%", 133}}},
        ImageCase{2000, 3, 1536, 464, {{0, "0%", 0}, {1, "25%", 51}, {2, "51%", 102}}},
        ImageCase{65535,
                  127,
                  65024,
                  511,
                  {{0, "0%", 0}, {1, "0%", 1}, {2, "1%", 3}, {64, "50%", 100}, {126, "98%", 196}}}),
    [](const auto& info) { return "Bytes" + std::to_string(info.param.length); });

// Size and data of a full block go out one tick apart, the last block's 30 ms apart.
TEST(UpdateTiming, BlockSizeToDataGaps) {
    struct Case {
        int32_t length;
        std::vector<uint32_t> gaps;
    };
    const Case cases[] = {{1000, {50, 30}}, {1537, {50, 50, 50, 30}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Rig rig;
        rig.startUpdate(c.length);
        ASSERT_TRUE(rig.runUntilOutcome());
        // Reports: the request, the start, the length, then per block its size and the
        // reports of its bytes.
        const auto& sent = rig.port->sentReports();
        std::vector<uint32_t> gaps;
        size_t report = 3;
        uint32_t done = 0;
        while (done < static_cast<uint32_t>(c.length) && report + 1 < sent.size()) {
            const Bytes& r = sent[report].bytes;
            ASSERT_EQ(r[1], 2);
            const uint32_t size = (uint32_t{r[2]} << 8) | r[3];
            gaps.push_back(sent[report + 1].atMs - sent[report].atMs);
            report += 1 + (size + transport::kMaxReportPayload - 1) / transport::kMaxReportPayload;
            done += size;
        }
        EXPECT_EQ(gaps, c.gaps);
    }
}

// ---- the state after success ----------------------------------------------------------------

TEST(UpdateSuccess, ShowsTheStatusFieldAndReadsTheSettingsAgain) {
    Rig rig;
    const uint32_t readsBefore = rig.controller().settingsReadCount();
    rig.startUpdate(1000);
    ASSERT_TRUE(rig.runUntilOutcome());
    ASSERT_EQ(rig.update().outcome(), UpdateOutcome::Succeeded);
    EXPECT_EQ(rig.state(), protocol::kStateLinkPolling);
    EXPECT_FALSE(rig.controller().settingsLoaded());
    EXPECT_TRUE(rig.form.isVisible(protocol::kStatusField));
    EXPECT_EQ(rig.form.text(protocol::kStatusField), " ");
    EXPECT_FALSE(rig.form.isVisible(protocol::kProgressBar));
    EXPECT_EQ(rig.form.text(protocol::kPercentField), "");
    EXPECT_EQ(rig.controller().lastTxFrame(), (Bytes{0xE1}));
    EXPECT_EQ(rig.host.timerPeriod(transport::kProtocolTimer), transport::kProtocolPeriodMs);
    EXPECT_TRUE(rig.prompter.messages.empty());
    EXPECT_TRUE(rig.host.runUntil(
        [&] { return rig.controller().settingsReadCount() > readsBefore; }, 2000));
}

TEST(UpdateSuccess, TheStatusFieldShowsPleaseWaitUntilTheFirstBlockIsAcknowledged) {
    Rig rig;
    rig.startUpdate(2000);
    const std::string wait = i18n::LookupUiText("plswait");
    ASSERT_FALSE(wait.empty());
    ASSERT_TRUE(rig.host.runUntil(
        [&] { return rig.state() == protocol::kStateUpdateAwaitBlockAck; }, 2000));
    EXPECT_EQ(rig.form.text(protocol::kStatusField), wait);
    EXPECT_TRUE(rig.form.isVisible(protocol::kStatusField));
    EXPECT_TRUE(rig.form.percents.empty());
    ASSERT_TRUE(rig.host.runUntil([&] { return !rig.form.percents.empty(); }, 2000));
    EXPECT_FALSE(rig.form.isVisible(protocol::kStatusField));
    EXPECT_TRUE(rig.form.isVisible(protocol::kProgressBar));
}

// ---- faults of the ESC ------------------------------------------------------------------------

TEST(UpdateFaults, WhatTheUpdateMakesOfThem) {
    // An image of 1,000 bytes: answers 0 echo, 1 start, 2 block 0, 3 block 1 (last), 4 end.
    struct Case {
        const char* name;
        const char* options;
        UpdateOutcome outcome;  // Running: still waiting after a minute
        uint8_t state;
    };
    const Case cases[] = {
        {"as an ESC answers", "", UpdateOutcome::Succeeded, protocol::kStateLinkPolling},
        {"o and k in two ticks", "fwsplit=2", UpdateOutcome::Succeeded,
         protocol::kStateLinkPolling},
        {"a third byte after ok", "fwextra=2", UpdateOutcome::Succeeded,
         protocol::kStateLinkPolling},
        {"split last block ack", "fwsplit=3", UpdateOutcome::Succeeded,
         protocol::kStateLinkPolling},
        {"o, then k and a third byte", "fwsplit=2,fwextra=2", UpdateOutcome::Failed,
         protocol::kStateLinkPolling},
        {"a lost block acknowledgement", "fwlose=2", UpdateOutcome::Failed,
         protocol::kStateLinkPolling},
        {"no echo", "fwsilent=0", UpdateOutcome::Running, protocol::kStateUpdateHandshake},
        {"no ok for the start", "fwlose=1", UpdateOutcome::Running,
         protocol::kStateUpdateHandshake},
        {"silent from the first block", "fwsilent=2", UpdateOutcome::Failed,
         protocol::kStateLinkPolling},
        {"silent from the last block", "fwsilent=3", UpdateOutcome::Running,
         protocol::kStateUpdateAwaitLastAck},
        {"silent at the end", "fwsilent=4", UpdateOutcome::Running,
         protocol::kStateUpdateAwaitFinishAck},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.options);
        rig.startUpdate(1000);
        rig.runUntilOutcome();
        EXPECT_EQ(rig.update().outcome(), c.outcome);
        EXPECT_EQ(rig.state(), c.state);
        const bool failed = c.outcome == UpdateOutcome::Failed;
        // The session's operation ends with the update, as its typed result.
        EXPECT_EQ(rig.session->busy(), c.outcome == UpdateOutcome::Running);
        if (c.outcome != UpdateOutcome::Running) {
            EXPECT_EQ(rig.session->lastResult().outcome,
                      failed ? session::Outcome::UpdateFailed : session::Outcome::Ok);
        }
        EXPECT_EQ(rig.prompter.messages.size(), failed ? 1u : 0u);
        if (failed) {
            EXPECT_EQ(rig.prompter.messages[0].text, i18n::LookupUiText("UpdateFail"));
            EXPECT_EQ(rig.controller().lastTxFrame(), (Bytes{0xD4}));
            EXPECT_TRUE(rig.form.isVisible(protocol::kStatusField));
            EXPECT_FALSE(rig.form.isVisible(protocol::kProgressBar));
            // The link check goes on: the ESC answers polls again and its lamp comes back.
            EXPECT_TRUE(rig.host.runUntil([&] { return rig.controller().escLinked(); }, 2000));
        }
        if (c.outcome == UpdateOutcome::Succeeded) {
            EXPECT_EQ(rig.esc->firmware().image(), unscrambled(rig.file));
        }
    }
}

TEST(UpdateFaults, TheFailureComesAfterTwentyOneSilentTicks) {
    Rig rig("fwlose=2");
    rig.startUpdate(1000);
    ASSERT_TRUE(rig.host.runUntil(
        [&] { return rig.state() == protocol::kStateUpdateAwaitBlockAck; }, 2000));
    const uint64_t blockSentMs = rig.host.elapsedMs();
    ASSERT_TRUE(rig.runUntilOutcome());
    EXPECT_EQ(rig.host.elapsedMs() - blockSentMs, 21u * protocol::kUpdatePeriodMs);
}

// ---- abandonment --------------------------------------------------------------------------------

TEST(UpdateAbandoned, ByACommandOrByRemoval) {
    struct Case {
        const char* name;
        void (*takeOver)(Rig&);
        bool linkStaysUp;
    };
    const Case cases[] = {
        {"read setting", [](Rig& r) { r.controller().readSettingCommand(); }, true},
        {"send setting", [](Rig& r) { r.controller().sendSettingCommand(); }, true},
        {"restore defaults", [](Rig& r) { r.controller().restoreDefaultCommand(); }, true},
        {"removal", [](Rig& r) { r.unplug(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.startUpdate(4000);
        ASSERT_TRUE(rig.host.runUntil([&] { return rig.form.percents.size() == 2; }, 5000));
        ASSERT_TRUE(rig.form.isVisible(protocol::kProgressBar));
        const uint32_t reads = rig.controller().settingsReadCount();
        // A command asks before it abandons the update; the user agrees.
        rig.prompter.messageAnswers.push_back(form::MessageAnswer::Yes);
        c.takeOver(rig);
        rig.host.runFor(3000);
        EXPECT_EQ(rig.update().outcome(), UpdateOutcome::Abandoned);
        EXPECT_TRUE(rig.form.isVisible(protocol::kStatusField));
        EXPECT_FALSE(rig.form.isVisible(protocol::kProgressBar));
        EXPECT_EQ(rig.form.text(protocol::kPercentField), "");
        EXPECT_FALSE(rig.controller().updateInProgress());
        EXPECT_EQ(rig.prompter.messages.size(), c.linkStaysUp ? 1u : 0u);
        if (c.linkStaysUp) {
            EXPECT_EQ(rig.esc->firmware().abortedUpdates(), 1u);  // told by UpdateAbort
        }
        EXPECT_EQ(rig.esc->firmware().completedUpdates(), 0u);
        // The command's own exchange ran to its end.
        if (c.linkStaysUp) {
            EXPECT_GT(rig.controller().settingsReadCount(), reads);
            EXPECT_EQ(rig.state(), protocol::kStateLinkPolling);
        }
        EXPECT_LT(rig.esc->firmware().image().size(), 4000u);
    }
}

TEST(UpdateAbandoned, TheAdapterComingBackStartsOverWithoutTheUpdate) {
    Rig rig;
    rig.startUpdate(4000);
    ASSERT_TRUE(rig.host.runUntil([&] { return rig.form.percents.size() == 2; }, 5000));
    rig.unplug();
    rig.host.runFor(500);
    EXPECT_FALSE(rig.host.isTimerRunning(transport::kProtocolTimer));
    rig.plugBackIn();
    const uint32_t reads = rig.controller().settingsReadCount();
    ASSERT_TRUE(
        rig.host.runUntil([&] { return rig.controller().settingsReadCount() > reads; }, 5000));
    EXPECT_EQ(rig.state(), protocol::kStateLinkPolling);
    EXPECT_FALSE(rig.esc->firmware().active());
    EXPECT_EQ(rig.esc->firmware().abandonedUpdates(), 1u);
    EXPECT_EQ(rig.update().outcome(), UpdateOutcome::Abandoned);
}

TEST(UpdateAbandoned, AnotherUpdateStartsCleanAndCompletes) {
    Rig rig;
    rig.startUpdate(4000);
    ASSERT_TRUE(rig.host.runUntil([&] { return rig.form.percents.size() == 3; }, 5000));
    rig.prompter.messageAnswers.push_back(form::MessageAnswer::Yes);
    rig.startUpdate(1537);
    ASSERT_TRUE(rig.runUntilOutcome());
    EXPECT_EQ(rig.update().outcome(), UpdateOutcome::Succeeded);
    EXPECT_EQ(rig.esc->firmware().image(), unscrambled(rig.file));
    EXPECT_TRUE(rig.esc->firmware().violations().empty());
    EXPECT_EQ(rig.esc->firmware().startedUpdates(), 2u);
    // The abandoned update's percentage goes, the new one starts from 0.
    ASSERT_GE(rig.form.percents.size(), 2u);
    EXPECT_EQ(rig.form.percents[0], "");
    EXPECT_EQ(rig.form.percents[1], "0%");
}

}  // namespace
