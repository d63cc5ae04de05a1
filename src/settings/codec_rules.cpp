#include "settings/codec_rules.h"

#include <array>
#include <limits>

namespace settings {

namespace {

// Throttle values travel in steps of 4 above this base.
constexpr int32_t kThrottleBase = 1000;
constexpr int32_t kThrottleStep = 4;
// Step 4 shows byte 0 as this value; "step 4 from 1000" shows it as the base.
constexpr int32_t kStep4Origin = kThrottleBase + kThrottleStep;

constexpr uint8_t kMajorAvoidingCommandCodes = 2;
// A maximum byte of 208 comes from the substitution of 209 (the terminator 0xD1).
constexpr uint8_t kCarMaxSubstitutedTerminator = 208;
constexpr uint8_t kCarMaxTerminator = 209;

struct StepSubstitution {
    int32_t from;
    int32_t to;
};

// Under major version 2 these steps would be command codes (0xE1 … 0xE4), the terminator
// 0xD1 or the write command 0xF2, so the nearest safe byte is sent instead.
constexpr std::array<StepSubstitution, 6> kCarMaxSubstitutions{{
    {0xE1, 0xE0},
    {0xE2, 0xE0},
    {0xE3, 0xE0},
    {0xE4, 0xE0},
    {0xD1, 0xD0},
    {0xF2, 0xF1},
}};

constexpr uint8_t kBuild229Byte5 = 2;
constexpr uint8_t kBuild229Byte6 = 29;

// Family 9 under build 2/29: the steps V = (v - 1000) / 4 that would produce a command
// code are sent one lower, and the mark remembers which value was meant.
struct WaterMaxRow {
    int64_t step;
    uint8_t byte;
    const char* mark;
};
constexpr std::array<WaterMaxRow, 6> kWaterMaxRows{{
    {243, 0xF1, "0xF3"},
    {210, 0xD0, "0xD2"},
    {226, 0xE0, "0xE2"},
    {227, 0xE0, "0xE3"},
    {228, 0xE0, "0xE4"},
    {229, 0xE0, "0xE5"},
}};

// Decoding under build 2/29: the byte sent and the mark's code give back the byte meant.
struct WaterMaxRestore {
    uint8_t byte;
    uint8_t markCode;
    uint8_t restored;
};
constexpr std::array<WaterMaxRestore, 6> kWaterMaxRestores{{
    {0xD0, 0xD2, 0xD1},
    {0xF1, 0xF3, 0xF2},
    {0xE0, 0xE2, 0xE1},
    {0xE0, 0xE3, 0xE2},
    {0xE0, 0xE4, 0xE3},
    {0xE0, 0xE5, 0xE4},
}};

// Above the calculator result the governor is sent as 4/5 of it.
constexpr int64_t kGovernorCapNumerator = 4;
constexpr int64_t kGovernorCapDenominator = 5;
constexpr int64_t kGovernorFullScale = 255;
constexpr int kGovernorLowBits = 4;
constexpr int64_t kGovernorLowMask = 0x0F;

constexpr uint8_t kMajorWithLongBrakeDefault = 3;
constexpr uint8_t kCarBrakeDefaultMajor3 = 0x13;
constexpr uint8_t kCarBrakeDefault = 0x04;

uint8_t lowByte(int64_t value) {
    return static_cast<uint8_t>(value & 0xFF);
}

int64_t stepOf(int32_t value) {
    return (int64_t{value} - kThrottleBase) / kThrottleStep;
}

int32_t step4Shown(uint8_t byte) {
    return byte * kThrottleStep + kStep4Origin;
}

}  // namespace

bool codingReadsSelection(Coding coding) {
    switch (coding) {
        case Coding::Index:
        case Coding::IndexPlusOne:
        case Coding::Doubled:
        case Coding::Odd:
        case Coding::StartPowerNumber:
            return true;
        default:
            return false;
    }
}

bool codingIsFormAction(Coding coding) {
    return coding == Coding::Show || coding == Coding::Hide || coding == Coding::Disable;
}

int32_t leadingNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (text[at] - '0');
        }
        ++at;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

uint8_t encodeSelection(Coding coding, int selection) {
    switch (coding) {
        case Coding::IndexPlusOne:
            return lowByte(int64_t{selection} + 1);
        case Coding::Doubled:
            return selection == 0 ? 1 : lowByte(int64_t{selection} * 2);
        case Coding::Odd:
            return lowByte(int64_t{selection} * 2 + 1);
        default:
            return lowByte(selection);
    }
}

int decodeSelection(Coding coding, uint8_t byte) {
    switch (coding) {
        case Coding::IndexPlusOne:
            return byte - 1;
        case Coding::Doubled:
            return byte < 2 ? 0 : byte / 2;
        case Coding::Odd:
            return byte / 2;
        default:
            return byte;
    }
}

uint8_t encodeNumber(Coding coding, int32_t value) {
    switch (coding) {
        case Coding::Step4From1000:
            return lowByte(stepOf(value));
        case Coding::ValueMinusOne:
            return lowByte(int64_t{value} - 1);
        default:
            return lowByte(stepOf(value) - 1);
    }
}

int32_t decodeNumber(Coding coding, uint8_t byte) {
    switch (coding) {
        case Coding::Step4From1000:
            return byte * kThrottleStep + kThrottleBase;
        case Coding::ValueMinusOne:
            return byte + 1;
        default:
            return step4Shown(byte);
    }
}

MinimumThrottleCode encodeMinimumThrottle(int32_t value) {
    if (value == kStep4Origin) {
        return {0, 1};
    }
    // Below 1004 (the spin's lower end 1000 in particular) the step formula would go
    // negative and send 0xFF, which reads back as 2024; byte 0 without the mark reads
    // back as 1000.
    if (value < kStep4Origin) {
        return {0, 0};
    }
    return {encodeNumber(Coding::Step4, value), 0};
}

int32_t decodeMinimumThrottle(uint8_t byte, uint8_t minIs1004) {
    if (byte != 0 || minIs1004 == 1) {
        return step4Shown(byte);
    }
    return kThrottleBase;
}

uint8_t encodeCarMaximumThrottle(int32_t value, uint8_t major) {
    const int64_t step = stepOf(value) - 1;
    if (major == kMajorAvoidingCommandCodes) {
        for (const StepSubstitution& row : kCarMaxSubstitutions) {
            if (row.from == step) {
                return lowByte(row.to);
            }
        }
    }
    return lowByte(step);
}

int32_t decodeCarMaximumThrottle(uint8_t byte) {
    return step4Shown(byte == kCarMaxSubstitutedTerminator ? kCarMaxTerminator : byte);
}

WaterMaximumCode encodeWaterMaximumThrottle(int32_t value, bool build229) {
    const int64_t step = stepOf(value);
    const uint8_t plain = lowByte(step - 1);
    if (!build229) {
        return {plain, nullptr};
    }
    for (const WaterMaxRow& row : kWaterMaxRows) {
        if (row.step == step) {
            return {row.byte, row.mark};
        }
    }
    return {plain, kMarkClear};
}

int32_t decodeWaterMaximumThrottle(uint8_t byte, bool build229, uint8_t maxF1Code) {
    if (build229) {
        for (const WaterMaxRestore& row : kWaterMaxRestores) {
            if (row.byte == byte && row.markCode == maxF1Code) {
                return step4Shown(row.restored);
            }
        }
    }
    return step4Shown(byte);
}

bool isBuild229(const EscInfo& esc) {
    return esc.byte5 == kBuild229Byte5 && esc.byte6 == kBuild229Byte6;
}

GovernorBytes encodeGovernor(int32_t value, int64_t calcResult) {
    const int64_t g = calcResult;
    // The calculator never yields 0; should it, the governor goes out as 0 rather than
    // dividing by zero.
    if (g == 0) {
        return {};
    }
    int64_t v = value;
    if (v > g) {
        v = (g * kGovernorCapNumerator) / kGovernorCapDenominator;
    }
    const int64_t b = (v * kGovernorFullScale) / g;
    return {lowByte(b & kGovernorLowMask), lowByte(b >> kGovernorLowBits)};
}

int64_t decodeGovernor(uint8_t low, uint8_t high, int64_t calcResult) {
    const int64_t x = (int64_t{high} << kGovernorLowBits) + low;
    return (x * calcResult) / kGovernorFullScale;
}

uint8_t defaultCarBrakeByte(uint8_t major) {
    return major == kMajorWithLongBrakeDefault ? kCarBrakeDefaultMajor3 : kCarBrakeDefault;
}

}  // namespace settings
