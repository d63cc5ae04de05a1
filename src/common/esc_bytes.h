#pragma once
// The bytes the PC and the ESC exchange through the link adapter: commands, the first
// bytes of answers, reply sizes, the firmware update's two-byte commands and its block
// size, and the family numbers an ESC names itself with. The protocol controller sends
// them and the simulated ESC answers them; both take them from here.

#include <cstdint>

namespace common {

// Commands sent to the ESC (first byte of a frame).
inline constexpr uint8_t kLinkPoll = 0xE1;
inline constexpr uint8_t kEscVersionQuery = 0xE2;
inline constexpr uint8_t kSettingsQuery = 0xE3;
inline constexpr uint8_t kFamily7SettingsQuery = 0xF1;
// A settings write: this byte, the parameter bytes, then kSettingsWriteEnd.
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

// Two-byte commands of the firmware update: the prefix, then one of the codes.
inline constexpr uint8_t kUpdateCommandPrefix = 0x13;
inline constexpr uint8_t kUpdateStartCode = 0x7E;
inline constexpr uint8_t kUpdateEndCode = 0x81;
inline constexpr uint8_t kUpdateLeaveCode = 0xCF;
// The update's acknowledgement: the letters o and k.
inline constexpr uint8_t kAckFirst = 0x6F;
inline constexpr uint8_t kAckSecond = 0x6B;
// The image travels in blocks of this many bytes (the last one shorter or equal).
inline constexpr int32_t kUpdateBlockSize = 512;

// Byte 1 of the version reply: the ESC's family.
enum EscFamily : uint8_t {
    kFamilyNone = 0,
    kFamilyAir = 1,
    kFamilyCarBasic = 2,
    kFamilyCarTurbo = 3,
    kFamilyAirBec = 4,
    kFamilyMulti = 5,
    kFamilyBoat = 6,
    kFamilyAbc = 7,
    kFamilyCarFull = 8,
    kFamilyWater = 9,
};

}  // namespace common
