#pragma once
// What the protocol controller learned about the connected ESC, as the settings model
// reads it: the identification bytes of the version reply and the accepted reply length.

#include <cstdint>

#include "common/esc_bytes.h"

namespace settings {

// The family numbers, byte 1 of the version reply.
using common::EscFamily;
using common::kFamilyAbc;
using common::kFamilyAir;
using common::kFamilyAirBec;
using common::kFamilyBoat;
using common::kFamilyCarBasic;
using common::kFamilyCarFull;
using common::kFamilyCarTurbo;
using common::kFamilyMulti;
using common::kFamilyNone;
using common::kFamilyWater;

struct EscInfo {
    uint8_t family = 0;          // m_escFamily
    uint8_t variant = 0;         // m_escVariant, byte 0 of the version reply
    uint8_t major = 0;           // m_escVersionMajor, byte 2
    uint8_t byte5 = 0;           // m_escVersionByte5
    uint8_t byte6 = 0;           // m_escVersionByte6
    uint8_t settingsLength = 0;  // m_settingsLength, length of the accepted settings reply
};

}  // namespace settings
