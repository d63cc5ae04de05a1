// One ESC after another on the same adapter: the batch identifies each ESC the bench puts
// on the lead, keeps its backup, programs it, checks it and reports it, on the virtual
// clock with the late, jittered simulated ESC.

#include "session/batch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "files/esc_backup.h"
#include "settings/settings_file_commands.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"
#include "support/scratch_dir.h"
#include "support/session_rig.h"

namespace {

using session::BatchAction;
using session::BatchVerdict;
using session::Operation;
using session::Outcome;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

// Family 3 with settings other than its factory ones (P1, P12 … P14).
constexpr const char* kCarEsc = "family=3,params=00020418E07C05000300000A0809";
constexpr uint32_t kImageLength = 1537;
constexpr uint32_t kBatchTimeoutMs = 600000;

struct Reports final : session::BatchListener {
    std::vector<session::BatchEscReport> done;
    std::vector<uint32_t> waiting;
    std::vector<uint32_t> arrived;
    void waitingForEsc(uint32_t number) override { waiting.push_back(number); }
    void escArrived(uint32_t number, const session::EscIdentity&) override {
        arrived.push_back(number);
    }
    void escDone(const session::BatchEscReport& report) override { done.push_back(report); }
};

struct BatchRig : testing_support::SessionRig {
    session::Batch batch{*session};
    Reports reports;

    explicit BatchRig(const std::string& first) : testing_support::SessionRig(first) {
        batch.setListener(&reports);
    }
    // Puts `options` on the bench after the ESCs queued so far.
    void queue(const std::string& options) { esc->queueEsc(testing_support::simConfig(options)); }
    bool run(const session::BatchJob& job) {
        if (!session->openNow())
            return false;
        batch.start(job);
        return host.runUntil([this] { return batch.done(); }, kBatchTimeoutMs);
    }
    std::string image() {
        std::string bytes(kImageLength, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 5 + 1);
        testing_support::writeBytes(dir.file("fw.hgm"), bytes);
        return dir.file("fw.hgm");
    }
};

// The factory settings of family 3, as a settings file.
files::SettingsFile factorySettingsFile() {
    testing_support::SessionRig rig("family=3");
    EXPECT_TRUE(rig.linkUp());
    return settings::captureSettingsFile(rig.form);
}

session::BatchJob jobFor(BatchAction action, BatchRig& rig) {
    session::BatchJob job;
    job.action = action;
    job.count = 2;
    if (action == BatchAction::Import)
        job.file = factorySettingsFile();
    if (action == BatchAction::Flash)
        job.imagePath = rig.image();
    return job;
}

// The second ESC on the bench: one that fits the first, one of another family, and one
// that fits but does not keep what it is given (a worn settings cell, or no answer in the
// middle of its update).
enum class Second { Fits, OtherFamily, FailsCheck };

std::string secondEsc(Second second, BatchAction action) {
    switch (second) {
        case Second::Fits:
            return kCarEsc;
        case Second::OtherFamily:
            return "family=1";
        case Second::FailsCheck:
            return action == BatchAction::Flash ? std::string(kCarEsc) + ",fwsilent=3"
                                                : std::string(kCarEsc) + ",stuck=1";
    }
    return "";
}

TEST(Batch, EachActionOnAnEscThatFitsIsOfAnotherFamilyOrFailsItsCheck) {
    struct Case {
        BatchAction action;
        Second second;
        BatchVerdict verdict;
        Operation operation;
        Outcome outcome;
    };
    const Case cases[] = {
        {BatchAction::Import, Second::Fits, BatchVerdict::Programmed, Operation::Import,
         Outcome::Ok},
        {BatchAction::Import, Second::OtherFamily, BatchVerdict::Skipped, Operation::Read,
         Outcome::Refused},
        {BatchAction::Import, Second::FailsCheck, BatchVerdict::Failed, Operation::Import,
         Outcome::NotStored},
        {BatchAction::Defaults, Second::Fits, BatchVerdict::Programmed, Operation::Defaults,
         Outcome::Ok},
        {BatchAction::Defaults, Second::OtherFamily, BatchVerdict::Programmed, Operation::Defaults,
         Outcome::Ok},
        {BatchAction::Defaults, Second::FailsCheck, BatchVerdict::Failed, Operation::Defaults,
         Outcome::NotStored},
        {BatchAction::Flash, Second::Fits, BatchVerdict::Programmed, Operation::Update,
         Outcome::Ok},
        {BatchAction::Flash, Second::OtherFamily, BatchVerdict::Skipped, Operation::Read,
         Outcome::Refused},
        {BatchAction::Flash, Second::FailsCheck, BatchVerdict::Failed, Operation::Update,
         Outcome::UpdateFailed},
    };
    for (const Case& c : cases) {
        const std::string second = secondEsc(c.second, c.action);
        SCOPED_TRACE(std::string(session::batchActionName(c.action)) + " onto " + second);
        BatchRig rig(kCarEsc);
        rig.queue(second);
        const session::BatchJob job = jobFor(c.action, rig);
        ASSERT_TRUE(rig.run(job));
        ASSERT_EQ(rig.reports.done.size(), 2u);
        EXPECT_EQ(rig.reports.waiting, (std::vector<uint32_t>{1, 2}));
        EXPECT_EQ(rig.reports.arrived, (std::vector<uint32_t>{1, 2}));

        const session::BatchEscReport& first = rig.reports.done[0];
        EXPECT_EQ(first.verdict, BatchVerdict::Programmed) << first.result.message;
        EXPECT_EQ(first.identity.info.family, 3);
        ASSERT_TRUE(first.result.backup.has_value());

        const session::BatchEscReport& report = rig.reports.done[1];
        EXPECT_EQ(report.number, 2u);
        EXPECT_EQ(rig.esc->escIndex(), 1u) << "the report is of the second ESC";
        EXPECT_EQ(report.identity.info.family, rig.esc->config().family);
        EXPECT_EQ(report.verdict, c.verdict) << report.result.message;
        EXPECT_EQ(report.operation, c.operation);
        EXPECT_EQ(report.result.outcome, c.outcome) << report.result.message;
        EXPECT_EQ(rig.batch.firstFailure().has_value(), c.verdict == BatchVerdict::Failed);

        const Bytes secondsOwn =
            sim::EscEmulator(testing_support::simConfig(second)).storedParams();
        if (c.verdict == BatchVerdict::Skipped) {
            // Left as it came, without a backup, as nothing was written.
            EXPECT_EQ(rig.esc->storedParams(), secondsOwn);
            EXPECT_FALSE(report.result.backup.has_value());
            EXPECT_THAT(report.result.message, HasSubstr("family 1"));
            continue;
        }
        // Whatever was written, the second ESC's own settings were kept first.
        ASSERT_TRUE(report.result.backup.has_value());
        EXPECT_NE(*report.result.backup, *first.result.backup);
        std::string error;
        const auto kept = files::readEscBackup(rig.dir.file(*report.result.backup), error);
        ASSERT_TRUE(kept.has_value()) << error;
        EXPECT_EQ(kept->settings, secondsOwn);
        EXPECT_EQ(kept->family, rig.esc->config().family);
        if (c.action == BatchAction::Flash && c.verdict == BatchVerdict::Programmed) {
            EXPECT_EQ(rig.esc->firmware().image().size(), kImageLength);
        }
    }
}

// Stopped while it waits: at once, with nothing more written. Stopped during an update:
// the ESC is told to abort, and the ESC is reported as failed.
TEST(Batch, StopsCleanly) {
    {
        BatchRig rig(kCarEsc);
        session::BatchJob job;
        job.action = BatchAction::Defaults;
        ASSERT_TRUE(rig.session->openNow());
        rig.batch.start(job);
        ASSERT_TRUE(rig.host.runUntil([&] { return rig.reports.done.size() == 1; }, 60000));
        const uint32_t writes = rig.esc->storedWrites();
        rig.batch.stop();
        EXPECT_TRUE(rig.batch.done());
        rig.host.runFor(20000);
        EXPECT_EQ(rig.esc->storedWrites(), writes);
        EXPECT_EQ(rig.reports.done.size(), 1u);
    }
    {
        BatchRig rig(kCarEsc);
        session::BatchJob job;
        job.action = BatchAction::Flash;
        job.imagePath = rig.image();
        ASSERT_TRUE(rig.session->openNow());
        rig.batch.start(job);
        ASSERT_TRUE(rig.host.runUntil(
            [&] { return rig.session->firmwareUpdate().acknowledgedBytes() > 0; }, 60000));
        rig.batch.stop();
        EXPECT_TRUE(rig.batch.done());
        ASSERT_EQ(rig.reports.done.size(), 1u);
        EXPECT_EQ(rig.reports.done[0].verdict, BatchVerdict::Failed);
        EXPECT_EQ(rig.reports.done[0].result.outcome, Outcome::UpdateFailed);
        EXPECT_FALSE(rig.controller().updateInProgress());
        EXPECT_GE(rig.esc->commandCount(sim::kUpdateAbort), 1u);
    }
}

}  // namespace

namespace {

// Takes the first ESC off the lead as soon as it was read, before it is programmed.
struct PullsTheFirst final : session::BatchListener {
    Reports& reports;
    sim::EscEmulator& esc;
    PullsTheFirst(Reports& r, sim::EscEmulator& e) : reports(r), esc(e) {}
    void waitingForEsc(uint32_t number) override { reports.waitingForEsc(number); }
    void escArrived(uint32_t number, const session::EscIdentity& identity) override {
        reports.escArrived(number, identity);
        if (number == 1)
            esc.unplugEsc(200);  // about 6 s of an empty lead, then the next
    }
    void escDone(const session::BatchEscReport& report) override { reports.escDone(report); }
};

// An ESC that goes silent in the middle of its step is given up after the step's time-out,
// reported as failed, and the next ESC is identified afresh and programmed.
TEST(Batch, AnEscThatGoesSilentMidStepIsGivenUp) {
    struct Case {
        BatchAction action;
        Operation operation;
        Outcome outcome;
    };
    const Case cases[] = {
        {BatchAction::Import, Operation::Import, Outcome::EscLost},
        {BatchAction::Defaults, Operation::Defaults, Outcome::EscLost},
        {BatchAction::Flash, Operation::Update, Outcome::UpdateFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(session::batchActionName(c.action));
        BatchRig rig(kCarEsc);
        rig.queue(kCarEsc);
        PullsTheFirst pulls(rig.reports, *rig.esc);
        rig.batch.setListener(&pulls);
        rig.batch.setStepTimeoutMs(3000);
        ASSERT_TRUE(rig.run(jobFor(c.action, rig)));
        ASSERT_EQ(rig.reports.done.size(), 2u);
        const session::BatchEscReport& lost = rig.reports.done[0];
        EXPECT_EQ(lost.verdict, BatchVerdict::Failed);
        EXPECT_EQ(lost.operation, c.operation);
        EXPECT_EQ(lost.result.outcome, c.outcome) << lost.result.message;
        EXPECT_TRUE(lost.result.backup.has_value()) << "kept before anything was sent";
        const session::BatchEscReport& next = rig.reports.done[1];
        EXPECT_EQ(next.verdict, BatchVerdict::Programmed) << next.result.message;
        EXPECT_EQ(rig.esc->escIndex(), 1u);
    }
}

}  // namespace
