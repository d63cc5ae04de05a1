#include "cli/flash_command.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "cli/cli_messages.h"
#include "cli/cli_session.h"
#include "cli/command_support.h"
#include "devices/device_uri.h"
#include "files/firmware_image.h"
#include "i18n/ui_text.h"
#include "protocol/firmware_update.h"

namespace cli {

namespace {

constexpr int kBarCells = 30;
constexpr char kCellDone = '#';
constexpr char kCellRest = '.';
constexpr int kPercent = 100;
constexpr uint64_t kMsPerSecond = 1000;
constexpr uint64_t kSecondsPerMinute = 60;

std::string fileSizeText(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? std::string("its") : std::to_string(size);
}

// The reason the image was not loaded, or empty when it was.
std::string loadImage(files::FirmwareImage& image, const std::string& path) {
    errno = 0;
    std::string reason;
    const files::ImageLoadResult loaded = image.load(path, &reason);
    const int cause = errno;
    switch (loaded) {
        case files::ImageLoadResult::Loaded:
            return "";
        case files::ImageLoadResult::CannotOpen:
            // Without the system's error it was opened, and is a folder, FIFO or device.
            return msg(Msg::CannotReadImage,
                       {path, cause != 0        ? std::string(": ") + std::strerror(cause)
                              : !reason.empty() ? ": " + msg(Msg::NotRegularFile)
                                                : ""});
        case files::ImageLoadResult::TooLong:
            return msg(Msg::ImageTooLong,
                       {path, fileSizeText(path), std::to_string(files::kMaxImageLength)});
        case files::ImageLoadResult::TooShort:
            return msg(Msg::ImageTooShort,
                       {path, fileSizeText(path), std::to_string(common::kUpdateBlockSize)});
    }
    return msg(Msg::CannotReadImage, {path, ""});
}

std::string minutesSeconds(uint64_t ms) {
    const uint64_t seconds = (ms + kMsPerSecond - 1) / kMsPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu",
                  static_cast<unsigned long long>(seconds / kSecondsPerMinute),
                  static_cast<unsigned long long>(seconds % kSecondsPerMinute));
    return text;
}

// Shows the progress on standard error, one line redrawn in place. Everything else the
// run writes there (warnings, --trace) goes through stream(), which first ends a drawn
// line so that no text lands behind the bar.
class ProgressLine final : private std::streambuf {
  public:
    ProgressLine(std::ostream& err, FlashProgress shown)
        : m_err(err), m_stream(this), m_mode(shown) {}
    std::ostream& stream() { return m_stream; }
    void show(int32_t done, int32_t total, uint64_t elapsedMs) {
        if (done == m_shown || m_mode == FlashProgress::None)
            return;
        m_shown = done;
        if (m_mode == FlashProgress::Lines) {
            // One plain line at each tenth, for logs and pipes.
            const int32_t tenth = total > 0 ? static_cast<int32_t>(int64_t{done} * 10 / total) : 0;
            if (tenth != m_lastTenth) {
                m_lastTenth = tenth;
                m_err << kProgramPrefix << msg(Msg::FlashProgress, {std::to_string(tenth * 10)})
                      << "\n"
                      << std::flush;
            }
            return;
        }
        m_err << "\r" << flashProgressLine(done, total, elapsedMs) << std::flush;
        m_open = true;
    }
    // Ends the line so that what follows starts on a line of its own.
    void finish() {
        if (m_open)
            m_err << "\n" << std::flush;
        m_open = false;
        m_shown = -1;
    }

  private:
    int overflow(int c) override {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        finish();
        m_err.write(text, count);
        return count;
    }
    int sync() override {
        m_err.flush();
        return 0;
    }

    std::ostream& m_err;
    std::ostream m_stream;
    FlashProgress m_mode;
    int32_t m_shown = -1;
    int32_t m_lastTenth = -1;
    bool m_open = false;
};

// The signal that asked the update to end, 0 while none did.
volatile sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    g_stopSignal = signal;
}

// SIGINT and SIGTERM set g_stopSignal while the update runs; the handlers found before
// come back afterwards.
class StopSignals {
  public:
    StopSignals() {
        g_stopSignal = 0;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            m_installed[i] = ::sigaction(kSignals[i], &action, &m_previous[i]) == 0;
    }
    ~StopSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            if (m_installed[i])
                ::sigaction(kSignals[i], &m_previous[i], nullptr);
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The exit code for the signal that arrived, 0 for none.
    static int exitCode() {
        const int signal = g_stopSignal;
        return signal == 0 ? 0 : kSignalExitBase + signal;
    }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    static constexpr int kSignalExitBase = 128;
    struct sigaction m_previous[std::size(kSignals)]{};
    bool m_installed[std::size(kSignals)] = {};
};

std::string stopReason(int code) {
    if (code == kExitInterrupted)
        return msg(Msg::InterruptedBySignal, {"SIGINT"});
    if (code == kExitTerminated)
        return msg(Msg::InterruptedBySignal, {"SIGTERM"});
    return msg(Msg::Interrupted);
}

}  // namespace

const char* flashUsageText() {
    return "  flash IMAGE          replace the ESC's firmware with the image file (*.hgm, *.bin)\n";
}

std::string flashProgressLine(int32_t doneBytes, int32_t totalBytes, uint64_t elapsedMs) {
    if (totalBytes <= 0)
        totalBytes = 1;
    doneBytes = std::max(0, std::min(doneBytes, totalBytes));
    const int cells = static_cast<int>(int64_t{doneBytes} * kBarCells / totalBytes);
    const int percent = static_cast<int>(int64_t{doneBytes} * kPercent / totalBytes);
    std::string line = "[";
    line.append(static_cast<size_t>(cells), kCellDone);
    line.append(static_cast<size_t>(kBarCells - cells), kCellRest);
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    line += "] ";
    line += number;
    line += "  ETA ";
    if (doneBytes == 0) {
        line += "-:--";
    } else {
        const uint64_t left = elapsedMs * static_cast<uint64_t>(totalBytes - doneBytes) /
                              static_cast<uint64_t>(doneBytes);
        line += minutesSeconds(left);
    }
    return line;
}

int runFlash(const CliOptions& options, std::ostream& out, std::ostream& err,
             transport::Clock& clock, const FlashStopRequest& stopRequest, FlashProgress shown) {
    if (options.args.size() != 1) {
        return fail(err, kExitUsage, msg(Msg::FlashTakesImage));
    }
    const std::string& path = options.args[0];
    files::FirmwareImage image;
    if (const std::string problem = loadImage(image, path); !problem.empty())
        return fail(err, kExitFileError, problem);

    devices::Device device;
    if (int code = kExitOk; !openDevice(options, clock, err, device, code))
        return code;
    ProgressLine progress(err, shown);
    CliSession session(std::move(device), options.device, clock, progress.stream(), options.trace,
                       workingDirectory());
    const uint64_t timeoutMs = uint64_t{options.timeoutSeconds} * kMsPerSecond;
    session.setTimeoutMs(timeoutMs);
    // The update request goes out from a quiet link, once the settings were read (they
    // are kept in a backup first).
    if (!session.startLink() || !session.settleLink())
        return linkFailure(progress.stream(), session);

    session::Session& core = session.session();
    const protocol::FirmwareUpdate& update = core.firmwareUpdate();
    protocol::ProtocolController& controller = session.controller();
    StopSignals signals;
    if (!core.update(path)) {
        const session::Result& refused = core.lastResult();
        return fail(
            err,
            refused.outcome == session::Outcome::FileError ? kExitFileError : kExitUpdateFailed,
            refused.message.empty() ? msg(Msg::UpdateNotStarted) : refused.message);
    }

    // States 6, 11 and 12 wait without limit: the time-out bounds every step instead.
    protocol::TickHost& host = session.host();
    const uint64_t startMs = host.elapsedMs();
    uint64_t lastChangeMs = startMs;
    uint8_t lastState = controller.protocolState();
    int32_t lastDone = 0;
    progress.show(0, image.length(), 0);
    bool stalled = false;
    int stopCode = 0;
    const auto finished = [&] {
        const uint64_t now = host.elapsedMs();
        if (controller.protocolState() != lastState || update.acknowledgedBytes() != lastDone) {
            lastState = controller.protocolState();
            lastDone = update.acknowledgedBytes();
            lastChangeMs = now;
        }
        progress.show(lastDone, image.length(), now - startMs);
        if (!core.busy() || session.failure() == CliSession::Failure::AdapterRemoved ||
            session.replayFailed())
            return true;
        stopCode = StopSignals::exitCode();
        if (stopCode == 0 && stopRequest)
            stopCode = stopRequest(lastDone);
        if (stopCode != 0)
            return true;
        stalled = now - lastChangeMs >= timeoutMs;
        return stalled;
    };
    // Each wait ends at an outcome, a stop or after a time-out without any step.
    while (!finished()) host.runUntil(finished, static_cast<uint32_t>(timeoutMs));
    progress.finish();
    const uint8_t stoppedIn = controller.protocolState();
    // Given up or stopped: the ESC is told, so that it does not wait for the next block.
    const bool abort = (stalled || stopCode != 0) && controller.updateInProgress();
    if (abort)
        core.abortUpdate();
    const session::Result result = core.lastResult();
    if (result.backup && !options.quiet) {
        progress.stream() << kProgramPrefix << i18n::LookupUiText(i18n::kTextBackupSaved) << " "
                          << fromWorkingDirectory(*result.backup) << "\n";
    }
    const std::string aborted = abort ? msg(Msg::UpdateAbortSent) : "";

    if (stopCode != 0)
        return fail(err, stopCode, stopReason(stopCode) + aborted);
    if (session.replayFailed())
        return linkFailure(err, session);
    if (stalled) {
        return fail(
            err, kExitUpdateFailed,
            msg(Msg::UpdateStalled, {msg(Msg::Seconds, {std::to_string(options.timeoutSeconds)}),
                                     protocol::updateStateName(stoppedIn), aborted}));
    }
    switch (result.outcome) {
        case session::Outcome::Ok:
            out << msg(Msg::Flashed,
                       {std::to_string(image.length()), minutesSeconds(host.elapsedMs() - startMs)})
                << "\n";
            return kExitOk;
        case session::Outcome::AdapterRemoved:
            return fail(err, kExitUpdateFailed, msg(Msg::UpdateAdapterGone));
        default:
            return fail(err, kExitUpdateFailed, msg(Msg::UpdateFailed, {result.message}));
    }
}

}  // namespace cli

namespace cli {

namespace {

int runFlashCommand(CommandContext& ctx) {
    if (ctx.options.args.size() != 1)
        return fail(ctx.err, kExitUsage, msg(Msg::FlashTakesImage));
    if (const int code = confirm(ctx, msg(Msg::ConfirmFlash, {ctx.options.args[0]}));
        code != kExitOk)
        return code;
    if (const int code = prepareLanguage(ctx); code != kExitOk)
        return code;
    const FlashProgress shown = ctx.options.quiet     ? FlashProgress::None
                                : ctx.errorIsTerminal ? FlashProgress::Bar
                                                      : FlashProgress::Lines;
    return runFlash(ctx.options, ctx.out, ctx.err, ctx.clock, {}, shown);
}

}  // namespace

const Command& flashCommand() {
    static const Command command{
        "flash", "flash IMAGE", "write a firmware image (*.hgm, *.bin) into the ESC",
        "Replaces the ESC's firmware with the image file (*.hgm, *.bin), with a progress\n"
        "line on standard error. The settings are kept in backups/ first. Exit code 5 when\n"
        "the update fails or stalls, 130 and 143 when SIGINT or SIGTERM ended it (the ESC\n"
        "is told to abort it). Asks first on a terminal; --yes goes ahead without asking\n"
        "(and is needed when standard input is no terminal). The progress is a bar on a\n"
        "terminal and a line at every tenth otherwise; --quiet shows none.\n",
        runFlashCommand};
    return command;
}

}  // namespace cli
