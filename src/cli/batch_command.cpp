#include "cli/batch_command.h"

#include <signal.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_messages.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "files/firmware_image.h"
#include "files/settings_file.h"
#include "session/batch.h"
#include "settings/settings_file_commands.h"

namespace cli {

namespace {

constexpr uint32_t kWaitSliceMs = 60000;
constexpr int kMaxCount = 1000000;

// The signal that asked the batch to end, 0 while none did.
volatile sig_atomic_t g_batchStopSignal = 0;

extern "C" void onBatchStopSignal(int signal) {
    g_batchStopSignal = signal;
}

// SIGINT and SIGTERM end the batch cleanly while it runs; the handlers found before come
// back afterwards.
class BatchSignals {
  public:
    BatchSignals() {
        g_batchStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = onBatchStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            m_installed[i] = ::sigaction(kSignals[i], &action, &m_previous[i]) == 0;
    }
    ~BatchSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            if (m_installed[i])
                ::sigaction(kSignals[i], &m_previous[i], nullptr);
        }
    }
    BatchSignals(const BatchSignals&) = delete;
    BatchSignals& operator=(const BatchSignals&) = delete;
    static bool arrived() { return g_batchStopSignal != 0; }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    struct sigaction m_previous[std::size(kSignals)]{};
    bool m_installed[std::size(kSignals)] = {};
};

// The words after "batch": the action, its file, and --count N.
struct BatchArguments {
    session::BatchJob job;
    std::string file;
};

bool parseBatchArguments(const std::vector<std::string>& args, BatchArguments& parsed,
                         std::string& error) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string count;
        if (args[i] == "--count") {
            if (i + 1 >= args.size()) {
                error = msg(Msg::CountNeedsNumber);
                return false;
            }
            count = args[++i];
        } else if (args[i].rfind("--count=", 0) == 0) {
            count = args[i].substr(8);
        } else if (args[i].rfind("--", 0) == 0) {
            error = msg(Msg::UnknownBatchOption, {args[i]});
            return false;
        } else {
            words.push_back(args[i]);
            continue;
        }
        int value = 0;
        if (!parseInt(count, value) || value < 1 || value > kMaxCount) {
            error = msg(Msg::CountRange, {std::to_string(kMaxCount), count});
            return false;
        }
        parsed.job.count = static_cast<uint32_t>(value);
    }
    const std::string action = words.empty() ? "" : words[0];
    const std::size_t wanted = action == "defaults" ? 1 : 2;
    if (action == "import") {
        parsed.job.action = session::BatchAction::Import;
    } else if (action == "flash") {
        parsed.job.action = session::BatchAction::Flash;
    } else if (action == "defaults") {
        parsed.job.action = session::BatchAction::Defaults;
    } else {
        error = action.empty() ? msg(Msg::BatchWants) : msg(Msg::BatchWantsNot, {action});
        return false;
    }
    if (words.size() != wanted) {
        error = action == "defaults" ? msg(Msg::BatchDefaultsNoFile)
                                     : msg(Msg::BatchTakesOneFile, {action});
        return false;
    }
    if (wanted == 2)
        parsed.file = words[1];
    return true;
}

std::string familyText(const session::BatchEscReport& report) {
    if (report.identity.info.family == 0)
        return msg(Msg::Unidentified);
    return msg(Msg::FamilyVariant, {std::to_string(report.identity.info.family),
                                    std::to_string(report.identity.info.variant)});
}

// The verdict of a row in words; the JSON rows keep batchVerdictName.
std::string verdictText(const session::BatchEscReport& report) {
    switch (report.verdict) {
        case session::BatchVerdict::Programmed:
            return msg(Msg::VerdictProgrammed);
        case session::BatchVerdict::Skipped:
            return msg(Msg::VerdictSkipped);
        case session::BatchVerdict::Failed:
            return msg(Msg::VerdictFailed);
    }
    return session::batchVerdictName(report.verdict);
}

// Prints the rows and the waits; the exit code of the first failure.
class BatchPrinter final : public session::BatchListener {
  public:
    BatchPrinter(std::ostream& out, std::ostream& err, bool json, bool quiet,
                 session::BatchAction action)
        : m_out(out), m_err(err), m_json(json), m_quiet(quiet), m_action(action) {}

    void waitingForEsc(uint32_t number) override {
        if (m_quiet)
            return;
        m_err << kProgramPrefix << msg(Msg::WaitingForEsc, {std::to_string(number)}) << "\n"
              << std::flush;
    }
    void waitingForRemoval(uint32_t number) override {
        if (m_quiet)
            return;
        m_err << kProgramPrefix << msg(Msg::EscDone, {std::to_string(number)}) << "\n"
              << std::flush;
    }
    void escDone(const session::BatchEscReport& report) override {
        int code = kExitOk;
        if (report.verdict == session::BatchVerdict::Failed) {
            // The details (differences, the backup) go to standard error, as for one ESC.
            code = reportResult(m_err, report.result, sentPlain, m_quiet);
            if (!m_firstFailure)
                m_firstFailure = code;
        }
        if (m_json) {
            nlohmann::ordered_json row;
            row["esc"] = report.number;
            row["family"] = report.identity.info.family;
            row["variant"] = report.identity.info.variant;
            row["action"] = session::batchActionName(m_action);
            row["result"] = session::batchVerdictName(report.verdict);
            row["step"] = session::operationName(report.operation);
            row["outcome"] = session::outcomeName(report.result.outcome);
            row["message"] = report.result.message;
            row["backup"] =
                report.result.backup
                    ? nlohmann::ordered_json(fromWorkingDirectory(*report.result.backup))
                    : nlohmann::ordered_json();
            nlohmann::ordered_json differences = nlohmann::ordered_json::array();
            for (const session::Difference& d : report.result.differences) {
                differences.push_back({{"control", d.control},
                                       {"position", d.position},
                                       {"sent", d.sent},
                                       {"stored", d.stored}});
            }
            row["differences"] = differences;
            row["exit"] = code;
            m_out << row.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n"
                  << std::flush;
            return;
        }
        m_out << msg(Msg::BatchRow,
                     {std::to_string(report.number), familyText(report), verdictText(report)});
        switch (report.verdict) {
            case session::BatchVerdict::Programmed:
                if (report.result.backup)
                    m_out << msg(Msg::RowBackup, {fromWorkingDirectory(*report.result.backup)});
                break;
            case session::BatchVerdict::Skipped:
                m_out << ": " << report.result.message;
                break;
            case session::BatchVerdict::Failed:
                m_out << msg(Msg::RowFailedIn,
                             {session::operationName(report.operation),
                              session::outcomeName(report.result.outcome), std::to_string(code)});
                break;
        }
        m_out << "\n" << std::flush;
    }
    std::optional<int> firstFailure() const { return m_firstFailure; }

  private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_json;
    bool m_quiet;
    session::BatchAction m_action;
    std::optional<int> m_firstFailure;
};

int runBatchCommand(CommandContext& ctx) {
    return runBatch(ctx);
}

}  // namespace

int runBatch(CommandContext& ctx, const BatchStopRequest& stopRequest) {
    const CliOptions& options = ctx.options;
    std::ostream& out = ctx.out;
    std::ostream& err = ctx.err;
    BatchArguments parsed;
    std::string error;
    if (!parseBatchArguments(options.args, parsed, error))
        return fail(err, kExitUsage, error);
    session::BatchJob& job = parsed.job;
    if (job.action == session::BatchAction::Import) {
        files::SettingsFileError fileError = files::SettingsFileError::None;
        const auto file = files::SettingsFile::read(parsed.file, fileError);
        if (!file) {
            return fail(err, kExitFileError,
                        fileError == files::SettingsFileError::WrongSize
                            ? std::string(settings::kFileErrorMessage) + " " +
                                  msg(Msg::NotSettingsFile, {parsed.file})
                            : msg(Msg::CannotRead, {parsed.file}));
        }
        job.file = *file;
    } else if (job.action == session::BatchAction::Flash) {
        // Every ESC loads it again; a file that is no image stops the batch before the first.
        files::FirmwareImage image;
        if (image.load(parsed.file) != files::ImageLoadResult::Loaded) {
            return fail(
                err, kExitFileError,
                msg(Msg::NoFirmwareImage, {parsed.file, std::to_string(common::kUpdateBlockSize),
                                           std::to_string(files::kMaxImageLength)}));
        }
        job.imagePath = parsed.file;
    }

    // Like flash and defaults on their own, the two that cannot be taken back ask first.
    if (job.action != session::BatchAction::Import) {
        const std::string question = job.action == session::BatchAction::Flash
                                         ? msg(Msg::ConfirmBatchFlash, {parsed.file})
                                         : msg(Msg::ConfirmBatchDefaults);
        if (const int asked = confirm(ctx, question); asked != kExitOk)
            return asked;
    }
    int code = kExitOk;
    const auto session = openSession(ctx, code);
    if (!session)
        return code;

    BatchPrinter printer(out, err, options.json, options.quiet, job.action);
    session::Batch batch(session->session());
    batch.setListener(&printer);
    batch.setStepTimeoutMs(options.timeoutSeconds * 1000);
    BatchSignals signals;
    batch.start(job);
    protocol::TickHost& host = session->host();
    bool adapterGone = false;
    const auto finished = [&] {
        if (session->failure() == CliSession::Failure::AdapterRemoved || session->replayFailed()) {
            adapterGone = true;
            return true;
        }
        if (!batch.stopped() &&
            (BatchSignals::arrived() || (stopRequest && stopRequest(batch.handled()))))
            batch.stop();
        return batch.done();
    };
    while (!finished()) host.runUntil(finished, kWaitSliceMs);
    if (adapterGone) {
        batch.stop();
        const int gone = linkFailure(err, *session);
        return session->replayFailed() ? gone : printer.firstFailure().value_or(gone);
    }
    return printer.firstFailure().value_or(kExitOk);
}

const Command& batchCommand() {
    static const Command command{
        "batch",
        "batch import FILE | defaults | flash IMAGE [--count N]",
        "program one ESC after another on the same adapter",
        "Programs one ESC after another on the same adapter: waits for an ESC to answer,\n"
        "identifies and reads it, keeps its settings in backups/, imports the settings file,\n"
        "restores the factory defaults or writes the firmware image, reads it back, and\n"
        "prints one row for it (--json: one object per line). Then it waits for that ESC to\n"
        "be taken off and the next one to answer, until Ctrl-C or --count N ESCs.\n"
        "The first ESC sets the family: a settings file and a firmware image carry no\n"
        "family of their own, so an ESC of another family is skipped and left as it is\n"
        "(a firmware image of another family would leave it without working firmware);\n"
        "the factory defaults fit every ESC. Ctrl-C while settings are written lets their\n"
        "read-back finish; while an image is written it aborts the update (UpdateAbort).\n"
        "Exit code 0 when every ESC programmed succeeded (skipped ones do not count),\n"
        "otherwise that of the first that failed: 2 no answer, 3 not stored, 4 file,\n"
        "5 update failed. --timeout bounds the wait for the adapter and each step with an\n"
        "ESC: one silent that long is reported as failed (exit 2). batch defaults\n"
        "and batch flash ask once before they start (--yes skips the question).\n",
        runBatchCommand,
        CommandArguments::OwnOptions,
        true};
    return command;
}

}  // namespace cli
