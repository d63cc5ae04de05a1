// The simulated ESC's side of the firmware update, fed report by report: what it
// answers, what it takes for a mistake, how its faults shape the answers, and the
// option keys that configure them.

#include "sim/firmware_acceptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/esc_config.h"
#include "sim/esc_emulator.h"

namespace sim {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStart = {0x13, 0x7E};
const Bytes kEnd = {0x13, 0x81};
const Bytes kLeave = {0x13, 0xCF};
const Bytes kOk = {0x6F, 0x6B};
constexpr uint32_t kReportPayload = 59;

Bytes pair(uint32_t value) {
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
}

// A frame cut into reports as the link adapter cuts it.
std::vector<Bytes> reports(const Bytes& frame) {
    std::vector<Bytes> out;
    for (size_t at = 0; at < frame.size(); at += kReportPayload) {
        const size_t n = std::min<size_t>(kReportPayload, frame.size() - at);
        out.emplace_back(frame.begin() + at, frame.begin() + at + n);
    }
    return out;
}

Bytes imageOf(uint32_t length) {
    Bytes image(length);
    for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
    return image;
}

// Feeds reports to an emulator and keeps every answer with its delay.
struct Esc {
    // Answers at once unless a case names a latency: these cases are about what the ESC
    // answers, not when.
    EscEmulator emulator{instantEscConfig()};
    std::vector<PeerReply> answers;

    explicit Esc(const std::string& options = "") {
        std::string error;
        EXPECT_TRUE(parseSimOptions(options, emulator.config(), error)) << error;
    }
    void send(const Bytes& frame) {
        for (const Bytes& r : reports(frame)) {
            for (PeerReply& reply : emulator.onData(r)) answers.push_back(std::move(reply));
        }
    }
    // The PC's side of a whole update of `image`.
    void update(const Bytes& image) {
        send({0xE4});
        send(kStart);
        send(pair(static_cast<uint32_t>(image.size())));
        for (size_t offset = 0; offset < image.size(); offset += 512) {
            const size_t size = std::min<size_t>(512, image.size() - offset);
            send(pair(static_cast<uint32_t>(size)));
            send(Bytes(image.begin() + offset, image.begin() + offset + size));
        }
        send(kEnd);
        send(kLeave);
    }
    const FirmwareAcceptor& fw() const { return emulator.firmware(); }
};

TEST(FirmwareAcceptor, AWellFormedUpdateIsTakenWhole) {
    struct Case {
        uint32_t length;
        size_t blocks;
    };
    const Case cases[] = {{513, 2}, {1000, 2}, {1024, 2}, {1537, 4}, {65535, 128}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Esc esc;
        const Bytes image = imageOf(c.length);
        esc.update(image);
        EXPECT_TRUE(esc.fw().violations().empty()) << esc.fw().violations().front();
        EXPECT_EQ(esc.fw().image(), image);
        EXPECT_EQ(esc.fw().blocks().size(), c.blocks);
        EXPECT_EQ(esc.fw().completedUpdates(), 1u);
        EXPECT_FALSE(esc.fw().active());
        // The echo, then one "ok" for the start, each block and the end.
        ASSERT_EQ(esc.answers.size(), c.blocks + 3);
        EXPECT_EQ(esc.answers[0].bytes, Bytes{0xE4});
        for (size_t i = 1; i < esc.answers.size(); ++i) EXPECT_EQ(esc.answers[i].bytes, kOk);
        // Back to an ordinary ESC: a link poll is answered.
        esc.answers.clear();
        esc.send({0xE1});
        ASSERT_EQ(esc.answers.size(), 1u);
        EXPECT_EQ(esc.answers[0].bytes, Bytes{0xE1});
    }
}

TEST(FirmwareAcceptor, NotesWhatAnEscWouldNotExpect) {
    struct Case {
        const char* name;
        std::vector<Bytes> frames;  // after the request
        const char* violation;      // the first one noted
    };
    const Bytes block(512, 0x11);
    const Case cases[] = {
        {"the start's code", {{0x13, 0x7F}}, "expected the start 13 7E, got 13 7F"},
        {"a full block announced too short",
         {kStart, pair(1000), pair(500)},
         "block at 0 announced as 500 bytes, 512 were due"},
        {"a last block announced as full",
         {kStart, pair(1000), pair(512), block, pair(512)},
         "block at 512 announced as 512 bytes, 488 were due"},
        {"a block cut off by a short report",
         {kStart, pair(1000), pair(512), Bytes(100, 0), {0x00, 0x01}},
         "block at 0 cut off after 100 bytes"},
        {"bytes beyond the block",
         {kStart, pair(600), pair(512), block, pair(88), Bytes(90, 0)},
         "2 bytes beyond the block at 512"},
        {"the end's code",
         {kStart, pair(513), pair(512), block, pair(1), {7}, {0x13, 0x82}},
         "expected the end 13 81, got 13 82"},
        {"an image length of 0", {kStart, pair(0)}, "an image length of 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Esc esc;
        esc.send({0xE4});
        for (const Bytes& f : c.frames) esc.send(f);
        ASSERT_FALSE(esc.fw().violations().empty());
        EXPECT_EQ(esc.fw().violations().front(), c.violation);
    }
}

TEST(FirmwareAcceptor, AnotherCommandOrAnAbortEndsTheUpdate) {
    struct Case {
        const char* name;
        Bytes command;
        bool answered;  // as an ordinary ESC answers it
        uint32_t aborted;
        uint32_t abandoned;
    };
    const Case cases[] = {
        {"abort", {0xD4}, false, 1, 0},
        {"link poll", {0xE1}, true, 0, 1},
        {"settings query", {0xE3}, true, 0, 1},
        {"settings write",
         {0xF2, 2, 2, 4, 0x18, 0xE0, 0x7C, 5, 0, 3, 0, 0, 4, 5, 4, 0xD1},
         false,
         0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Esc esc;
        esc.send({0xE4});
        esc.send(kStart);
        esc.send(pair(1000));
        esc.send(pair(512));
        esc.send(Bytes(512, 1));
        esc.answers.clear();
        esc.send(c.command);
        EXPECT_FALSE(esc.fw().active());
        EXPECT_EQ(esc.answers.empty(), !c.answered);
        EXPECT_EQ(esc.fw().abortedUpdates(), c.aborted);
        EXPECT_EQ(esc.fw().abandonedUpdates(), c.abandoned);
        EXPECT_EQ(esc.fw().completedUpdates(), 0u);
    }
}

TEST(FirmwareAcceptor, AReopenedAdapterEndsTheUpdate) {
    Esc esc;
    esc.send({0xE4});
    esc.send(kStart);
    esc.emulator.onOpened();
    EXPECT_FALSE(esc.fw().active());
    EXPECT_EQ(esc.fw().abandonedUpdates(), 1u);
}

TEST(FirmwareAcceptor, FaultsShapeTheNumberedAnswers) {
    // Answers of a 1,000-byte image: 0 echo, 1 start, 2 block 0, 3 block 1, 4 end.
    struct Case {
        const char* name;
        const char* options;
        std::vector<Bytes> answers;
        std::vector<uint32_t> delays;
    };
    const Bytes o = {0x6F};
    const Bytes kx = {0x6B, kExtraAckByte};
    const Bytes okx = {0x6F, 0x6B, kExtraAckByte};
    const Case cases[] = {
        {"none", "", {{0xE4}, kOk, kOk, kOk, kOk}, {0, 0, 0, 0, 0}},
        {"a lost block ack", "fwlose=2", {{0xE4}, kOk, kOk, kOk}, {0, 0, 0, 0}},
        {"a lost echo", "fwlose=0", {kOk, kOk, kOk, kOk}, {0, 0, 0, 0}},
        {"split", "fwsplit=3", {{0xE4}, kOk, kOk, o, {0x6B}, kOk}, {0, 0, 0, 0, kSplitAckGapMs, 0}},
        {"a third byte", "fwextra=1", {{0xE4}, okx, kOk, kOk, kOk}, {0, 0, 0, 0, 0}},
        {"split with a third byte",
         "fwsplit=2,fwextra=2",
         {{0xE4}, kOk, o, kx, kOk, kOk},
         {0, 0, 0, kSplitAckGapMs, 0, 0}},
        {"silent from the last block", "fwsilent=3", {{0xE4}, kOk, kOk}, {0, 0, 0}},
        {"latency delays every answer", "latency=7", {{0xE4}, kOk, kOk, kOk, kOk}, {7, 7, 7, 7, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Esc esc(c.options);
        esc.update(imageOf(1000));
        std::vector<Bytes> bytes;
        std::vector<uint32_t> delays;
        for (const PeerReply& r : esc.answers) {
            bytes.push_back(r.bytes);
            delays.push_back(r.delayMs);
        }
        EXPECT_EQ(bytes, c.answers);
        EXPECT_EQ(delays, c.delays);
        // The ESC itself took the whole image whatever it answered.
        EXPECT_EQ(esc.fw().image(), imageOf(1000));
    }
}

TEST(FirmwareAcceptor, SilenceLastsUntilTheNextRequest) {
    Esc esc("fwsilent=1");
    esc.update(imageOf(1000));
    EXPECT_EQ(esc.answers.size(), 1u);
    esc.answers.clear();
    esc.send({0xE4});
    // The numbering starts over: the echo (answer 0) comes again.
    ASSERT_EQ(esc.answers.size(), 1u);
    EXPECT_EQ(esc.answers[0].bytes, Bytes{0xE4});
}

TEST(SimOptions, FirmwareFaultKeys) {
    struct Case {
        const char* options;
        bool ok;
        FirmwareFaults faults;
    };
    const Case cases[] = {
        {"fwlose=2", true, {2, -1, -1, -1}},
        {"fwsplit=0,fwextra=5", true, {-1, 0, 5, -1}},
        {"fwsilent=130", true, {-1, -1, -1, 130}},
        {"fwsilent=1001", false, {}},
        {"fwlose=-1", false, {}},
        {"fwsplit=", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        EscConfig config;
        std::string error;
        EXPECT_EQ(parseSimOptions(c.options, config, error), c.ok);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(config.firmware.loseAnswer, -1);
            continue;
        }
        EXPECT_EQ(config.firmware.loseAnswer, c.faults.loseAnswer);
        EXPECT_EQ(config.firmware.splitAnswer, c.faults.splitAnswer);
        EXPECT_EQ(config.firmware.extraByteAnswer, c.faults.extraByteAnswer);
        EXPECT_EQ(config.firmware.silentFrom, c.faults.silentFrom);
    }
}

}  // namespace
}  // namespace sim
