#include "protocol/protocol_controller.h"

#include <algorithm>
#include <cstring>

#include "i18n/ui_text.h"
#include "protocol/settings_reply_rules.h"
#include "protocol/version_text.h"
#include "settings/families.h"

namespace protocol {

namespace {
constexpr uint8_t kChineseSelected = 1;
}  // namespace

ProtocolController::ProtocolController(transport::LinkAdapter& link, transport::ProtocolHost& host,
                                       form::Form& form, form::Prompter& prompter,
                                       settings::SettingsModel& model)
    : m_link(link), m_host(host), m_form(form), m_prompter(prompter), m_model(model) {}

void ProtocolController::onAdapterOpened() {
    m_host.startTimer(transport::kProtocolTimer, transport::kProtocolPeriodMs);
    m_protocolState = kStateAwaitAdapterVersion;
}

void ProtocolController::onAdapterRemoved() {
    // The link adapter has closed the port, stopped timer 0 and repaints the lamps next.
    abandonUpdate();
    m_settingsLoaded = false;
    m_escLinked = false;
    m_adapterLinked = false;
}

settings::EscInfo ProtocolController::escInfo() const {
    settings::EscInfo esc;
    esc.family = m_escFamily;
    esc.variant = m_escVariant;
    esc.major = m_escVersionMajor;
    esc.byte5 = m_escVersionByte5;
    esc.byte6 = m_escVersionByte6;
    esc.settingsLength = m_settingsLength;
    return esc;
}

std::vector<uint8_t> ProtocolController::lastTxFrame() const {
    return std::vector<uint8_t>(m_txFrame.begin(), m_txFrame.begin() + m_txLength);
}

// ---- one tick ------------------------------------------------------------------------

void ProtocolController::protocolTick() {
    if (!m_link.isOpen())
        return;
    // A modal box opened from inside a step runs its own event loop; a tick arriving there
    // must not start a second step on top of the first.
    if (m_inTick)
        return;
    m_inTick = true;

    m_receiveBuffer.fill(0);
    uint32_t received = 0;
    if (!m_link.readFrames(m_receiveBuffer.data(), kReceiveBufferSize, m_link.fullRequestLength(),
                           received)) {
        received = 0;
    }
    // Input beyond the buffer was dropped by the reader; never look past what it kept.
    received = std::min(received, kReceiveBufferSize);
    if (received > 0 && m_trace != nullptr)
        m_trace->replyReceived(m_receiveBuffer.data(), received);

    switch (m_protocolState) {
        case kStateAwaitAdapterVersion:
            stepAwaitAdapterVersion(received);
            break;
        case kStateLinkPolling:
            stepLinkPolling(received);
            break;
        case kStateAwaitEscVersion:
            stepAwaitEscVersion(received);
            break;
        case kStateAwaitSettings:
            stepAwaitSettings(received);
            break;
        case kStateWriteSettle:
            stepWriteSettle();
            break;
        case kStateAwaitFamily7Settings:
            stepAwaitFamily7Settings(received);
            break;
        default:
            if (isUpdateState(m_protocolState) && m_updateSession != nullptr) {
                m_updateSession->step(*this, m_receiveBuffer.data(), received);
            }
            // Idle and unknown states only drop their input.
            break;
    }
    m_inTick = false;
}

void ProtocolController::stepAwaitAdapterVersion(uint32_t /*received*/) {
    // The length is not tested: bytes behind a short reply read as 0.
    if (m_receiveBuffer[0] != kAdapterVersionReply)
        return;
    m_form.setText(kAdapterVersionField, formatAdapterVersion(m_receiveBuffer.data()));
    m_adapterLinked = true;
    sendCommand(kLinkPoll);
    m_protocolState = kStateLinkPolling;
    m_host.repaintLamps();
}

void ProtocolController::linkPollAnswered() {
    // While the settings are loaded the link is only kept alive, with whatever command byte
    // was last sent (a link poll, or the abort after a failed update).
    sendCommand(m_txFrame[0]);
}

void ProtocolController::stepLinkPolling(uint32_t /*received*/) {
    const uint8_t first = m_receiveBuffer[0];
    if (first == kLinkPollAnswer) {
        m_missCount = 0;
        m_escLinked = true;
        m_host.repaintLamps();
        if (m_settingsLoaded) {
            linkPollAnswered();
        } else {
            sendCommand(kEscVersionQuery);
            m_protocolState = kStateAwaitEscVersion;
        }
        return;
    }
    if (first == kFamily7PollAnswer) {
        m_missCount = 0;
        m_escLinked = true;
        m_escFamily = settings::kFamilyAbc;
        m_host.repaintLamps();
        m_model.arrangeAbcForm(escInfo());
        if (m_settingsLoaded) {
            linkPollAnswered();
        } else {
            ++m_escVersionCount;
            sendCommand(kFamily7SettingsQuery);
            m_protocolState = kStateAwaitFamily7Settings;
        }
        return;
    }
    if (m_missCount > kLinkLossMisses && m_missCount != kLinkLostMark) {
        // A family-7 ESC keeps its settings through a loss: they are not read again.
        if (m_escFamily != settings::kFamilyAbc)
            m_settingsLoaded = false;
        m_escLinked = false;
        m_host.repaintLamps();
        m_missCount = kLinkLostMark;
    }
    if (m_missCount != kLinkLostMark)
        ++m_missCount;
    sendCommand(kLinkPoll);
}

void ProtocolController::stepAwaitEscVersion(uint32_t received) {
    if (received == kEscVersionReplyLength) {
        m_missCount = 0;
        m_escVariant = m_receiveBuffer[0];
        m_escFamily = m_receiveBuffer[1];
        m_escVersionMajor = m_receiveBuffer[2];
        m_escVersionByte5 = m_receiveBuffer[5];
        m_escVersionByte6 = m_receiveBuffer[6];
        m_form.setText(kEscVersionField, formatEscVersion(m_receiveBuffer.data()));
        ++m_escVersionCount;
        sendCommand(kSettingsQuery);
        m_protocolState = kStateAwaitSettings;
        return;
    }
    if (received >= 1 && received < kEscVersionReplyLength) {
        // Most likely a late link-poll answer: poll again, no miss.
        sendCommand(kLinkPoll);
        m_protocolState = kStateLinkPolling;
        return;
    }
    if (m_missCount != kLinkLostMark)
        ++m_missCount;
    if (m_missCount <= kVersionGiveUpMisses) {
        sendCommand(kEscVersionQuery);
        return;
    }
    m_host.stopTimer(transport::kProtocolTimer);
    m_escLinked = false;
    m_host.repaintLamps();
    warn(kEscVersionFailedMessage);
    m_missCount = 0;
    // The adapter may have gone (and even come back) while the box was open: its removal
    // stopped the timer and a new open restarted the link at state 1, which stays.
    if (!m_link.isOpen() || m_protocolState != kStateAwaitEscVersion)
        return;
    restartProtocolTimer();
    sendCommand(kLinkPoll);
    m_protocolState = kStateLinkPolling;
}

void ProtocolController::stepAwaitSettings(uint32_t received) {
    if (received == 0) {
        writeTxFrame();
        return;
    }
    const SettingsReplyRule* rule = findSettingsReplyRule(m_escFamily, m_escVariant);
    if (!acceptsSettingsLength(rule, received)) {
        if (rule != nullptr && rule->pauseBeforeRetry)
            m_link.delayMs(kRetryPauseMs);
        sendCommand(kSettingsQuery);
        return;
    }
    m_settingsLength = static_cast<uint8_t>(received);
    m_settingsLoaded = true;
    const settings::EscInfo esc = escInfo();
    if (rule != nullptr) {
        switch (rule->arrangement) {
            case FormArrangement::Air:
                m_model.arrangeAirForm(esc);
                break;
            case FormArrangement::MultiBoat:
                m_model.arrangeMultiBoatForm(esc);
                break;
            case FormArrangement::None:
                break;
        }
    }
    settingsTaken(received);
}

void ProtocolController::settingsTaken(uint32_t received) {
    m_lastSettingsReply.assign(m_receiveBuffer.begin(), m_receiveBuffer.begin() + received);
    const settings::EscInfo esc = escInfo();
    m_model.fillFamilyTexts(esc);
    m_model.decodeSettingsFrame(m_receiveBuffer.data(), esc);
    m_settingsLoaded = true;
    ++m_settingsReadCount;
    showStatus(kTextSettingsRead);
    sendCommand(kLinkPoll);
    m_protocolState = kStateLinkPolling;
}

void ProtocolController::stepWriteSettle() {
    ++m_writeWaitTicks;
    if (m_writeWaitTicks < kWriteSettleTicks)
        return;
    m_writeWaitTicks = 0;
    const std::string text =
        i18n::LookupUiText(i18n::g_chineseSelected == kChineseSelected ? kTextWriteDoneChinese
                                                                       : kTextWriteDoneEnglish);
    // The ESC stores its parameters only after this pause.
    m_link.clock().sleepMs(kWriteSettleSleepMs);
    m_form.setText(kStatusField, text);
    if (m_escFamily == settings::kFamilyAbc) {
        m_txFrame[0] = kFamily7SettingsQuery;
        m_protocolState = kStateAwaitFamily7Settings;
        m_settingsLoaded = false;
        m_link.delayMs(kFamily7QueryPauseMs);
    } else {
        m_txFrame[0] = kSettingsQuery;
        m_protocolState = kStateAwaitSettings;
    }
    m_txLength = 1;
    writeTxFrame();
}

void ProtocolController::stepAwaitFamily7Settings(uint32_t received) {
    if (received < kFamily7MinReplyLength) {
        // The next 0xFD answer asks again, as the settings are still not loaded.
        sendCommand(kLinkPoll);
        m_protocolState = kStateLinkPolling;
        return;
    }
    m_settingsLength = static_cast<uint8_t>(received);
    std::vector<uint8_t> asReceived(m_receiveBuffer.begin(), m_receiveBuffer.begin() + received);
    // The 8 data bytes follow a one- or two-byte header in the short replies.
    if (received == kFamily7MinReplyLength + 1) {
        std::memmove(m_receiveBuffer.data(), m_receiveBuffer.data() + 2, kFamily7DataLength);
    } else if (received == kFamily7MinReplyLength) {
        std::memmove(m_receiveBuffer.data(), m_receiveBuffer.data() + 1, kFamily7DataLength);
    }
    settingsTaken(received);
    m_lastSettingsReply = std::move(asReceived);
}

// ---- commands ------------------------------------------------------------------------

bool ProtocolController::beginCommand() {
    if (!linksUp()) {
        warn(i18n::LookupUiText(kTextLinkDown));
        return false;
    }
    m_host.stopTimer(transport::kProtocolTimer);
    m_link.drainInput();
    abandonUpdate();
    return true;
}

void ProtocolController::abandonUpdate() {
    if (isUpdateState(m_protocolState) && m_updateSession != nullptr)
        m_updateSession->abandon(*this);
}

void ProtocolController::markEscLinkLost() {
    m_escLinked = false;
    m_host.repaintLamps();
}

void ProtocolController::startSettingsQuery(bool pauseForFamily7) {
    if (m_escFamily == settings::kFamilyAbc) {
        if (pauseForFamily7)
            m_link.delayMs(kFamily7QueryPauseMs);
        m_settingsLoaded = false;
        m_txFrame[0] = kFamily7SettingsQuery;
        m_protocolState = kStateAwaitFamily7Settings;
    } else {
        m_protocolState = kStateAwaitSettings;
        m_txFrame[0] = kSettingsQuery;
    }
    m_txLength = 1;
    writeTxFrame();
}

void ProtocolController::readSettingCommand() {
    if (!beginCommand())
        return;
    startSettingsQuery(true);
    showStatus(kTextReading);
    restartProtocolTimer();
}

void ProtocolController::sendSettingCommand() {
    if (!beginCommand())
        return;
    startWrite(false);
}

void ProtocolController::restoreDefaultCommand() {
    if (!beginCommand())
        return;
    startWrite(true);
}

void ProtocolController::startWrite(bool fromDefaults) {
    const settings::EscInfo esc = escInfo();
    // Built on a copy: a frame the model refuses must not overwrite the command byte that
    // the polling keeps resending. A family without a layout leaves the copy as it was,
    // and then the last frame goes out again, as the ESC has nothing else to store.
    std::array<uint8_t, settings::kTxFrameCapacity> frame = m_txFrame;
    uint32_t length = m_txLength;
    bool built = true;
    if (fromDefaults) {
        m_model.buildDefaultFrame(esc, frame.data(), length);
    } else {
        built = m_model.encodeSettingsFrame(esc, frame.data(), length);
    }
    if (!built || length > frame.size()) {
        // A list without a selection would send 0xFF bytes that the ESC stores as they are.
        restartProtocolTimer();
        warn(i18n::LookupUiText(kTextNoSelection));
        return;
    }
    m_txFrame = frame;
    m_txLength = length;
    // Family 8 writes its long layout for every length but 13 and 15.
    m_settingsLength = settings::settingsLengthAfterWrite(esc);
    if (fromDefaults || m_escFamily != settings::kFamilyAbc)
        m_model.clearFormValues(esc);
    m_protocolState = kStateWriteSettle;
    writeTxFrame();
    m_writeWaitTicks = 0;
    showStatus(kTextSending);
    restartProtocolTimer();
}

void ProtocolController::rereadSettingsAfterLanguageChange() {
    if (!m_escLinked)
        return;
    m_host.stopTimer(transport::kProtocolTimer);
    m_link.drainInput();
    abandonUpdate();
    startSettingsQuery(false);
    restartProtocolTimer();
}

void ProtocolController::escUpdateCommand(bool imageLoaded) {
    if (!beginCommand())
        return;
    if (imageLoaded) {
        m_missCount = 0;
        sendCommand(kUpdateRequest);
        m_protocolState = kStateUpdateHandshake;
        if (m_updateSession != nullptr)
            m_updateSession->begin(*this);
        restartProtocolTimer(kUpdatePeriodMs);
    } else {
        restartProtocolTimer();
        sendCommand(kLinkPoll);
        m_protocolState = kStateLinkPolling;
    }
}

// ---- sending and showing ---------------------------------------------------------------

void ProtocolController::sendFrame(const uint8_t* frame, uint32_t length) {
    length = std::min<uint32_t>(length, m_txFrame.size());
    std::copy_n(frame, length, m_txFrame.begin());
    m_txLength = length;
    writeTxFrame();
}

void ProtocolController::sendCommand(uint8_t command) {
    m_txFrame[0] = command;
    m_txLength = 1;
    writeTxFrame();
}

void ProtocolController::writeTxFrame() {
    if (m_trace != nullptr)
        m_trace->frameWritten(m_txFrame.data(), m_txLength);
    // A failed write is not reported: the missing answer shows it.
    m_link.writeFrame(m_txFrame.data(), m_txLength);
}

void ProtocolController::restartProtocolTimer(uint32_t periodMs) {
    m_host.startTimer(transport::kProtocolTimer, periodMs);
}

void ProtocolController::showStatus(const char* key) {
    m_form.setText(kStatusField, i18n::LookupUiText(key));
}

void ProtocolController::warn(const std::string& text) {
    m_prompter.showMessage(text, form::MessageIcon::Warning, form::MessageButtons::Ok);
}

}  // namespace protocol
