// The protocol controller's steps, one table of cases per rule, on a simulated adapter
// whose input each test writes tick by tick.

#include "protocol/protocol_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/controller_rig.h"
#include "protocol/settings_reply_rules.h"
#include "protocol/version_text.h"

namespace protocol::testing {
namespace {

using ::testing::ElementsAre;

std::vector<Bytes> frames(std::initializer_list<Bytes> list) {
    return list;
}

// ---- state 1 ---------------------------------------------------------------------------

TEST(AwaitAdapterVersion, OnlyTheAdapterVersionMovesOn) {
    struct Case {
        const char* name;
        Bytes input;
        uint8_t state;
        bool adapterLinked;
        std::vector<Bytes> sent;
        std::string versionText;
    };
    const Case cases[] = {
        {"version reply",
         {0xD7, 3, 0, 4, 0, 5, 7, 9},
         kStateLinkPolling,
         true,
         {{0xE1}},
         "V3.04_ 5079"},
        {"short version reply reads zeros",
         {0xD7, 2},
         kStateLinkPolling,
         true,
         {{0xE1}},
         "V2.00_ 0000"},
        {"link poll answer", {0xE1}, kStateAwaitAdapterVersion, false, {}, ""},
        {"nothing", {}, kStateAwaitAdapterVersion, false, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        ASSERT_EQ(rig.controller.protocolState(), kStateAwaitAdapterVersion);
        EXPECT_EQ(rig.tick(c.input), c.sent);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.controller.adapterLinked(), c.adapterLinked);
        EXPECT_EQ(rig.form.text(kAdapterVersionField), c.versionText);
    }
}

TEST(AwaitAdapterVersion, WaitsWithoutLimit) {
    ControllerRig rig;
    for (int i = 0; i < 500; ++i) EXPECT_TRUE(rig.tick().empty());
    EXPECT_EQ(rig.controller.protocolState(), kStateAwaitAdapterVersion);
}

// ---- version texts ----------------------------------------------------------------------

TEST(VersionText, AdapterPadsFirstBuildWithSpaceSecondWithZero) {
    struct Case {
        Bytes reply;
        const char* text;
    };
    const Case cases[] = {
        {{0xD7, 3, 0, 4, 0, 5, 7, 9}, "V3.04_ 5079"},
        {{0xD7, 1, 0, 12, 0, 34, 56, 7}, "V1.12_34567"},
        {{0xD7, 255, 9, 255, 9, 255, 255, 255}, "V255.255_255255255"},
        {{0xD7, 0, 0, 0, 0, 0, 0, 0}, "V0.00_ 0000"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatAdapterVersion(c.reply.data()), c.text);
}

TEST(VersionText, EscPadsAllBuildFieldsWithZeros) {
    struct Case {
        Bytes reply;
        const char* text;
    };
    const Case cases[] = {
        {{0, 3, 1, 2, 3, 4, 5}, "V1.02_030405"},
        {{0xE2, 3, 10, 20, 30, 40, 50}, "V10.20_304050"},
        {{0, 0, 0, 0, 0, 0, 0}, "V0.00_000000"},
        {{0, 0, 2, 100, 200, 7, 255}, "V2.100_20007255"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatEscVersion(c.reply.data()), c.text);
}

// ---- state 2 ----------------------------------------------------------------------------

TEST(LinkPolling, AnswersLeadToIdentificationOrKeepAlive) {
    struct Case {
        const char* name;
        bool settingsLoaded;
        Bytes input;
        uint8_t state;
        std::vector<Bytes> sent;
        bool escLinked;
        std::vector<std::string> modelCalls;
    };
    const Case cases[] = {
        {"poll answer, nothing read yet", false, {0xE1}, kStateAwaitEscVersion, {{0xE2}}, true, {}},
        {"poll answer, settings loaded", true, {0xE1}, kStateLinkPolling, {{0xE1}}, true, {}},
        {"family-7 answer, nothing read",
         false,
         {0xFD},
         kStateAwaitFamily7Settings,
         {{0xF1}},
         true,
         {"arrangeAbc"}},
        // Only a family-7 ESC answers 0xFD: after a family-3 read it is another ESC.
        {"family-7 answer after a family-3 read",
         true,
         {0xFD},
         kStateAwaitFamily7Settings,
         {{0xF1}},
         true,
         {"arrangeAbc"}},
        {"silence", true, {}, kStateLinkPolling, {{0xE1}}, true, {}},
        {"garbage", true, {0x55, 0xE1}, kStateLinkPolling, {{0xE1}}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.settingsLoaded) {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        } else {
            rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        }
        if (!c.settingsLoaded) {
            rig.tick({0xE1});
            rig.tick({1});  // a short version reply: back to polling, ESC linked
        }
        rig.model.clear();
        EXPECT_EQ(rig.tick(c.input), c.sent);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.controller.escLinked(), c.escLinked);
        EXPECT_EQ(rig.model.names(), c.modelCalls);
    }
}

TEST(LinkPolling, TheFiftySecondSilentTickDeclaresTheLoss) {
    struct Case {
        const char* name;
        bool family7;
        bool settingsLoadedAfterLoss;
    };
    const Case cases[] = {
        {"family 3 forgets its settings", false, false},
        {"family 7 keeps them", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        }
        ASSERT_TRUE(rig.controller.settingsLoaded());
        const uint32_t repaints = rig.host.repaintCount();
        for (int i = 1; i <= 51; ++i) {
            EXPECT_EQ(rig.tick(), frames({{0xE1}}));
            ASSERT_TRUE(rig.controller.escLinked()) << "tick " << i;
        }
        EXPECT_EQ(rig.controller.missCount(), 51);
        EXPECT_EQ(rig.tick(), frames({{0xE1}}));
        EXPECT_FALSE(rig.controller.escLinked());
        EXPECT_EQ(rig.controller.missCount(), kLinkLostMark);
        EXPECT_EQ(rig.host.repaintCount(), repaints + 1);
        EXPECT_EQ(rig.controller.settingsLoaded(), c.settingsLoadedAfterLoss);
        // The loss stays declared: no further repaint, polling goes on.
        for (int i = 0; i < 100; ++i) EXPECT_EQ(rig.tick(), frames({{0xE1}}));
        EXPECT_EQ(rig.host.repaintCount(), repaints + 1);
        EXPECT_EQ(rig.controller.missCount(), kLinkLostMark);
    }
}

TEST(LinkPolling, RecoveryReadsAgainUnlessFamily7) {
    struct Case {
        const char* name;
        bool family7;
        Bytes answer;
        std::vector<Bytes> sent;
        uint8_t state;
    };
    const Case cases[] = {
        {"family 3 asks for the version again", false, {0xE1}, {{0xE2}}, kStateAwaitEscVersion},
        // Family 7 keeps its settings, but checks that the same ESC came back.
        {"family 7 checks its settings", true, {0xFD}, {{0xF1}}, kStateAwaitFamily7Settings},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        }
        for (int i = 0; i < 60; ++i) rig.tick();
        ASSERT_FALSE(rig.controller.escLinked());
        EXPECT_EQ(rig.tick(c.answer), c.sent);
        EXPECT_TRUE(rig.controller.escLinked());
        EXPECT_EQ(rig.controller.missCount(), 0);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
    }
}

TEST(LinkPolling, AnAnswerBeforeTheLimitResetsTheCount) {
    ControllerRig rig;
    rig.linkUp(settings::kFamilyCarTurbo, 14);
    for (int i = 0; i < 51; ++i) rig.tick();
    rig.tick({0xE1});
    EXPECT_EQ(rig.controller.missCount(), 0);
    rig.tick({0, settings::kFamilyCarTurbo, 1, 2, 3, 4, 5});  // the same ESC: polling again
    ASSERT_EQ(rig.controller.protocolState(), kStateLinkPolling);
    for (int i = 0; i < 51; ++i) rig.tick();
    EXPECT_TRUE(rig.controller.escLinked());
}

TEST(LinkPolling, KeepAliveResendsTheLastCommandByte) {
    // After an abandoned update the abort byte stays in the TxFrame and is what the polling
    // repeats.
    ControllerRig rig;
    rig.linkUp(settings::kFamilyCarTurbo, 14);
    rig.controller.escUpdateCommand(true);
    rig.controller.abortUpdate();
    EXPECT_EQ(rig.controller.lastTxFrame(), Bytes({0xD4}));
    EXPECT_EQ(rig.tick({0xE1}), frames({{0xD4}}));
    EXPECT_EQ(rig.controller.protocolState(), kStateLinkPolling);
}

// ---- state 3 ----------------------------------------------------------------------------

TEST(AwaitEscVersion, ReplyLengthDecides) {
    struct Case {
        const char* name;
        uint32_t length;
        uint8_t state;
        std::vector<Bytes> sent;
        uint8_t missCount;
        uint8_t firstByte = 0x03;
    };
    const Case cases[] = {
        {"nothing", 0, kStateAwaitEscVersion, {{0xE2}}, 1},
        {"one byte", 1, kStateLinkPolling, {{0xE1}}, 0},
        {"six bytes", 6, kStateLinkPolling, {{0xE1}}, 0},
        {"seven bytes", 7, kStateAwaitSettings, {{0xE3}}, 0},
        {"eight bytes", 8, kStateAwaitEscVersion, {{0xE2}}, 1},
        {"sixty bytes", 60, kStateAwaitEscVersion, {{0xE2}}, 1},
        // A late link-poll answer: the version is still on its way, nothing more is asked.
        {"a poll answer alone", 1, kStateAwaitEscVersion, {}, 1, 0xE1},
        {"a poll answer before the version", 8, kStateAwaitSettings, {{0xE3}}, 0, 0xE1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        rig.tick({0xE1});
        ASSERT_EQ(rig.controller.protocolState(), kStateAwaitEscVersion);
        Bytes reply(c.length, 0x03);
        if (!reply.empty())
            reply[0] = c.firstByte;
        EXPECT_EQ(rig.tick(reply), c.sent);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.controller.missCount(), c.missCount);
    }
}

TEST(AwaitEscVersion, StoresTheIdentificationBytes) {
    ControllerRig rig;
    rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
    rig.tick({0xE1});
    rig.tick({0xE2, 9, 2, 7, 8, 29, 31});
    const settings::EscInfo esc = rig.controller.escInfo();
    EXPECT_EQ(esc.variant, 0xE2);  // byte 0 is not compared with anything
    EXPECT_EQ(esc.family, 9);
    EXPECT_EQ(esc.major, 2);
    EXPECT_EQ(esc.byte5, 29);
    EXPECT_EQ(esc.byte6, 31);
    EXPECT_EQ(rig.form.text(kEscVersionField), "V2.07_082931");
}

TEST(AwaitEscVersion, TwentyBadTicksThenTheTwentyFirstDecides) {
    struct Case {
        const char* name;
        uint32_t lastLength;
        bool gaveUp;
        uint8_t state;
    };
    const Case cases[] = {
        {"a 7-byte reply is still taken", 7, false, kStateAwaitSettings},
        {"a 21st silent tick gives up", 0, true, kStateLinkPolling},
        {"a 21st 8-byte reply gives up", 8, true, kStateLinkPolling},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        rig.tick({0xE1});
        for (int i = 0; i < 20; ++i) ASSERT_EQ(rig.tick(), frames({{0xE2}}));
        EXPECT_EQ(rig.controller.missCount(), 20);
        EXPECT_TRUE(rig.prompter.messages().empty());
        bool timerStoppedDuringBox = false;
        rig.prompter.setOnMessage(
            [&] { timerStoppedDuringBox = !rig.host.isTimerRunning(transport::kProtocolTimer); });
        const auto sent = rig.tick(Bytes(c.lastLength, 0x03));
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        if (c.gaveUp) {
            EXPECT_THAT(rig.prompter.messages(), ElementsAre("Failed to get ESC Version"));
            EXPECT_TRUE(timerStoppedDuringBox);
            EXPECT_FALSE(rig.controller.escLinked());
            EXPECT_EQ(rig.controller.missCount(), 0);
            EXPECT_EQ(sent, frames({{0xE1}}));
            EXPECT_TRUE(rig.host.isTimerRunning(transport::kProtocolTimer));
            EXPECT_EQ(rig.host.timerPeriod(transport::kProtocolTimer), 30u);
        } else {
            EXPECT_TRUE(rig.prompter.messages().empty());
            EXPECT_EQ(sent, frames({{0xE3}}));
        }
    }
}

// ---- state 4 ----------------------------------------------------------------------------

TEST(AwaitSettings, AcceptedLengthsPerFamily) {
    struct Case {
        uint8_t family;
        uint8_t variant;
        std::vector<uint32_t> accepted;
        std::vector<uint32_t> rejected;
        uint32_t pauseMs;  // before a rejected reply is asked for again
        const char* arrangement;
    };
    const Case cases[] = {
        {1, 0, {11}, {10, 12, 1}, 100, "arrangeAir"}, {2, 0, {11, 12}, {10, 13}, 0, "arrangeCar"},
        {3, 0, {14}, {13, 15}, 0, "arrangeCar"},      {4, 0, {12}, {11, 13}, 100, "arrangeAir"},
        {5, 0, {6}, {5, 7}, 100, "arrangeMultiBoat"}, {6, 0, {6}, {5, 7}, 100, "arrangeMultiBoat"},
        {8, 0, {15, 16}, {14, 17}, 0, "arrangeCar"},  {9, 6, {19}, {17, 18, 20}, 0, "arrangeCar"},
        {9, 5, {17, 18}, {16, 19}, 0, "arrangeCar"},  {9, 0xE2, {17, 18}, {19}, 0, "arrangeCar"},
        {0, 0, {1, 6, 14, 59, 200}, {}, 0, nullptr},  {7, 0, {1, 11, 120}, {}, 0, nullptr},
        {10, 0, {1, 2, 33}, {}, 0, nullptr},
    };
    for (const Case& c : cases) {
        for (uint32_t length : c.rejected) {
            SCOPED_TRACE("family " + std::to_string(c.family) + " variant " +
                         std::to_string(c.variant) + " rejects " + std::to_string(length));
            ControllerRig rig;
            rig.identify(c.family, c.variant);
            rig.model.clear();
            const uint64_t slept = rig.clock.sleptMs();
            EXPECT_EQ(rig.tick(Bytes(length, 0x20)), frames({{0xE3}}));
            EXPECT_EQ(rig.clock.sleptMs() - slept, c.pauseMs);
            EXPECT_EQ(rig.controller.protocolState(), kStateAwaitSettings);
            EXPECT_FALSE(rig.controller.settingsLoaded());
            EXPECT_TRUE(rig.model.calls().empty());
        }
        for (uint32_t length : c.accepted) {
            SCOPED_TRACE("family " + std::to_string(c.family) + " variant " +
                         std::to_string(c.variant) + " accepts " + std::to_string(length));
            ControllerRig rig;
            rig.identify(c.family, c.variant);
            rig.model.clear();
            Bytes reply(length);
            for (uint32_t i = 0; i < length; ++i) reply[i] = static_cast<uint8_t>(0x40 + i);
            // More than one report's worth arrives in pieces within the tick.
            EXPECT_EQ(rig.tick(reply), frames({{0xE1}}));
            EXPECT_EQ(rig.controller.protocolState(), kStateLinkPolling);
            EXPECT_TRUE(rig.controller.settingsLoaded());
            EXPECT_EQ(rig.controller.escInfo().settingsLength, length);
            EXPECT_EQ(rig.controller.lastSettingsReply(), reply);
            std::vector<std::string> expected;
            if (c.arrangement != nullptr)
                expected.push_back(c.arrangement);
            expected.push_back("fill");
            expected.push_back("decode");
            EXPECT_EQ(rig.model.names(), expected);
            ASSERT_FALSE(rig.model.calls().empty());
            EXPECT_EQ(rig.model.calls().back().frame, reply);
            EXPECT_EQ(rig.form.text(kStatusField), kOkeyEnglish);
        }
    }
}

TEST(AwaitSettings, SilenceRepeatsTheQueryWithoutLimit) {
    ControllerRig rig;
    rig.identify(settings::kFamilyAir);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(rig.tick(), frames({{0xE3}}));
    EXPECT_EQ(rig.controller.protocolState(), kStateAwaitSettings);
    EXPECT_EQ(rig.clock.sleptMs(), 0u);  // no pause on silence
}

TEST(AwaitSettings, DecodeSeesZerosBehindTheReply) {
    ControllerRig rig;
    rig.identify(settings::kFamilyMulti);
    rig.tick(Bytes(30, 0x77));  // rejected, fills the buffer on this tick only
    rig.model.setDecodeBytes(10);
    rig.tick({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(rig.model.calls().back().frame, (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}));
}

TEST(AwaitSettings, TheModelSeesTheIdentification) {
    ControllerRig rig;
    rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
    rig.tick({0xE1});
    rig.tick({6, 9, 2, 1, 0, 2, 29});
    rig.tick(Bytes(19, 0x01));
    for (const ModelCall& call : rig.model.calls()) {
        EXPECT_EQ(call.esc.family, 9);
        EXPECT_EQ(call.esc.variant, 6);
        EXPECT_EQ(call.esc.major, 2);
        EXPECT_EQ(call.esc.byte5, 2);
        EXPECT_EQ(call.esc.byte6, 29);
        EXPECT_EQ(call.esc.settingsLength, 19);
    }
}

// ---- state 17 ---------------------------------------------------------------------------

TEST(AwaitFamily7Settings, LengthAndShift) {
    struct Case {
        const char* name;
        uint32_t length;
        bool taken;
        Bytes decoded;  // first 8 bytes the decoder sees
    };
    const Case cases[] = {
        {"eight bytes", 8, false, {}},
        {"nine bytes lose one", 9, true, {2, 3, 4, 5, 6, 7, 8, 9}},
        {"ten bytes lose two", 10, true, {3, 4, 5, 6, 7, 8, 9, 10}},
        {"eleven bytes as they came", 11, true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"twelve bytes as they came", 12, true, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        rig.tick({0xFD});
        ASSERT_EQ(rig.controller.protocolState(), kStateAwaitFamily7Settings);
        rig.model.clear();
        rig.model.setDecodeBytes(8);
        Bytes reply(c.length);
        for (uint32_t i = 0; i < c.length; ++i) reply[i] = static_cast<uint8_t>(i + 1);
        EXPECT_EQ(rig.tick(reply), frames({{0xE1}}));
        EXPECT_EQ(rig.controller.protocolState(), kStateLinkPolling);
        EXPECT_EQ(rig.controller.settingsLoaded(), c.taken);
        if (c.taken) {
            EXPECT_EQ(rig.model.names(), (std::vector<std::string>{"fill", "decode"}));
            const Bytes& seen = rig.model.calls().back().frame;
            EXPECT_EQ(Bytes(seen.begin(), seen.begin() + 8), c.decoded);
            EXPECT_EQ(rig.controller.escInfo().settingsLength, c.length);
            EXPECT_EQ(rig.controller.lastSettingsReply(), reply);
            EXPECT_EQ(rig.form.text(kStatusField), kOkeyEnglish);
        } else {
            EXPECT_TRUE(rig.model.calls().empty());
            // The next 0xFD asks again.
            EXPECT_EQ(rig.tick({0xFD}), frames({{0xF1}}));
        }
    }
}

// ---- commands ---------------------------------------------------------------------------

enum class Command { Read, Send, Defaults, Update };

void run(ControllerRig& rig, Command command) {
    switch (command) {
        case Command::Read:
            rig.controller.readSettingCommand();
            break;
        case Command::Send:
            rig.controller.sendSettingCommand();
            break;
        case Command::Defaults:
            rig.controller.restoreDefaultCommand();
            break;
        case Command::Update:
            rig.controller.escUpdateCommand(true);
            break;
    }
}

TEST(Commands, RefusedUnlessBothLinksAreUp) {
    struct Case {
        const char* name;
        int stage;  // 0: adapter silent, 1: adapter linked, 2: ESC lost after link-up
    };
    const Case cases[] = {{"no adapter version", 0}, {"no ESC answer", 1}, {"ESC lost", 2}};
    const Command commands[] = {Command::Read, Command::Send, Command::Defaults, Command::Update};
    for (const Case& c : cases) {
        for (Command command : commands) {
            SCOPED_TRACE(std::string(c.name) + " command " + std::to_string(int(command)));
            ControllerRig rig;
            if (c.stage >= 1)
                rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
            if (c.stage == 2) {
                rig.linkUp(settings::kFamilyCarTurbo, 14);
                for (int i = 0; i < 52; ++i) rig.tick();
            }
            const uint8_t state = rig.controller.protocolState();
            const std::string status = rig.form.text(kStatusField);
            rig.model.clear();
            EXPECT_TRUE(rig.sentBy([&] { run(rig, command); }).empty());
            EXPECT_THAT(rig.prompter.messages(), ElementsAre(kLinkDownEnglish));
            EXPECT_EQ(rig.prompter.icons().at(0), form::MessageIcon::Warning);
            EXPECT_EQ(rig.controller.protocolState(), state);
            EXPECT_EQ(rig.form.text(kStatusField), status);
            EXPECT_TRUE(rig.model.calls().empty());
            EXPECT_TRUE(rig.host.isTimerRunning(transport::kProtocolTimer));
        }
    }
}

TEST(Commands, StartTheirExchange) {
    struct Case {
        const char* name;
        Command command;
        bool family7;
        std::vector<Bytes> sent;
        uint8_t state;
        std::vector<std::string> modelCalls;
        const char* status;
        uint32_t period;
        uint64_t pauseMs;
    };
    const Bytes frame{0xF2, 0x01, 0x02, 0xD1};
    const Case cases[] = {
        {"read", Command::Read, false, {{0xE3}}, kStateAwaitSettings, {}, kReadingEnglish, 30, 0},
        {"read family 7",
         Command::Read,
         true,
         {{0xF1}},
         kStateAwaitFamily7Settings,
         {},
         kReadingEnglish,
         30,
         100},
        {"send",
         Command::Send,
         false,
         {frame},
         kStateWriteSettle,
         {"encode", "clear"},
         kSendingEnglish,
         30,
         0},
        {"send family 7 keeps the form",
         Command::Send,
         true,
         {frame},
         kStateWriteSettle,
         {"encode"},
         kSendingEnglish,
         30,
         0},
        {"defaults",
         Command::Defaults,
         false,
         {frame},
         kStateWriteSettle,
         {"defaults", "clear"},
         kSendingEnglish,
         30,
         0},
        {"defaults family 7 clears too",
         Command::Defaults,
         true,
         {frame},
         kStateWriteSettle,
         {"defaults", "clear"},
         kSendingEnglish,
         30,
         0},
        {"update",
         Command::Update,
         false,
         {{0xE4}},
         kStateUpdateHandshake,
         {},
         kOkeyEnglish,
         50,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        }
        rig.model.clear();
        rig.model.setWriteFrame(frame);
        const uint64_t slept = rig.clock.sleptMs();
        EXPECT_EQ(rig.sentBy([&] { run(rig, c.command); }), c.sent);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.model.names(), c.modelCalls);
        EXPECT_EQ(rig.form.text(kStatusField), c.status);
        EXPECT_TRUE(rig.host.isTimerRunning(transport::kProtocolTimer));
        EXPECT_EQ(rig.host.timerPeriod(transport::kProtocolTimer), c.period);
        EXPECT_EQ(rig.clock.sleptMs() - slept, c.pauseMs);
        EXPECT_TRUE(rig.prompter.messages().empty());
        if (c.command == Command::Read && c.family7) {
            EXPECT_FALSE(rig.controller.settingsLoaded());
        }
    }
}

TEST(Commands, UpdateWithoutImageReturnsToPolling) {
    ControllerRig rig;
    rig.linkUp(settings::kFamilyCarTurbo, 14);
    EXPECT_EQ(rig.sentBy([&] { rig.controller.escUpdateCommand(false); }), frames({{0xE1}}));
    EXPECT_EQ(rig.controller.protocolState(), kStateLinkPolling);
    EXPECT_EQ(rig.host.timerPeriod(transport::kProtocolTimer), 30u);
}

TEST(Commands, TakeOverMidExchangeAndDrainStaleInput) {
    struct Case {
        const char* name;
        Command command;
        uint8_t stateAfter;
    };
    const Case cases[] = {
        {"read", Command::Read, kStateAwaitSettings},
        {"send", Command::Send, kStateWriteSettle},
        {"defaults", Command::Defaults, kStateWriteSettle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.linkUp(settings::kFamilyCarTurbo, 14);
        rig.controller.readSettingCommand();
        ASSERT_EQ(rig.controller.protocolState(), kStateAwaitSettings);
        // A settings reply of the right length is pending when the command starts: it must
        // not be taken for the answer to the new command.
        rig.port.queueInput(kRigPath, Bytes(14, 0x5A));
        rig.model.clear();
        run(rig, c.command);
        EXPECT_EQ(rig.controller.protocolState(), c.stateAfter);
        EXPECT_EQ(rig.port.pendingInputReports(), 0u);
        rig.model.clear();
        rig.tick();
        EXPECT_TRUE(rig.model.calls().empty());
    }
}

TEST(Commands, SendWithAnUnencodableFormSendsNothing) {
    ControllerRig rig;
    rig.linkUp(settings::kFamilyCarTurbo, 14);
    rig.model.setEncodable(false);
    rig.model.clear();
    const std::string status = rig.form.text(kStatusField);
    EXPECT_TRUE(rig.sentBy([&] { rig.controller.sendSettingCommand(); }).empty());
    EXPECT_THAT(rig.prompter.messages(), ElementsAre(kNoSelectionEnglish));
    EXPECT_EQ(rig.model.names(), (std::vector<std::string>{"encode"}));
    EXPECT_EQ(rig.controller.protocolState(), kStateLinkPolling);
    EXPECT_EQ(rig.form.text(kStatusField), status);
    EXPECT_TRUE(rig.host.isTimerRunning(transport::kProtocolTimer));
    // Polling goes on with the link poll, not with a half-built frame.
    EXPECT_EQ(rig.tick({0xE1}), frames({{0xE1}}));
}

TEST(Commands, LanguageRereadNeedsOnlyTheEsc) {
    struct Case {
        const char* name;
        bool family7;
        bool escLinked;
        std::vector<Bytes> sent;
    };
    const Case cases[] = {
        {"linked", false, true, {{0xE3}}},
        {"linked family 7 without pause", true, true, {{0xF1}}},
        {"not linked", false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        }
        if (!c.escLinked) {
            for (int i = 0; i < 52; ++i) rig.tick();
        }
        rig.form.setText(kStatusField, "before");
        const uint64_t slept = rig.clock.sleptMs();
        EXPECT_EQ(rig.sentBy([&] { rig.controller.rereadSettingsAfterLanguageChange(); }), c.sent);
        EXPECT_EQ(rig.form.text(kStatusField), "before");
        EXPECT_EQ(rig.clock.sleptMs(), slept);
        EXPECT_TRUE(rig.prompter.messages().empty());
    }
}

// ---- state 5 ----------------------------------------------------------------------------

TEST(WriteSettle, TwentyTicksThenSleepAndReadBack) {
    struct Case {
        const char* name;
        bool family7;
        uint8_t chinese;
        bool withChineseKey;
        Bytes readBack;
        uint8_t state;
        uint64_t pauseMs;
        std::string status;
    };
    const Case cases[] = {
        {"english", false, 0, true, {0xE3}, kStateAwaitSettings, 1000, kOkeyEnglish},
        {"chinese", false, 1, true, {0xE3}, kStateAwaitSettings, 1000, kWriteDoneChinese},
        {"chinese without the key", false, 1, false, {0xE3}, kStateAwaitSettings, 1000, ""},
        {"family 7", true, 0, true, {0xF1}, kStateAwaitFamily7Settings, 1100, kOkeyEnglish},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        useRigLanguageFile(c.withChineseKey);
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(settings::kFamilyCarTurbo, 14);
        }
        i18n::g_chineseSelected = c.chinese;
        rig.controller.sendSettingCommand();
        const uint64_t slept = rig.clock.sleptMs();
        for (int i = 1; i < 20; ++i) {
            // Input is dropped while the ESC stores the frame.
            ASSERT_TRUE(rig.tick({0xE1}).empty()) << "tick " << i;
            EXPECT_EQ(rig.controller.writeWaitTicks(), i);
        }
        EXPECT_EQ(rig.clock.sleptMs(), slept);
        EXPECT_EQ(rig.tick(), frames({c.readBack}));
        EXPECT_EQ(rig.clock.sleptMs() - slept, c.pauseMs);
        EXPECT_EQ(rig.controller.writeWaitTicks(), 0);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.form.text(kStatusField), c.status);
        EXPECT_EQ(rig.controller.txLength(), 1u);
        if (c.family7) {
            EXPECT_FALSE(rig.controller.settingsLoaded());
        }
        i18n::g_chineseSelected = 0;
    }
}

// ---- removal and the tick guard ------------------------------------------------------------

TEST(Removal, ClearsTheFlagsAndStopsTheTicks) {
    ControllerRig rig;
    rig.linkUp(settings::kFamilyCarTurbo, 14);
    rig.link.onDeviceChange(rig.port.unplug(kRigPath));
    EXPECT_FALSE(rig.controller.adapterLinked());
    EXPECT_FALSE(rig.controller.escLinked());
    EXPECT_FALSE(rig.controller.settingsLoaded());
    EXPECT_FALSE(rig.host.isTimerRunning(transport::kProtocolTimer));
    EXPECT_TRUE(rig.tick().empty());
    // The version fields keep their texts.
    EXPECT_FALSE(rig.form.text(kEscVersionField).empty());
}

TEST(ReplyRules, FirstMatchingRowWins) {
    EXPECT_EQ(findSettingsReplyRule(9, 6)->lengths[0], 19);
    EXPECT_EQ(findSettingsReplyRule(9, 7)->lengths[0], 17);
    EXPECT_EQ(findSettingsReplyRule(7, 0), nullptr);
    EXPECT_FALSE(acceptsSettingsLength(nullptr, 0));
}

TEST(AwaitEscVersion, TheAdapterMayGoWhileTheGiveUpBoxIsOpen) {
    struct Case {
        const char* name;
        bool comesBack;
        uint8_t state;
    };
    const Case cases[] = {
        {"pulled out", false, kStateAwaitEscVersion},
        {"pulled out and opened again", true, kStateAwaitAdapterVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        rig.tick({0xE1});
        for (int i = 0; i < 20; ++i) rig.tick();
        rig.prompter.setOnMessage([&] {
            rig.link.onDeviceChange(rig.port.unplug(kRigPath));
            if (c.comesBack) {
                rig.link.onDeviceChange(rig.port.plugIn(kRigPath, std::make_shared<SilentPeer>()));
                rig.link.openAdapter();
            }
        });
        const auto sent = rig.tick();
        EXPECT_EQ(rig.prompter.messages().size(), 1u);
        EXPECT_TRUE(sent.empty());
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.host.isTimerRunning(transport::kProtocolTimer), c.comesBack);
    }
}

TEST(Commands, AWriteFixesTheFamily8Layout) {
    struct Case {
        uint8_t family;
        bool readFirst;
        uint8_t lengthAfter;
    };
    const Case cases[] = {
        {8, false, 16},  // before any settings arrived: the long layout
        {8, true, 15},
        {3, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.family) + (c.readFirst ? " read" : " not read"));
        ControllerRig rig;
        rig.identify(c.family);
        if (c.readFirst)
            rig.tick(Bytes(15, 0x01));
        rig.controller.restoreDefaultCommand();
        EXPECT_EQ(rig.controller.protocolState(), kStateWriteSettle);
        EXPECT_EQ(rig.controller.escInfo().settingsLength, c.lengthAfter);
    }
}

}  // namespace
}  // namespace protocol::testing

namespace protocol::testing {
namespace {

// ---- identity and the joined answers of a late ESC ----------------------------------

constexpr uint8_t kTurbo = settings::kFamilyCarTurbo;
const Bytes kTurboVersion{0, kTurbo, 1, 2, 3, 4, 5};  // what ControllerRig::identify sends

TEST(Identity, ASilenceLeadsToACheckThatKeepsTheFormOnlyForTheSameEsc) {
    struct Case {
        const char* name;
        bool family7;
        int silentTicks;
        Bytes answer;              // the first answer after the silence
        std::vector<Bytes> asked;  // what that answer leads to
        Bytes identity;            // the reply to that question (empty: none)
        uint8_t state;             // after the reply
        bool settingsLoaded;       // after the reply
        bool decoded;              // the form was filled anew
    };
    const Bytes family7Settings(11, 0x11);  // what ControllerRig::linkUpFamily7 reads
    const Case cases[] = {
        {"a short gap is no swap", false, 4, {0xE1}, {{0xE1}}, {}, kStateLinkPolling, true, false},
        {"the same ESC", false, 5, {0xE1}, {{0xE2}}, kTurboVersion, kStateLinkPolling, true, false},
        {"another version",
         false,
         5,
         {0xE1},
         {{0xE2}},
         {0, kTurbo, 2, 2, 3, 4, 5},
         kStateAwaitSettings,
         false,
         false},
        {"another family",
         false,
         5,
         {0xE1},
         {{0xE2}},
         {0, 2, 1, 2, 3, 4, 5},
         kStateAwaitSettings,
         false,
         false},
        {"a family-7 ESC in place of family 3",
         false,
         0,
         {0xFD},
         {{0xF1}},
         family7Settings,
         kStateLinkPolling,
         true,
         true},
        {"family 7 with the same settings",
         true,
         5,
         {0xFD},
         {{0xF1}},
         family7Settings,
         kStateLinkPolling,
         true,
         false},
        {"family 7 with other settings",
         true,
         5,
         {0xFD},
         {{0xF1}},
         Bytes(11, 0x12),
         kStateLinkPolling,
         true,
         true},
        {"another family in place of family 7",
         true,
         0,
         {0xE1},
         {{0xE2}},
         kTurboVersion,
         kStateAwaitSettings,
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        if (c.family7) {
            rig.linkUpFamily7();
        } else {
            rig.linkUp(kTurbo, 14);
        }
        for (int i = 0; i < c.silentTicks; ++i) rig.tick();
        EXPECT_EQ(rig.tick(c.answer), c.asked);
        // Until the answer to a question, nothing may be written to this ESC.
        if (c.asked != frames({{0xE1}})) {
            EXPECT_FALSE(rig.controller.formMatchesEsc());
        }
        rig.model.clear();
        if (!c.identity.empty())
            rig.tick(c.identity);
        EXPECT_EQ(rig.controller.protocolState(), c.state);
        EXPECT_EQ(rig.controller.settingsLoaded(), c.settingsLoaded);
        EXPECT_EQ(!rig.model.calls().empty(), c.decoded);
        EXPECT_EQ(rig.controller.formMatchesEsc(), c.settingsLoaded);
    }
}

TEST(Identity, WritesGoOnlyToTheEscTheFormWasReadFrom) {
    struct Case {
        const char* name;
        void (*prepare)(ControllerRig&);
        bool sendAllowed;
        bool defaultsAllowed;
    };
    const Case cases[] = {
        {"settings read", [](ControllerRig& r) { r.linkUp(kTurbo, 14); }, true, true},
        {"identified, not read", [](ControllerRig& r) { r.identify(kTurbo); }, false, true},
        {"identity in doubt after a silence",
         [](ControllerRig& r) {
             r.linkUp(kTurbo, 14);
             for (int i = 0; i < 6; ++i) r.tick();
             r.tick({0xE1});
         },
         false, false},
        {"another ESC not read yet",
         [](ControllerRig& r) {
             r.linkUp(kTurbo, 14);
             for (int i = 0; i < 6; ++i) r.tick();
             r.tick({0xE1});
             r.tick({0, 2, 1, 2, 3, 4, 5});
         },
         false, true},
    };
    const Bytes frame{0xF2, 0x01, 0x02, 0xD1};
    for (const Case& c : cases) {
        for (const bool defaults : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (defaults ? ", defaults" : ", send"));
            ControllerRig rig;
            c.prepare(rig);
            rig.model.setWriteFrame(frame);
            rig.prompter.clear();
            const uint8_t state = rig.controller.protocolState();
            const std::vector<Bytes> sent =
                rig.sentBy([&] { run(rig, defaults ? Command::Defaults : Command::Send); });
            const bool allowed = defaults ? c.defaultsAllowed : c.sendAllowed;
            EXPECT_EQ(sent, allowed ? std::vector<Bytes>{frame} : std::vector<Bytes>{});
            EXPECT_EQ(rig.prompter.messages().size(), allowed ? 0u : 1u);
            if (!allowed) {
                EXPECT_EQ(rig.controller.protocolState(), state);
                EXPECT_TRUE(rig.host.isTimerRunning(transport::kProtocolTimer));
            }
        }
    }
}

TEST(AwaitSettings, JoinedAnswersOfALateEsc) {
    struct Case {
        const char* name;
        uint8_t family;
        Bytes reply;
        bool taken;
        uint8_t settingsLength;
    };
    const auto settings = [](uint32_t length, uint8_t first = 1) {
        Bytes b(length);
        for (uint32_t i = 0; i < length; ++i) b[i] = static_cast<uint8_t>(first + i);
        return b;
    };
    const auto joined = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {"two answers to a repeated query", kTurbo, joined(settings(14), settings(14)), true, 14},
        {"two different halves", kTurbo, joined(settings(14), settings(14, 2)), false, 0},
        // No family's first byte is a poll answer: one in front is the late answer to the
        // poll sent before the command, and not part of the settings.
        {"a late poll answer before the settings", kTurbo, joined({0xE1}, settings(14)), true, 14},
        // 12 is a family-2 length too: the poll answer must not pass for its first byte.
        {"a poll answer in front of an accepted length", 2, joined({0xE1}, settings(11)), true, 11},
        {"a family-7 poll answer in front", 8, joined({0xFD}, settings(15)), true, 15},
        {"a poll answer alone", kTurbo, {0xE1}, false, 0},
        {"a poll answer before too short a reply", kTurbo, joined({0xE1}, settings(13)), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.identify(c.family);
        rig.model.clear();
        const std::vector<Bytes> sent = rig.tick(c.reply);
        EXPECT_EQ(rig.controller.settingsLoaded(), c.taken);
        EXPECT_EQ(sent, c.taken ? frames({{0xE1}}) : frames({{0xE3}}));
        if (c.taken) {
            EXPECT_EQ(rig.controller.escInfo().settingsLength, c.settingsLength);
            EXPECT_EQ(rig.controller.lastSettingsReply(), settings(c.settingsLength));
        } else {
            EXPECT_TRUE(rig.model.calls().empty());
        }
    }
}

TEST(AwaitFamily7Settings, WaitsAFewTicksAndNeverTakesAPollAnswerForSettings) {
    struct Case {
        const char* name;
        std::vector<Bytes> replies;  // one per tick after the query
        std::vector<std::vector<Bytes>> sent;
        bool taken;
    };
    const Bytes settings(11, 0x21);
    Bytes joined{0xFD, 0xF1, 0x08};
    joined.insert(joined.end(), 8, 0x21);
    const Case cases[] = {
        {"an answer two ticks late", {{}, {}, settings}, {{}, {}, {{0xE1}}}, true},
        {"no answer: back to polling", {{}, {}, {}, {}}, {{}, {}, {}, {{0xE1}}}, false},
        {"a poll answer joined in front is dropped", {joined}, {{{0xE1}}}, true},
        {"a poll answer alone is no reply yet", {{0xFD}, settings}, {{}, {{0xE1}}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        rig.tick({0xD7, 1, 0, 2, 0, 3, 4, 5});
        rig.tick({0xFD});
        rig.model.clear();
        rig.model.setDecodeBytes(8);
        for (size_t i = 0; i < c.replies.size(); ++i)
            EXPECT_EQ(rig.tick(c.replies[i]), c.sent[i]) << "tick " << i;
        EXPECT_EQ(rig.controller.settingsLoaded(), c.taken);
        if (c.taken) {
            const Bytes& seen = rig.model.calls().back().frame;
            EXPECT_EQ(Bytes(seen.begin(), seen.begin() + 8), Bytes(8, 0x21));
        }
    }
}

TEST(Pauses, TheTickAfterABlockingPauseComesAWholePeriodLater) {
    struct Case {
        const char* name;
        void (*drive)(ControllerRig&);  // ends with the pause inside a tick
        uint32_t pauseMs;
    };
    const Case cases[] = {
        // Family 1 pauses before asking again for a reply of the wrong length.
        {"retry pause",
         [](ControllerRig& r) {
             r.identify(settings::kFamilyAir);
             r.port.queueInput(kRigPath, Bytes(5, 1));
         },
         kRetryPauseMs},
        {"write settle",
         [](ControllerRig& r) {
             r.linkUp(kTurbo, 14);
             r.model.setWriteFrame({0xF2, 1, 0xD1});
             r.controller.sendSettingCommand();
             for (int i = 0; i + 1 < kWriteSettleTicks; ++i) r.controller.protocolTick();
         },
         kWriteSettleSleepMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        c.drive(rig);
        std::vector<uint64_t> ticks;
        rig.host.setTimerHandler(transport::kProtocolTimer, [&] {
            ticks.push_back(rig.host.elapsedMs());
            rig.controller.protocolTick();
        });
        rig.host.startTimer(transport::kProtocolTimer, transport::kProtocolPeriodMs);
        rig.host.runFor(transport::kProtocolPeriodMs + c.pauseMs +
                        2 * transport::kProtocolPeriodMs);
        ASSERT_GE(ticks.size(), 2u);
        // The query sent at the end of the pause has a whole period to be answered.
        EXPECT_EQ(ticks[1] - ticks[0], c.pauseMs + transport::kProtocolPeriodMs);
        EXPECT_EQ(rig.controller.protocolState(), kStateAwaitSettings);
    }
}

TEST(AdapterReopened, StartsWithNothingKnownOfTheLastEsc) {
    ControllerRig rig;
    rig.linkUp(kTurbo, 14);
    ASSERT_TRUE(rig.controller.formMatchesEsc());
    const uint32_t repaints = rig.host.repaintCount();
    // A second adapter arrives and the link moves to it.
    rig.port.plugIn("/dev/hidraw-sim1", std::make_shared<SilentPeer>());
    rig.link.onDeviceChange({transport::DeviceEventKind::Arrival, "/dev/hidraw-sim1"});
    rig.link.openAdapter();
    EXPECT_EQ(rig.controller.protocolState(), kStateAwaitAdapterVersion);
    EXPECT_FALSE(rig.controller.adapterLinked());
    EXPECT_FALSE(rig.controller.escLinked());
    EXPECT_FALSE(rig.controller.settingsLoaded());
    EXPECT_FALSE(rig.controller.escIdentified());
    EXPECT_GT(rig.host.repaintCount(), repaints);
    // The adapter's version and a poll answer lead to a new identification.
    const auto tickOnSecond = [&](const Bytes& input) {
        rig.port.queueInput("/dev/hidraw-sim1", input);
        rig.port.clearLog();
        rig.controller.protocolTick();
        return rig.port.sentPayloads();
    };
    tickOnSecond({0xD7, 1, 0, 2, 0, 3, 4, 5});
    EXPECT_EQ(tickOnSecond({0xE1}), frames({{0xE2}}));
}

}  // namespace
}  // namespace protocol::testing
