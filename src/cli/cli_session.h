#pragma once
// One run of tessaro-cli against a device: the session core on the in-memory form and a
// host that runs the timers on the given clock, and the waiting a command line does.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/hex.h"
#include "devices/adapter_diagnosis.h"
#include "devices/device_uri.h"
#include "form/headless_form.h"
#include "form/prompter.h"
#include "link/clock.h"
#include "protocol/protocol_controller.h"
#include "protocol/tick_host.h"
#include "session/session.h"

namespace cli {

// Warnings of the core, one line each on standard error; every box is answered OK.
class StreamPrompter final : public form::Prompter {
  public:
    explicit StreamPrompter(std::ostream& err) : m_err(err) {}
    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon icon,
                                    form::MessageButtons buttons,
                                    form::MessageAnswer defaultAnswer) override;
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    const std::vector<std::string>& messages() const { return m_messages; }

  private:
    std::ostream& m_err;
    std::vector<std::string> m_messages;
};

// --trace: "> " before every frame written, "< " before every non-empty reply.
class StreamTrace final : public protocol::FrameTrace {
  public:
    explicit StreamTrace(std::ostream& err) : m_err(err) {}
    void frameWritten(std::span<const uint8_t> frame) override;
    void replyReceived(std::span<const uint8_t> reply) override;

  private:
    std::ostream& m_err;
};

// The process's working directory ("." when it cannot be told).
std::string currentDirectory();

// The environment variable naming the directory a run works in when the current one holds
// no language.ini; the installed launcher sets it to the user's own working directory.
inline constexpr const char* kWorkDirEnv = "TESSARO_WORKDIR";

// The directory whose language.ini (texts, the language choice) and backups/ this run
// uses: the current directory when it holds a language.ini, else $TESSARO_WORKDIR when
// set, else the current directory. Files named on the command line stay relative to the
// current directory: the process never changes it.
std::string workingDirectory();

// A path relative to workingDirectory() ("backups/…") as the user can use it from the
// current directory: unchanged when the two are the same, else with the working directory
// in front.
std::string fromWorkingDirectory(const std::string& relative);

class CliSession {
  public:
    // `device` must hold an opened port; `clock` must outlive the session. Backups go to
    // `directory`/backups.
    CliSession(devices::Device device, std::string deviceUri, transport::Clock& clock,
               std::ostream& err, bool trace, std::string directory = ".");
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Why the last wait failed, for the one-line error.
    enum class Failure {
        None,
        NoAdapter,
        AdapterNotOpened,
        AdapterSilent,
        EscSilent,
        EscVersionFailed,
        AdapterRemoved,
        AdapterHeld,    // another process has the adapter open
        ReplayDiffers,  // the program departed from the recording a replayed device plays
        ReplayEnded,    // the program went on past the end of that recording
    };

    // Finds and opens the adapter and waits for its version; false with failure() set.
    bool startLink();
    // Waits until the ESC identified itself (version reply, or a family-7 poll answer).
    bool waitForIdentification();
    // Waits until the settings of the ESC now connected have been read.
    bool waitForSettings();
    // Brings the link to rest before a command that talks to the ESC: waits for the
    // settings when none were read yet, stops timer 0 and lets a tick's worth of time pass
    // without a tick, so that the answer to the last poll has arrived (the command drains
    // it) before the command sends its first frame and restarts timer 0. False with
    // failure() set when the settings did not come.
    bool settleLink();
    // Runs one operation of the session from a quiet link to its end: `start` starts it
    // (one of session()'s operations). False with failure() set when the link failed
    // first or the time-out came; otherwise the result is the operation's.
    bool runOperation(const std::function<bool(session::Session&)>& start, session::Result& result);
    Failure failure() const { return m_failure; }
    bool replayFailed() const {
        return m_failure == Failure::ReplayDiffers || m_failure == Failure::ReplayEnded;
    }
    std::string failureText() const;

    session::Session& session() { return *m_session; }
    protocol::ProtocolController& controller() { return m_session->controller(); }
    form::HeadlessForm& form() { return m_form; }
    StreamPrompter& prompter() { return m_prompter; }
    protocol::TickHost& host() { return m_host; }
    devices::Device& device() { return m_device; }
    // The time-out of the whole run, counted from startLink.
    void setTimeoutMs(uint64_t timeoutMs) { m_timeoutMs = timeoutMs; }
    uint64_t timeoutMs() const { return m_timeoutMs; }
    // Runs the timers until `done` or the time-out; false at the time-out.
    bool runUntil(const std::function<bool()>& done);
    // Runs the timers for `ms` (or less when the time-out comes first).
    void runFor(uint32_t ms);

  private:
    bool waitFor(const std::function<bool()>& done, Failure failure);
    // Why the adapter the link found cannot be opened, as the diagnosis tells it.
    std::optional<devices::AdapterReport> unopenableAdapter();

    devices::Device m_device;
    std::string m_deviceUri;
    protocol::TickHost m_host;
    form::HeadlessForm m_form;
    StreamPrompter m_prompter;
    StreamTrace m_trace;
    std::unique_ptr<session::Session> m_session;
    uint64_t m_timeoutMs = 10000;
    uint64_t m_deadlineMs = 0;
    Failure m_failure = Failure::None;
    std::optional<devices::AdapterReport> m_unopenable;
    std::string m_replayDifference;
};

}  // namespace cli
