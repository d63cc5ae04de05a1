#pragma once
// What the protocol controller learned about the connected ESC, as the settings model
// reads it: the identification bytes of the version reply and the accepted reply length.

#include <cstdint>

namespace settings {

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

struct EscInfo {
    uint8_t family = 0;          // m_escFamily
    uint8_t variant = 0;         // m_escVariant, byte 0 of the version reply
    uint8_t major = 0;           // m_escVersionMajor, byte 2
    uint8_t byte5 = 0;           // m_escVersionByte5
    uint8_t byte6 = 0;           // m_escVersionByte6
    uint8_t settingsLength = 0;  // m_settingsLength, length of the accepted settings reply
};

}  // namespace settings
