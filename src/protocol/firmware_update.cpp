#include "protocol/firmware_update.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "i18n/ui_text.h"
#include "settings/esc_info.h"

namespace protocol {

namespace {

constexpr uint32_t kLengthBytes = 2;
constexpr auto kBlockSize = static_cast<uint32_t>(common::kUpdateBlockSize);
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

bool AckCollector::collectAck(std::span<const uint8_t> reply) {
    if (!reply.empty())
        offer(reply[0]);
    if (reply.size() > 1)
        offer(reply[1]);
    return holdsAck();
}

bool AckCollector::holdsAck() const {
    return m_ackCount == m_ackBytes.size() && m_ackBytes[0] == kAckFirst &&
           m_ackBytes[1] == kAckSecond;
}

// ---- one tick ----------------------------------------------------------------------------

void FirmwareUpdate::step(UpdateLink& link, std::span<const uint8_t> reply) {
    m_outcome = UpdateOutcome::Running;
    switch (link.protocolState()) {
        case kStateUpdateHandshake:
            stepHandshake(link, reply);
            break;
        case kStateUpdateAnnounceBlock:
            stepAnnounceBlock(link);
            break;
        case kStateUpdateSendBlock:
            stepSendBlock(link);
            break;
        case kStateUpdateAwaitBlockAck:
            stepAwaitBlockAck(link, reply);
            break;
        case kStateUpdateSendLastBlock:
            stepSendLastBlock(link);
            break;
        case kStateUpdateAwaitLastAck:
            stepAwaitLastAck(link, reply);
            break;
        case kStateUpdateAwaitFinishAck:
            stepAwaitFinishAck(link, reply);
            break;
        default:
            break;
    }
}

void FirmwareUpdate::begin(UpdateLink& /*link*/) {
    m_outcome = UpdateOutcome::Running;
    m_echoSeen = false;
    m_acknowledged = 0;
    // A new update never goes on from an earlier one's offset, even when the ESC skips
    // its echo: an old offset measured against a shorter image would send bytes behind
    // its end, and a last block of negative size.
    m_updateOffset = 0;
}

std::span<const uint8_t> FirmwareUpdate::imageBytes(int32_t offset, uint32_t length) const {
    // Never past the image store, whatever the offset.
    const std::span<const uint8_t> store(m_image.m_imageData);
    const auto from = std::min<size_t>(static_cast<size_t>(std::max(offset, 0)), store.size());
    return store.subspan(from, std::min<size_t>(length, store.size() - from));
}

void FirmwareUpdate::sendPair(UpdateLink& link, uint8_t high, uint8_t low) {
    const std::array<uint8_t, kLengthBytes> frame = {high, low};
    link.sendFrame(frame);
}

void FirmwareUpdate::stepHandshake(UpdateLink& link, std::span<const uint8_t> reply) {
    // The answer to the last link poll may still have been on its way when the request
    // went out: it comes first, and is not part of the handshake.
    if (!m_echoSeen) {
        while (!reply.empty() && (reply[0] == kLinkPollAnswer || reply[0] == kFamily7PollAnswer))
            reply = reply.subspan(1);
    }
    // The echo is recognised by its first byte alone.
    if (!reply.empty() && reply[0] == kUpdateRequest) {
        m_echoSeen = true;
        if (pausesBeforeStart(link.escInfo().family))
            link.pause(kUpdateStartPauseMs);
        m_collector.reset();
        m_updateOffset = 0;
        m_acknowledged = 0;
        sendPair(link, kUpdateCommandPrefix, kUpdateStartCode);
        return;
    }
    if (reply.empty() || !m_collector.collectAck(reply))
        return;
    const auto length = static_cast<uint32_t>(m_image.m_imageLength);
    sendPair(link, highByte(length), lowByte(length));
    link.setProtocolState(kStateUpdateAnnounceBlock);
}

void FirmwareUpdate::stepAnnounceBlock(UpdateLink& link) {
    if (m_updateOffset >= m_image.m_imageLength)
        return;
    link.setMissCount(0);
    const int64_t percent = int64_t{m_updateOffset} * kPercent / m_image.m_imageLength;
    m_progressText = std::to_string(percent) + "%";
    sendPair(link, highByte(kBlockSize), lowByte(kBlockSize));
    link.setProtocolState(kStateUpdateSendBlock);
}

void FirmwareUpdate::stepSendBlock(UpdateLink& link) {
    m_collector.reset();
    // The image store has room for a whole block from every offset the states reach,
    // since a full block is sent only while more than 512 bytes remain.
    link.sendFrame(imageBytes(m_updateOffset, kBlockSize));
    link.setProtocolState(kStateUpdateAwaitBlockAck);
    link.restartProtocolTimer(kUpdatePeriodMs);
}

void FirmwareUpdate::stepAwaitBlockAck(UpdateLink& link, std::span<const uint8_t> reply) {
    if (reply.empty()) {
        const uint8_t misses = static_cast<uint8_t>(link.missCount() + 1);
        link.setMissCount(misses);
        if (misses > kBlockAckMisses)
            fail(link);
        return;
    }
    if (!m_collector.collectAck(reply))
        return;
    form::Form& form = link.form();
    if (m_updateOffset == 0) {
        form.setText(kStatusField, kStatusAfterFirstBlock);
        form.setVisible(kStatusField, false);
        form.setVisible(kProgressBar, true);
        const form::Rect bar = form.controlRect(kProgressBar);
        m_barClient = form::Rect{0, 0, bar.width(), bar.height()};
        m_barDone = m_barClient;
        m_barRest = m_barClient;
    }
    link.setMissCount(0);
    paintBar(form, m_updateOffset, m_image.m_imageLength);
    form.setText(kPercentField, m_progressText);
    m_updateOffset += common::kUpdateBlockSize;
    m_acknowledged = m_updateOffset;
    if (m_updateOffset + common::kUpdateBlockSize < m_image.m_imageLength) {
        link.setProtocolState(kStateUpdateAnnounceBlock);
    } else {
        link.setProtocolState(kStateUpdateSendLastBlock);
    }
}

void FirmwareUpdate::stepSendLastBlock(UpdateLink& link) {
    if (m_updateOffset >= m_image.m_imageLength)
        return;
    m_collector.reset();
    const auto rest = static_cast<uint32_t>(m_image.m_imageLength - m_updateOffset);
    sendPair(link, highByte(rest), lowByte(rest));
    link.pause(kLastBlockDataPauseMs);
    link.sendFrame(imageBytes(m_updateOffset, rest));
    link.setProtocolState(kStateUpdateAwaitLastAck);
}

void FirmwareUpdate::stepAwaitLastAck(UpdateLink& link, std::span<const uint8_t> reply) {
    if (reply.empty() || !m_collector.collectAck(reply))
        return;
    m_collector.reset();
    m_updateOffset = m_image.m_imageLength;
    m_acknowledged = m_updateOffset;
    form::Form& form = link.form();
    paintBar(form, 1, 1);
    form.setText(kPercentField, kPercentFull);
    link.pause(kUpdateFinishPauseMs);
    // The status field comes back holding the single space.
    removeProgressDisplay(form);
    sendPair(link, kUpdateCommandPrefix, kUpdateEndCode);
    link.setProtocolState(kStateUpdateAwaitFinishAck);
}

void FirmwareUpdate::stepAwaitFinishAck(UpdateLink& link, std::span<const uint8_t> reply) {
    if (reply.empty() || !m_collector.collectAck(reply))
        return;
    sendPair(link, kUpdateCommandPrefix, kUpdateLeaveCode);
    link.setProtocolState(kStateIdle);
    // The parameters shown belong to the old firmware: they are read again.
    link.clearSettingsLoaded();
    link.pause(kUpdateFinishPauseMs);
    link.sendCommand(kLinkPoll);
    link.setProtocolState(kStateLinkPolling);
    link.restartProtocolTimer();
    m_outcome = UpdateOutcome::Succeeded;
}

void FirmwareUpdate::fail(UpdateLink& link) {
    link.stopProtocolTimer();
    const std::string text = i18n::LookupUiText(i18n::kTextUpdateFail);
    link.markEscLinkLost();
    m_outcome = UpdateOutcome::Failed;
    link.warn(text);
    removeProgressDisplay(link.form());
    link.setMissCount(0);
    // The adapter may have gone (and even come back) while the box was open: its removal
    // stopped the timer, and a new open restarted the link at state 1, which stays.
    if (!link.adapterOpen() || link.protocolState() != kStateUpdateAwaitBlockAck)
        return;
    link.restartProtocolTimer();
    link.sendCommand(kUpdateAbort);
    link.setProtocolState(kStateLinkPolling);
}

void FirmwareUpdate::abandon(UpdateLink& link) {
    // A failed update has already taken its display down; its state only lingers while
    // its box is open.
    if (m_outcome == UpdateOutcome::Running)
        m_outcome = UpdateOutcome::Abandoned;
    removeProgressDisplay(link.form());
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
