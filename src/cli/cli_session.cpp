#include "cli/cli_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "cli/cli_messages.h"
#include "devices/adapter_choice.h"
#include "devices/replay_port.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/language_apply.h"

namespace cli {

namespace {

// Beyond the tick's worth of time that settleLink waits: a late answer's last bytes.
constexpr uint32_t kSettleExtraMs = 10;

}  // namespace

form::MessageAnswer StreamPrompter::showMessage(const std::string& text, form::MessageIcon,
                                                form::MessageButtons,
                                                form::MessageAnswer defaultAnswer) {
    m_messages.push_back(text);
    // A box without text (a key missing from the language file) says nothing on a line.
    if (!text.empty())
        m_err << "tessaro-cli: " << text << "\n" << std::flush;
    return defaultAnswer;
}

std::string currentDirectory() {
    std::string buffer(PATH_MAX, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return ".";
    buffer.resize(buffer.find('\0'));
    return buffer;
}

std::string workingDirectory() {
    const std::string current = currentDirectory();
    struct stat info {};
    if (::stat(i18n::languageFilePathFor(current).c_str(), &info) == 0)
        return current;
    const char* chosen = std::getenv(kWorkDirEnv);
    if (chosen != nullptr && *chosen != '\0')
        return chosen;
    return current;
}

std::string fromWorkingDirectory(const std::string& relative) {
    const std::string directory = workingDirectory();
    if (directory == currentDirectory() || relative.empty() || relative[0] == '/')
        return relative;
    return directory + "/" + relative;
}

void StreamTrace::frameWritten(std::span<const uint8_t> frame) {
    m_err << "> " << common::hexBytes(frame) << "\n" << std::flush;
}

void StreamTrace::replyReceived(std::span<const uint8_t> reply) {
    m_err << "< " << common::hexBytes(reply) << "\n" << std::flush;
}

CliSession::CliSession(devices::Device device, std::string deviceUri, transport::Clock& clock,
                       std::ostream& err, bool trace, std::string directory)
    : m_device(std::move(device)),
      m_deviceUri(std::move(deviceUri)),
      m_host(clock),
      m_prompter(err),
      m_trace(err) {
    m_session = std::make_unique<session::Session>(*m_device.port, m_host, clock, m_form,
                                                   m_prompter, std::move(directory));
    if (trace)
        m_session->setTrace(&m_trace);
    // Whatever the device's source has queued, asked at every protocol tick (its
    // descriptor, if any, is not watched). A removal that closes the open adapter (not
    // that of some other device) ends the wait.
    if (m_device.changes != nullptr) {
        m_session->setDeviceChangePoll([this] {
            std::vector<transport::DeviceEvent> changes = m_device.changes->takeChanges();
            for (const transport::DeviceEvent& change : changes) {
                // A replay's end takes its device away: the end is the reason to tell.
                if (change.kind == transport::DeviceEventKind::Removal && !replayFailed() &&
                    m_session->link().isOpen() &&
                    transport::pathsEqual(change.path, m_session->link().devicePath()))
                    m_failure = Failure::AdapterRemoved;
            }
            return changes;
        });
    }
    // A replay's end fails whatever the run waits for, with the difference it found.
    if (m_device.replay != nullptr) {
        m_device.replay->setEndHandler([this](const std::string& difference) {
            m_replayDifference = difference;
            m_failure = difference.empty() ? Failure::ReplayEnded : Failure::ReplayDiffers;
        });
    }
    // As the window starts: the calculator's first result, then the language's texts.
    settings::initCalculator(m_form);
    settings::applyLanguage(m_form, controller().escInfo(), false, m_session->layoutMemory());
}

CliSession::~CliSession() {
    // The session closes the port as it goes: nothing is left to hear of it.
    if (m_device.replay != nullptr)
        m_device.replay->setEndHandler({});
}

bool CliSession::waitFor(const std::function<bool()>& done, Failure failure) {
    const uint32_t giveUpsBefore = controller().versionGiveUps();
    const auto gaveUp = [this, giveUpsBefore] {
        return controller().versionGiveUps() > giveUpsBefore;
    };
    const bool ok = runUntil([&] {
        return done() || gaveUp() || m_failure == Failure::AdapterRemoved || replayFailed();
    });
    if (m_failure == Failure::AdapterRemoved || replayFailed())
        return false;
    if (gaveUp()) {
        m_failure = Failure::EscVersionFailed;
        return false;
    }
    if (ok && done())
        return true;
    m_failure = failure;
    return false;
}

bool CliSession::runUntil(const std::function<bool()>& done) {
    const uint64_t now = m_host.elapsedMs();
    const uint64_t left = m_deadlineMs > now ? m_deadlineMs - now : 0;
    return m_host.runUntil(done, static_cast<uint32_t>(left));
}

void CliSession::runFor(uint32_t ms) {
    const uint64_t now = m_host.elapsedMs();
    const uint64_t left = m_deadlineMs > now ? m_deadlineMs - now : 0;
    m_host.runFor(static_cast<uint32_t>(std::min<uint64_t>(ms, left)));
}

bool CliSession::startLink() {
    m_deadlineMs = m_host.elapsedMs() + m_timeoutMs;
    if (!m_session->openNow()) {
        m_failure = Failure::NoAdapter;
        return false;
    }
    if (m_session->adapterHolder()) {
        // Waiting would not help: the other process holds it as long as it runs.
        m_failure = Failure::AdapterHeld;
        return false;
    }
    if (!m_session->link().isOpen()) {
        // Nor does it when this user may not open the adapter: the fix is the user's.
        m_unopenable = unopenableAdapter();
        if (m_unopenable && m_unopenable->access == devices::AdapterAccess::NoPermission) {
            m_failure = Failure::AdapterNotOpened;
            return false;
        }
    }
    if (!waitFor([this] { return controller().adapterLinked(); }, Failure::AdapterSilent)) {
        if (m_failure == Failure::AdapterSilent && !m_session->link().isOpen()) {
            m_failure = Failure::AdapterNotOpened;
            m_unopenable = unopenableAdapter();
        }
        return false;
    }
    return true;
}

std::optional<devices::AdapterReport> CliSession::unopenableAdapter() {
    const std::string& path = m_session->link().devicePath();
    for (devices::AdapterReport& report :
         devices::diagnoseAdapters(m_device.kind, *m_device.port)) {
        if (!report.openable && transport::pathsEqual(report.path, path))
            return std::move(report);
    }
    return std::nullopt;
}

bool CliSession::waitForIdentification() {
    return waitFor([this] { return controller().escVersionCount() > 0; }, Failure::EscSilent);
}

bool CliSession::waitForSettings() {
    return waitFor(
        [this] {
            return controller().formMatchesEsc() &&
                   controller().protocolState() == protocol::kStateLinkPolling;
        },
        Failure::EscSilent);
}

bool CliSession::settleLink() {
    if (!waitForSettings())
        return false;
    m_host.stopTimer(transport::kProtocolTimer);
    runFor(transport::kProtocolPeriodMs + kSettleExtraMs);
    return true;
}

bool CliSession::runOperation(const std::function<bool(session::Session&)>& start,
                              session::Result& result) {
    if (!settleLink())
        return false;
    if (start(*m_session) && !waitFor([this] { return !m_session->busy(); }, Failure::EscSilent)) {
        return false;
    }
    result = m_session->lastResult();
    return true;
}

std::string CliSession::failureText() const {
    const std::string seconds = msg(Msg::Seconds, {std::to_string((m_timeoutMs + 999) / 1000)});
    switch (m_failure) {
        case Failure::None:
            return "";
        case Failure::NoAdapter:
            if (m_device.kind == devices::DeviceKind::Hid) {
                const devices::AdapterSelection selection = devices::selectionOf(*m_device.port);
                return selection.named() ? msg(Msg::NoNamedAdapter, {selection.text()})
                                         : msg(Msg::NoAdapterHid);
            }
            return msg(Msg::NoAdapterAt, {m_deviceUri});
        case Failure::AdapterNotOpened:
            if (m_unopenable) {
                return msg(Msg::AdapterCannotOpen,
                           {m_unopenable->path, m_unopenable->reason, m_unopenable->fix});
            }
            return msg(Msg::AdapterNotOpened, {m_session->link().devicePath()});
        case Failure::AdapterSilent:
            return msg(Msg::AdapterSilent, {seconds});
        case Failure::EscSilent:
            return msg(Msg::EscSilent, {seconds});
        case Failure::EscVersionFailed:
            return "";  // the warning's own line has said it
        case Failure::AdapterRemoved:
            return msg(Msg::AdapterGone);
        case Failure::ReplayDiffers:
            return m_replayDifference;
        case Failure::ReplayEnded:
            return msg(Msg::ReplayEnded);
        case Failure::AdapterHeld: {
            const transport::DeviceHolder& holder = *m_session->adapterHolder();
            return msg(Msg::AdapterHeld,
                       {m_session->link().devicePath(),
                        (holder.program.empty() ? msg(Msg::SomeProgram) : holder.program) +
                            (holder.pid > 0 ? msg(Msg::Pid, {std::to_string(holder.pid)})
                                            : std::string())});
        }
    }
    return "";
}

}  // namespace cli
