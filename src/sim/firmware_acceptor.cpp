#include "sim/firmware_acceptor.h"

#include <algorithm>

#include "common/hex.h"
#include "link/link_adapter.h"

namespace sim {

namespace {

constexpr size_t kPairLength = 2;

bool isPair(const std::vector<uint8_t>& payload, uint8_t first, uint8_t second) {
    return payload.size() == kPairLength && payload[0] == first && payload[1] == second;
}

uint32_t pairValue(const std::vector<uint8_t>& payload) {
    return (uint32_t{payload[0]} << 8) | payload[1];
}

std::string hexPair(const std::vector<uint8_t>& payload) {
    return common::hexBytes(payload);
}

}  // namespace

std::vector<PeerReply> FirmwareAcceptor::begin(const FirmwareFaults& faults, uint32_t delayMs) {
    if (active())
        ++m_abandoned;
    m_stage = Stage::AwaitStart;
    m_length = 0;
    m_image.clear();
    m_block.clear();
    m_blocks.clear();
    m_violations.clear();
    m_answerIndex = 0;
    ++m_started;
    return answer({kUpdateRequest}, false, faults, delayMs);
}

void FirmwareAcceptor::interrupt() {
    if (active())
        leave();
}

void FirmwareAcceptor::leave() {
    ++m_abandoned;
    m_stage = Stage::Idle;
}

void FirmwareAcceptor::violation(std::string text) {
    m_violations.push_back(std::move(text));
}

std::vector<PeerReply> FirmwareAcceptor::answer(const std::vector<uint8_t>& bytes, bool isAck,
                                                const FirmwareFaults& faults, uint32_t delayMs) {
    const int index = m_answerIndex++;
    if ((faults.silentFrom >= 0 && index >= faults.silentFrom) || index == faults.loseAnswer)
        return {};
    std::vector<uint8_t> last = bytes;
    std::vector<PeerReply> replies;
    uint32_t lastDelay = delayMs;
    if (isAck && index == faults.splitAnswer) {
        replies.push_back(PeerReply{{bytes.front()}, delayMs});
        last.erase(last.begin());
        lastDelay += kSplitAckGapMs;
    }
    if (isAck && index == faults.extraByteAnswer)
        last.push_back(kExtraAckByte);
    replies.push_back(PeerReply{std::move(last), lastDelay});
    return replies;
}

std::vector<PeerReply> FirmwareAcceptor::ack(const FirmwareFaults& faults, uint32_t delayMs) {
    return answer({kAckFirst, kAckSecond}, true, faults, delayMs);
}

bool FirmwareAcceptor::accept(const std::vector<uint8_t>& payload, const FirmwareFaults& faults,
                              uint32_t delayMs, std::vector<PeerReply>& replies) {
    if (m_stage == Stage::ReceivingBlock)
        return takeBlockBytes(payload, faults, delayMs, replies);
    // Outside a block every frame of the update has two bytes; any other frame is a
    // command of its own, which ends the update where it stood.
    if (payload.size() != kPairLength) {
        if (payload.size() == 1 && payload[0] == kUpdateAbort) {
            ++m_aborted;
            m_stage = Stage::Idle;
            return true;
        }
        leave();
        return false;
    }
    switch (m_stage) {
        case Stage::AwaitStart:
            if (!isPair(payload, kUpdateCommandPrefix, kUpdateStartCode)) {
                violation("expected the start 13 7E, got " + hexPair(payload));
                return true;
            }
            replies = ack(faults, delayMs);
            m_stage = Stage::AwaitLength;
            return true;
        case Stage::AwaitLength:
            m_length = pairValue(payload);
            if (m_length == 0)
                violation("an image length of 0");
            m_stage = m_length == 0 ? Stage::AwaitEnd : Stage::AwaitBlockSize;
            return true;
        case Stage::AwaitBlockSize: {
            const uint32_t size = pairValue(payload);
            const auto offset = static_cast<uint32_t>(m_image.size());
            const uint32_t expected =
                std::min(static_cast<uint32_t>(kUpdateBlockSize), m_length - offset);
            if (size != expected) {
                violation("block at " + std::to_string(offset) + " announced as " +
                          std::to_string(size) + " bytes, " + std::to_string(expected) +
                          " were due");
            }
            if (size == 0) {
                return true;
            }
            m_blocks.push_back(Block{offset, size});
            m_block.clear();
            m_stage = Stage::ReceivingBlock;
            return true;
        }
        case Stage::AwaitEnd:
            if (!isPair(payload, kUpdateCommandPrefix, kUpdateEndCode)) {
                violation("expected the end 13 81, got " + hexPair(payload));
                return true;
            }
            replies = ack(faults, delayMs);
            m_stage = Stage::AwaitLeave;
            return true;
        case Stage::AwaitLeave:
            if (!isPair(payload, kUpdateCommandPrefix, kUpdateLeaveCode)) {
                violation("expected the leave 13 CF, got " + hexPair(payload));
                return true;
            }
            ++m_completed;
            m_stage = Stage::Idle;
            return true;
        case Stage::Idle:
        case Stage::ReceivingBlock:
            break;
    }
    return false;
}

bool FirmwareAcceptor::takeBlockBytes(const std::vector<uint8_t>& payload,
                                      const FirmwareFaults& faults, uint32_t delayMs,
                                      std::vector<PeerReply>& replies) {
    const Block& block = m_blocks.back();
    const size_t missing = block.size - m_block.size();
    const size_t taken = std::min(payload.size(), missing);
    if (taken < payload.size()) {
        violation(std::to_string(payload.size() - taken) + " bytes beyond the block at " +
                  std::to_string(block.offset));
    }
    m_block.insert(m_block.end(), payload.begin(),
                   payload.begin() + static_cast<std::ptrdiff_t>(taken));
    if (m_block.size() < block.size) {
        // A block travels in full reports but for its last one: a short report before the
        // block is complete ends a frame that was too short.
        if (payload.size() < transport::kMaxReportPayload) {
            violation("block at " + std::to_string(block.offset) + " cut off after " +
                      std::to_string(m_block.size()) + " bytes");
            m_block.clear();
            m_stage = Stage::AwaitBlockSize;
        }
        return true;
    }
    m_image.insert(m_image.end(), m_block.begin(), m_block.end());
    m_block.clear();
    replies = ack(faults, delayMs);
    m_stage = m_image.size() >= m_length ? Stage::AwaitEnd : Stage::AwaitBlockSize;
    return true;
}

}  // namespace sim
