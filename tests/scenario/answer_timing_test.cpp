// The whole conversation against an ESC that answers late, as real ones do: link-up, read,
// write and read-back, Restore Default Data, the language re-read, import and firmware
// updates, for every family, at answer delays up to just under one tick. Beyond one tick
// (45 ms) the protocol's timing no longer holds; there the table asks only for safety.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "files/firmware_image.h"
#include "form/control_ids.h"
#include "form/headless_form.h"
#include "protocol/command_set.h"
#include "protocol/firmware_update.h"
#include "scenario/scenario_rig.h"
#include "session/session.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/form_settings_model.h"
#include "settings/form_texts.h"
#include "settings/settings_codec.h"
#include "settings/settings_file_commands.h"

namespace scenario {
namespace {

using protocol::UpdateOutcome;

// Answers `delayMs` late at the most, spread over the last 4 ms of it.
sim::EscConfig lateEsc(uint8_t family, uint8_t variant, uint32_t delayMs, uint32_t seed) {
    sim::EscConfig config = Scenario::family(family, variant);
    config.jitterMs = std::min<uint32_t>(delayMs, 4);
    config.latencyMs = delayMs - config.jitterMs;
    config.seed = seed;
    return config;
}

// The values the carried controls show once `params` are decoded into a form of their own,
// as the controller decodes a settings answer: the family's texts, then the bytes from P1
// on with zeros behind them.
std::map<form::ControlId, std::string> shownFor(const Bytes& params, const settings::EscInfo& esc,
                                                const std::vector<form::ControlId>& controls) {
    form::HeadlessForm own;
    settings::fillFamilyTexts(own, esc);
    Bytes frame = params;
    frame.resize(std::max<std::size_t>(frame.size(), settings::kMaxParameterBytes) + 1, 0);
    settings::LanguageFileMarks marks;
    settings::SettingsCodec(marks).decodeSettingsFrame(frame, esc, settings::g_calcResult, own);
    std::map<form::ControlId, std::string> values;
    for (const form::ControlId control : controls)
        values[control] = session::shownValue(own, control);
    return values;
}

// Every settings answer the form is filled from, checked against what the ESC holds when it
// is taken: the form must never show bytes that were not its settings. The host runs one
// timer event at a time and a settings answer is taken within one, so looking after every
// event sees each read before the ESC could store anything else: the answer taken (its
// parameter bytes) must be the stored bytes, and the form must show what the stored bytes
// decode to.
class DecodeCheck {
  public:
    DecodeCheck(const protocol::ProtocolController& controller, const form::Form& form,
                const sim::EscEmulator& esc)
        : m_controller(controller), m_form(form), m_esc(esc) {}
    // As a run starts and after every timer event of it.
    void afterEvent() {
        const uint32_t reads = m_controller.settingsReadCount();
        if (reads == m_readsSeen)
            return;
        // More than one read within one event could not all be checked.
        if (reads != m_readsSeen + 1)
            ++missedReads;
        m_readsSeen = reads;
        ++decodes;
        const settings::EscInfo esc = m_controller.escInfo();
        const Bytes taken = session::answerParameters(m_controller.lastSettingsReply(), esc.family);
        Bytes stored = m_esc.storedParams();
        stored.resize(taken.size(), 0);
        const std::vector<form::ControlId> controls = settings::carriedControls(esc);
        std::map<form::ControlId, std::string> shown;
        for (const form::ControlId control : controls)
            shown[control] = session::shownValue(m_form, control);
        if (taken.empty() || taken != stored || shown != shownFor(stored, esc, controls))
            ++wrongDecodes;
    }

    int decodes = 0;
    int wrongDecodes = 0;
    int missedReads = 0;

  private:
    const protocol::ProtocolController& m_controller;
    const form::Form& m_form;
    const sim::EscEmulator& m_esc;
    uint32_t m_readsSeen = 0;
};

// A scenario whose settings reads are checked as they come, with firmware updates started
// through the session.
struct TimedRun {
    Scenario s;
    protocol::ProtocolController& controller;
    DecodeCheck checked;

    explicit TimedRun(const sim::EscConfig& config)
        : s(config), controller(s.controller()), checked(controller, s.form, *s.esc) {}
    // Runs the timers until `done`, checking every settings read as it comes.
    bool runUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
        return s.runUntil(
            [&] {
                checked.afterEvent();
                return done();
            },
            timeoutMs);
    }
    bool linkUp(uint32_t timeoutMs = 5000) {
        return runUntil([this] { return controller.formMatchesEsc(); }, timeoutMs);
    }
    // Runs until the `seen`-th settings reply has been followed by another.
    bool settingsReadAfter(uint32_t seen, uint32_t timeoutMs = 5000) {
        return runUntil(
            [&] {
                return controller.settingsReadCount() > seen &&
                       controller.protocolState() == protocol::kStateLinkPolling;
            },
            timeoutMs);
    }
    // The value each carried control shows: a list's selection or an edit's text.
    std::map<form::ControlId, std::string> carriedValues() {
        std::map<form::ControlId, std::string> values;
        const auto layout = settings::writeLayoutFor(controller.escInfo());
        if (!layout)
            return values;
        for (std::size_t i = 0; i < layout->segmentCount; ++i) {
            for (const settings::CodecRow& row : layout->segments[i]) {
                if (row.position == 0 || row.control == 0 ||
                    row.coding == settings::Coding::Constant)
                    continue;
                values[row.control] = settings::codingReadsSelection(row.coding)
                                          ? std::to_string(s.form.selection(row.control))
                                          : s.form.text(row.control);
            }
        }
        return values;
    }
    // The first carried list with another item to choose.
    form::ControlId changeableList() {
        const auto layout = settings::writeLayoutFor(controller.escInfo());
        for (std::size_t i = 0; layout && i < layout->segmentCount; ++i) {
            for (const settings::CodecRow& row : layout->segments[i]) {
                if (row.position > 0 && settings::codingReadsSelection(row.coding) &&
                    s.form.itemCount(row.control) > 1)
                    return row.control;
            }
        }
        return 0;
    }
    const protocol::FirmwareUpdate& update() const { return s.session->firmwareUpdate(); }
    // Starts an update of `length` bytes through the session; false when the session did
    // not start it (lastResult() says why) or it did not end in time.
    bool flash(int32_t length, uint32_t timeoutMs = 60000) {
        Bytes bytes(static_cast<size_t>(length));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        const std::string path = ::testing::TempDir() + "timing_fw_" + std::to_string(::getpid()) +
                                 "_" + std::to_string(length) + ".hgm";
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        if (!s.session->update(path))
            return false;
        return runUntil(
            [this] {
                return update().outcome() == UpdateOutcome::Failed ||
                       (update().outcome() == UpdateOutcome::Succeeded &&
                        controller.formMatchesEsc());
            },
            timeoutMs);
    }
    Bytes imageSent() const {
        const files::FirmwareImage& image = s.session->firmwareImage();
        return Bytes(image.m_imageData.begin(), image.m_imageData.begin() + image.m_imageLength);
    }
    size_t settingsQueries() const {
        return s.trace.count(protocol::kSettingsQuery) +
               s.trace.count(protocol::kFamily7SettingsQuery);
    }
};

struct FamilyCase {
    uint8_t family;
    uint8_t variant;
};
constexpr FamilyCase kFamilies[] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1},
                                    {6, 1}, {7, 1}, {8, 1}, {9, 5}, {9, 6}};
constexpr uint32_t kDelaysWithinATick[] = {0, 5, 15, 28};

std::string caseName(const FamilyCase& f, uint32_t delayMs) {
    return "family " + std::to_string(f.family) + " variant " + std::to_string(f.variant) +
           ", answers up to " + std::to_string(delayMs) + " ms late";
}

TEST(AnswerTiming, EveryExchangeCompletesForEveryFamilyAndDelayWithinATick) {
    uint32_t seed = 1;
    for (const FamilyCase& f : kFamilies) {
        for (const uint32_t delay : kDelaysWithinATick) {
            SCOPED_TRACE(caseName(f, delay));
            TimedRun run(lateEsc(f.family, f.variant, delay, seed++));
            ASSERT_TRUE(run.linkUp());
            EXPECT_EQ(run.settingsQueries(), 1u) << "link-up asked more than once";

            // Read Setting: one query, the form shows the stored bytes.
            uint32_t reads = run.controller.settingsReadCount();
            run.s.trace.clear();
            run.controller.readSettingCommand();
            ASSERT_TRUE(run.settingsReadAfter(reads));
            EXPECT_EQ(run.settingsQueries(), 1u);

            // Send Setting with one list changed: stored, read back, one query after the
            // settle.
            const form::ControlId list = run.changeableList();
            ASSERT_NE(list, 0);
            const int chosen = (run.s.form.selection(list) + 1) % run.s.form.itemCount(list);
            run.s.form.setSelection(list, chosen);
            const auto asked = run.carriedValues();
            const uint32_t writes = run.s.esc->storedWrites();
            reads = run.controller.settingsReadCount();
            run.s.trace.clear();
            run.controller.sendSettingCommand();
            ASSERT_TRUE(run.settingsReadAfter(reads));
            EXPECT_EQ(run.s.esc->storedWrites(), writes + 1);
            EXPECT_EQ(run.s.trace.count(protocol::kSettingsWriteStart), 1u);
            EXPECT_EQ(run.settingsQueries(), 1u) << "the read-back asked more than once";
            EXPECT_EQ(run.s.form.selection(list), chosen);
            EXPECT_EQ(run.carriedValues(), asked);

            // Restore Default Data: the factory frame is stored and read back.
            reads = run.controller.settingsReadCount();
            run.controller.restoreDefaultCommand();
            const Bytes sent = run.controller.lastTxFrame();
            ASSERT_TRUE(run.settingsReadAfter(reads));
            ASSERT_GE(sent.size(), 3u);
            EXPECT_EQ(run.s.esc->storedParams(), Bytes(sent.begin() + 1, sent.end() - 1));

            // The language re-read refills the lists with one query.
            reads = run.controller.settingsReadCount();
            run.s.trace.clear();
            run.controller.rereadSettingsAfterLanguageChange();
            ASSERT_TRUE(run.settingsReadAfter(reads));
            EXPECT_EQ(run.settingsQueries(), 1u);

            // Import of the settings chosen before the defaults: back in the ESC.
            for (const auto& [id, value] : asked) {
                if (run.s.form.itemCount(id) > 0) {
                    run.s.form.setSelection(id, std::stoi(value));
                } else {
                    run.s.form.setText(id, value);
                }
            }
            const files::SettingsFile file = settings::captureSettingsFile(run.s.form);
            settings::applySettingsFile(run.s.form, file);
            reads = run.controller.settingsReadCount();
            run.controller.sendSettingCommand();
            ASSERT_TRUE(run.settingsReadAfter(reads));
            EXPECT_EQ(run.carriedValues(), asked);

            EXPECT_EQ(run.checked.wrongDecodes, 0);
            EXPECT_EQ(run.checked.missedReads, 0);
            EXPECT_EQ(run.checked.decodes, static_cast<int>(run.controller.settingsReadCount()));
            EXPECT_TRUE(run.s.prompter.messages().empty());
        }
    }
}

TEST(AnswerTiming, FirmwareUpdatesCompleteForEveryFamilyAndDelayWithinATick) {
    struct Update {
        int32_t length;
        int splitAnswer;  // the acknowledgement that comes as "o", then "k" (-1: none)
    };
    const Update updates[] = {{1537, -1}, {1537, 3}, {20000, -1}, {20000, 2}};
    uint32_t seed = 100;
    for (const FamilyCase& f : kFamilies) {
        for (const uint32_t delay : kDelaysWithinATick) {
            for (const Update& u : updates) {
                SCOPED_TRACE(caseName(f, delay) + ", " + std::to_string(u.length) + " bytes" +
                             (u.splitAnswer >= 0 ? ", split ok" : ""));
                sim::EscConfig config = lateEsc(f.family, f.variant, delay, seed++);
                config.firmware.splitAnswer = u.splitAnswer;
                TimedRun run(config);
                ASSERT_TRUE(run.linkUp());
                run.s.trace.clear();
                ASSERT_TRUE(run.flash(u.length));
                EXPECT_EQ(run.update().outcome(), UpdateOutcome::Succeeded);
                EXPECT_EQ(run.s.esc->firmware().completedUpdates(), 1u);
                EXPECT_EQ(run.s.esc->firmware().image(), run.imageSent());
                // The request, the blocks, the end and the settings read anew.
                EXPECT_EQ(run.s.trace.commands().front(), protocol::kUpdateRequest);
                EXPECT_EQ(run.s.trace.count(protocol::kUpdateAbort), 0u);
                EXPECT_EQ(run.checked.wrongDecodes, 0);
                EXPECT_EQ(run.checked.missedReads, 0);
                EXPECT_EQ(run.checked.decodes,
                          static_cast<int>(run.controller.settingsReadCount()));
                EXPECT_TRUE(run.s.prompter.messages().empty());
            }
        }
    }
}

// Answers later than one tick: the conversation cannot keep its timing, but every command
// ends within its time-out, the form shows only settings, and nothing goes out that was not
// asked for.
TEST(AnswerTiming, LaterThanATickStaysSafe) {
    constexpr uint32_t kDelayMs = 45;
    constexpr uint32_t kCommandTimeoutMs = 10000;
    uint32_t seed = 500;
    for (const FamilyCase& f : kFamilies) {
        SCOPED_TRACE(caseName(f, kDelayMs));
        TimedRun run(lateEsc(f.family, f.variant, kDelayMs, seed++));
        const bool linked = run.linkUp(kCommandTimeoutMs);
        if (!linked) {
            // The documented way out: the version query gave up with its message.
            EXPECT_FALSE(run.s.prompter.messages().empty());
            continue;
        }
        uint32_t commands = 0;
        const auto settle = [&](uint32_t seen) {
            ++commands;
            // Either the read-back came, or a documented message said why not.
            const bool done = run.settingsReadAfter(seen, kCommandTimeoutMs);
            EXPECT_TRUE(done || !run.s.prompter.messages().empty()) << "command " << commands;
        };
        run.controller.readSettingCommand();
        settle(run.controller.settingsReadCount());
        if (run.controller.formMatchesEsc()) {
            run.controller.sendSettingCommand();
            settle(run.controller.settingsReadCount());
        }
        if (run.controller.escIdentified()) {
            run.controller.restoreDefaultCommand();
            settle(run.controller.settingsReadCount());
        }
        run.controller.rereadSettingsAfterLanguageChange();
        settle(run.controller.settingsReadCount());
        if (run.controller.linksUp()) {
            const bool ended = run.flash(1537, kCommandTimeoutMs * 6);
            // The session refuses an update of an ESC whose settings it could not read
            // (nothing sent), as the window does.
            const bool refused = run.s.session->lastResult().outcome == session::Outcome::Refused &&
                                 run.s.trace.count(protocol::kUpdateRequest) == 0;
            EXPECT_TRUE(ended || refused || run.update().outcome() == UpdateOutcome::Failed ||
                        run.update().outcome() == UpdateOutcome::Running);
            EXPECT_LE(run.s.trace.count(protocol::kUpdateRequest), 1u);
        }
        EXPECT_EQ(run.checked.wrongDecodes, 0);
        EXPECT_EQ(run.checked.missedReads, 0);
        EXPECT_EQ(run.checked.decodes, static_cast<int>(run.controller.settingsReadCount()));
        // Two writes were asked for; no other write frame went out.
        EXPECT_LE(run.s.trace.count(protocol::kSettingsWriteStart), 2u);
        EXPECT_LE(run.s.esc->storedWrites(), 2u);
    }
}

}  // namespace
}  // namespace scenario
