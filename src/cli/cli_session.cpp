#include "cli/cli_session.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

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

std::string hexBytes(const uint8_t* bytes, uint32_t length, const char* separator) {
    std::string out;
    char digits[3];
    for (uint32_t i = 0; i < length; ++i) {
        if (i > 0)
            out += separator;
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        out += digits;
    }
    return out;
}

void StreamTrace::frameWritten(const uint8_t* frame, uint32_t length) {
    m_err << "> " << hexBytes(frame, length, " ") << "\n" << std::flush;
}

void StreamTrace::replyReceived(const uint8_t* reply, uint32_t length) {
    m_err << "< " << hexBytes(reply, length, " ") << "\n" << std::flush;
}

CliSession::CliSession(devices::Device device, std::string deviceUri, transport::Clock& clock,
                       std::ostream& err, bool trace)
    : m_device(std::move(device)),
      m_deviceUri(std::move(deviceUri)),
      m_clock(clock),
      m_err(err),
      m_host(clock),
      m_prompter(err),
      m_model(m_form),
      m_link(*m_device.port, m_host, clock),
      m_controller(m_link, m_host, m_form, m_prompter, m_model),
      m_trace(err) {
    m_link.setListener(&m_controller);
    m_host.setTimerHandler(transport::kOpenTimer, [this] { m_link.openAdapter(); });
    m_host.setTimerHandler(transport::kProtocolTimer, [this] {
        pollDeviceChanges();
        m_controller.protocolTick();
        // As the window does: a turbo ESC's advanced parameters show once it is linked.
        settings::followFamilyLayout(m_form, m_controller.escInfo(), m_controller.escLinked(),
                                     m_layoutMemory);
    });
    if (trace)
        m_controller.setTrace(&m_trace);
    // As the window starts: the calculator's first result, then the language's texts.
    settings::initCalculator(m_form);
    settings::applyLanguage(m_form, m_controller.escInfo(), false, m_layoutMemory);
}

CliSession::~CliSession() {
    m_link.closeLink();
}

void CliSession::pollDeviceChanges() {
    // Whatever the device's source has queued; its descriptor, if any, is not watched, as
    // the session asks at every protocol tick. A removal that closes the open adapter (not
    // that of some other device) ends the session's wait.
    if (!m_device.changes)
        return;
    for (const transport::DeviceEvent& change : m_device.changes->takeChanges()) {
        const bool wasOpen = m_link.isOpen();
        m_link.onDeviceChange(change);
        if (change.kind == transport::DeviceEventKind::Removal && wasOpen && !m_link.isOpen())
            m_failure = Failure::AdapterRemoved;
    }
}

bool CliSession::gaveUpOnVersion() const {
    const auto& messages = m_prompter.messages();
    return std::find(messages.begin(), messages.end(), protocol::kEscVersionFailedMessage) !=
           messages.end();
}

bool CliSession::waitFor(const std::function<bool()>& done, Failure failure) {
    const uint64_t now = m_host.elapsedMs();
    const uint64_t left = m_deadlineMs > now ? m_deadlineMs - now : 0;
    const bool ok = m_host.runUntil(
        [&] { return done() || gaveUpOnVersion() || m_failure == Failure::AdapterRemoved; },
        static_cast<uint32_t>(left));
    if (m_failure == Failure::AdapterRemoved)
        return false;
    if (gaveUpOnVersion()) {
        m_failure = Failure::EscVersionFailed;
        return false;
    }
    if (ok && done())
        return true;
    m_failure = failure;
    return false;
}

void CliSession::runFor(uint32_t ms) {
    const uint64_t now = m_host.elapsedMs();
    const uint64_t left = m_deadlineMs > now ? m_deadlineMs - now : 0;
    m_host.runFor(static_cast<uint32_t>(std::min<uint64_t>(ms, left)));
}

bool CliSession::startLink() {
    m_deadlineMs = m_host.elapsedMs() + m_timeoutMs;
    m_link.startLink();
    if (m_link.devicePath().empty()) {
        m_failure = Failure::NoAdapter;
        return false;
    }
    // The window waits 500 ms before its first attempt; a command line has no reason to.
    m_link.openAdapter();
    if (!waitFor([this] { return m_controller.adapterLinked(); }, Failure::AdapterSilent)) {
        if (m_failure == Failure::AdapterSilent && !m_link.isOpen()) {
            m_failure = Failure::AdapterNotOpened;
        }
        return false;
    }
    return true;
}

bool CliSession::waitForIdentification() {
    return waitFor([this] { return m_controller.escVersionCount() > 0; }, Failure::EscSilent);
}

bool CliSession::waitForSettings(uint32_t seen) {
    return waitFor([this, seen] { return m_controller.settingsReadCount() > seen; },
                   Failure::EscSilent);
}

bool CliSession::settleLink() {
    if (m_controller.settingsReadCount() == 0 && !waitForSettings(0))
        return false;
    m_host.stopTimer(transport::kProtocolTimer);
    runFor(transport::kProtocolPeriodMs + kSettleExtraMs);
    return true;
}

std::string CliSession::failureText() const {
    const std::string seconds = std::to_string((m_timeoutMs + 999) / 1000) + " s";
    switch (m_failure) {
        case Failure::None:
            return "";
        case Failure::NoAdapter:
            if (m_device.kind == devices::DeviceKind::Hid) {
                return "no link adapter found (USB 10c4:8468): is it plugged in, and may this "
                       "user open its hidraw node?";
            }
            return "no link adapter at " + m_deviceUri;
        case Failure::AdapterNotOpened:
            return "the link adapter at " + m_link.devicePath() + " could not be opened";
        case Failure::AdapterSilent:
            return "the link adapter did not send its version within " + seconds;
        case Failure::EscSilent:
            return "no answer from the ESC within " + seconds +
                   ": is it connected to the adapter and powered?";
        case Failure::EscVersionFailed:
            return "";  // the warning's own line has said it
        case Failure::AdapterRemoved:
            return "the link adapter went away";
    }
    return "";
}

}  // namespace cli
