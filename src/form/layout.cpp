#include "form/layout.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "form/control_ids.h"

namespace form {
namespace {

using K = ControlKind;

constexpr uint32_t kTab = kStyleTabStop;
constexpr uint32_t kEditRo = kStyleReadOnly | kTab;
constexpr uint32_t kEditDigits = kStyleDigitsOnly | kTab;
constexpr uint32_t kEditRoDigits = kStyleReadOnly | kStyleDigitsOnly | kTab;
// Every up-down writes its position into its buddy and sits at the buddy's right edge.
constexpr uint32_t kSpinBase = kStyleSetBuddyInt | kStyleAlignRight;
constexpr uint32_t kSpinKeys = kSpinBase | kStyleArrowKeys;
constexpr uint32_t kSpinPlain = kSpinKeys | kStyleNoThousands;

// Positions are those of the layout, but for a few controls that it placed over others:
// the calculator sits in one row in the right-hand columns (which families 1 and 4, the
// only ones that show it, leave free), family 5's low end point takes the place of list
// 1060 as its high end point takes that of list 1045, the brake edit and the progress bar,
// which share their places with the brake list and the status field, start hidden, and
// the running mode list takes room from the start power list beside it for its long
// entries.
constexpr ControlSpec kMainControls[] = {
    {kSpinCalcGear, K::Spin, "", {324, 167, 8, 12}, false, kSpinKeys, kEditCalcGear, ""},
    {kEditCalcGear, K::Edit, "", {300, 167, 32, 12}, false, kEditDigits, 0, ""},
    {kSpinCalcCells, K::Spin, "", {210, 167, 8, 12}, false, kSpinBase, kEditCalcCells, ""},
    {kEditCalcCells, K::Edit, "", {188, 167, 30, 12}, false, kTab, 0, ""},
    {kGroupAdvanced, K::Group, "Advanced Parameter", {7, 195, 367, 43}, true, 0, 0, ""},
    {kFrameLampAnchor, K::Frame, "", {230, 23, 18, 15}, false, 0, 0, ""},
    {kGroupConnection, K::Group, "Connection Status", {212, 6, 89, 47}, true, 0, 0, ""},
    {kLabelUsbDevice, K::Label, "USB Device", {256, 22, 41, 9}, true, 0, 0, ""},
    {kLabelEscDevice, K::Label, "ESC Device", {256, 41, 41, 9}, true, 0, 0, ""},
    {kGroupVersion, K::Group, "Software Version", {119, 6, 89, 47}, true, 0, 0, ""},
    {kLabelEscVersion, K::Label, "ESC ", {124, 22, 24, 9}, true, 0, 0, ""},
    {kEditEscVersion, K::Edit, "", {151, 20, 54, 12}, true, kEditRo, 0, ""},
    {kLabelAdapterVersion, K::Label, "2 IN 1", {123, 40, 27, 9}, true, 0, 0, ""},
    {kEditAdapterVersion, K::Edit, "", {151, 38, 54, 12}, true, kEditRo, 0, ""},
    {kGroupCommands, K::Group, "ControlLer Command", {7, 249, 369, 43}, true, 0, 0, ""},
    {kButtonSendSetting, K::Button, "Send Setting", {80, 259, 60, 25}, true, kTab, 0, ""},
    {kButtonEscUpdate, K::Button, "ESC Update", {144, 259, 62, 25}, true, kTab, 0, ""},
    {kButtonAdapterUpdate, K::Button, "2 IN 1 Update", {314, 22, 6, 25}, false, kTab, 0, ""},
    {kProgressUpdate, K::Progress, "", {313, 216, 57, 14}, false, 0, 0, ""},
    {kLabelUpdatePercent, K::Label, "", {283, 268, 16, 10}, true, 0, 0, ""},
    {kEditStatus, K::Edit, "", {223, 278, 58, 14}, true, kEditRo, 0, ""},
    {kButtonReadSetting, K::Button, "Read Setting", {12, 259, 60, 25}, true, kTab, 0, ""},
    {kPictureLogo, K::Picture, "", {7, 20, 15, 13}, true, 0, 0, ""},
    {kLabelCutoffVoltage, K::Label, "6.Cut-off Voltage", {15, 155, 69, 8}, true, 0, 0, ""},
    {kComboCutoffVoltage, K::Combo, "", {16, 167, 76, 15}, true, kTab, 0, ""},
    {kLabelBraking, K::Label, "4.Percentage Braking", {101, 95, 82, 8}, true, 0, 0, ""},
    {kComboBraking, K::Combo, "", {101, 108, 76, 15}, true, kTab, 0, ""},
    {kLabelRunMode, K::Label, "3.Runing Mode", {101, 64, 80, 8}, true, 0, 0, ""},
    {kComboRunMode, K::Combo, "", {101, 76, 120, 15}, true, kTab, 0, ""},
    {kLabelDragBrake, K::Label, "5.Percentage Drag Brake ", {14, 124, 85, 8}, true, 0, 0, ""},
    {kComboDragBrake, K::Combo, "", {15, 136, 76, 15}, true, kTab, 0, ""},
    {kLabelMotorTiming, K::Label, "1.Motor Timing", {15, 64, 61, 8}, true, 0, 0, ""},
    {kComboMotorTiming, K::Combo, "", {15, 76, 76, 15}, true, kTab, 0, ""},
    {kLabelStartAccel, K::Label, "2.Initial Acceleration", {15, 95, 82, 8}, true, 0, 0, ""},
    {kComboStartAccel, K::Combo, "", {15, 107, 76, 15}, true, kTab, 0, ""},
    {kLabelThrottlePercent, K::Label, "8.Throttle Percent ", {99, 155, 86, 8}, true, 0, 0, ""},
    {kComboThrottlePercent, K::Combo, "", {100, 167, 76, 15}, true, kTab, 0, ""},
    {kLabelThrottleLimit, K::Label, "7.Throttle Limit", {100, 124, 89, 8}, true, 0, 0, ""},
    {kComboThrottleLimit, K::Combo, "", {101, 136, 76, 15}, true, kTab, 0, ""},
    {kCheckReverse, K::CheckBox, "Reverse Rotation", {189, 56, 15, 11}, false, kTab, 0, ""},
    {kLabelNeutralRange, K::Label, "10.Neutral Range", {191, 125, 75, 8}, true, 0, 0, ""},
    {kComboNeutralRange, K::Combo, "", {188, 135, 69, 15}, true, kTab, 0, ""},
    {kLabelTurboTiming, K::Label, "11.Turbo Timing", {13, 208, 61, 8}, true, 0, 0, ""},
    {kComboTurboTiming, K::Combo, "", {14, 220, 76, 15}, true, kTab, 0, ""},
    {kLabelBoostStartRpm, K::Label, "12.Boost Start RPM", {110, 208, 73, 8}, true, 0, 0, ""},
    {kComboBoostStartRpm, K::Combo, "", {110, 220, 76, 15}, true, kTab, 0, ""},
    {kLabelTurboDelay, K::Label, "13.Turbo Delay", {216, 208, 61, 8}, true, 0, 0, ""},
    {kComboTurboDelay, K::Combo, "", {215, 220, 76, 15}, true, kTab, 0, ""},
    {kPictureUnused, K::Picture, "", {338, 23, 18, 16}, false, 0, 0, ""},
    {kLabelMotorRotation, K::Label, "9.Motor Rotation", {191, 95, 75, 8}, true, 0, 0, ""},
    {kComboMotorRotation, K::Combo, "", {188, 107, 69, 15}, true, kTab, 0, ""},
    {kFrameParameters, K::Frame, "", {5, 55, 368, 136}, true, 0, 0, ""},
    {kSpinCalcPole, K::Spin, "", {244, 167, 8, 12}, false, kSpinKeys, kEditCalcPole, ""},
    {kEditCalcPole, K::Edit, "", {222, 167, 30, 12}, false, kTab, 0, ""},
    {kLabelCalcPole, K::Label, "Pole", {222, 156, 30, 10}, false, 0, 0, ""},
    {kLabelCalcKv, K::Label, "M_KV", {256, 156, 40, 10}, false, 0, 0, ""},
    {kLabelCalcGear, K::Label, "Gear", {300, 156, 32, 10}, false, 0, 0, ""},
    {kEditCalcKv, K::Edit, "", {256, 167, 40, 12}, false, kEditDigits, 0, ""},
    {kLabelCalcCells, K::Label, "Cells", {188, 156, 30, 10}, false, 0, 0, ""},
    {kLabelCalcPinion, K::Label, "Pinion", {336, 156, 32, 10}, false, 0, 0, ""},
    {kSpinCalcPinion, K::Spin, "", {360, 167, 8, 12}, false, kSpinKeys, kEditCalcPinion, ""},
    {kEditCalcPinion, K::Edit, "", {336, 167, 32, 12}, false, kEditDigits, 0, ""},
    {kSpinCalcKv, K::Spin, "", {288, 167, 8, 12}, false, kSpinPlain, kEditCalcKv, ""},
    {kEditGovernor, K::Edit, "", {100, 167, 76, 12}, false, kEditDigits, 0, ""},
    {kLabelBatteryType, K::Label, "11.Battery Type", {191, 155, 79, 12}, true, 0, 0, ""},
    {kComboBatteryType, K::Combo, "", {188, 167, 68, 12}, true, kTab, 0, ""},
    {kLabelBecVoltage, K::Label, "13.BEC Vol", {272, 65, 77, 8}, true, 0, 0, ""},
    {kComboBecVoltage, K::Combo, "", {272, 77, 67, 15}, true, kTab, 0, "1|2|3"},
    {kEditLowEndPoint, K::Edit, "", {189, 107, 67, 12}, false, kEditRoDigits, 0, ""},
    {kSpinLowEndPoint, K::Spin, "", {248, 107, 8, 12}, false, kSpinPlain, kEditLowEndPoint, ""},
    {kEditHighEndPoint, K::Edit, "", {189, 135, 67, 12}, false, kEditRoDigits, 0, ""},
    {kSpinHighEndPoint, K::Spin, "", {260, 137, 11, 13}, false, kSpinPlain, kEditHighEndPoint, ""},
    {kSpinUnused, K::Spin, "", {346, 58, 12, 13}, false, kSpinPlain, 0, ""},
    {kLabelStartPower, K::Label, "12:Start Power", {226, 65, 44, 8}, true, 0, 0, ""},
    {kLabelMinThrottle, K::Label, "Min_Throttle", {273, 96, 63, 9}, true, 0, 0, ""},
    {kEditMinThrottle, K::Edit, "", {272, 106, 76, 12}, true, kEditRoDigits, 0, ""},
    {kSpinMinThrottle, K::Spin, "", {341, 107, 12, 13}, true, kSpinPlain, kEditMinThrottle, ""},
    {kEditMaxThrottle, K::Edit, "", {271, 135, 76, 12}, true, kEditRoDigits, 0, ""},
    {kSpinMaxThrottle, K::Spin, "", {341, 134, 12, 13}, true, kSpinPlain, kEditMaxThrottle, ""},
    {kLabelMaxThrottle, K::Label, "Max_Throttle", {270, 124, 72, 9}, true, 0, 0, ""},
    {kEditCenterThrottle, K::Edit, "", {271, 167, 76, 12}, true, kEditRoDigits, 0, ""},
    {kSpinCenterThrottle,
     K::Spin,
     "",
     {341, 167, 12, 13},
     true,
     kSpinPlain,
     kEditCenterThrottle,
     ""},
    {kLabelCenterThrottle, K::Label, "Max_Throttle", {270, 155, 73, 9}, true, 0, 0, ""},
    {kComboStartPower, K::Combo, "", {226, 76, 40, 13}, true, kTab, 0, ""},
    {kEditBrakeValue, K::Edit, "", {101, 108, 84, 12}, false, kEditRoDigits, 0, ""},
    {kSpinBrakeValue, K::Spin, "", {172, 106, 12, 12}, false, kSpinPlain, kEditBrakeValue, ""},
};

constexpr DialogSpec kMainDialog{102, 378, 296, "BEC VOL", kMainControls};

constexpr ControlSpec kAboutControls[] = {
    {about::kLabelProductName, K::Label, "Tessaro", {57, 11, 67, 8}, true, kStyleNoPrefix, 0, ""},
    {about::kButtonOk, K::Button, "OK", {179, 8, 37, 16}, true, kStyleDefaultButton | kTab, 0, ""},
    {about::kLabelWebLink,
     K::Label,
     "https://tessaro.example.org",
     {55, 39, 134, 10},
     true,
     kStyleNotify,
     0,
     ""},
};

constexpr DialogSpec kAboutDialog{100, 219, 50, "About", kAboutControls};

constexpr TopMenuSpec kTopMenus[] = {
    {kTopMenuFile, kMainMenuId, "File", 'F'},
    {kTopMenuOperation, 32775, "Operation", 'O'},
    {kTopMenuHelp, 32776, "Help", 'H'},
};

constexpr MenuEntrySpec kMenuEntries[] = {
    {kTopMenuFile, 0, kCmdExportData, "Export Data", 'E'},
    {kTopMenuFile, 1, kCmdImportData, "Import Data", 'I'},
    {kTopMenuFile, 2, kCmdLanguageEnglish, "English", 'N'},
    {kTopMenuFile, 3, kCmdLanguageChinese, "Chinese", 'C'},
    {kTopMenuFile, 4, kCmdExit, "Exit", 'X'},
    {kTopMenuOperation, 0, kCmdRestoreDefault, "Restore Default Data", 'R'},
    {kTopMenuHelp, 0, kCmdHelp, "Help", 'H'},
    {kTopMenuHelp, 1, kCmdAbout, "About", 'A'},
};

struct ButtonKey {
    ControlId button;
    char key;
};

constexpr ButtonKey kButtonKeys[] = {
    {kButtonReadSetting, 'R'},   {kButtonSendSetting, 'S'}, {kButtonEscUpdate, 'U'},
    {kButtonAdapterUpdate, 'A'}, {about::kButtonOk, 'O'},
};

struct CaptionLabel {
    ControlId control;
    ControlId label;
};

// Each list beside its label; the edits that take a list's place share its label.
constexpr CaptionLabel kCaptionLabels[] = {
    {kComboCutoffVoltage, kLabelCutoffVoltage},
    {kComboBraking, kLabelBraking},
    {kEditBrakeValue, kLabelBraking},
    {kComboRunMode, kLabelRunMode},
    {kComboDragBrake, kLabelDragBrake},
    {kComboMotorTiming, kLabelMotorTiming},
    {kComboStartAccel, kLabelStartAccel},
    {kComboThrottlePercent, kLabelThrottlePercent},
    {kEditGovernor, kLabelThrottlePercent},
    {kComboThrottleLimit, kLabelThrottleLimit},
    {kComboNeutralRange, kLabelNeutralRange},
    {kComboTurboTiming, kLabelTurboTiming},
    {kComboBoostStartRpm, kLabelBoostStartRpm},
    {kComboTurboDelay, kLabelTurboDelay},
    {kComboMotorRotation, kLabelMotorRotation},
    {kComboBatteryType, kLabelBatteryType},
    {kComboBecVoltage, kLabelBecVoltage},
    {kComboStartPower, kLabelStartPower},
    {kEditMinThrottle, kLabelMinThrottle},
    {kEditMaxThrottle, kLabelMaxThrottle},
    {kEditCenterThrottle, kLabelCenterThrottle},
    {kEditEscVersion, kLabelEscVersion},
    {kEditAdapterVersion, kLabelAdapterVersion},
    {kEditCalcCells, kLabelCalcCells},
    {kEditCalcPole, kLabelCalcPole},
    {kEditCalcKv, kLabelCalcKv},
    {kEditCalcGear, kLabelCalcGear},
    {kEditCalcPinion, kLabelCalcPinion},
};

constexpr SpinSetup kCalculatorSpins[] = {
    {kSpinCalcCells, kEditCalcCells, 1, 6, 3, 1},
    {kSpinCalcKv, kEditCalcKv, 200, 100000, 4000, 100},
    {kSpinCalcGear, kEditCalcGear, 1, 255, 150, 1},
    {kSpinCalcPinion, kEditCalcPinion, 1, 255, 13, 1},
    {kSpinCalcPole, kEditCalcPole, 1, 100, 6, 1},
};

// The high end point stops at 2020, the largest value its frame byte carries; higher
// values would wrap to a wrong throttle point.
constexpr SpinSetup kParameterSpins[] = {
    {kSpinLowEndPoint, kEditLowEndPoint, 1000, 1150, 1000, 4},
    {kSpinHighEndPoint, kEditHighEndPoint, 1820, 2020, 1820, 4},
    {kSpinMinThrottle, kEditMinThrottle, 1000, 1200, 1000, 4},
    {kSpinMaxThrottle, kEditMaxThrottle, 1800, 2020, 2000, 4},
    {kSpinCenterThrottle, kEditCenterThrottle, 1400, 1580, 1488, 4},
    {kSpinBrakeValue, kEditBrakeValue, 4, 200, 20, 4},
};

}  // namespace

const DialogSpec& mainWindowLayout() {
    return kMainDialog;
}
const DialogSpec& aboutBoxLayout() {
    return kAboutDialog;
}
std::span<const TopMenuSpec> mainMenuTopEntries() {
    return kTopMenus;
}
std::span<const MenuEntrySpec> mainMenuEntries() {
    return kMenuEntries;
}
std::span<const SpinSetup> calculatorSpinSetup() {
    return kCalculatorSpins;
}
std::span<const SpinSetup> parameterSpinSetup() {
    return kParameterSpins;
}

char buttonAccessKey(ControlId button) {
    for (const ButtonKey& entry : kButtonKeys) {
        if (entry.button == button)
            return entry.key;
    }
    return 0;
}

ControlId captionLabelOf(ControlId control) {
    for (const CaptionLabel& entry : kCaptionLabels) {
        if (entry.control == control)
            return entry.label;
    }
    return 0;
}

const ControlSpec* findControl(const DialogSpec& dialog, ControlId id) {
    const auto it = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                                 [id](const ControlSpec& c) { return c.id == id; });
    return it == dialog.controls.end() ? nullptr : &*it;
}

Rect toPixels(const DialogRect& position) {
    const int left = position.x * kPixelsPerDialogUnit;
    const int top = position.y * kPixelsPerDialogUnit;
    return Rect{left, top, left + position.width * kPixelsPerDialogUnit,
                top + position.height * kPixelsPerDialogUnit};
}

void applySpinSetup(Form& form, std::span<const SpinSetup> spins) {
    for (const SpinSetup& s : spins) {
        form.setSpinRange(s.spin, s.low, s.high);
        form.setSpinStep(s.spin, s.step);
        form.setSpinPosition(s.spin, s.start);
    }
}

std::optional<int> spinPositionFromText(std::string_view text, int low, int high) {
    int value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value);
    if (text.empty() || ec != std::errc() || end != last)
        return std::nullopt;
    return std::clamp(value, std::min(low, high), std::max(low, high));
}

}  // namespace form
