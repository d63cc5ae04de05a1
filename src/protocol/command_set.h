#pragma once
// The states of the protocol controller and the bytes (common/esc_bytes.h) they wait for.

#include <cstdint>

#include "common/esc_bytes.h"

namespace protocol {

// The bytes on the wire, under the names the controller has always used.
using common::kAdapterVersionReply;
using common::kAdapterVersionReplyLength;
using common::kEscVersionQuery;
using common::kEscVersionReplyLength;
using common::kFamily7DataLength;
using common::kFamily7MinReplyLength;
using common::kFamily7PollAnswer;
using common::kFamily7SettingsQuery;
using common::kLinkPoll;
using common::kLinkPollAnswer;
using common::kSettingsQuery;
using common::kSettingsWriteEnd;
using common::kSettingsWriteStart;
using common::kUpdateAbort;
using common::kUpdateRequest;

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
