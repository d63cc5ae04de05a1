// The session on the simulated ESC, on a virtual clock: the backups kept before the ESC's
// settings are overwritten, restores byte for byte, the typed ends of operations and what
// a listener hears.

#include "session/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/esc_backup.h"
#include "settings/language_apply.h"
#include "settings/settings_file_commands.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"
#include "support/scratch_dir.h"
#include "support/session_rig.h"

namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;
using session::Operation;
using session::Outcome;

constexpr uint32_t kImageLength = 1537;  // three full blocks and one byte

using testing_support::EventLog;

// A session on the simulated ESC, its backups in a scratch folder, with what these tests
// ask of the ESC and the port.
struct SessionRig : testing_support::SessionRig {
    using testing_support::SessionRig::SessionRig;

    // The settings answer the ESC gives now.
    Bytes settingsAnswer() const {
        return esc->config().family == sim::kFamilyAbc ? esc->family7SettingsReply()
                                                       : esc->settingsReply();
    }
    // Payloads starting with `command` that reached the port.
    std::size_t sent(uint8_t command) const {
        const auto payloads = port->sentPayloads();
        return static_cast<std::size_t>(
            std::count_if(payloads.begin(), payloads.end(),
                          [&](const Bytes& p) { return !p.empty() && p[0] == command; }));
    }
    // The variant the session can know: a family-7 ESC sends no version, so none.
    uint8_t knownVariant() const {
        return esc->config().family == sim::kFamilyAbc ? 0 : esc->config().variant;
    }
    // A backup of what the ESC holds now, as the emulator sees it.
    files::EscBackup backupOfEsc() const {
        files::EscBackup backup;
        backup.family = esc->config().family;
        backup.variant = knownVariant();
        backup.settings = settingsAnswer();
        return backup;
    }
    std::string image() {
        std::string bytes(kImageLength, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
        testing_support::writeBytes(dir.file("fw.hgm"), bytes);
        return dir.file("fw.hgm");
    }
};

struct Op {
    const char* name;
    Operation operation;
    std::function<bool(SessionRig&)> start;
};

// The four operations that overwrite the ESC's settings.
std::vector<Op> overwritingOperations() {
    return {
        {"defaults", Operation::Defaults,
         [](SessionRig& r) { return r.session->restoreDefaults(); }},
        {"import", Operation::Import,
         [](SessionRig& r) {
             return r.session->importSettings(settings::captureSettingsFile(r.form));
         }},
        {"update", Operation::Update, [](SessionRig& r) { return r.session->update(r.image()); }},
        {"restore", Operation::Restore,
         [](SessionRig& r) { return r.session->restore(r.backupOfEsc()); }},
    };
}

// ---- the backup before an overwrite ------------------------------------------------------

TEST(SessionBackups, EachOverwriteKeepsTheSettingsTheEscHeldBefore) {
    const char* const escs[] = {"family=3,params=02020418E07C05000300000A0809", "family=7,f7len=10",
                                "family=6,params=020401020001"};
    for (const char* options : escs) {
        for (const Op& op : overwritingOperations()) {
            SCOPED_TRACE(std::string(options) + " " + op.name);
            SessionRig rig(options);
            ASSERT_TRUE(rig.linkUp());
            const Bytes before = rig.settingsAnswer();
            const Bytes version = rig.esc->escVersionReply();
            ASSERT_TRUE(op.start(rig)) << rig.session->lastResult().message;
            ASSERT_TRUE(rig.settle());
            const session::Result& result = rig.session->lastResult();
            EXPECT_EQ(result.outcome, Outcome::Ok) << result.message;
            ASSERT_TRUE(result.backup.has_value());
            EXPECT_EQ(rig.session->backups(), std::vector<std::string>{*result.backup});
            std::string error;
            const auto kept = files::readEscBackup(rig.dir.file(*result.backup), error);
            ASSERT_TRUE(kept.has_value()) << error;
            EXPECT_EQ(kept->settings, before);
            EXPECT_EQ(kept->family, rig.esc->config().family);
            EXPECT_EQ(kept->variant, rig.knownVariant());
            if (rig.esc->config().family == sim::kFamilyAbc) {
                EXPECT_FALSE(kept->version.has_value());
            } else {
                ASSERT_TRUE(kept->version.has_value());
                EXPECT_EQ(Bytes(kept->version->begin(), kept->version->end()), version);
            }
        }
    }
}

TEST(SessionBackups, NoBackupNoOverwrite) {
    for (const Op& op : overwritingOperations()) {
        SCOPED_TRACE(op.name);
        SessionRig rig("family=3,params=02020418E07C05000300000A0809");
        ASSERT_TRUE(rig.linkUp());
        testing_support::writeBytes(rig.dir.file("backups"), "in the way");
        const Bytes stored = rig.esc->storedParams();
        const std::size_t writesBefore = rig.sent(sim::kSettingsWriteStart);
        const std::size_t finishedBefore = rig.events.ends.size();
        EXPECT_FALSE(op.start(rig));
        rig.host.runFor(2000);
        const session::Result& result = rig.session->lastResult();
        EXPECT_EQ(result.outcome, Outcome::FileError);
        EXPECT_THAT(result.message, HasSubstr("backups"));
        EXPECT_FALSE(result.backup.has_value());
        EXPECT_EQ(rig.sent(sim::kSettingsWriteStart), writesBefore);
        EXPECT_EQ(rig.sent(sim::kUpdateRequest), 0u);
        EXPECT_EQ(rig.esc->storedParams(), stored);
        EXPECT_EQ(rig.esc->firmware().startedUpdates(), 0u);
        ASSERT_EQ(rig.events.ends.size(), finishedBefore + 1);
        EXPECT_EQ(rig.events.ends.back().operation, op.operation);
        EXPECT_EQ(rig.events.ends.back().result.outcome, Outcome::FileError);
        EXPECT_EQ(testing_support::readBytes(rig.dir.file("backups")), "in the way");
    }
}

// ---- restore -------------------------------------------------------------------------------

// The factory set of a family with one byte changed.
Bytes changedDefaults(uint8_t family, uint8_t variant, std::size_t position, uint8_t value) {
    Bytes params = sim::EscEmulator::factoryParams(family, variant, 1);
    params.at(position) = value;
    return params;
}

std::string hex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

TEST(SessionRestore, BringsBackTheBytesTheDefaultsReplaced) {
    struct Case {
        std::string options;  // the ESC, before its params
        Bytes params;         // what it holds at first
    };
    const Case cases[] = {
        {"family=3",
         {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00, 0x03, 0x00, 0x00, 0x0A, 0x08, 0x09}},
        {"family=1", changedDefaults(1, 1, 0, 0x01)},
        {"family=2", changedDefaults(2, 1, 0, 0x01)},
        {"family=4", changedDefaults(4, 1, 0, 0x01)},
        {"family=5", changedDefaults(5, 1, 0, 0x02)},
        {"family=6", changedDefaults(6, 1, 0, 0x02)},
        {"family=7,f7len=9", changedDefaults(7, 1, 0, 0x01)},
        {"family=7,f7len=10", changedDefaults(7, 1, 0, 0x01)},
        {"family=7,f7len=11", changedDefaults(7, 1, 0, 0x01)},
        {"family=8", changedDefaults(8, 1, 0, 0x01)},
        {"family=9,variant=6", changedDefaults(9, 6, 0, 0x00)},
    };
    for (const Case& c : cases) {
        const std::string options = c.options + ",params=" + hex(c.params);
        SCOPED_TRACE(options);
        SessionRig rig(options);
        ASSERT_TRUE(rig.linkUp());
        ASSERT_TRUE(rig.session->restoreDefaults()) << rig.session->lastResult().message;
        ASSERT_TRUE(rig.settle());
        const session::Result defaults = rig.session->lastResult();
        ASSERT_EQ(defaults.outcome, Outcome::Ok) << defaults.message;
        ASSERT_NE(rig.esc->storedParams(), c.params);
        ASSERT_TRUE(defaults.backup.has_value());
        std::string error;
        const auto backup = files::readEscBackup(rig.dir.file(*defaults.backup), error);
        ASSERT_TRUE(backup.has_value()) << error;

        const bool started = rig.session->restore(*backup);
        EXPECT_TRUE(started) << rig.session->lastResult().message;
        if (started) {
            ASSERT_TRUE(rig.settle());
        }
        EXPECT_EQ(rig.session->lastResult().outcome, Outcome::Ok)
            << rig.session->lastResult().message;
        EXPECT_EQ(hex(rig.esc->storedParams()), hex(c.params));
    }
}

TEST(SessionRestore, ABackupOfAnotherEscIsRefusedWithNothingSent) {
    const Bytes params = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05,
                          0x00, 0x03, 0x00, 0x00, 0x0A, 0x08, 0x09};
    struct Case {
        const char* name;
        uint8_t family;
        uint8_t variant;
        Bytes settings;
    };
    Bytes longer = params;
    longer.push_back(0x00);
    const Case cases[] = {
        {"another family", 2, 1, params},
        {"family 8 of the same length", 8, 1, params},
        {"another variant", 3, 2, params},
        {"one byte more", 3, 1, longer},
        {"one byte less", 3, 1, Bytes(params.begin(), params.end() - 1)},
        {"one byte", 3, 1, {0x02}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig("family=3,params=" + hex(params));
        ASSERT_TRUE(rig.linkUp());
        const std::size_t writesBefore = rig.sent(sim::kSettingsWriteStart);
        files::EscBackup backup;
        backup.family = c.family;
        backup.variant = c.variant;
        backup.settings = c.settings;
        EXPECT_FALSE(rig.session->restore(backup));
        rig.host.runFor(1000);
        EXPECT_EQ(rig.session->lastResult().outcome, Outcome::Refused);
        EXPECT_FALSE(rig.session->lastResult().message.empty());
        EXPECT_EQ(rig.sent(sim::kSettingsWriteStart), writesBefore);
        EXPECT_EQ(rig.esc->storedParams(), params);
        EXPECT_TRUE(rig.session->backups().empty());
    }
}

TEST(SessionRestore, BeforeTheSettingsWereReadNothingIsSent) {
    SessionRig rig("family=3");
    EXPECT_FALSE(rig.session->restore(rig.backupOfEsc()));
    EXPECT_EQ(rig.session->lastResult().outcome, Outcome::Refused);
    EXPECT_EQ(rig.sent(sim::kSettingsWriteStart), 0u);
}

// ---- how operations end -----------------------------------------------------------------

// The ESC takes the frame, but what it holds when asked again is not what was sent: its
// stored bytes change between the write and the read-back.
TEST(SessionOutcomes, AReadBackThatDiffersIsNotStored) {
    struct Case {
        const char* name;
        std::string esc;
        std::function<bool(SessionRig&)> start;
        std::size_t changedIndex;  // of the stored bytes, after the frame was taken
        uint8_t changedTo;
        session::Difference difference;
    };
    const Case cases[] = {
        {"write",
         "family=6",
         [](SessionRig& r) { return r.session->write(); },
         0,
         0x02,
         {1038, 0, "0", "2"}},
        {"defaults",
         "family=6,params=020401020001",
         [](SessionRig& r) { return r.session->restoreDefaults(); },
         1,
         0x05,
         {0, 2, "03", "05"}},
        {"restore",
         "family=3,params=02020418E07C05000300000A0809",
         [](SessionRig& r) { return r.session->restore(r.backupOfEsc()); },
         13,
         0x01,
         {0, 14, "09", "01"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig(c.esc);
        ASSERT_TRUE(rig.linkUp());
        const uint32_t writes = rig.esc->storedWrites();
        ASSERT_TRUE(c.start(rig)) << rig.session->lastResult().message;
        // The frame went out as the operation started.
        ASSERT_EQ(rig.esc->storedWrites(), writes + 1);
        Bytes stored = rig.esc->storedParams();
        stored.at(c.changedIndex) = c.changedTo;
        rig.esc->setStoredParams(stored);
        ASSERT_TRUE(rig.settle());
        const session::Result& result = rig.session->lastResult();
        EXPECT_EQ(result.outcome, Outcome::NotStored) << result.message;
        ASSERT_EQ(result.differences.size(), 1u) << result.message;
        const session::Difference& d = result.differences[0];
        EXPECT_EQ(d.control, c.difference.control);
        EXPECT_EQ(d.position, c.difference.position);
        EXPECT_EQ(d.sent, c.difference.sent);
        EXPECT_EQ(d.stored, c.difference.stored);
    }
}

TEST(SessionOutcomes, TheAdapterUnpluggedMidOperation) {
    struct Case {
        const char* name;
        std::function<bool(SessionRig&)> start;
        int32_t afterBytes;  // of the update acknowledged before the unplug; -1 at once
    };
    const Case cases[] = {
        {"write", [](SessionRig& r) { return r.session->write(); }, -1},
        {"defaults", [](SessionRig& r) { return r.session->restoreDefaults(); }, -1},
        {"read", [](SessionRig& r) { return r.session->read(); }, -1},
        {"update at its start", [](SessionRig& r) { return r.session->update(r.image()); }, -1},
        {"update after a block", [](SessionRig& r) { return r.session->update(r.image()); }, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig("family=3");
        ASSERT_TRUE(rig.linkUp());
        ASSERT_TRUE(c.start(rig)) << rig.session->lastResult().message;
        if (c.afterBytes >= 0) {
            ASSERT_TRUE(rig.host.runUntil(
                [&] { return rig.session->firmwareUpdate().acknowledgedBytes() >= c.afterBytes; },
                20000));
        }
        const std::size_t finishedBefore = rig.events.ends.size();
        rig.unplug();
        rig.host.runFor(2000);
        EXPECT_FALSE(rig.session->busy());
        EXPECT_EQ(rig.session->lastResult().outcome, Outcome::AdapterRemoved);
        EXPECT_EQ(rig.events.ends.size(), finishedBefore + 1);
        ASSERT_FALSE(rig.events.links.empty());
        EXPECT_FALSE(rig.events.links.back().adapter);
        EXPECT_FALSE(rig.events.links.back().esc);
    }
}

TEST(SessionOutcomes, AnEscThatNeverSendsItsVersion) {
    const char* const escs[] = {"family=3,verlen=0", "family=1,verlen=0", "family=9,verlen=0"};
    for (const char* options : escs) {
        SCOPED_TRACE(options);
        SessionRig rig(options);
        ASSERT_TRUE(rig.session->openNow());
        rig.session->awaitSettings();
        ASSERT_TRUE(rig.settle(60000));
        EXPECT_EQ(rig.session->lastResult().outcome, Outcome::EscVersionFailed);
        EXPECT_EQ(rig.session->lastResult().message, protocol::kEscVersionFailedMessage);
        EXPECT_EQ(rig.events.finishedCount(Operation::LinkUp), 1u);
        EXPECT_TRUE(rig.events.identities.empty());
        EXPECT_EQ(rig.sent(sim::kSettingsQuery), 0u);
    }
}

TEST(SessionOutcomes, AnUpdateWhoseEscFallsSilent) {
    const char* const escs[] = {"family=3,fwsilent=2", "family=3,fwsilent=3", "family=3,fwlose=2",
                                "family=3,fwlose=4"};
    for (const char* options : escs) {
        SCOPED_TRACE(options);
        SessionRig rig(options);
        ASSERT_TRUE(rig.linkUp());
        ASSERT_TRUE(rig.session->update(rig.image())) << rig.session->lastResult().message;
        ASSERT_TRUE(rig.settle(60000));
        const session::Result& result = rig.session->lastResult();
        EXPECT_EQ(result.outcome, Outcome::UpdateFailed);
        EXPECT_EQ(result.updateState, protocol::kStateUpdateAwaitBlockAck);
        EXPECT_THAT(result.message, HasSubstr("did not acknowledge the block"));
        EXPECT_TRUE(result.backup.has_value());
        EXPECT_EQ(rig.esc->firmware().completedUpdates(), 0u);
        EXPECT_EQ(rig.events.finishedCount(Operation::Update), 1u);
    }
}

TEST(SessionOutcomes, AnotherUpdateAskedDuringOneLeavesItsImageAlone) {
    struct Case {
        const char* name;
        form::MessageAnswer answer;
        Outcome second;
        std::size_t expectedImage;  // bytes the ESC ends with
    };
    const Case cases[] = {
        {"kept: the first image goes on", form::MessageAnswer::No, Outcome::Cancelled, 1537},
        {"abandoned: the second image", form::MessageAnswer::Yes, Outcome::Ok, 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        ASSERT_TRUE(rig.linkUp());
        const std::string first = rig.dir.file("first.hgm");
        const std::string second = rig.dir.file("second.hgm");
        testing_support::writeBytes(first, std::string(1537, '\x11'));
        testing_support::writeBytes(second, std::string(2048, '\x22'));
        ASSERT_TRUE(rig.session->update(first));
        ASSERT_TRUE(rig.host.runUntil(
            [&] { return rig.session->firmwareUpdate().acknowledgedBytes() > 0; }, 10000));
        rig.prompter.answerYesNo(c.answer);
        const bool started = rig.session->update(second);
        EXPECT_EQ(started, c.answer == form::MessageAnswer::Yes);
        if (!started) {
            EXPECT_EQ(rig.session->lastResult().outcome, c.second);
        }
        ASSERT_TRUE(rig.host.runUntil(
            [&] { return !rig.session->busy() && rig.esc->firmware().completedUpdates() > 0; },
            60000));
        EXPECT_EQ(rig.esc->firmware().image().size(), c.expectedImage);
        EXPECT_EQ(rig.session->firmwareImage().length(), static_cast<int32_t>(c.expectedImage));
    }
}

// ---- what a listener hears ----------------------------------------------------------------

TEST(SessionEvents, TheLinkComingAndGoing) {
    const char* const escs[] = {"family=3", "family=7", "family=9,variant=6"};
    for (const char* options : escs) {
        SCOPED_TRACE(options);
        SessionRig rig(options);
        ASSERT_TRUE(rig.linkUp());
        ASSERT_GE(rig.events.links.size(), 1u);
        EXPECT_TRUE(rig.events.links.back().adapter);
        EXPECT_TRUE(rig.events.links.back().esc);
        EXPECT_TRUE(rig.events.links.front().adapter);
        ASSERT_EQ(rig.events.identities.size(), 1u);
        const session::EscIdentity& identity = rig.events.identities[0];
        EXPECT_EQ(identity.info.family, rig.esc->config().family);
        if (rig.esc->config().family == sim::kFamilyAbc) {
            EXPECT_FALSE(identity.version.has_value());
        } else {
            EXPECT_EQ(identity.info.variant, rig.esc->config().variant);
            ASSERT_TRUE(identity.version.has_value());
            EXPECT_EQ(Bytes(identity.version->begin(), identity.version->end()),
                      rig.esc->escVersionReply());
        }
        EXPECT_EQ(rig.events.finishedCount(Operation::LinkUp), 1u);
        // Polling on: nothing more is heard.
        const std::size_t links = rig.events.links.size();
        rig.host.runFor(3000);
        EXPECT_EQ(rig.events.links.size(), links);
        EXPECT_EQ(rig.events.identities.size(), 1u);

        rig.unplug();
        ASSERT_EQ(rig.events.links.size(), links + 1);
        EXPECT_FALSE(rig.events.links.back().adapter);
        EXPECT_FALSE(rig.events.links.back().esc);

        // Back again: linked and identified once more.
        rig.plugBackIn();
        ASSERT_TRUE(rig.host.runUntil(
            [&] {
                return rig.session->controller().formMatchesEsc() &&
                       rig.session->controller().linksUp();
            },
            20000));
        rig.host.runFor(500);
        EXPECT_TRUE(rig.events.links.back().adapter);
        EXPECT_TRUE(rig.events.links.back().esc);
        EXPECT_EQ(rig.events.identities.size(), 2u);
    }
}

// Changes not sent when the link to the ESC was lost: the form keeps them while the ESC is
// away, and its reading afterwards keeps them only on the same ESC with the same settings.
TEST(SessionUnsentChanges, OutliveALostLinkOnlyOnTheSameEscAndSettings) {
    using Rig = testing_support::SessionRig;
    struct Case {
        const char* name;
        bool edit;
        std::function<void(Rig&)> lose;
        std::function<void(Rig&)> meanwhile;  // while the ESC is away
        std::function<void(Rig&)> back;
        std::vector<bool> heard;  // unsentChangesAfterLoss
        bool editShown;           // the form shows the user's choice afterwards
    };
    const auto silent = [](Rig& rig) {
        rig.esc->setSilentForever(true);
        ASSERT_TRUE(rig.host.runUntil([&] { return !rig.controller().escLinked(); }, 10000));
    };
    const auto answers = [](Rig& rig) { rig.esc->setSilentForever(false); };
    const auto nothing = [](Rig&) {};
    const Case cases[] = {
        {"the same ESC", true, silent, nothing, answers, {true}, true},
        {"the adapter replugged",
         true,
         [](Rig& rig) { rig.unplug(); },
         nothing,
         [](Rig& rig) { rig.plugBackIn(); },
         {true},
         true},
        {"its settings changed meanwhile",
         true,
         silent,
         [](Rig& rig) {
             Bytes params = rig.esc->storedParams();
             params.at(1) ^= 1;  // P2, not the edited P1
             rig.esc->setStoredParams(params);
         },
         answers,
         {false},
         false},
        {"another ESC",
         true,
         silent,
         [](Rig& rig) { rig.esc->config().major += 1; },
         answers,
         {false},
         false},
        {"no changes", false, silent, nothing, answers, {}, false},
        // A short silence is checked without a reading: the form stays as it is.
        {"a short silence",
         true,
         [](Rig& rig) { rig.esc->silenceFor(protocol::kIdentityCheckMisses + 2); },
         nothing,
         nothing,
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig("family=3");
        ASSERT_TRUE(rig.linkUp());
        const int read = rig.form.selection(form::kComboStartAccel);
        const int edited = read == 1 ? 2 : 1;
        if (c.edit)
            rig.form.setSelection(form::kComboStartAccel, edited);
        c.lose(rig);
        EXPECT_EQ(rig.form.selection(form::kComboStartAccel), c.edit ? edited : read);
        c.meanwhile(rig);
        const uint32_t reads = rig.controller().settingsReadCount();
        c.back(rig);
        ASSERT_TRUE(rig.host.runUntil(
            [&] { return rig.controller().linksUp() && rig.controller().formMatchesEsc(); },
            20000));
        rig.host.runFor(1000);
        EXPECT_EQ(rig.events.changesAfterLoss, c.heard);
        EXPECT_EQ(rig.form.selection(form::kComboStartAccel), c.editShown ? edited : read);
        EXPECT_EQ(rig.session->unsentChanges(), c.editShown);
        if (!c.heard.empty()) {
            EXPECT_GT(rig.controller().settingsReadCount(), reads);
        }
        ASSERT_FALSE(rig.events.current.empty());
        EXPECT_TRUE(rig.events.current.back());
    }
}

TEST(SessionEvents, UpdateProgressRisesToTheImageLength) {
    SessionRig rig("family=3");
    ASSERT_TRUE(rig.linkUp());
    ASSERT_TRUE(rig.session->update(rig.image())) << rig.session->lastResult().message;
    ASSERT_TRUE(rig.settle(60000));
    ASSERT_EQ(rig.session->lastResult().outcome, Outcome::Ok) << rig.session->lastResult().message;
    ASSERT_FALSE(rig.events.progress.empty());
    for (std::size_t i = 0; i < rig.events.progress.size(); ++i) {
        EXPECT_EQ(rig.events.progress[i].total, static_cast<int32_t>(kImageLength));
        if (i > 0) {
            EXPECT_GT(rig.events.progress[i].acknowledged, rig.events.progress[i - 1].acknowledged);
        }
    }
    EXPECT_EQ(rig.events.progress.back().acknowledged, static_cast<int32_t>(kImageLength));
    EXPECT_EQ(rig.esc->firmware().completedUpdates(), 1u);
}

TEST(SessionEvents, EveryOperationFinishesOnce) {
    std::vector<Op> ops = overwritingOperations();
    ops.push_back({"read", Operation::Read, [](SessionRig& r) { return r.session->read(); }});
    ops.push_back({"write", Operation::Write, [](SessionRig& r) { return r.session->write(); }});
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        SessionRig rig("family=3");
        ASSERT_TRUE(rig.linkUp());
        ASSERT_TRUE(op.start(rig)) << rig.session->lastResult().message;
        EXPECT_EQ(rig.events.finishedCount(op.operation), 0u);
        ASSERT_TRUE(rig.settle(60000));
        rig.host.runFor(3000);
        EXPECT_EQ(rig.events.finishedCount(op.operation), 1u);
        ASSERT_FALSE(rig.events.ends.empty());
        EXPECT_EQ(rig.events.ends.back().result.outcome, Outcome::Ok)
            << rig.events.ends.back().result.message;
    }
}

}  // namespace
