#include "protocol/protocol_controller.h"

#include <algorithm>
#include <cstring>

#include "i18n/ui_text.h"
#include "protocol/settings_reply_rules.h"
#include "protocol/version_text.h"
#include "settings/families.h"

namespace protocol {

ProtocolController::ProtocolController(transport::LinkAdapter& link, transport::ProtocolHost& host,
                                       form::Form& form, form::Prompter& prompter,
                                       settings::SettingsModel& model)
    : m_link(link), m_host(host), m_form(form), m_prompter(prompter), m_model(model) {}

void ProtocolController::onAdapterOpened() {
    // A (re)opened adapter may lead to another ESC: nothing known of the last one holds.
    // An update that ran on the old handle is over; its display is taken down.
    abandonUpdate();
    m_adapterLinked = false;
    m_escLinked = false;
    m_settingsLoaded = false;
    m_escIdentified = false;
    m_identityInDoubt = false;
    m_missCount = 0;
    m_txFrame[0] = kLinkPoll;
    m_txLength = 1;
    m_host.repaintLamps();
    restartProtocolTimer();
    m_protocolState = kStateAwaitAdapterVersion;
}

void ProtocolController::onAdapterRemoved() {
    // The link adapter has closed the port, stopped timer 0 and repaints the lamps next.
    abandonUpdate();
    m_settingsLoaded = false;
    m_escLinked = false;
    m_adapterLinked = false;
    m_escIdentified = false;
    m_identityInDoubt = false;
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
    if (!m_link.readFrames(m_receiveBuffer, m_link.fullRequestLength(), received)) {
        received = 0;
    }
    // Input beyond the buffer was dropped by the reader; never look past what it kept.
    received = std::min(received, kReceiveBufferSize);
    if (received > 0 && m_trace != nullptr)
        m_trace->replyReceived(std::span<const uint8_t>(m_receiveBuffer).first(received));

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
                m_updateSession->step(*this,
                                      std::span<const uint8_t>(m_receiveBuffer).first(received));
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
    if (first == kLinkPollAnswer || first == kFamily7PollAnswer) {
        const bool family7Answer = first == kFamily7PollAnswer;
        const bool wasSilent = m_missCount >= kIdentityCheckMisses;
        const bool wasLinked = m_escLinked;
        m_missCount = 0;
        m_escLinked = true;
        if (m_escIdentified && family7Answer != (m_escFamily == settings::kFamilyAbc)) {
            // Only a family-7 ESC answers 0xFD: an answer of the other kind comes from
            // another ESC, whatever the form shows.
            m_settingsLoaded = false;
            m_escIdentified = false;
        } else if (m_settingsLoaded && wasSilent) {
            // After a silence the ESC may have been swapped: check before trusting the form.
            m_identityInDoubt = true;
        }
        if (family7Answer)
            m_escFamily = settings::kFamilyAbc;
        // An idle link answers every tick: the lamps and the form change only with the link.
        if (!wasLinked)
            m_host.repaintLamps();
        if (family7Answer && (!wasLinked || !m_abcFormArranged)) {
            m_model.arrangeAbcForm(escInfo());
            m_abcFormArranged = true;
        }
        if (m_settingsLoaded && !m_identityInDoubt) {
            linkPollAnswered();
        } else if (family7Answer) {
            ++m_escVersionCount;
            m_escIdentified = true;
            m_escVersionReply.fill(0);  // a family-7 ESC has no version reply
            m_family7Waits = 0;
            sendCommand(kFamily7SettingsQuery);
            m_protocolState = kStateAwaitFamily7Settings;
        } else {
            sendCommand(kEscVersionQuery);
            m_protocolState = kStateAwaitEscVersion;
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
    // The answer to the poll that led here may come late, alone or in front of the version:
    // it is dropped, and alone it means the version is still on its way (a miss, but no
    // new query that would only add another answer to wait for).
    const uint32_t withPolls = received;
    received = dropLeadingPollAnswers(received);
    const bool onlyPollAnswers = withPolls > 0 && received == 0;
    if (received == kEscVersionReplyLength) {
        m_missCount = 0;
        if (m_settingsLoaded && m_identityInDoubt && sameEscVersion()) {
            // The same ESC came back: the form stays as it is.
            m_identityInDoubt = false;
            m_escIdentified = true;
            sendCommand(kLinkPoll);
            m_protocolState = kStateLinkPolling;
            return;
        }
        // A new identity: whatever the form shows belongs to another ESC until read.
        m_settingsLoaded = false;
        m_identityInDoubt = false;
        m_escIdentified = true;
        std::copy_n(m_receiveBuffer.begin(), kEscVersionReplyLength, m_escVersionReply.begin());
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
        if (!onlyPollAnswers)
            sendCommand(kEscVersionQuery);
        return;
    }
    m_host.stopTimer(transport::kProtocolTimer);
    m_escLinked = false;
    ++m_versionGiveUps;
    if (m_identityInDoubt) {
        // The ESC that answered could not be told apart from the last one: read it anew.
        m_settingsLoaded = false;
        m_identityInDoubt = false;
        m_escIdentified = false;
    }
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

uint32_t ProtocolController::dropLeadingPollAnswers(uint32_t received) {
    uint32_t skipped = 0;
    while (skipped < received && (m_receiveBuffer[skipped] == kLinkPollAnswer ||
                                  m_receiveBuffer[skipped] == kFamily7PollAnswer))
        ++skipped;
    if (skipped == 0)
        return received;
    std::memmove(m_receiveBuffer.data(), m_receiveBuffer.data() + skipped, received - skipped);
    std::fill(m_receiveBuffer.begin() + (received - skipped), m_receiveBuffer.end(), 0);
    return received - skipped;
}

bool ProtocolController::settingsReplyUsable(uint32_t& received) {
    const SettingsReplyRule* rule = findSettingsReplyRule(m_escFamily, m_escVariant);
    if (rule == nullptr)
        return acceptsSettingsLength(rule, received);
    // The answer to the poll sent just before a command may arrive joined to the settings.
    // No family's first parameter byte can be a link-poll answer, so such bytes in front
    // are that late answer, and not part of the settings.
    received = dropLeadingPollAnswers(received);
    if (received == 0)
        return false;
    if (acceptsSettingsLength(rule, received))
        return true;
    // Two answers to one repeated query may arrive joined: two identical halves of an
    // accepted length are one settings answer.
    const uint32_t half = received / 2;
    if (received % 2 != 0 || !acceptsSettingsLength(rule, half) ||
        !std::equal(m_receiveBuffer.begin(), m_receiveBuffer.begin() + half,
                    m_receiveBuffer.begin() + half))
        return false;
    received = half;
    return true;
}

void ProtocolController::stepAwaitSettings(uint32_t received) {
    if (received == 0) {
        writeTxFrame();
        return;
    }
    const SettingsReplyRule* rule = findSettingsReplyRule(m_escFamily, m_escVariant);
    if (!settingsReplyUsable(received)) {
        if (rule != nullptr && rule->pauseBeforeRetry)
            pause(kRetryPauseMs);
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
            case FormArrangement::Car:
                m_model.arrangeCarForm(esc);
                break;
            case FormArrangement::None:
                break;
        }
    }
    settingsTaken(received);
}

void ProtocolController::settingsTaken(uint32_t received) {
    m_lastSettingsReply.assign(m_receiveBuffer.begin(), m_receiveBuffer.begin() + received);
    // Bytes behind the reply read as 0 (a joined copy cut off is not part of it).
    std::fill(m_receiveBuffer.begin() + received, m_receiveBuffer.end(), 0);
    const settings::EscInfo esc = escInfo();
    m_model.fillFamilyTexts(esc);
    m_model.decodeSettingsFrame(m_receiveBuffer, esc);
    m_abcFormArranged = false;  // a family-7 form is arranged again over the new texts
    m_settingsLoaded = true;
    m_formFamily = m_escFamily;
    ++m_settingsReadCount;
    showStatus(i18n::kTextOk);
    sendCommand(kLinkPoll);
    m_protocolState = kStateLinkPolling;
}

void ProtocolController::stepWriteSettle() {
    ++m_writeWaitTicks;
    if (m_writeWaitTicks < kWriteSettleTicks)
        return;
    m_writeWaitTicks = 0;
    const std::string text = i18n::LookupUiText(i18n::g_chineseSelected == i18n::kLanguageChinese
                                                    ? i18n::kTextWriteDoneChinese
                                                    : i18n::kTextOk);
    // The ESC stores its parameters only after this pause.
    sleepAndRestartTick(kWriteSettleSleepMs);
    m_form.setText(kStatusField, text);
    if (m_escFamily == settings::kFamilyAbc) {
        m_txFrame[0] = kFamily7SettingsQuery;
        m_protocolState = kStateAwaitFamily7Settings;
        m_settingsLoaded = false;
        m_family7Waits = 0;
        pause(kFamily7QueryPauseMs);
    } else {
        m_txFrame[0] = kSettingsQuery;
        m_protocolState = kStateAwaitSettings;
    }
    m_txLength = 1;
    writeTxFrame();
}

void ProtocolController::stepAwaitFamily7Settings(uint32_t received) {
    // A late poll answer joined in front would shift the data: it is dropped. The answer
    // itself may take longer than one tick: a few ticks without it are waited for.
    received = dropLeadingPollAnswers(received);
    if (received == 0 && ++m_family7Waits <= kFamily7SettingsWaitTicks)
        return;
    if (received < kFamily7MinReplyLength) {
        // The next 0xFD answer asks again, as the settings are still not loaded.
        sendCommand(kLinkPoll);
        m_protocolState = kStateLinkPolling;
        return;
    }
    if (m_settingsLoaded && m_identityInDoubt &&
        std::equal(m_lastSettingsReply.begin(), m_lastSettingsReply.end(), m_receiveBuffer.begin(),
                   m_receiveBuffer.begin() + received)) {
        // The same family-7 ESC with the same settings: the form stays as it is.
        m_identityInDoubt = false;
        sendCommand(kLinkPoll);
        m_protocolState = kStateLinkPolling;
        return;
    }
    m_identityInDoubt = false;
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

bool ProtocolController::requireLinks() {
    if (!linksUp())
        warn(i18n::LookupUiText(i18n::kTextLinkNotEstablished));
    return linksUp();
}

bool ProtocolController::requireIdentifiedEsc() {
    if (!formMatchesEsc())
        warn(i18n::LookupUiText(i18n::kTextEscNotIdentified));
    return formMatchesEsc();
}

bool ProtocolController::beginCommand() {
    if (!requireLinks())
        return false;
    if (!confirmAbandonUpdate())
        return false;
    m_host.stopTimer(transport::kProtocolTimer);
    m_link.drainInput();
    return true;
}

void ProtocolController::abandonUpdate() {
    if (isUpdateState(m_protocolState) && m_updateSession != nullptr)
        m_updateSession->abandon(*this);
}

bool ProtocolController::confirmAbandonUpdate() {
    if (!updateInProgress())
        return true;
    const form::MessageAnswer answer = m_prompter.showMessage(
        i18n::LookupUiText(i18n::kTextConfirmAbandonUpdate), form::MessageIcon::Warning,
        form::MessageButtons::YesNo, form::MessageAnswer::No);
    if (answer != form::MessageAnswer::Yes)
        return false;
    // The update may have ended while the box was open.
    abortUpdate();
    return true;
}

void ProtocolController::abortUpdate() {
    if (!isUpdateState(m_protocolState))
        return;
    abandonUpdate();
    m_missCount = 0;
    m_protocolState = kStateLinkPolling;
    if (!m_link.isOpen())
        return;
    m_link.drainInput();
    sendCommand(kUpdateAbort);
    restartProtocolTimer();
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
        m_family7Waits = 0;
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
    showStatus(i18n::kTextReading);
    restartProtocolTimer();
}

void ProtocolController::sendSettingCommand() {
    startWrite(WriteSource::Form, {});
}

void ProtocolController::restoreDefaultCommand() {
    startWrite(WriteSource::Defaults, {});
}

bool ProtocolController::writeParametersCommand(std::span<const uint8_t> parameters) {
    startWrite(WriteSource::Parameters, parameters);
    return m_protocolState == kStateWriteSettle;
}

void ProtocolController::startWrite(WriteSource source, std::span<const uint8_t> parameters) {
    if (!requireLinks())
        return;
    // Never a write frame to an ESC that is not the one identified last, nor the form's
    // values to an ESC they were not read from.
    if (source == WriteSource::Form ? !formMatchesEsc() : !escIdentified()) {
        warn(i18n::LookupUiText(i18n::kTextEscNotIdentified));
        return;
    }
    const bool fromDefaults = source == WriteSource::Defaults;
    const settings::EscInfo esc = escInfo();
    // Built on a copy, before anything else changes: a frame the model refuses leaves the
    // exchange under way (an update included), the timer and the pending input as they
    // are. A family without a layout leaves the copy as it was, and then the last frame
    // goes out again, as the ESC has nothing else to store.
    std::array<uint8_t, settings::kTxFrameCapacity> frame = m_txFrame;
    uint32_t length = m_txLength;
    bool built = true;
    if (fromDefaults) {
        m_model.buildDefaultFrame(esc, frame, length);
    } else if (source == WriteSource::Parameters) {
        // Bytes kept from this ESC, written back as they are.
        built = !parameters.empty() && parameters.size() + 2 <= frame.size();
        if (built) {
            frame[0] = kSettingsWriteStart;
            std::copy(parameters.begin(), parameters.end(), frame.begin() + 1);
            frame[parameters.size() + 1] = kSettingsWriteEnd;
            length = static_cast<uint32_t>(parameters.size() + 2);
        }
    } else {
        built = m_model.encodeSettingsFrame(esc, frame, length);
    }
    if (!built || length > frame.size()) {
        // A list without a selection would send 0xFF bytes that the ESC stores as they are.
        warn(i18n::LookupUiText(i18n::kTextNoSelection));
        return;
    }
    if (!beginCommand())
        return;
    m_txFrame = frame;
    m_txLength = length;
    // Family 8 writes its long layout for every length but 13 and 15.
    m_settingsLength = settings::settingsLengthAfterWrite(esc);
    if (source != WriteSource::Form || m_escFamily != settings::kFamilyAbc) {
        m_model.clearFormValues(esc);
        m_abcFormArranged = false;
    }
    m_protocolState = kStateWriteSettle;
    writeTxFrame();
    m_writeWaitTicks = 0;
    showStatus(i18n::kTextSending);
    restartProtocolTimer();
}

void ProtocolController::rereadSettingsAfterLanguageChange() {
    // A running update is not abandoned for the lists' language: its end reads the
    // settings again anyway.
    if (!m_escLinked || updateInProgress())
        return;
    m_host.stopTimer(transport::kProtocolTimer);
    m_link.drainInput();
    m_abcFormArranged = false;
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

void ProtocolController::sendFrame(std::span<const uint8_t> frame) {
    const auto length = static_cast<uint32_t>(std::min(frame.size(), m_txFrame.size()));
    std::copy_n(frame.begin(), length, m_txFrame.begin());
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
        m_trace->frameWritten(std::span<const uint8_t>(m_txFrame).first(m_txLength));
    // A failed write is not reported: the missing answer shows it.
    m_link.writeFrame(std::span<const uint8_t>(m_txFrame).first(m_txLength));
}

void ProtocolController::restartProtocolTimer(uint32_t periodMs) {
    m_tickPeriodMs = periodMs;
    m_host.startTimer(transport::kProtocolTimer, periodMs);
}

void ProtocolController::stopProtocolTimer() {
    m_host.stopTimer(transport::kProtocolTimer);
}

void ProtocolController::pause(uint32_t ms) {
    m_link.delayMs(ms);
    if (m_host.isTimerRunning(transport::kProtocolTimer))
        restartProtocolTimer(m_tickPeriodMs);
}

void ProtocolController::sleepAndRestartTick(uint32_t ms) {
    m_link.clock().sleepMs(ms);
    if (m_host.isTimerRunning(transport::kProtocolTimer))
        restartProtocolTimer(m_tickPeriodMs);
}

bool ProtocolController::sameEscVersion() const {
    return std::equal(m_escVersionReply.begin(), m_escVersionReply.end(), m_receiveBuffer.begin());
}

void ProtocolController::showStatus(const char* key) {
    m_form.setText(kStatusField, i18n::LookupUiText(key));
}

void ProtocolController::warn(const std::string& text) {
    m_prompter.showMessage(text, form::MessageIcon::Warning, form::MessageButtons::Ok);
}

}  // namespace protocol
