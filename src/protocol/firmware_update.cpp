#include "protocol/firmware_update.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "i18n/ui_text.h"
#include "settings/esc_info.h"

namespace protocol {

namespace {

constexpr uint32_t kLengthBytes = 2;
constexpr int kPercent = 100;

uint8_t highByte(uint32_t value) {
    return static_cast<uint8_t>((value >> 8) & 0xFF);
}

uint8_t lowByte(uint32_t value) {
    return static_cast<uint8_t>(value & 0xFF);
}

bool pausesBeforeStart(uint8_t family) {
    return family == settings::kFamilyAir || family == settings::kFamilyAirBec;
}

struct StateName {
    uint8_t state;
    const char* name;
};

constexpr StateName kStateNames[] = {
    {kStateUpdateHandshake, "UpdateHandshake"},
    {kStateUpdateAnnounceBlock, "UpdateAnnounceBlock"},
    {kStateUpdateSendBlock, "UpdateSendBlock"},
    {kStateUpdateAwaitBlockAck, "UpdateAwaitBlockAck"},
    {kStateUpdateSendLastBlock, "UpdateSendLastBlock"},
    {kStateUpdateAwaitLastAck, "UpdateAwaitLastAck"},
    {kStateUpdateAwaitFinishAck, "UpdateAwaitFinishAck"},
};

}  // namespace

const char* updateStateName(uint8_t state) {
    for (const StateName& row : kStateNames) {
        if (row.state == state)
            return row.name;
    }
    return "";
}

// ---- the collector ---------------------------------------------------------------------

void AckCollector::reset() {
    m_ackBytes = {0, 0};
    m_ackCount = 0;
}

void AckCollector::offer(uint8_t byte) {
    if (m_ackCount < m_ackBytes.size())
        m_ackBytes[m_ackCount] = byte;
    if (m_ackCount < std::numeric_limits<uint32_t>::max())
        ++m_ackCount;
}

bool AckCollector::collectAck(const uint8_t* reply, uint32_t received) {
    if (received > 0)
        offer(reply[0]);
    if (received > 1)
        offer(reply[1]);
    return holdsAck();
}

bool AckCollector::holdsAck() const {
    return m_ackCount == m_ackBytes.size() && m_ackBytes[0] == kAckFirst &&
           m_ackBytes[1] == kAckSecond;
}

// ---- one tick ----------------------------------------------------------------------------

void FirmwareUpdate::step(ProtocolController& controller, const uint8_t* reply, uint32_t received) {
    m_outcome = UpdateOutcome::Running;
    switch (controller.protocolState()) {
        case kStateUpdateHandshake:
            stepHandshake(controller, reply, received);
            break;
        case kStateUpdateAnnounceBlock:
            stepAnnounceBlock(controller);
            break;
        case kStateUpdateSendBlock:
            stepSendBlock(controller);
            break;
        case kStateUpdateAwaitBlockAck:
            stepAwaitBlockAck(controller, reply, received);
            break;
        case kStateUpdateSendLastBlock:
            stepSendLastBlock(controller);
            break;
        case kStateUpdateAwaitLastAck:
            stepAwaitLastAck(controller, reply, received);
            break;
        case kStateUpdateAwaitFinishAck:
            stepAwaitFinishAck(controller, reply, received);
            break;
        default:
            break;
    }
}

void FirmwareUpdate::begin(ProtocolController& /*controller*/) {
    m_outcome = UpdateOutcome::Running;
    m_echoSeen = false;
    m_acknowledged = 0;
    // A new update never goes on from an earlier one's offset, even when the ESC skips
    // its echo: an old offset measured against a shorter image would send bytes behind
    // its end, and a last block of negative size.
    m_updateOffset = 0;
}

void FirmwareUpdate::sendPair(ProtocolController& controller, uint8_t high, uint8_t low) {
    const std::array<uint8_t, kLengthBytes> frame = {high, low};
    controller.sendFrame(frame.data(), kLengthBytes);
}

void FirmwareUpdate::stepHandshake(ProtocolController& controller, const uint8_t* reply,
                                   uint32_t received) {
    // The answer to the last link poll may still have been on its way when the request
    // went out: it comes first, and is not part of the handshake.
    if (!m_echoSeen) {
        while (received > 0 && (reply[0] == kLinkPollAnswer || reply[0] == kFamily7PollAnswer)) {
            ++reply;
            --received;
        }
    }
    // The echo is recognised by its first byte alone, which reads 0 for an empty reply.
    if (received > 0 && reply[0] == kUpdateRequest) {
        m_echoSeen = true;
        if (pausesBeforeStart(controller.escInfo().family))
            controller.pause(kUpdateStartPauseMs);
        m_collector.reset();
        m_updateOffset = 0;
        m_acknowledged = 0;
        sendPair(controller, kUpdateCommandPrefix, kUpdateStartCode);
        return;
    }
    if (received == 0 || !m_collector.collectAck(reply, received))
        return;
    const auto length = static_cast<uint32_t>(m_image.m_imageLength);
    sendPair(controller, highByte(length), lowByte(length));
    controller.setProtocolState(kStateUpdateAnnounceBlock);
}

void FirmwareUpdate::stepAnnounceBlock(ProtocolController& controller) {
    if (m_updateOffset >= m_image.m_imageLength)
        return;
    controller.setMissCount(0);
    const int64_t percent = int64_t{m_updateOffset} * kPercent / m_image.m_imageLength;
    m_progressText = std::to_string(percent) + "%";
    sendPair(controller, highByte(kUpdateBlockSize), lowByte(kUpdateBlockSize));
    controller.setProtocolState(kStateUpdateSendBlock);
}

void FirmwareUpdate::stepSendBlock(ProtocolController& controller) {
    m_collector.reset();
    // The image store has room for a whole block from every offset the states reach,
    // since a full block is sent only while more than 512 bytes remain.
    controller.sendFrame(m_image.m_imageData.data() + m_updateOffset, kUpdateBlockSize);
    controller.setProtocolState(kStateUpdateAwaitBlockAck);
    controller.restartProtocolTimer(kUpdatePeriodMs);
}

void FirmwareUpdate::stepAwaitBlockAck(ProtocolController& controller, const uint8_t* reply,
                                       uint32_t received) {
    if (received == 0) {
        const uint8_t misses = static_cast<uint8_t>(controller.missCount() + 1);
        controller.setMissCount(misses);
        if (misses > kBlockAckMisses)
            fail(controller);
        return;
    }
    if (!m_collector.collectAck(reply, received))
        return;
    form::Form& form = controller.form();
    if (m_updateOffset == 0) {
        form.setText(kStatusField, kStatusAfterFirstBlock);
        form.setVisible(kStatusField, false);
        form.setVisible(kProgressBar, true);
        const form::Rect bar = form.controlRect(kProgressBar);
        m_barClient = form::Rect{0, 0, bar.width(), bar.height()};
        m_barDone = m_barClient;
        m_barRest = m_barClient;
    }
    controller.setMissCount(0);
    paintBar(form, m_updateOffset, m_image.m_imageLength);
    form.setText(kPercentField, m_progressText);
    m_updateOffset += static_cast<int32_t>(kUpdateBlockSize);
    m_acknowledged = m_updateOffset;
    if (m_updateOffset + static_cast<int32_t>(kUpdateBlockSize) < m_image.m_imageLength) {
        controller.setProtocolState(kStateUpdateAnnounceBlock);
    } else {
        controller.setProtocolState(kStateUpdateSendLastBlock);
    }
}

void FirmwareUpdate::stepSendLastBlock(ProtocolController& controller) {
    if (m_updateOffset >= m_image.m_imageLength)
        return;
    m_collector.reset();
    const auto rest = static_cast<uint32_t>(m_image.m_imageLength - m_updateOffset);
    sendPair(controller, highByte(rest), lowByte(rest));
    controller.pause(kLastBlockDataPauseMs);
    controller.sendFrame(m_image.m_imageData.data() + m_updateOffset, rest);
    controller.setProtocolState(kStateUpdateAwaitLastAck);
}

void FirmwareUpdate::stepAwaitLastAck(ProtocolController& controller, const uint8_t* reply,
                                      uint32_t received) {
    if (received == 0 || !m_collector.collectAck(reply, received))
        return;
    m_collector.reset();
    m_updateOffset = m_image.m_imageLength;
    m_acknowledged = m_updateOffset;
    form::Form& form = controller.form();
    paintBar(form, 1, 1);
    form.setText(kPercentField, kPercentFull);
    controller.pause(kUpdateFinishPauseMs);
    // The status field comes back holding the single space.
    removeProgressDisplay(form);
    sendPair(controller, kUpdateCommandPrefix, kUpdateEndCode);
    controller.setProtocolState(kStateUpdateAwaitFinishAck);
}

void FirmwareUpdate::stepAwaitFinishAck(ProtocolController& controller, const uint8_t* reply,
                                        uint32_t received) {
    if (received == 0 || !m_collector.collectAck(reply, received))
        return;
    sendPair(controller, kUpdateCommandPrefix, kUpdateLeaveCode);
    controller.setProtocolState(kStateIdle);
    // The parameters shown belong to the old firmware: they are read again.
    controller.clearSettingsLoaded();
    controller.pause(kUpdateFinishPauseMs);
    controller.sendCommand(kLinkPoll);
    controller.setProtocolState(kStateLinkPolling);
    controller.restartProtocolTimer();
    m_outcome = UpdateOutcome::Succeeded;
}

void FirmwareUpdate::fail(ProtocolController& controller) {
    controller.host().stopTimer(transport::kProtocolTimer);
    const std::string text = i18n::LookupUiText(kTextUpdateFail);
    controller.markEscLinkLost();
    m_outcome = UpdateOutcome::Failed;
    controller.prompter().showMessage(text, form::MessageIcon::Warning, form::MessageButtons::Ok);
    removeProgressDisplay(controller.form());
    controller.setMissCount(0);
    // The adapter may have gone (and even come back) while the box was open: its removal
    // stopped the timer, and a new open restarted the link at state 1, which stays.
    if (!controller.linkAdapter().isOpen() ||
        controller.protocolState() != kStateUpdateAwaitBlockAck)
        return;
    controller.restartProtocolTimer();
    controller.sendCommand(kUpdateAbort);
    controller.setProtocolState(kStateLinkPolling);
}

void FirmwareUpdate::abandon(ProtocolController& controller) {
    // A failed update has already taken its display down; its state only lingers while
    // its box is open.
    if (m_outcome == UpdateOutcome::Running)
        m_outcome = UpdateOutcome::Abandoned;
    removeProgressDisplay(controller.form());
}

// ---- progress display --------------------------------------------------------------------

void FirmwareUpdate::paintBar(form::Form& form, int64_t done, int64_t total) {
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    const int fill = static_cast<int>(m_barClient.width() * fraction);
    m_barDone.right = fill;
    m_barRest.left = fill;
    form.setProgressFill(kProgressBar, m_barDone.width(), m_barRest.width());
}

void FirmwareUpdate::removeProgressDisplay(form::Form& form) {
    form.setText(kPercentField, "");
    form.setVisible(kStatusField, true);
    form.setVisible(kProgressBar, false);
}

}  // namespace protocol
