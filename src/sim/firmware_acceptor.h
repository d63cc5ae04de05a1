#pragma once
// The simulated ESC's side of a firmware update: it follows the conversation (request
// echo, "ok" after the start, the image length, each block's size and bytes, the end
// and the leave), reassembles the image from the blocks and notes every step that is
// not what an ESC expects. It answers as an ESC would, or misbehaves as the faults say.

#include <cstdint>
#include <string>
#include <vector>

#include "common/esc_bytes.h"
#include "sim/esc_config.h"
#include "sim/simulated_port.h"

namespace sim {

using common::kAckFirst;
using common::kAckSecond;
using common::kUpdateAbort;
using common::kUpdateBlockSize;
using common::kUpdateCommandPrefix;
using common::kUpdateEndCode;
using common::kUpdateLeaveCode;
using common::kUpdateRequest;
using common::kUpdateStartCode;
// The "k" of a split acknowledgement follows its "o" this late: one tick of the
// update's 50 ms timer and a little more, so the two arrive in two ticks.
inline constexpr uint32_t kSplitAckGapMs = 60;
// The byte an acknowledgement with a third byte carries after its "k".
inline constexpr uint8_t kExtraAckByte = 0x21;

class FirmwareAcceptor {
  public:
    enum class Stage {
        Idle,
        AwaitStart,      // the echo went out; 0x13 0x7E next
        AwaitLength,     // the image length next
        AwaitBlockSize,  // a block's size next
        ReceivingBlock,  // a block's bytes
        AwaitEnd,        // 0x13 0x81 next
        AwaitLeave,      // 0x13 0xCF next
    };
    struct Block {
        uint32_t offset = 0;
        uint32_t size = 0;  // as announced
        friend bool operator==(const Block&, const Block&) = default;
    };

    // The update request arrived: a new update starts (over). Returns the echo.
    std::vector<PeerReply> begin(const FirmwareFaults& faults, uint32_t delayMs);
    // A payload while an update is under way. True when it belonged to the update (the
    // answers are in `replies`); false when it was a command of its own: the update was
    // left there, and the caller handles the payload as a command.
    bool accept(const std::vector<uint8_t>& payload, const FirmwareFaults& faults, uint32_t delayMs,
                std::vector<PeerReply>& replies);
    // The adapter was opened afresh: whatever update was under way is over.
    void interrupt();

    Stage stage() const { return m_stage; }
    bool active() const { return m_stage != Stage::Idle; }
    // The image as received so far: the bytes of every complete block, in order.
    const std::vector<uint8_t>& image() const { return m_image; }
    uint32_t announcedLength() const { return m_length; }
    // Every block announced in the current (or last) update.
    const std::vector<Block>& blocks() const { return m_blocks; }
    uint32_t startedUpdates() const { return m_started; }
    uint32_t completedUpdates() const { return m_completed; }
    uint32_t abortedUpdates() const { return m_aborted; }      // 0xD4 received
    uint32_t abandonedUpdates() const { return m_abandoned; }  // another command, or a reopen
    // What was not as an ESC expects it, one line per fault, in the current update.
    const std::vector<std::string>& violations() const { return m_violations; }

  private:
    // The answer numbered `m_answerIndex` (see FirmwareFaults), as the faults let it out.
    std::vector<PeerReply> answer(const std::vector<uint8_t>& bytes, bool isAck,
                                  const FirmwareFaults& faults, uint32_t delayMs);
    std::vector<PeerReply> ack(const FirmwareFaults& faults, uint32_t delayMs);
    bool takeBlockBytes(const std::vector<uint8_t>& payload, const FirmwareFaults& faults,
                        uint32_t delayMs, std::vector<PeerReply>& replies);
    void leave();
    void violation(std::string text);

    Stage m_stage = Stage::Idle;
    uint32_t m_length = 0;
    std::vector<uint8_t> m_image;
    std::vector<uint8_t> m_block;
    std::vector<Block> m_blocks;
    int m_answerIndex = 0;
    uint32_t m_started = 0;
    uint32_t m_completed = 0;
    uint32_t m_aborted = 0;
    uint32_t m_abandoned = 0;
    std::vector<std::string> m_violations;
};

}  // namespace sim
