#pragma once
// The bytes the PC and the ESC exchange through the link adapter, and the states of the
// protocol controller that wait for them.

#include <cstdint>

namespace protocol {

// Commands sent to the ESC (first byte of the TxFrame).
inline constexpr uint8_t kLinkPoll = 0xE1;
inline constexpr uint8_t kEscVersionQuery = 0xE2;
inline constexpr uint8_t kSettingsQuery = 0xE3;
inline constexpr uint8_t kFamily7SettingsQuery = 0xF1;
inline constexpr uint8_t kSettingsWriteStart = 0xF2;
inline constexpr uint8_t kSettingsWriteEnd = 0xD1;
inline constexpr uint8_t kUpdateRequest = 0xE4;
inline constexpr uint8_t kUpdateAbort = 0xD4;

// First bytes of answers.
inline constexpr uint8_t kAdapterVersionReply = 0xD7;  // the adapter's own version
inline constexpr uint8_t kLinkPollAnswer = 0xE1;       // an ESC answering a link poll
inline constexpr uint8_t kFamily7PollAnswer = 0xFD;    // an ESC of family 7 answering it

// Reply sizes.
inline constexpr uint32_t kEscVersionReplyLength = 7;
inline constexpr uint32_t kAdapterVersionReplyLength = 8;
inline constexpr uint32_t kFamily7DataLength = 8;
inline constexpr uint32_t kFamily7MinReplyLength = 9;

enum ProtocolState : uint8_t {
    kStateIdle = 0,
    kStateAwaitAdapterVersion = 1,
    kStateLinkPolling = 2,
    kStateAwaitEscVersion = 3,
    kStateAwaitSettings = 4,
    kStateWriteSettle = 5,
    kStateUpdateHandshake = 6,
    kStateUpdateAnnounceBlock = 7,
    kStateUpdateSendBlock = 8,
    kStateUpdateAwaitBlockAck = 9,
    kStateUpdateSendLastBlock = 10,
    kStateUpdateAwaitLastAck = 11,
    kStateUpdateAwaitFinishAck = 12,
    kStateAwaitFamily7Settings = 17,
};

inline constexpr bool isUpdateState(uint8_t state) {
    return state >= kStateUpdateHandshake && state <= kStateUpdateAwaitFinishAck;
}

}  // namespace protocol
