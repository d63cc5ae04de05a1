#include "sim/esc_emulator.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "link/link_adapter.h"
#include "sim/esc_config.h"
#include "support/recording_host.h"

namespace sim {
namespace {

std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

EscConfig configFrom(const std::string& options) {
    EscConfig config;
    std::string error;
    EXPECT_TRUE(parseSimOptions(options, config, error)) << error;
    return config;
}

// Joins the bytes of every reply of one command.
std::vector<uint8_t> joined(const std::vector<PeerReply>& replies) {
    std::vector<uint8_t> bytes;
    for (const PeerReply& r : replies) bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
    return bytes;
}

// --- Factory parameter sets ---

struct DefaultsCase {
    uint8_t family;
    uint8_t variant;
    uint8_t major;
    const char* params;
};

class FactoryParamsTest : public ::testing::TestWithParam<DefaultsCase> {};

TEST_P(FactoryParamsTest, MatchTheDefaultFrame) {
    const DefaultsCase& c = GetParam();
    EXPECT_EQ(EscEmulator::factoryParams(c.family, c.variant, c.major), hex(c.params));
}

// The rows where the set depends on more than the family.
INSTANTIATE_TEST_SUITE_P(
    Conditions, FactoryParamsTest,
    ::testing::Values(
        DefaultsCase{2, 0, 1, "02 02 04 18 E0 7C 05 00 03 00 00"},
        DefaultsCase{2, 0, 3, "02 02 13 18 E0 7C 05 00 03 00 00"},
        DefaultsCase{8, 0, 3, "02 02 13 18 E0 7C 05 00 03 00 00 09 04 04 01 00"},
        DefaultsCase{9, 6, 1, "01 00 04 04 02 02 03 00 18 E0 7C 05 01 09 00 01 06 00 05"},
        DefaultsCase{9, 5, 1, "01 00 04 04 02 02 03 00 18 E0 7C 05 01 09 00 01 06 00"},
        DefaultsCase{10, 0, 1, "00 00 00 00 00 00 00 00"}));

// --- Replies per command and family ---

struct ReplyCase {
    const char* name;
    const char* options;
    const char* command;
    const char* reply;  // all reply bytes joined; empty: no answer
};

class EscReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(EscReplyTest, AnswersTheCommand) {
    const ReplyCase& c = GetParam();
    EscEmulator esc(configFrom(c.options));
    EXPECT_EQ(joined(esc.onData(hex(c.command))), hex(c.reply));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EscReplyTest,
    ::testing::Values(
        ReplyCase{"poll", "family=3", "E1", "E1"},
        ReplyCase{"poll_family7", "family=7", "E1", "FD"},
        ReplyCase{"version", "variant=6,family=9,major=2,minor=3,b4=4,b5=2,b6=29", "E2",
                  "06 09 02 03 04 02 1D"},
        ReplyCase{"version_hex_values", "variant=0xE2,family=1", "E2", "E2 01 01 02 10 0C 05"},
        ReplyCase{"settings_family1", "family=1", "E3", "00 01 00 04 03 01 01 01 01 0C 0C"},
        ReplyCase{"settings_family5", "family=5", "E3", "03 01 01 01 19 E4"},
        ReplyCase{"settings_given_params", "family=2,params=0102030405060708090A0B0C", "E3",
                  "01 02 03 04 05 06 07 08 09 0A 0B 0C"},
        ReplyCase{"family7_query_11", "family=7,f7len=11,params=0102030405060708", "F1",
                  "01 02 03 04 05 06 07 08 24 00 D1"},
        ReplyCase{"family7_query_10", "family=7,f7len=10,params=0102030405060708", "F1",
                  "F1 08 01 02 03 04 05 06 07 08"},
        ReplyCase{"family7_query_9", "family=7,f7len=9,params=0102030405060708", "F1",
                  "F1 01 02 03 04 05 06 07 08"},
        ReplyCase{"family7_query_not_known_to_others", "family=3", "F1", ""},
        ReplyCase{"write_has_no_answer", "family=6", "F2 00 00 00 00 00 00 D1", ""},
        ReplyCase{"unknown_command", "family=3", "A5", ""},
        ReplyCase{"short_version", "family=3,verlen=5", "E2", "01 03 01 02 10"},
        ReplyCase{"long_version", "family=3,verlen=8", "E2", "01 03 01 02 10 0C 05 00"},
        ReplyCase{"wrong_settings_length_cut", "family=5,setlen=4", "E3", "03 01 01 01"},
        ReplyCase{"wrong_settings_length_padded", "family=5,setlen=8", "E3",
                  "03 01 01 01 19 E4 00 00"},
        ReplyCase{"stale_after_poll", "family=3,stale=E3E3", "E1", "E1 E3 E3"},
        ReplyCase{"silent_always", "family=3,silent=always", "E1", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The settings reply has a length the receiving side accepts for the family ---

struct LengthCase {
    const char* options;
    size_t length;
};

class SettingsLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(SettingsLengthTest, DefaultReplyLength) {
    EscEmulator esc(configFrom(GetParam().options));
    EXPECT_EQ(joined(esc.onData({kSettingsQuery})).size(), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Families, SettingsLengthTest,
                         ::testing::Values(LengthCase{"family=1", 11}, LengthCase{"family=2", 11},
                                           LengthCase{"family=3", 14}, LengthCase{"family=4", 12},
                                           LengthCase{"family=5", 6}, LengthCase{"family=6", 6},
                                           LengthCase{"family=8", 16},
                                           LengthCase{"family=9,variant=6", 19},
                                           LengthCase{"family=9,variant=5", 18}));

// --- Family 7: each framing carries the stored bytes where the receiver looks ---

class Family7FramingTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Family7FramingTest, DataBytesAlignByLength) {
    EscConfig config = configFrom("family=7,params=1112131415161718");
    config.family7ReplyLength = GetParam();
    EscEmulator esc(config);
    std::vector<uint8_t> reply = joined(esc.onData({kFamily7SettingsQuery}));
    ASSERT_EQ(reply.size(), GetParam());
    // The receiver drops two leading bytes of a 10-byte reply and one of a 9-byte one.
    const size_t offset = reply.size() == 10 ? 2 : reply.size() == 9 ? 1 : 0;
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + offset, reply.begin() + offset + 8),
              hex("1112131415161718"));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Family7FramingTest, ::testing::Values(9u, 10u, 11u));

// --- Writes are stored and read back ---

struct WriteCase {
    const char* name;
    const char* options;
    const char* frame;
    const char* readBack;  // reply to the next settings query
    bool stored;
};

class EscWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(EscWriteTest, NextReadReturnsWhatWasStored) {
    const WriteCase& c = GetParam();
    EscEmulator esc(configFrom(c.options));
    esc.onData(hex(c.frame));
    const bool abc = esc.config().family == kFamilyAbc;
    EXPECT_EQ(joined(esc.onData({abc ? kFamily7SettingsQuery : kSettingsQuery})), hex(c.readBack));
    EXPECT_EQ(esc.storedWrites(), c.stored ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, EscWriteTest,
    ::testing::Values(
        WriteCase{"family6", "family=6", "F2 05 04 03 02 01 00 D1", "05 04 03 02 01 00", true},
        WriteCase{"family9_variant6", "family=9,variant=6",
                  "F2 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 D1",
                  "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13", true},
        WriteCase{"family7", "family=7,f7len=11", "F2 08 07 06 05 04 03 02 01 D1",
                  "08 07 06 05 04 03 02 01 24 00 D1", true},
        WriteCase{"no_terminator_ignored", "family=5", "F2 01 02 03 04 05 06", "03 01 01 01 19 E4",
                  false},
        WriteCase{"bare_command_ignored", "family=5", "F2", "03 01 01 01 19 E4", false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Silence for a number of commands, then answers again ---

TEST(EscFaults, SilentForNCommandsThenAnswers) {
    EscEmulator esc(configFrom("family=3,silent=3"));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(esc.onData({kLinkPoll}).empty()) << i;
    EXPECT_EQ(joined(esc.onData({kLinkPoll})), hex("E1"));
    EXPECT_EQ(esc.commandCount(kLinkPoll), 4u);
    EXPECT_EQ(esc.ignoredCommands(), 3u);

    esc.silenceFor(1);
    EXPECT_TRUE(esc.onData({kEscVersionQuery}).empty());
    EXPECT_EQ(joined(esc.onData({kEscVersionQuery})).size(), kEscVersionReplyLength);
}

TEST(EscFaults, LatencyAndStaleDelayTimeTheReplies) {
    EscEmulator esc(configFrom("family=3,latency=45,stale=E1,staledelay=10"));
    const auto replies = esc.onData({kLinkPoll});
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].delayMs, 45u);
    EXPECT_EQ(replies[1].delayMs, 55u);
}

struct AdapterReplyCase {
    const char* options;
    const char* reply;
};

class AdapterReplyTest : public ::testing::TestWithParam<AdapterReplyCase> {};

TEST_P(AdapterReplyTest, AnswersTheConnectReport) {
    EscEmulator esc(configFrom(GetParam().options));
    EXPECT_EQ(joined(esc.onConnect()), hex(GetParam().reply));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, AdapterReplyTest,
    ::testing::Values(AdapterReplyCase{"adapter=3.4.5.7.9", "D7 03 00 04 00 05 07 09"},
                      AdapterReplyCase{"adapter=0x10.0.255.1.2", "D7 10 00 00 00 FF 01 02"},
                      AdapterReplyCase{"adapter=none", ""},
                      AdapterReplyCase{"", "D7 01 00 05 00 14 0C 01"}));

// --- Through the port: a whole conversation on the virtual clock ---

std::vector<uint8_t> readNow(transport::LinkAdapter& adapter) {
    std::vector<uint8_t> buffer(200, 0);
    uint32_t received = 0;
    EXPECT_TRUE(adapter.readFrames(buffer, adapter.fullRequestLength(), received));
    buffer.resize(received);
    return buffer;
}

TEST(SimulatedDevice, ConversationWithLatency) {
    transport::VirtualClock clock;
    std::shared_ptr<EscEmulator> esc;
    EscConfig config = configFrom("family=5,latency=40,adapter=2.3.4.5.6");
    auto port = makeSimulatedDevice(config, &clock, &esc);
    ASSERT_TRUE(esc);
    testing_support::RecordingHost host;
    transport::LinkAdapter adapter(*port, host, clock);
    adapter.startLink();
    EXPECT_EQ(adapter.devicePath(), kSimAdapterPath);
    adapter.openAdapter();
    ASSERT_TRUE(adapter.isOpen());
    // The adapter's own version is as late as every other answer.
    clock.advance(39);
    EXPECT_TRUE(readNow(adapter).empty());
    clock.advance(1);
    EXPECT_EQ(readNow(adapter), hex("D7 02 00 03 00 04 05 06"));

    const uint8_t query = kSettingsQuery;
    adapter.writeFrame({&query, 1});
    clock.advance(39);
    EXPECT_TRUE(readNow(adapter).empty());
    clock.advance(1);
    EXPECT_EQ(readNow(adapter), hex("03 01 01 01 19 E4"));
    EXPECT_EQ(esc->commandCount(kSettingsQuery), 1u);
}

TEST(SimulatedDevice, StalePollEchoIsDrainedBeforeTheNextCommand) {
    transport::VirtualClock clock;
    // Answers at once: the stale bytes' own delay is what this test times, and the reads
    // below take exactly what is due.
    auto port =
        makeSimulatedDevice(configFrom("family=1,stale=E1E1E1,staledelay=5,latency=0"), &clock);
    testing_support::RecordingHost host;
    transport::LinkAdapter adapter(*port, host, clock);
    adapter.startLink();
    adapter.openAdapter();
    readNow(adapter);

    const uint8_t poll = kLinkPoll;
    adapter.writeFrame({&poll, 1});
    EXPECT_EQ(readNow(adapter), hex("E1"));
    clock.advance(5);
    adapter.drainInput();
    const uint8_t query = kSettingsQuery;
    adapter.writeFrame({&query, 1});
    EXPECT_EQ(readNow(adapter).size(), 11u);  // the family-1 frame alone
}

TEST(SimulatedDevice, AnswersComeLateWithJitterAndInTheirOrder) {
    struct Case {
        const char* options;
        uint32_t earliestMs;
        uint32_t latestMs;
    };
    const Case cases[] = {
        {"", kRealisticLatencyMs, kRealisticLatencyMs + kRealisticJitterMs},  // the default
        {"latency=8", 8, 8},  // a delay given alone is exact
        {"latency=0", 0, 0},
        {"latency=20,jitter=15,seed=7", 20, 35},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        transport::VirtualClock clock;
        auto port = makeSimulatedDevice(configFrom(std::string("family=3,") + c.options), &clock);
        testing_support::RecordingHost host;
        transport::LinkAdapter adapter(*port, host, clock);
        adapter.startLink();
        adapter.openAdapter();
        clock.advance(1000);
        readNow(adapter);
        // Commands 1 ms apart, a poll and a settings query in turn: every answer arrives
        // within its bounds, and never before the answer to an earlier command.
        std::vector<uint8_t> order;
        std::vector<uint32_t> sentAt;
        std::set<uint32_t> delays;
        size_t answered = 0;
        for (uint32_t ms = 0; ms < 400; ++ms) {
            if (ms < 200) {
                const uint8_t command = ms % 2 == 0 ? kLinkPoll : kSettingsQuery;
                adapter.writeFrame({&command, 1});
                sentAt.push_back(ms);
            }
            const std::vector<uint8_t> got = readNow(adapter);
            for (size_t i = 0; i < got.size();) {
                const bool poll = got[i] == kLinkPoll;
                ASSERT_LT(answered, sentAt.size());
                EXPECT_EQ(poll, answered % 2 == 0) << "answer " << answered;
                const uint32_t late = ms - sentAt[answered];
                EXPECT_GE(late, c.earliestMs);
                // An answer may wait behind a later-jittered one, never more than the spread.
                EXPECT_LE(late, c.latestMs + (c.latestMs - c.earliestMs));
                delays.insert(late);
                i += poll ? 1 : 14;
                ++answered;
            }
            clock.advance(1);
        }
        EXPECT_EQ(answered, 200u);
        EXPECT_EQ(delays.size() > 1, c.latestMs > c.earliestMs);
    }
}

// --- A bench of ESCs swapped on the lead ---

namespace bench {

// Which family answers each of `commands` version queries; 0 for silence.
std::vector<int> familiesAnswering(EscEmulator& esc, int commands) {
    std::vector<int> families;
    for (int i = 0; i < commands; ++i) {
        const std::vector<uint8_t> reply = joined(esc.onData({kEscVersionQuery}));
        families.push_back(reply.size() >= 2 ? reply[1] : 0);
    }
    return families;
}

}  // namespace bench

TEST(EscBench, EachEscStaysItsCommandsThenTheLeadIsEmptyForTheGap) {
    struct Case {
        const char* options;
        std::vector<int> families;
    };
    const Case cases[] = {
        {"escs=3,1,escstay=3,escgap=2", {3, 3, 3, 0, 0, 1, 1, 1, 1, 1}},
        {"escs=3,1,6,escstay=2,escgap=1", {3, 3, 0, 1, 1, 0, 6, 6, 6}},
        {"escs=5,2,escstay=2,escgap=0", {5, 5, 2, 2, 2}},
        {"family=4,escstay=2,escgap=1", {4, 4, 4, 4}},  // no bench: the one ESC stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        EscEmulator esc(configFrom(c.options));
        EXPECT_EQ(bench::familiesAnswering(esc, static_cast<int>(c.families.size())), c.families);
    }
}

TEST(EscBench, EveryEscComesWithItsOwnSettingsAndTheAnswersStayLate) {
    EscConfig first = configFrom("escs=3,1,escstay=2,escgap=1,params=0102030405060708090A0B0C0D0E");
    EscEmulator esc(first);
    EXPECT_EQ(esc.settingsReply(), hex("0102030405060708090A0B0C0D0E"));
    bench::familiesAnswering(esc, 3);
    EXPECT_EQ(esc.escIndex(), 1u);
    EXPECT_EQ(esc.settingsReply(), EscEmulator::factoryParams(1, first.variant, first.major));
    // The jitter of the first ESC goes on for the next.
    std::set<uint32_t> delays;
    for (int i = 0; i < 20; ++i) {
        for (const PeerReply& r : esc.onData({kLinkPoll})) delays.insert(r.delayMs);
    }
    EXPECT_GT(delays.size(), 1u);
    EXPECT_GE(*delays.begin(), kRealisticLatencyMs);
}

TEST(EscBench, AnEscQueuedByATestBringsItsOwnFaults) {
    // Instant answers: this looks at which ESC answers and what it stores, not when.
    EscEmulator esc(configFrom("family=3,latency=0"));
    EscConfig worn = configFrom("family=6,latency=0,stuck=2");
    esc.queueEsc(worn);
    esc.unplugEsc(2);
    EXPECT_TRUE(esc.leadEmpty());
    EXPECT_EQ(bench::familiesAnswering(esc, 3), (std::vector<int>{0, 0, 6}));
    const std::vector<uint8_t> before = esc.storedParams();
    std::vector<uint8_t> frame = {kSettingsWriteStart};
    for (size_t i = 0; i < before.size(); ++i) frame.push_back(0x0F);
    frame.push_back(kSettingsWriteEnd);
    esc.onData(frame);
    std::vector<uint8_t> expected(before.size(), 0x0F);
    expected[1] = before[1];  // P2 keeps what it held
    EXPECT_EQ(esc.storedParams(), expected);
    // Nobody queued after it: once pulled, the lead stays empty.
    esc.unplugEsc(0);
    EXPECT_EQ(bench::familiesAnswering(esc, 3), (std::vector<int>{0, 0, 0}));
}

}  // namespace
}  // namespace sim
