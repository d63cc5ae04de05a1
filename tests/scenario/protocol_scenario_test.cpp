// Conversations with the ESC emulator on the virtual clock: link-up, link loss, the
// version and settings exchanges with their faults, writes and their read-back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "form/control_ids.h"
#include "protocol/command_set.h"
#include "scenario/scenario_rig.h"

namespace scenario {
namespace {

using protocol::kStateAwaitEscVersion;
using protocol::kStateAwaitFamily7Settings;
using protocol::kStateAwaitSettings;
using protocol::kStateLinkPolling;
using ::testing::ElementsAre;

constexpr uint8_t kPoll = protocol::kLinkPoll;
constexpr uint8_t kVersion = protocol::kEscVersionQuery;
constexpr uint8_t kQuery = protocol::kSettingsQuery;
constexpr uint8_t kF7Query = protocol::kFamily7SettingsQuery;

TEST(LinkUp, FromTheOpenToAFilledForm) {
    struct Case {
        const char* name;
        uint8_t family;
        std::vector<uint8_t> commands;  // the first frames' command bytes
        uint8_t settingsLength;
    };
    const Case cases[] = {
        {"family 3", 3, {kPoll, kVersion, kQuery, kPoll}, 14},
        {"family 6", 6, {kPoll, kVersion, kQuery, kPoll}, 6},
        {"family 7 skips the version", 7, {kPoll, kF7Query, kPoll}, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s(Scenario::family(c.family));
        // The window's first open attempt comes 500 ms after start-up.
        EXPECT_TRUE(s.runUntil([&] { return s.port->isOpen(); }, 600));
        EXPECT_EQ(s.host.elapsedMs(), 500u);
        EXPECT_EQ(s.controller().protocolState(), protocol::kStateAwaitAdapterVersion);
        ASSERT_TRUE(s.linkUp());
        EXPECT_EQ(s.controller().protocolState(), kStateLinkPolling);
        EXPECT_EQ(s.controller().escInfo().settingsLength, c.settingsLength);
        EXPECT_EQ(s.trace.commands(), c.commands);
        EXPECT_EQ(s.form.text(form::kEditAdapterVersion), "V1.05_20121");
        EXPECT_EQ(s.form.text(form::kEditStatus), i18n::LookupUiText("okey"));
        EXPECT_FALSE(s.form.text(form::kEditStatus).empty());
        // Steady state: a link poll on every 30 ms tick.
        s.trace.clear();
        s.runTicks(10);
        EXPECT_EQ(s.trace.count(kPoll), 10u);
        EXPECT_EQ(s.trace.commands().size(), 10u);
        EXPECT_EQ(s.host.timerPeriod(transport::kProtocolTimer), 30u);
    }
}

TEST(LinkUp, TheFormShowsTheStoredParameters) {
    sim::EscConfig config = Scenario::family(6);
    Scenario s(config);
    const Bytes stored = s.esc->storedParams();
    ASSERT_TRUE(s.linkUp());
    EXPECT_EQ(s.controller().lastSettingsReply(), stored);
    // P1 of family 6 is the list 1038, by index.
    EXPECT_EQ(s.form.selection(1038), stored[0]);
    EXPECT_GT(s.form.itemCount(1038), 0);
}

TEST(VersionTexts, ShownExactlyAsFormatted) {
    struct Case {
        std::array<uint8_t, 5> adapter;
        uint8_t major, minor, b4, b5, b6;
        const char* adapterText;
        const char* escText;
    };
    const Case cases[] = {
        {{3, 4, 5, 7, 9}, 1, 2, 3, 4, 5, "V3.04_ 5079", "V1.02_030405"},
        {{1, 12, 34, 56, 7}, 10, 0, 0, 0, 0, "V1.12_34567", "V10.00_000000"},
        {{0, 0, 0, 0, 0}, 2, 99, 100, 255, 1, "V0.00_ 0000", "V2.99_10025501"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escText);
        sim::EscConfig config;
        config.adapter = c.adapter;
        config.major = c.major;
        config.minor = c.minor;
        config.b4 = c.b4;
        config.b5 = c.b5;
        config.b6 = c.b6;
        Scenario s(config);
        ASSERT_TRUE(s.runUntil([&] { return s.controller().escVersionCount() > 0; }));
        EXPECT_EQ(s.form.text(form::kEditAdapterVersion), c.adapterText);
        EXPECT_EQ(s.form.text(form::kEditEscVersion), c.escText);
        EXPECT_EQ(s.controller().escInfo().major, c.major);
        EXPECT_EQ(s.controller().escInfo().byte5, c.b5);
        EXPECT_EQ(s.controller().escInfo().byte6, c.b6);
    }
}

TEST(LinkLoss, DeclaredOnTheFiftySecondSilentTickAndRecovered) {
    struct Case {
        const char* name;
        uint8_t family;
        bool keepsSettings;
        uint8_t firstAfterRecovery;  // what follows the first answer again
    };
    const Case cases[] = {
        {"family 3 reads again", 3, false, kVersion},
        // Family 7 keeps its settings through the loss, but checks that the same ESC and
        // the same settings came back.
        {"family 7 keeps its settings", 7, true, kF7Query},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s(Scenario::family(c.family));
        ASSERT_TRUE(s.linkUp());
        s.runTicks(3);
        s.esc->setSilentForever(true);
        s.runTicks(1);  // takes the answer to the poll sent before the silence
        ASSERT_TRUE(s.controller().escLinked());
        const uint32_t repaints = s.host.repaintCount();
        for (int silent = 1; silent <= 51; ++silent) {
            s.runTicks(1);
            ASSERT_TRUE(s.controller().escLinked()) << "silent tick " << silent;
        }
        s.runTicks(1);
        EXPECT_FALSE(s.controller().escLinked());
        EXPECT_TRUE(s.controller().adapterLinked());
        EXPECT_EQ(s.host.repaintCount(), repaints + 1);
        EXPECT_EQ(s.controller().settingsLoaded(), c.keepsSettings);
        // Polling goes on without a message.
        s.trace.clear();
        s.runTicks(40);
        EXPECT_EQ(s.trace.count(kPoll), 40u);
        EXPECT_TRUE(s.prompter.messages().empty());

        s.esc->setSilentForever(false);
        s.trace.clear();
        ASSERT_TRUE(s.runUntil([&] { return s.controller().escLinked(); }, 200));
        const std::vector<uint8_t> commands = s.trace.commands();
        ASSERT_GE(commands.size(), 2u);
        EXPECT_EQ(commands.back(), c.firstAfterRecovery);
        const uint32_t reads = s.controller().settingsReadCount();
        ASSERT_TRUE(s.runUntil([&] {
            return s.controller().protocolState() == kStateLinkPolling &&
                   s.controller().settingsLoaded();
        }));
        // Family 7's same settings keep the form; family 3's are read anew.
        EXPECT_EQ(s.controller().settingsReadCount() > reads, !c.keepsSettings);
    }
}

TEST(EscVersion, ShortRepliesGoBackToPollingWithoutMisses) {
    sim::EscConfig config;
    config.versionReplyLength = 6;
    Scenario s(config);
    ASSERT_TRUE(s.runUntil([&] { return s.controller().escLinked(); }));
    s.runFor(3000);
    EXPECT_TRUE(s.prompter.messages().empty());
    EXPECT_GT(s.trace.count(kVersion), 20u);  // never given up on
    EXPECT_EQ(s.trace.count(kQuery), 0u);
    EXPECT_LE(s.controller().missCount(), 1);
}

TEST(EscVersion, GiveUpOnTheTwentyFirstBadTick) {
    struct Case {
        const char* name;
        uint32_t replyLength;  // of every version reply
        uint32_t silentVersionQueries;
        bool givesUp;
    };
    const Case cases[] = {
        {"eight bytes are a miss", 8, 0, true},
        {"silence", 7, 21, true},
        {"the 21st query answered in time", 7, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::EscConfig config;
        config.versionReplyLength = c.replyLength;
        Scenario s(config);
        // The adapter's version is in and the ESC's first poll answer is on its way.
        ASSERT_TRUE(s.runUntil([&] { return s.controller().adapterLinked(); }));
        s.esc->silenceFor(c.silentVersionQueries);
        ASSERT_TRUE(s.runUntil([&] {
            return !s.prompter.messages().empty() ||
                   s.controller().protocolState() == kStateAwaitSettings;
        }));
        EXPECT_EQ(s.trace.count(kVersion), 21u);
        if (c.givesUp) {
            EXPECT_THAT(s.prompter.messages(), ElementsAre("Failed to get ESC Version"));
            EXPECT_EQ(s.controller().protocolState(), kStateLinkPolling);
            EXPECT_FALSE(s.controller().escLinked());
            EXPECT_EQ(s.trace.commands().back(), kPoll);
            EXPECT_TRUE(s.host.isTimerRunning(transport::kProtocolTimer));
        } else {
            EXPECT_TRUE(s.prompter.messages().empty());
            EXPECT_EQ(s.trace.commands().back(), kQuery);
        }
    }
}

TEST(SettingsReply, AcceptedAndRejectedLengthsOfEveryFamilyRow) {
    struct Case {
        uint8_t family;
        uint8_t variant;
        int length;
        bool accepted;
        uint32_t pauseMs;  // per rejected reply
    };
    const Case cases[] = {
        {1, 1, 11, true, 0},    {1, 1, 12, false, 100}, {2, 1, 11, true, 0},   {2, 1, 12, true, 0},
        {2, 1, 13, false, 0},   {3, 1, 14, true, 0},    {3, 1, 13, false, 0},  {4, 1, 12, true, 0},
        {4, 1, 11, false, 100}, {5, 1, 6, true, 0},     {5, 1, 7, false, 100}, {6, 1, 6, true, 0},
        {6, 1, 5, false, 100},  {8, 1, 15, true, 0},    {8, 1, 16, true, 0},   {8, 1, 14, false, 0},
        {9, 6, 19, true, 0},    {9, 6, 17, false, 0},   {9, 5, 17, true, 0},   {9, 5, 18, true, 0},
        {9, 5, 19, false, 0},   {0, 1, 3, true, 0},     {0, 1, 40, true, 0},   {10, 1, 1, true, 0},
        {10, 1, 25, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family) + " variant " +
                     std::to_string(c.variant) + " length " + std::to_string(c.length));
        sim::EscConfig config = Scenario::family(c.family, c.variant);
        config.settingsReplyLength = c.length;
        Scenario s(config);
        ASSERT_TRUE(
            s.runUntil([&] { return s.controller().protocolState() == kStateAwaitSettings; }));
        const uint64_t slept = s.clock.sleptMs();
        s.trace.clear();
        s.runTicks(10);
        EXPECT_EQ(s.controller().settingsLoaded(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(s.controller().escInfo().settingsLength, c.length);
            EXPECT_EQ(s.controller().protocolState(), kStateLinkPolling);
            EXPECT_EQ(s.controller().lastSettingsReply().size(), size_t(c.length));
        } else {
            EXPECT_EQ(s.controller().protocolState(), kStateAwaitSettings);
            // Every tick reads a wrong reply and asks again.
            EXPECT_EQ(s.trace.count(kQuery), 10u);
            EXPECT_EQ(s.clock.sleptMs() - slept, 10u * c.pauseMs);
        }
    }
}

TEST(Family7, ReplyFramingsAndTheReadPause) {
    struct Case {
        uint32_t replyLength;
    };
    const Case cases[] = {{9}, {10}, {11}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replyLength);
        sim::EscConfig config = Scenario::family(7);
        config.params = {1, 2, 3, 4, 5, 6, 7, 8};
        config.family7ReplyLength = c.replyLength;
        Scenario s(config);
        ASSERT_TRUE(s.linkUp());
        EXPECT_EQ(s.controller().escInfo().settingsLength, c.replyLength);
        // "Read Setting" waits 100 ms before asking a family-7 ESC.
        const uint64_t slept = s.clock.sleptMs();
        const uint32_t reads = s.controller().settingsReadCount();
        s.controller().readSettingCommand();
        EXPECT_EQ(s.clock.sleptMs() - slept, 100u);
        EXPECT_EQ(s.controller().protocolState(), kStateAwaitFamily7Settings);
        ASSERT_TRUE(s.runUntil([&] { return s.controller().settingsReadCount() > reads; }));
    }
}

TEST(Commands, RefusedWhileTheLinkIsDown) {
    struct Case {
        const char* name;
        bool loseEsc;
    };
    const Case cases[] = {{"before the adapter answered", false}, {"ESC lost", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s;
        if (c.loseEsc) {
            ASSERT_TRUE(s.linkUp());
            s.esc->setSilentForever(true);
            ASSERT_TRUE(s.runUntil([&] { return !s.controller().escLinked(); }));
        }
        const std::string before = s.form.text(form::kEditStatus);
        const int selection = s.form.selection(1036);
        s.trace.clear();
        s.controller().readSettingCommand();
        s.controller().sendSettingCommand();
        s.controller().restoreDefaultCommand();
        EXPECT_TRUE(s.trace.entries().empty());
        const std::string warning = i18n::LookupUiText("linkNoEstablished");
        ASSERT_FALSE(warning.empty());
        EXPECT_THAT(s.prompter.messages(), ElementsAre(warning, warning, warning));
        EXPECT_EQ(s.form.text(form::kEditStatus), before);
        EXPECT_EQ(s.form.selection(1036), selection);
        EXPECT_EQ(s.esc->storedWrites(), 0u);
    }
}

TEST(Write, SettlesThenReadsBackWhatTheEscStored) {
    Scenario s(Scenario::family(6));
    ASSERT_TRUE(s.linkUp());
    const int wanted = s.form.selection(1038) == 1 ? 2 : 1;
    s.form.setSelection(1038, wanted);
    s.trace.clear();
    const uint64_t slept = s.clock.sleptMs();
    const uint32_t reads = s.controller().settingsReadCount();
    s.controller().sendSettingCommand();
    EXPECT_EQ(s.form.text(form::kEditStatus), i18n::LookupUiText("sending"));
    // The form is cleared until the read-back fills it.
    EXPECT_EQ(s.form.itemCount(1038), 0);
    ASSERT_TRUE(s.runUntil([&] { return s.controller().settingsReadCount() > reads; }));
    ASSERT_GE(s.trace.entries().size(), 2u);
    const auto& write = s.trace.entries().front();
    ASSERT_TRUE(write.written);
    EXPECT_EQ(write.bytes.front(), protocol::kSettingsWriteStart);
    EXPECT_EQ(write.bytes.back(), protocol::kSettingsWriteEnd);
    EXPECT_EQ(write.bytes.size(), 8u);
    EXPECT_EQ(write.bytes[1], wanted);
    EXPECT_EQ(s.esc->storedWrites(), 1u);
    // 20 ticks, then the 1000 ms sleep, then the query.
    const auto query =
        std::find_if(s.trace.entries().begin(), s.trace.entries().end(),
                     [](const auto& e) { return e.written && e.bytes[0] == kQuery; });
    ASSERT_NE(query, s.trace.entries().end());
    EXPECT_GE(query->atMs - write.atMs, 20u * 30u + 1000u);
    EXPECT_LT(query->atMs - write.atMs, 20u * 30u + 1000u + 30u);
    EXPECT_EQ(s.clock.sleptMs() - slept, 1000u);
    EXPECT_EQ(s.form.selection(1038), wanted);
    EXPECT_EQ(s.form.text(form::kEditStatus), i18n::LookupUiText("okey"));
}

TEST(Write, DefaultsAreStoredAndReadBack) {
    sim::EscConfig config = Scenario::family(3);
    Scenario s(config);
    const Bytes factory = s.esc->storedParams();
    s.esc->setStoredParams(Bytes(factory.size(), 0x01));
    ASSERT_TRUE(s.linkUp());
    const uint32_t reads = s.controller().settingsReadCount();
    s.controller().restoreDefaultCommand();
    ASSERT_TRUE(s.runUntil([&] { return s.controller().settingsReadCount() > reads; }));
    EXPECT_EQ(s.esc->storedParams(), factory);
    EXPECT_EQ(s.controller().lastSettingsReply(), factory);
}

TEST(Commands, TakeOverMidExchangeWithStaleInputDrained) {
    struct Case {
        const char* name;
        uint32_t missedQueries;
    };
    const Case cases[] = {{"prompt ESC", 0}, {"ESC misses the first query", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s(Scenario::family(3));
        ASSERT_TRUE(s.linkUp());
        // "Read Setting" interrupts a write that is still settling. A late reply of the
        // length a settings frame of this family has is pending; the ESC's real answer
        // comes only after the next tick when it misses the first query.
        const Bytes stored = s.esc->storedParams();
        s.controller().sendSettingCommand();
        s.runTicks(3);
        ASSERT_EQ(s.controller().protocolState(), protocol::kStateWriteSettle);
        s.port->queueInput(sim::kSimAdapterPath, Bytes(stored.size(), 0xEE));
        const uint32_t reads = s.controller().settingsReadCount();
        s.esc->silenceFor(c.missedQueries);
        s.controller().readSettingCommand();
        EXPECT_EQ(s.controller().protocolState(), kStateAwaitSettings);
        ASSERT_TRUE(s.runUntil([&] { return s.controller().settingsReadCount() > reads; }));
        EXPECT_EQ(s.controller().lastSettingsReply(), s.esc->storedParams());
        // The abandoned write's read-back never comes: the controller polls again.
        s.runTicks(40);
        EXPECT_EQ(s.controller().protocolState(), kStateLinkPolling);
        EXPECT_EQ(s.controller().settingsReadCount(), reads + 1);
    }
}

TEST(Removal, UnplugMidExchangeAndPlugBackIn) {
    Scenario s;
    ASSERT_TRUE(s.linkUp());
    s.controller().readSettingCommand();
    s.unplug();
    EXPECT_FALSE(s.controller().adapterLinked());
    EXPECT_FALSE(s.host.isTimerRunning(transport::kProtocolTimer));
    s.runFor(1000);
    s.plugBackIn();
    EXPECT_EQ(s.host.timerPeriod(transport::kOpenTimer), 200u);
    ASSERT_TRUE(s.linkUp());
}

}  // namespace
}  // namespace scenario
