#include "settings/families.h"

#include <algorithm>
#include <initializer_list>

#include "form/control_ids.h"

namespace settings {

namespace {

namespace f = form;
using C = Coding;

constexpr uint8_t kCarBrakeListMajor = 2;
constexpr uint8_t kCarToMultiVariant = 5;
constexpr uint8_t kWaterBecVariant = 6;
constexpr uint8_t kCarFullShortLength = 13;
constexpr uint8_t kCarFullMidLength = 15;
constexpr uint8_t kCarFullLongLength = 16;
constexpr uint8_t kWaterBecReplyLength = 19;
constexpr uint8_t kCarBrakePosition = 3;

// --- Families 1 and 4 --------------------------------------------------------------

constexpr CodecRow kAirRows[] = {
    {1, f::kComboBraking, C::Index},
    {2, f::kComboNeutralRange, C::Index},
    {3, f::kComboRunMode, C::Index},
    {4, f::kComboDragBrake, C::Doubled},
    {5, f::kComboMotorTiming, C::IndexPlusOne},
    {6, f::kComboStartAccel, C::IndexPlusOne},
    {7, f::kComboCutoffVoltage, C::Index},
    {8, f::kComboMotorRotation, C::IndexPlusOne},
    {9, f::kComboThrottleLimit, C::IndexPlusOne},
    {10, f::kEditGovernor, C::Governor},  // P10 and P11
};
constexpr CodecRow kAirBecRows[] = {
    {12, f::kComboBecVoltage, C::Index},
};
// The air families have no battery-type choice.
constexpr CodecRow kAirHideBatteryRows[] = {
    {0, f::kLabelBatteryType, C::Hide},
    {0, f::kComboBatteryType, C::Hide},
};
constexpr uint8_t kAirDefaults[] = {0x00, 0x01, 0x00, 0x04, 0x03, 0x01,
                                    0x01, 0x01, 0x01, 0x0C, 0x0C};
constexpr uint8_t kAirBecDefaults[] = {0x00, 0x01, 0x00, 0x04, 0x03, 0x01,
                                       0x01, 0x01, 0x01, 0x0C, 0x0C, 0x00};

// --- Families 2, 3 and 8 -----------------------------------------------------------

constexpr CodecRow kCarHeadRows[] = {
    {1, f::kComboStartAccel, C::Index},
    {2, f::kComboMotorTiming, C::Index},
};
// Major version 2 offers the brake as a list, the others as a number.
constexpr CodecRow kCarBrakeListRows[] = {
    {0, f::kComboBraking, C::Show},
    {0, f::kEditBrakeValue, C::Hide},
    {kCarBrakePosition, f::kComboBraking, C::Index},
};
constexpr CodecRow kCarBrakeEditRows[] = {
    {0, f::kEditBrakeValue, C::Show},
    {0, f::kComboBraking, C::Hide},
    {kCarBrakePosition, f::kEditBrakeValue, C::ValueMinusOne},
};
// Family 8 variant 5 drives a multirotor motor; its brake is not adjustable.
constexpr CodecRow kCarBrakeEditLockedRows[] = {
    {0, f::kEditBrakeValue, C::Show},
    {0, f::kComboBraking, C::Hide},
    {kCarBrakePosition, f::kEditBrakeValue, C::ValueMinusOne},
    {0, f::kEditBrakeValue, C::Disable},
};
constexpr CodecRow kCarBodyRows[] = {
    {4, f::kEditMinThrottle, C::MinimumThrottle},
    {5, f::kEditMaxThrottle, C::CarMaximumThrottle},
    {6, f::kEditCenterThrottle, C::Step4},
    {7, f::kComboNeutralRange, C::Index},
    {8, f::kComboDragBrake, C::Index},
    {9, f::kComboCutoffVoltage, C::Index},
    {10, f::kComboBatteryType, C::Index},
    {11, f::kComboMotorRotation, C::Index},
};
// P12 … P15 of family 8 (15 and 16 bytes); family 2 reads them too, as 0 when its reply
// is shorter.
constexpr CodecRow kCarExtraRows[] = {
    {12, f::kComboStartPower, C::Index},
    {13, f::kComboThrottleLimit, C::Index},
    {14, f::kComboThrottlePercent, C::Index},
    {15, f::kComboRunMode, C::Index},
};
constexpr CodecRow kCarTurboRows[] = {
    {12, f::kComboBoostStartRpm, C::Index},
    {13, f::kComboTurboTiming, C::Index},
    {14, f::kComboTurboDelay, C::Index},
};
// The 13-byte family-8 layout carries the start power as the number its item names.
constexpr CodecRow kCarFullShortRows[] = {
    {12, f::kComboStartPower, C::StartPowerNumber},
    {13, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kCarFullBecRows[] = {
    {16, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kCarBecShownRows[] = {
    {0, f::kLabelBecVoltage, C::Show},
    {0, f::kComboBecVoltage, C::Show},
    {16, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kBecHiddenRows[] = {
    {0, f::kLabelBecVoltage, C::Hide},
    {0, f::kComboBecVoltage, C::Hide},
};
// P3 ("dd") of these defaults follows the major version.
constexpr uint8_t kCarBasicDefaults[] = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C,
                                         0x05, 0x00, 0x03, 0x00, 0x00};
constexpr uint8_t kCarTurboDefaults[] = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05,
                                         0x00, 0x03, 0x00, 0x00, 0x04, 0x05, 0x04};
constexpr uint8_t kCarFullShortDefaults[] = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05,
                                             0x00, 0x03, 0x00, 0x00, 0x0E, 0x00};
constexpr uint8_t kCarFullMidDefaults[] = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00,
                                           0x03, 0x00, 0x00, 0x09, 0x04, 0x04, 0x01};
constexpr uint8_t kCarFullLongDefaults[] = {0x02, 0x02, 0x04, 0x18, 0xE0, 0x7C, 0x05, 0x00,
                                            0x03, 0x00, 0x00, 0x09, 0x04, 0x04, 0x01, 0x00};

// --- Family 5 ----------------------------------------------------------------------

constexpr CodecRow kMultiRows[] = {
    {1, f::kComboBraking, C::Odd},
    {2, f::kComboStartAccel, C::IndexPlusOne},
    {3, f::kComboDragBrake, C::IndexPlusOne},
    {4, f::kComboThrottleLimit, C::IndexPlusOne},
    {5, f::kEditLowEndPoint, C::Step4From1000},
    {6, f::kEditHighEndPoint, C::Step4From1000},
};
constexpr uint8_t kMultiDefaults[] = {0x03, 0x01, 0x01, 0x01, 0x19, 0xE4};

// --- Family 6 ----------------------------------------------------------------------

constexpr CodecRow kBoatRows[] = {
    {1, f::kComboStartAccel, C::Index},    {2, f::kComboBraking, C::Index},
    {3, f::kComboDragBrake, C::Index},     {4, f::kComboThrottleLimit, C::Index},
    {5, f::kComboMotorRotation, C::Index}, {6, f::kComboNeutralRange, C::Index},
};
constexpr uint8_t kBoatDefaults[] = {0x00, 0x03, 0x01, 0x02, 0x00, 0x01};

// --- Family 7 ----------------------------------------------------------------------

constexpr CodecRow kAbcRows[] = {
    {1, f::kComboStartAccel, C::Index},    {2, f::kComboBraking, C::Index},
    {3, f::kComboMotorRotation, C::Index}, {4, f::kComboDragBrake, C::Index},
    {5, f::kComboThrottleLimit, C::Index}, {6, f::kComboNeutralRange, C::Index},
    {7, f::kComboCutoffVoltage, C::Index}, {8, f::kComboThrottlePercent, C::Index},
};
constexpr uint8_t kAbcDefaults[] = {0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00};

// --- Family 9 ----------------------------------------------------------------------

constexpr CodecRow kWaterRows[] = {
    {1, f::kComboRunMode, C::Index},
    {2, f::kComboMotorRotation, C::Index},
    {3, f::kComboThrottleLimit, C::Index},
    {4, f::kComboThrottlePercent, C::Index},
    {5, f::kComboMotorTiming, C::Index},
    {6, f::kComboStartAccel, C::Index},
    {7, f::kComboCutoffVoltage, C::Index},
    {8, f::kComboBatteryType, C::Index},
    {9, f::kEditMinThrottle, C::MinimumThrottle},
    {10, f::kEditMaxThrottle, C::WaterMaximumThrottle},
    {11, f::kEditCenterThrottle, C::Step4},
    {12, f::kComboNeutralRange, C::Index},
    {13, f::kComboDragBrake, C::Index},
    {14, f::kComboStartPower, C::Index},
};
// Bytes the ESC expects but the form does not show.
constexpr CodecRow kWaterConstantRows[] = {
    {15, 0, C::Constant, 0x00},
    {16, 0, C::Constant, 0x01},
    {17, 0, C::Constant, 0x07},
};
constexpr CodecRow kWaterBrakeRows[] = {
    {18, f::kComboBraking, C::Index},
};
constexpr CodecRow kWaterBecRows[] = {
    {19, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kWaterBecOwnByteRows[] = {
    {0, f::kLabelBecVoltage, C::Show},
    {0, f::kComboBecVoltage, C::Show},
    {19, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kWaterBecFromP16Rows[] = {
    {0, f::kLabelBecVoltage, C::Show},
    {0, f::kComboBecVoltage, C::Show},
    {16, f::kComboBecVoltage, C::Index},
};
constexpr CodecRow kWaterNoBecRows[] = {
    {0, f::kEditBrakeValue, C::Hide},  {0, f::kComboBraking, C::Show},
    {0, f::kSpinBrakeValue, C::Hide},  {0, f::kLabelBecVoltage, C::Hide},
    {0, f::kComboBecVoltage, C::Hide},
};
constexpr uint8_t kWaterDefaults[] = {0x01, 0x00, 0x04, 0x04, 0x02, 0x02, 0x03, 0x00, 0x18,
                                      0xE0, 0x7C, 0x05, 0x01, 0x09, 0x00, 0x01, 0x06, 0x00};
constexpr uint8_t kWaterBecDefaults[] = {0x01, 0x00, 0x04, 0x04, 0x02, 0x02, 0x03, 0x00, 0x18, 0xE0,
                                         0x7C, 0x05, 0x01, 0x09, 0x00, 0x01, 0x06, 0x00, 0x05};

// ------------------------------------------------------------------------------------

FrameLayout rowsOf(std::initializer_list<CodecRows> segments) {
    FrameLayout layout;
    for (CodecRows rows : segments) {
        layout.segments[layout.segmentCount++] = rows;
    }
    return layout;
}

FrameLayout writeFrame(std::initializer_list<CodecRows> segments,
                       std::span<const uint8_t> defaults) {
    FrameLayout layout = rowsOf(segments);
    layout.parameterCount = static_cast<uint8_t>(defaults.size());
    layout.defaults = defaults;
    return layout;
}

CodecRows carBrakeRows(const EscInfo& esc) {
    if (esc.major == kCarBrakeListMajor) {
        return kCarBrakeListRows;
    }
    if (esc.family == kFamilyCarFull && esc.variant == kCarToMultiVariant) {
        return kCarBrakeEditLockedRows;
    }
    return kCarBrakeEditRows;
}

CodecRows carBecRows(const EscInfo& esc) {
    return esc.settingsLength == kCarFullLongLength ? CodecRows{kCarBecShownRows}
                                                    : CodecRows{kBecHiddenRows};
}

FrameLayout withMajorBrakeDefault(FrameLayout layout) {
    layout.majorBrakeDefaultPosition = kCarBrakePosition;
    return layout;
}

FrameLayout carFullWriteLayout(const EscInfo& esc) {
    const CodecRows brake = carBrakeRows(esc);
    switch (esc.settingsLength) {
        case kCarFullShortLength:
            return writeFrame({kCarHeadRows, brake, kCarBodyRows, kCarFullShortRows},
                              kCarFullShortDefaults);
        case kCarFullMidLength:
            return writeFrame({kCarHeadRows, brake, kCarBodyRows, kCarExtraRows},
                              kCarFullMidDefaults);
        default:
            return writeFrame({kCarHeadRows, brake, kCarBodyRows, kCarExtraRows, kCarFullBecRows},
                              kCarFullLongDefaults);
    }
}

FrameLayout carFullReadLayout(const EscInfo& esc) {
    const CodecRows brake = carBrakeRows(esc);
    if (esc.settingsLength == kCarFullMidLength || esc.settingsLength == kCarFullLongLength) {
        return rowsOf({kCarHeadRows, brake, kCarBodyRows, kCarExtraRows, carBecRows(esc)});
    }
    return rowsOf({kCarHeadRows, brake, kCarBodyRows, carBecRows(esc)});
}

CodecRows waterBecTailRows(const EscInfo& esc) {
    if (esc.settingsLength != kWaterBecReplyLength) {
        return kWaterNoBecRows;
    }
    return esc.variant == kWaterBecVariant ? CodecRows{kWaterBecOwnByteRows}
                                           : CodecRows{kWaterBecFromP16Rows};
}

}  // namespace

bool isKnownFamily(uint8_t family) {
    return family >= kFamilyAir && family <= kFamilyWater;
}

std::optional<FrameLayout> writeLayoutFor(const EscInfo& esc) {
    switch (esc.family) {
        case kFamilyAir:
            return writeFrame({kAirRows}, kAirDefaults);
        case kFamilyAirBec:
            return writeFrame({kAirBecRows, kAirRows}, kAirBecDefaults);
        case kFamilyCarBasic:
            return withMajorBrakeDefault(
                writeFrame({kCarHeadRows, carBrakeRows(esc), kCarBodyRows}, kCarBasicDefaults));
        case kFamilyCarTurbo:
            return withMajorBrakeDefault(writeFrame(
                {kCarHeadRows, carBrakeRows(esc), kCarBodyRows, kCarTurboRows}, kCarTurboDefaults));
        case kFamilyCarFull:
            return withMajorBrakeDefault(carFullWriteLayout(esc));
        case kFamilyMulti:
            return writeFrame({kMultiRows}, kMultiDefaults);
        case kFamilyBoat:
            return writeFrame({kBoatRows}, kBoatDefaults);
        case kFamilyAbc:
            return writeFrame({kAbcRows}, kAbcDefaults);
        case kFamilyWater:
            if (esc.variant == kWaterBecVariant) {
                return writeFrame({kWaterRows, kWaterConstantRows, kWaterBrakeRows, kWaterBecRows},
                                  kWaterBecDefaults);
            }
            return writeFrame({kWaterRows, kWaterConstantRows, kWaterBrakeRows}, kWaterDefaults);
        default:
            return std::nullopt;
    }
}

std::optional<FrameLayout> readLayoutFor(const EscInfo& esc) {
    switch (esc.family) {
        case kFamilyAir:
            return rowsOf({kAirRows, kAirHideBatteryRows});
        case kFamilyAirBec:
            // The BEC choice is selected first, then the rest in frame order.
            return rowsOf({kAirBecRows, kAirRows, kAirHideBatteryRows});
        case kFamilyCarBasic:
            return rowsOf(
                {kCarHeadRows, carBrakeRows(esc), kCarBodyRows, kCarExtraRows, carBecRows(esc)});
        case kFamilyCarTurbo:
            return rowsOf(
                {kCarHeadRows, carBrakeRows(esc), kCarBodyRows, kCarTurboRows, carBecRows(esc)});
        case kFamilyCarFull:
            return carFullReadLayout(esc);
        case kFamilyMulti:
            return rowsOf({kMultiRows});
        case kFamilyBoat:
            return rowsOf({kBoatRows});
        case kFamilyAbc:
            return rowsOf({kAbcRows});
        case kFamilyWater:
            return rowsOf({kWaterRows, kWaterBrakeRows, waterBecTailRows(esc)});
        default:
            return std::nullopt;
    }
}

std::vector<form::ControlId> carriedControls(const EscInfo& esc) {
    std::vector<form::ControlId> ids;
    const std::optional<FrameLayout> layout = writeLayoutFor(esc);
    if (!layout)
        return ids;
    for (std::size_t s = 0; s < layout->segmentCount; ++s) {
        for (const CodecRow& row : layout->segments[s]) {
            if (row.position == 0 || row.coding == Coding::Constant ||
                codingIsFormAction(row.coding)) {
                continue;
            }
            if (std::find(ids.begin(), ids.end(), row.control) == ids.end())
                ids.push_back(row.control);
        }
    }
    return ids;
}

std::vector<uint8_t> carriedPositions(const EscInfo& esc) {
    std::vector<uint8_t> positions;
    const std::optional<FrameLayout> layout = writeLayoutFor(esc);
    if (!layout)
        return positions;
    for (uint8_t p = 1; p <= layout->parameterCount; ++p) {
        bool constant = false;
        for (std::size_t s = 0; s < layout->segmentCount; ++s) {
            for (const CodecRow& row : layout->segments[s]) {
                constant = constant || (row.position == p && row.coding == Coding::Constant);
            }
        }
        if (!constant)
            positions.push_back(p);
    }
    return positions;
}

uint8_t settingsLengthAfterWrite(const EscInfo& esc) {
    if (esc.family != kFamilyCarFull || esc.settingsLength == kCarFullShortLength ||
        esc.settingsLength == kCarFullMidLength) {
        return esc.settingsLength;
    }
    return kCarFullLongLength;
}

}  // namespace settings
