// The firmware update's rules tick by tick: the acknowledgement collector, the start
// pause of the air families, the silent-tick limit of a block, the collector carried
// from one update into the next, and where the progress display is left.

#include "protocol/firmware_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/controller_rig.h"

namespace protocol::testing {
namespace {

const Bytes kOk = {kAckFirst, kAckSecond};

// ---- the collector -----------------------------------------------------------------------

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::vector<std::string> pairsThenOk(size_t pairs) {
    std::vector<std::string> replies(pairs, "xy");
    replies.push_back("ok");
    return replies;
}

TEST(AckCollector, RecognisesOkOnlyAsTheFirstTwoOfferedBytes) {
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // one per tick; "" is an empty tick
        std::vector<bool> ack;             // after each tick
    };
    const Case cases[] = {
        {"ok in one reply", {"ok"}, {true}},
        {"o and k in two ticks", {"o", "k"}, {false, true}},
        {"an empty tick between o and k", {"o", "", "k"}, {false, false, true}},
        {"a third byte in the same reply is never looked at", {"okX"}, {true}},
        {"bytes from position 2 on are not offered", {"o", "kXYZ"}, {false, false}},
        {"k and one more after o are three bytes", {"o", "kX"}, {false, false}},
        {"the wrong order", {"ko"}, {false}},
        {"a byte before ok", {"x", "ok"}, {false, false}},
        {"two acknowledgements without reset", {"ok", "ok"}, {true, false}},
        {"another letter pair", {"OK"}, {false}},
        // A count of 8 bits would wrap to 0 after 256 bytes and take this "ok".
        {"the count does not wrap", pairsThenOk(128), std::vector<bool>(129, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AckCollector collector;
        ASSERT_EQ(c.replies.size(), c.ack.size());
        for (size_t i = 0; i < c.replies.size(); ++i) {
            const Bytes reply = text(c.replies[i]);
            EXPECT_EQ(collector.collectAck(reply), c.ack[i]) << "after reply " << i;
        }
    }
}

TEST(AckCollector, ResetTakesAcknowledgementsAgain) {
    AckCollector collector;
    const Bytes three = text("okX");
    const Bytes one = text("o");
    collector.collectAck(one);
    collector.collectAck(three);
    ASSERT_FALSE(collector.holdsAck());
    collector.reset();
    EXPECT_EQ(collector.count(), 0u);
    EXPECT_TRUE(collector.collectAck(kOk));
}

// ---- the update on the controller ----------------------------------------------------------

// Records when a frame went out relative to the tick's read.
class TimedTrace final : public FrameTrace {
  public:
    explicit TimedTrace(transport::Clock& clock) : m_clock(clock) {}
    void frameWritten(std::span<const uint8_t> frame) override {
        writes.push_back({m_clock.nowMs(), Bytes(frame.begin(), frame.end())});
    }
    void replyReceived(std::span<const uint8_t>) override { lastReadMs = m_clock.nowMs(); }
    struct Write {
        uint32_t atMs;
        Bytes frame;
    };
    std::vector<Write> writes;
    uint32_t lastReadMs = 0;

  private:
    transport::Clock& m_clock;
};

struct UpdateRig {
    ControllerRig rig;
    files::FirmwareImage image;
    FirmwareUpdate update{image};

    explicit UpdateRig(int32_t length = 1000, uint8_t family = 3) {
        for (int32_t i = 0; i < length; ++i) image.m_imageData[i] = static_cast<uint8_t>(i * 7);
        image.m_imageLength = length;
        rig.controller.setUpdateSession(&update);
        rig.identify(family);
    }
    void start() { rig.controller.escUpdateCommand(true); }
    // Echo and "ok": the length goes out, state 7.
    void handshake() {
        rig.tick({kUpdateRequest});
        rig.tick(kOk);
    }
    // From state 7: announce and send the next full block; state 9.
    void sendBlock() {
        rig.tick();
        rig.tick();
    }
    // A whole update answered as an ESC would.
    void runToEnd() {
        start();
        handshake();
        while (rig.controller.protocolState() != kStateUpdateAwaitLastAck) {
            const bool awaiting = rig.controller.protocolState() == kStateUpdateAwaitBlockAck;
            rig.tick(awaiting ? kOk : Bytes{});
        }
        rig.tick(kOk);
        rig.tick(kOk);
    }
    uint8_t state() const { return rig.controller.protocolState(); }
};

TEST(UpdateHandshake, AirFamiliesPauseBeforeTheStart) {
    struct Case {
        uint8_t family;
        uint32_t pauseMs;
    };
    const Case cases[] = {{1, 20}, {4, 20}, {2, 0}, {3, 0}, {5, 0}, {6, 0}, {8, 0}, {9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.family));
        UpdateRig u(1000, c.family);
        TimedTrace trace(u.rig.clock);
        u.rig.controller.setTrace(&trace);
        u.start();
        trace.writes.clear();
        u.rig.tick({kUpdateRequest});
        ASSERT_EQ(trace.writes.size(), 1u);
        EXPECT_EQ(trace.writes[0].frame, (Bytes{kUpdateCommandPrefix, kUpdateStartCode}));
        EXPECT_EQ(trace.writes[0].atMs - trace.lastReadMs, c.pauseMs);
        EXPECT_EQ(u.state(), kStateUpdateHandshake);
    }
}

TEST(UpdateHandshake, WaitsForTheEchoAndOkWithoutLimit) {
    struct Case {
        const char* name;
        std::vector<Bytes> ticks;
        std::vector<Bytes> lastSent;  // what the last tick wrote
        uint8_t state;
    };
    const Case cases[] = {
        {"silence", std::vector<Bytes>(200), {}, kStateUpdateHandshake},
        {"a wrong answer", {{0x55}}, {}, kStateUpdateHandshake},
        {"echo then ok", {{kUpdateRequest}, kOk}, {{0x03, 0xE8}}, kStateUpdateAnnounceBlock},
        {"echo, o, k", {{kUpdateRequest}, {'o'}, {'k'}}, {{0x03, 0xE8}}, kStateUpdateAnnounceBlock},
        // The echo resets the collector, so bytes before it do not count.
        {"noise, echo, ok",
         {{0x55}, {kUpdateRequest}, kOk},
         {{0x03, 0xE8}},
         kStateUpdateAnnounceBlock},
        {"echo, ok and a third byte",
         {{kUpdateRequest}, text("okz")},
         {{0x03, 0xE8}},
         kStateUpdateAnnounceBlock},
        {"echo, o, k and one more",
         {{kUpdateRequest}, {'o'}, text("kz")},
         {},
         kStateUpdateHandshake},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig u;
        u.start();
        std::vector<Bytes> sent;
        for (const Bytes& input : c.ticks) sent = u.rig.tick(input);
        EXPECT_EQ(sent, c.lastSent);
        EXPECT_EQ(u.state(), c.state);
        EXPECT_TRUE(u.rig.prompter.messages().empty());
    }
}

TEST(UpdateAwaitBlockAck, TheTwentyFirstEmptyTickFails) {
    // '.' an empty tick, 'x' a tick with one byte that is not an acknowledgement.
    struct Case {
        const char* name;
        std::string script;
        bool failed;
    };
    const Case cases[] = {
        {"twenty empty ticks", std::string(20, '.'), false},
        {"twenty-one empty ticks", std::string(21, '.'), true},
        {"a byte stops the count in its tick only", std::string(19, '.') + "x.", false},
        {"a byte resets nothing", std::string(20, '.') + "x.", true},
        {"bytes alone never fail", std::string(40, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig u;
        u.start();
        u.handshake();
        u.sendBlock();
        ASSERT_EQ(u.state(), kStateUpdateAwaitBlockAck);
        std::vector<Bytes> sent;
        for (char step : c.script) sent = u.rig.tick(step == 'x' ? Bytes{0x78} : Bytes{});
        if (!c.failed) {
            EXPECT_EQ(u.state(), kStateUpdateAwaitBlockAck);
            EXPECT_TRUE(u.rig.prompter.messages().empty());
            EXPECT_TRUE(u.rig.controller.escLinked());
            continue;
        }
        EXPECT_EQ(u.update.outcome(), UpdateOutcome::Failed);
        ASSERT_EQ(u.rig.prompter.messages().size(), 1u);
        EXPECT_EQ(u.rig.prompter.icons()[0], form::MessageIcon::Warning);
        EXPECT_EQ(sent, (std::vector<Bytes>{{kUpdateAbort}}));
        EXPECT_EQ(u.state(), kStateLinkPolling);
        EXPECT_FALSE(u.rig.controller.escLinked());
        EXPECT_EQ(u.rig.controller.missCount(), 0);
        EXPECT_EQ(u.rig.host.timerPeriod(transport::kProtocolTimer), transport::kProtocolPeriodMs);
        EXPECT_TRUE(u.rig.host.isTimerRunning(transport::kProtocolTimer));
    }
}

TEST(UpdateAwaitBlockAck, FailureStopsTheTicksWhileTheBoxIsOpen) {
    UpdateRig u;
    u.start();
    u.handshake();
    u.sendBlock();
    bool timerRanDuringBox = true;
    bool lampRepaintedBeforeBox = false;
    const uint32_t repaints = u.rig.host.repaintCount();
    u.rig.prompter.setOnMessage([&] {
        timerRanDuringBox = u.rig.host.isTimerRunning(transport::kProtocolTimer);
        lampRepaintedBeforeBox =
            u.rig.host.repaintCount() > repaints && !u.rig.controller.escLinked();
    });
    for (int i = 0; i < 21; ++i) u.rig.tick();
    EXPECT_FALSE(timerRanDuringBox);
    EXPECT_TRUE(lampRepaintedBeforeBox);
}

TEST(UpdateAwaitBlockAck, AnAdapterPulledWhileTheBoxIsOpenIsNotPolled) {
    struct Case {
        const char* name;
        bool backBeforeOk;
        uint8_t state;
        bool timerRunning;
    };
    const Case cases[] = {
        {"pulled out", false, kStateUpdateAwaitBlockAck, false},
        {"pulled out and back", true, kStateAwaitAdapterVersion, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig u(2000);
        u.start();
        u.handshake();
        u.sendBlock();
        u.rig.tick(kOk);
        u.sendBlock();
        ControllerRig& r = u.rig;
        r.prompter.setOnMessage([&] {
            r.link.onDeviceChange(r.port.unplug(kRigPath));
            if (c.backBeforeOk) {
                r.link.onDeviceChange(r.port.plugIn(kRigPath, std::make_shared<SilentPeer>()));
                r.link.openAdapter();
            }
            r.port.clearLog();
        });
        for (int i = 0; i < 21; ++i) r.tick();
        ASSERT_EQ(r.prompter.messages().size(), 1u);
        EXPECT_TRUE(r.port.sentPayloads().empty());
        EXPECT_EQ(u.state(), c.state);
        EXPECT_EQ(r.host.isTimerRunning(transport::kProtocolTimer), c.timerRunning);
        EXPECT_TRUE(r.form.isVisible(kStatusField));
        EXPECT_FALSE(r.form.isVisible(kProgressBar));
        EXPECT_FALSE(r.controller.updateInProgress());
    }
}

TEST(UpdateCollector, AnOkLeftFromTheLastUpdateDoesNotStartTheNext) {
    UpdateRig u;
    u.runToEnd();
    ASSERT_EQ(u.update.outcome(), UpdateOutcome::Succeeded);
    // The collector still holds the end's "ok"; an "ok" before the echo is the third and
    // fourth byte since then.
    u.start();
    EXPECT_TRUE(u.rig.tick(kOk).empty());
    EXPECT_EQ(u.state(), kStateUpdateHandshake);
    u.rig.tick({kUpdateRequest});
    EXPECT_EQ(u.rig.tick(kOk), (std::vector<Bytes>{{0x03, 0xE8}}));
}

TEST(UpdateHandshake, ANewUpdateNeverGoesOnFromAnAbandonedOnesOffset) {
    UpdateRig u(4096);
    u.start();
    u.handshake();
    for (int block = 0; block < 3; ++block) {
        u.sendBlock();
        u.rig.tick(kOk);
    }
    u.sendBlock();  // block 3 sent, its acknowledgement not yet in
    ASSERT_EQ(u.update.updateOffset(), 1536);
    u.rig.prompter.answerYesNo(form::MessageAnswer::Yes);
    u.rig.controller.readSettingCommand();  // abandons the update
    // A shorter image, and an ESC that acknowledges without echoing the request.
    u.image.m_imageLength = 1700;
    u.start();
    u.rig.tick(kOk);
    ASSERT_EQ(u.state(), kStateUpdateAnnounceBlock);
    EXPECT_EQ(u.update.updateOffset(), 0);
    std::vector<Bytes> frames;
    for (int ticks = 0;
         ticks < 100 && u.state() != kStateUpdateAwaitLastAck && u.state() != kStateLinkPolling;
         ++ticks) {
        const bool awaiting = u.state() == kStateUpdateAwaitBlockAck;
        for (const Bytes& f : u.rig.tick(awaiting ? kOk : Bytes{})) frames.push_back(f);
    }
    ASSERT_EQ(u.state(), kStateUpdateAwaitLastAck);
    // Blocks from 0 up, then the last one of the image's 164 remaining bytes.
    EXPECT_EQ(u.update.updateOffset(), 1536);
    std::size_t sent = 0;
    for (const Bytes& f : frames) sent += f.size();
    EXPECT_EQ(sent, 3 * (2 + 512) + 2 + 164u);  // size pairs and data of the four blocks
}

TEST(UpdateSuccess, LeavesTheLinkCheckWithSettingsToReadAgain) {
    UpdateRig u;
    u.rig.tick(Bytes(14, 1));  // family 3's settings: loaded
    ASSERT_TRUE(u.rig.controller.settingsLoaded());
    u.start();
    u.handshake();
    while (u.state() != kStateUpdateAwaitLastAck)
        u.rig.tick(u.state() == kStateUpdateAwaitBlockAck ? kOk : Bytes{});
    u.rig.tick(kOk);
    EXPECT_TRUE(u.rig.controller.updateInProgress());
    const uint64_t sleptBefore = u.rig.clock.sleptMs();
    EXPECT_EQ(u.rig.tick(kOk),
              (std::vector<Bytes>{{kUpdateCommandPrefix, kUpdateLeaveCode}, {kLinkPoll}}));
    EXPECT_EQ(u.rig.clock.sleptMs() - sleptBefore, kUpdateFinishPauseMs);
    EXPECT_EQ(u.state(), kStateLinkPolling);
    EXPECT_FALSE(u.rig.controller.settingsLoaded());
    EXPECT_FALSE(u.rig.controller.updateInProgress());
    EXPECT_EQ(u.rig.host.timerPeriod(transport::kProtocolTimer), transport::kProtocolPeriodMs);
    // The next poll answer reads version and settings anew.
    EXPECT_EQ(u.rig.tick({kLinkPollAnswer}), (std::vector<Bytes>{{kEscVersionQuery}}));
}

TEST(UpdateProgress, LastBlockSizeAndDataGoThirtyMillisecondsApart) {
    UpdateRig u(1000);
    TimedTrace trace(u.rig.clock);
    u.rig.controller.setTrace(&trace);
    u.start();
    u.handshake();
    u.sendBlock();
    u.rig.tick(kOk);
    ASSERT_EQ(u.state(), kStateUpdateSendLastBlock);
    trace.writes.clear();
    u.rig.tick();
    ASSERT_EQ(trace.writes.size(), 2u);
    EXPECT_EQ(trace.writes[0].frame, (Bytes{0x01, 0xE8}));
    EXPECT_EQ(trace.writes[1].frame,
              Bytes(u.image.m_imageData.begin() + 512, u.image.m_imageData.begin() + 1000));
    EXPECT_EQ(trace.writes[1].atMs - trace.writes[0].atMs, kLastBlockDataPauseMs);
    EXPECT_EQ(u.state(), kStateUpdateAwaitLastAck);
}

// ---- abandonment ----------------------------------------------------------------------------

TEST(UpdateAbandoned, ACommandAsksFirstAndOnlyYesAbortsTheUpdate) {
    using A = form::MessageAnswer;
    struct Case {
        const char* name;
        void (*takeOver)(ControllerRig&);
        A answer;
        bool asks;
        bool abortSent;  // UpdateAbort went out before anything else
        bool linkOpenAfter;
        UpdateOutcome outcome;
    };
    const auto read = [](ControllerRig& r) { r.controller.readSettingCommand(); };
    const Case cases[] = {
        {"read setting, yes", read, A::Yes, true, true, true, UpdateOutcome::Abandoned},
        {"read setting, no", read, A::No, true, false, true, UpdateOutcome::Running},
        // The lists' language waits for the update: its end reads the settings anyway.
        {"language change",
         [](ControllerRig& r) { r.controller.rereadSettingsAfterLanguageChange(); }, A::Yes, false,
         false, true, UpdateOutcome::Running},
        // The new update runs in place of the old one.
        {"another update, yes", [](ControllerRig& r) { r.controller.escUpdateCommand(true); },
         A::Yes, true, true, true, UpdateOutcome::Running},
        {"update without image, yes",
         [](ControllerRig& r) { r.controller.escUpdateCommand(false); }, A::Yes, true, true, true,
         UpdateOutcome::Abandoned},
        {"removal", [](ControllerRig& r) { r.link.onDeviceChange(r.port.unplug(kRigPath)); },
         A::Yes, false, false, false, UpdateOutcome::Abandoned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig u(2000);
        u.start();
        u.handshake();
        u.sendBlock();
        u.rig.tick(kOk);
        ASSERT_FALSE(u.rig.form.isVisible(kStatusField));
        ASSERT_TRUE(u.rig.form.isVisible(kProgressBar));
        ASSERT_EQ(u.rig.form.text(kPercentField), "0%");
        ASSERT_TRUE(u.rig.controller.updateInProgress());
        u.rig.prompter.clear();
        u.rig.prompter.answerYesNo(c.answer);
        const uint8_t state = u.state();
        const std::vector<Bytes> sent = u.rig.sentBy([&] { c.takeOver(u.rig); });
        EXPECT_EQ(u.rig.prompter.messages().size(), c.asks ? 1u : 0u);
        EXPECT_EQ(!sent.empty() && sent.front() == Bytes{kUpdateAbort}, c.abortSent);
        const bool displayed = c.outcome == UpdateOutcome::Running && !c.abortSent;
        EXPECT_EQ(u.rig.form.isVisible(kStatusField), !displayed);
        EXPECT_EQ(u.rig.form.isVisible(kProgressBar), displayed);
        EXPECT_EQ(u.rig.form.text(kPercentField), displayed ? "0%" : "");
        EXPECT_EQ(u.update.outcome(), c.outcome);
        EXPECT_EQ(u.rig.link.isOpen(), c.linkOpenAfter);
        if (displayed) {
            // Nothing was sent or changed: the update goes on where it stood.
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(u.state(), state);
            EXPECT_TRUE(u.rig.host.isTimerRunning(transport::kProtocolTimer));
        }
    }
}

}  // namespace
}  // namespace protocol::testing
