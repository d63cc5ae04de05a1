#pragma once
// The codings that turn one form value into one parameter byte and back, and the special
// rules of the throttle end points and the governor. Pure functions: the marks that two
// of the rules keep in the language file are passed in and handed back, never read here.

#include <cstdint>
#include <string_view>

#include "i18n/ui_text.h"
#include "settings/esc_info.h"

namespace settings {

// How a row's byte relates to its control. The list codings take the selected item
// index, the edit codings the number in the edit's text.
enum class Coding : uint8_t {
    Index,                 // P = sel
    IndexPlusOne,          // P = sel + 1
    Doubled,               // P = 2 sel, but 1 for item 0
    Odd,                   // P = 2 sel + 1
    Step4,                 // P = (v - 1000) / 4 - 1, shown as P * 4 + 1004
    Step4From1000,         // P = (v - 1000) / 4, shown as P * 4 + 1000
    ValueMinusOne,         // P = v - 1, shown as P + 1
    MinimumThrottle,       // step 4 with the "min_1004" mark
    CarMaximumThrottle,    // step 4 avoiding command codes under major version 2
    WaterMaximumThrottle,  // step 4 with the "max_F1" mark under build 2/29
    Governor,              // two bytes (low nibble, high part) as a fraction of the calculator
    StartPowerNumber,      // the number written in the selected item, minus 1
    Constant,              // a fixed byte that no control shows
    Show,                  // decode only: show the control
    Hide,                  // decode only: hide the control
    Disable,               // decode only: disable the control
};

// Codings whose control is a drop-down list that must have a selection to be encoded.
bool codingReadsSelection(Coding coding);
// Codings that only act on the form while decoding and carry no byte.
bool codingIsFormAction(Coding coding);

// The integer at the start of a text: leading blanks and one sign allowed, digits up to
// the first other character, 0 when there are none; saturates at the 32-bit limits.
int32_t leadingNumber(std::string_view text);

// The plain codings. A selection is -1 when nothing is selected; the decoded selection
// may lie outside the list, which the form turns into "no selection".
uint8_t encodeSelection(Coding coding, int selection);
int decodeSelection(Coding coding, uint8_t byte);
uint8_t encodeNumber(Coding coding, int32_t value);
int32_t decodeNumber(Coding coding, uint8_t byte);

// The marks' keys in section "set" of the language file.
inline constexpr const char* kMinIs1004Key = i18n::kKeyMin1004;
inline constexpr const char* kMaxF1Key = i18n::kKeyMaxF1;
inline constexpr const char* kMarkClear = "0";
inline constexpr const char* kMarkSet = "1";

// Minimum throttle: 1004 and 1000 share byte 0, told apart by the "min_1004" mark.
struct MinimumThrottleCode {
    uint8_t byte = 0;
    uint8_t minIs1004 = 0;
};
MinimumThrottleCode encodeMinimumThrottle(int32_t value);
int32_t decodeMinimumThrottle(uint8_t byte, uint8_t minIs1004);

// Maximum throttle of families 2, 3 and 8.
uint8_t encodeCarMaximumThrottle(int32_t value, uint8_t major);
int32_t decodeCarMaximumThrottle(uint8_t byte);

// Maximum throttle of family 9. `mark` is the "max_F1" value to store, or null when
// nothing is stored (outside build 2/29).
struct WaterMaximumCode {
    uint8_t byte = 0;
    const char* mark = nullptr;
};
WaterMaximumCode encodeWaterMaximumThrottle(int32_t value, bool build229);
int32_t decodeWaterMaximumThrottle(uint8_t byte, bool build229, uint8_t maxF1Code);
// The firmware build whose family-9 maximum byte avoids command codes.
bool isBuild229(const EscInfo& esc);

// Governor of families 1 and 4, scaled by the calculator result g (64-bit, exact for
// every g the calculator yields).
struct GovernorBytes {
    uint8_t low = 0;
    uint8_t high = 0;
};
GovernorBytes encodeGovernor(int32_t value, int64_t calcResult);
int64_t decodeGovernor(uint8_t low, uint8_t high, int64_t calcResult);

// P3 of the car families' factory-default frame ("dd"), by major version.
uint8_t defaultCarBrakeByte(uint8_t major);

}  // namespace settings
