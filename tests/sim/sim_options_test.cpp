#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "sim/esc_config.h"

namespace sim {
namespace {

// --- Accepted option texts and what they set ---

struct GoodCase {
    const char* options;
    void (*check)(const EscConfig&);
};

class ParseSimOptionsGoodTest : public ::testing::TestWithParam<GoodCase> {};

TEST_P(ParseSimOptionsGoodTest, Sets) {
    EscConfig config;
    std::string error;
    ASSERT_TRUE(parseSimOptions(GetParam().options, config, error)) << error;
    EXPECT_TRUE(error.empty());
    GetParam().check(config);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseSimOptionsGoodTest,
    ::testing::Values(
        GoodCase{"", [](const EscConfig& c) { EXPECT_EQ(c.family, EscConfig{}.family); }},
        GoodCase{"family=9,variant=6,major=2,minor=3,b4=4,b5=2,b6=29",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.family, 9);
                     EXPECT_EQ(c.variant, 6);
                     EXPECT_EQ(c.major, 2);
                     EXPECT_EQ(c.minor, 3);
                     EXPECT_EQ(c.b4, 4);
                     EXPECT_EQ(c.b5, 2);
                     EXPECT_EQ(c.b6, 29);
                 }},
        GoodCase{"family=0x0A,b6=0xff",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.family, 10);
                     EXPECT_EQ(c.b6, 255);
                 }},
        GoodCase{"params=00ff7Cab",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.params, (std::vector<uint8_t>{0x00, 0xFF, 0x7C, 0xAB}));
                 }},
        GoodCase{"adapter=3.4.5.7.9",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.adapter, (std::array<uint8_t, 5>{3, 4, 5, 7, 9}));
                     EXPECT_TRUE(c.adapterAnswers);
                 }},
        GoodCase{"adapter=none", [](const EscConfig& c) { EXPECT_FALSE(c.adapterAnswers); }},
        GoodCase{"access=denied", [](const EscConfig& c) { EXPECT_EQ(c.openError, EACCES); }},
        GoodCase{"access=busy", [](const EscConfig& c) { EXPECT_EQ(c.openError, EBUSY); }},
        GoodCase{"access=busy,access=ok", [](const EscConfig& c) { EXPECT_EQ(c.openError, 0); }},
        GoodCase{"silent=52", [](const EscConfig& c) { EXPECT_EQ(c.silentCommands, 52u); }},
        GoodCase{"silent=always", [](const EscConfig& c) { EXPECT_TRUE(c.silentForever); }},
        GoodCase{"setlen=0,verlen=8,latency=120,f7len=10",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.settingsReplyLength, 0);
                     EXPECT_EQ(c.versionReplyLength, 8u);
                     EXPECT_EQ(c.latencyMs, 120u);
                     EXPECT_EQ(c.family7ReplyLength, 10u);
                 }},
        GoodCase{"",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.latencyMs, kRealisticLatencyMs);
                     EXPECT_EQ(c.jitterMs, kRealisticJitterMs);
                 }},
        GoodCase{"latency=0",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.latencyMs, 0u);
                     EXPECT_EQ(c.jitterMs, 0u);
                 }},
        GoodCase{"jitter=3,seed=99,latency=9",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.latencyMs, 9u);
                     EXPECT_EQ(c.jitterMs, 3u);
                     EXPECT_EQ(c.seed, 99u);
                 }},
        GoodCase{"stale=E1E1,staledelay=7",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.stale, (std::vector<uint8_t>{0xE1, 0xE1}));
                     EXPECT_EQ(c.staleDelayMs, 7u);
                 }},
        GoodCase{"family=2,family=8,", [](const EscConfig& c) { EXPECT_EQ(c.family, 8); }},
        GoodCase{"escs=3,3,1,escstay=80,escgap=0,latency=2",
                 [](const EscConfig& c) {
                     EXPECT_EQ(c.family, 3);
                     EXPECT_EQ(c.nextEscFamilies, (std::vector<uint8_t>{3, 1}));
                     EXPECT_EQ(c.escStayCommands, 80u);
                     EXPECT_EQ(c.escGapCommands, 0u);
                     EXPECT_EQ(c.latencyMs, 2u);
                 }},
        GoodCase{"escs=6", [](const EscConfig& c) { EXPECT_TRUE(c.nextEscFamilies.empty()); }},
        GoodCase{"stuck=2,name=bench-1.a_b", [](const EscConfig& c) {
                     EXPECT_EQ(c.stuckParam, 2u);
                     EXPECT_EQ(c.name, "bench-1.a_b");
                 }}));

// --- Refused texts: false, a message naming the culprit, the config untouched ---

struct BadCase {
    const char* options;
    const char* mentioned;  // the message names this
};

class ParseSimOptionsBadTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(ParseSimOptionsBadTest, Refuses) {
    EscConfig config;
    config.family = 4;
    std::string error;
    EXPECT_FALSE(parseSimOptions(GetParam().options, config, error));
    EXPECT_NE(error.find(GetParam().mentioned), std::string::npos) << error;
    EXPECT_EQ(config.family, 4) << "a refused text must not change the config";
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseSimOptionsBadTest,
    ::testing::Values(
        BadCase{"family=2,colour=red", "colour"}, BadCase{"family=256", "family"},
        BadCase{"family=-1", "family"}, BadCase{"family=3x", "3x"}, BadCase{"family=", "family"},
        BadCase{"family", "family"}, BadCase{"major=0x", "major"}, BadCase{"params=ABC", "params"},
        BadCase{"params=GG", "params"}, BadCase{"params=", "params"},
        BadCase{"adapter=1.2.3.4", "adapter"}, BadCase{"adapter=1.2.3.4.5.6", "adapter"},
        BadCase{"adapter=1..3.4.5", "adapter"}, BadCase{"adapter=1.2.3.4.300", "adapter"},
        BadCase{"access=root", "access"}, BadCase{"f7len=8", "f7len"}, BadCase{"f7len=12", "f7len"},
        BadCase{"silent=sometimes", "silent"}, BadCase{"setlen=201", "setlen"},
        BadCase{"latency=60001", "latency"}, BadCase{"Family=3", "Family"},
        // Bare items continue only a list; a list takes only its own kind of item.
        BadCase{"family=3,1", "1"}, BadCase{"escs=3,x", "escs"}, BadCase{"escs=3,256", "escs"},
        BadCase{"escs=3,latency=2,1", "1"}, BadCase{"escstay=0", "escstay"},
        BadCase{"stuck=0", "stuck"}, BadCase{"name=", "name"}, BadCase{"name=a/b", "name"}));

}  // namespace
}  // namespace sim
