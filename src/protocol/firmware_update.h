#pragma once
// The firmware update: protocol states 6 … 12, one step per tick of timer 0 at 50 ms.
// A handshake, the image length, the image in blocks of 512 bytes each announced by its
// size and acknowledged with "ok", the last block's size and data 30 ms apart in one
// tick, a closing pair of commands and the return to the link check. The progress is
// shown in the percentage field and in the bar the update fills itself.
//
// The window (or the CLI) owns the image and this session, installs the session with
// ProtocolController::setUpdateSession, loads the image and then calls
// ProtocolController::escUpdateCommand(true).

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "common/esc_bytes.h"
#include "files/firmware_image.h"
#include "form/control_ids.h"
#include "form/form.h"
#include "protocol/protocol_controller.h"
#include "protocol/update_link.h"

namespace protocol {

// Two-byte commands of the update and its acknowledgement "ok".
using common::kAckFirst;
using common::kAckSecond;
using common::kUpdateCommandPrefix;
using common::kUpdateEndCode;
using common::kUpdateLeaveCode;
using common::kUpdateStartCode;

// More than this many empty ticks waiting for a block's "ok" fail the update.
inline constexpr uint8_t kBlockAckMisses = 20;
inline constexpr uint32_t kUpdateStartPauseMs = 20;  // families 1 and 4 only
inline constexpr uint32_t kLastBlockDataPauseMs = 30;
inline constexpr uint32_t kUpdateFinishPauseMs = 100;

// Controls of the progress display.
inline constexpr form::ControlId kProgressBar = form::kProgressUpdate;
inline constexpr form::ControlId kPercentField = form::kLabelUpdatePercent;

inline constexpr const char* kStatusAfterFirstBlock = " ";
inline constexpr const char* kPercentFull = "100%";

// The acknowledgement collector. Of each non-empty reply only the bytes at positions 0
// and 1 are offered; the first two offered since the last reset are kept, and "ok"
// counts only while exactly two bytes have been offered. The count saturates instead of
// wrapping, so a third byte blocks every acknowledgement until the next reset.
class AckCollector {
  public:
    void reset();
    // Offers the reply's first one or two bytes; true when the collector now holds "ok".
    bool collectAck(std::span<const uint8_t> reply);
    bool holdsAck() const;
    uint32_t count() const { return m_ackCount; }
    const std::array<uint8_t, 2>& bytes() const { return m_ackBytes; }

  private:
    void offer(uint8_t byte);

    std::array<uint8_t, 2> m_ackBytes{};
    uint32_t m_ackCount = 0;
};

// The name of an update state (6 … 12), for messages; empty for any other state.
const char* updateStateName(uint8_t state);

// Where a run of the update ended, for front ends that wait for it.
enum class UpdateOutcome {
    None,       // no update has run yet
    Running,    // the request went out; states 6 … 12
    Succeeded,  // the ESC acknowledged the end
    Failed,     // no acknowledgement of a block: "UpdateFail"
    Abandoned,  // a command or the adapter's removal took over
};

class FirmwareUpdate final : public UpdateSession {
  public:
    // `image` must outlive the session; it is read only while the update runs.
    explicit FirmwareUpdate(const files::FirmwareImage& image) : m_image(image) {}

    // UpdateSession
    void step(UpdateLink& link, std::span<const uint8_t> reply) override;
    void begin(UpdateLink& link) override;
    // Restores the status field and hides the bar and the percentage.
    void abandon(UpdateLink& link) override;

    UpdateOutcome outcome() const { return m_outcome; }
    // Offset of the block now in transfer (the image length once the last one was taken).
    int32_t updateOffset() const { return m_updateOffset; }
    int32_t imageLength() const { return m_image.m_imageLength; }
    // Bytes whose acknowledgement arrived: the progress a front end can show.
    int32_t acknowledgedBytes() const { return m_acknowledged; }
    const std::string& progressText() const { return m_progressText; }
    const form::Rect& barDone() const { return m_barDone; }
    const form::Rect& barRest() const { return m_barRest; }
    const AckCollector& collector() const { return m_collector; }

  private:
    void stepHandshake(UpdateLink& link, std::span<const uint8_t> reply);
    void stepAnnounceBlock(UpdateLink& link);
    void stepSendBlock(UpdateLink& link);
    void stepAwaitBlockAck(UpdateLink& link, std::span<const uint8_t> reply);
    void stepSendLastBlock(UpdateLink& link);
    void stepAwaitLastAck(UpdateLink& link, std::span<const uint8_t> reply);
    void stepAwaitFinishAck(UpdateLink& link, std::span<const uint8_t> reply);
    void fail(UpdateLink& link);
    // Fills the bar for the fraction `done` / `total` of its client width.
    void paintBar(form::Form& form, int64_t done, int64_t total);
    void removeProgressDisplay(form::Form& form);
    void sendPair(UpdateLink& link, uint8_t high, uint8_t low);
    // `length` bytes of the image from `offset`, cut at the end of the image store.
    std::span<const uint8_t> imageBytes(int32_t offset, uint32_t length) const;

    const files::FirmwareImage& m_image;
    int32_t m_updateOffset = 0;
    int32_t m_acknowledged = 0;
    AckCollector m_collector;
    std::string m_progressText;
    form::Rect m_barClient;  // the bar's client rectangle, taken at the first block
    form::Rect m_barDone;
    form::Rect m_barRest;
    UpdateOutcome m_outcome = UpdateOutcome::None;
    bool m_echoSeen = false;  // the ESC echoed this update's request
};

}  // namespace protocol
