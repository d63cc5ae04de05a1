#pragma once
// Identifiers of the controls of the main window (layout 102), of the About box
// (layout 100) and of the commands of menu 129. The parameter-form names follow the
// captions of the layout; what a control means for a given ESC family is the settings
// model's business.

#include "form/form.h"

namespace form {

// --- Main window: calculator -------------------------------------------------------
inline constexpr ControlId kSpinCalcCells = 1075;
inline constexpr ControlId kEditCalcCells = 1074;
inline constexpr ControlId kLabelCalcCells = 1077;
inline constexpr ControlId kSpinCalcKv = 1090;
inline constexpr ControlId kEditCalcKv = 1079;
inline constexpr ControlId kLabelCalcKv = 1064;
inline constexpr ControlId kSpinCalcGear = 1087;
inline constexpr ControlId kEditCalcGear = 1084;
inline constexpr ControlId kLabelCalcGear = 1083;
inline constexpr ControlId kSpinCalcPinion = 1088;
inline constexpr ControlId kEditCalcPinion = 1089;
inline constexpr ControlId kLabelCalcPinion = 1093;
inline constexpr ControlId kSpinCalcPole = 1080;
inline constexpr ControlId kEditCalcPole = 1081;
inline constexpr ControlId kLabelCalcPole = 1082;
// The governor value of families 1 and 4; coloured against the calculator result.
inline constexpr ControlId kEditGovernor = 1092;

// --- Main window: status area ------------------------------------------------------
inline constexpr ControlId kGroupAdvanced = 1054;
inline constexpr ControlId kFrameLampAnchor = 1011;
inline constexpr ControlId kGroupConnection = 1052;
inline constexpr ControlId kLabelUsbDevice = 1013;
inline constexpr ControlId kLabelEscDevice = 1014;
inline constexpr ControlId kGroupVersion = 1053;
inline constexpr ControlId kLabelEscVersion = 1056;
inline constexpr ControlId kEditEscVersion = 1016;
inline constexpr ControlId kLabelAdapterVersion = 1055;
inline constexpr ControlId kEditAdapterVersion = 1017;
inline constexpr ControlId kGroupCommands = 1057;
inline constexpr ControlId kButtonSendSetting = 1018;
inline constexpr ControlId kButtonEscUpdate = 1019;
inline constexpr ControlId kButtonAdapterUpdate = 1021;  // never shown
inline constexpr ControlId kProgressUpdate = 1023;
inline constexpr ControlId kLabelUpdatePercent = 1024;
inline constexpr ControlId kEditStatus = 1025;
inline constexpr ControlId kButtonReadSetting = 1020;
inline constexpr ControlId kPictureLogo = 1026;
inline constexpr ControlId kPictureUnused = 1058;  // never shown
inline constexpr ControlId kFrameParameters = -1;  // the one control without identifier

// --- Main window: parameter form (label / value pairs) -----------------------------
inline constexpr ControlId kLabelCutoffVoltage = 1027;
inline constexpr ControlId kComboCutoffVoltage = 1029;
inline constexpr ControlId kLabelBraking = 1028;
inline constexpr ControlId kComboBraking = 1030;
inline constexpr ControlId kLabelRunMode = 1031;
inline constexpr ControlId kComboRunMode = 1032;
inline constexpr ControlId kLabelDragBrake = 1033;
inline constexpr ControlId kComboDragBrake = 1034;
inline constexpr ControlId kLabelMotorTiming = 1035;
inline constexpr ControlId kComboMotorTiming = 1036;
inline constexpr ControlId kLabelStartAccel = 1037;
inline constexpr ControlId kComboStartAccel = 1038;
inline constexpr ControlId kLabelThrottlePercent = 1039;
inline constexpr ControlId kComboThrottlePercent = 1040;
inline constexpr ControlId kLabelThrottleLimit = 1041;
inline constexpr ControlId kComboThrottleLimit = 1042;
inline constexpr ControlId kCheckReverse = 1043;  // never shown
inline constexpr ControlId kLabelNeutralRange = 1044;
inline constexpr ControlId kComboNeutralRange = 1045;
inline constexpr ControlId kLabelTurboTiming = 1046;
inline constexpr ControlId kComboTurboTiming = 1047;
inline constexpr ControlId kLabelBoostStartRpm = 1048;
inline constexpr ControlId kComboBoostStartRpm = 1049;
inline constexpr ControlId kLabelTurboDelay = 1050;
inline constexpr ControlId kComboTurboDelay = 1051;
inline constexpr ControlId kLabelMotorRotation = 1059;
inline constexpr ControlId kComboMotorRotation = 1060;
inline constexpr ControlId kLabelBatteryType = 1094;
inline constexpr ControlId kComboBatteryType = 1095;
inline constexpr ControlId kLabelBecVoltage = 1096;
inline constexpr ControlId kComboBecVoltage = 1061;
inline constexpr ControlId kLabelStartPower = 1062;
inline constexpr ControlId kComboStartPower = 1105;
inline constexpr ControlId kLabelMinThrottle = 1107;
inline constexpr ControlId kEditMinThrottle = 1109;
inline constexpr ControlId kSpinMinThrottle = 1110;
inline constexpr ControlId kLabelMaxThrottle = 1108;
inline constexpr ControlId kEditMaxThrottle = 1111;
inline constexpr ControlId kSpinMaxThrottle = 1112;
inline constexpr ControlId kLabelCenterThrottle = 1115;
inline constexpr ControlId kEditCenterThrottle = 1113;
inline constexpr ControlId kSpinCenterThrottle = 1114;
// The brake as a number, in the place of kComboBraking.
inline constexpr ControlId kEditBrakeValue = 1116;
inline constexpr ControlId kSpinBrakeValue = 1117;
// Family 5's low and high throttle end points.
inline constexpr ControlId kEditLowEndPoint = 1100;
inline constexpr ControlId kSpinLowEndPoint = 1101;
inline constexpr ControlId kEditHighEndPoint = 1102;
inline constexpr ControlId kSpinHighEndPoint = 1103;
inline constexpr ControlId kSpinUnused = 1104;  // never set up

// The value controls of the parameter form, in every family's arrangement: the lists and
// the edits that show an ESC's settings (the spins go with their edits).
inline constexpr ControlId kParameterValueControls[] = {
    kComboCutoffVoltage, kComboBraking,     kComboRunMode,         kComboDragBrake,
    kComboMotorTiming,   kComboStartAccel,  kComboThrottlePercent, kComboThrottleLimit,
    kComboNeutralRange,  kComboTurboTiming, kComboBoostStartRpm,   kComboTurboDelay,
    kComboMotorRotation, kComboBatteryType, kComboBecVoltage,      kComboStartPower,
    kEditMinThrottle,    kEditMaxThrottle,  kEditCenterThrottle,   kEditBrakeValue,
    kEditLowEndPoint,    kEditHighEndPoint, kEditGovernor,
};

// --- Menu 129 commands (also the toolbar's) ----------------------------------------
inline constexpr int kCmdExportData = 32771;
inline constexpr int kCmdImportData = 32772;
inline constexpr int kCmdLanguageEnglish = 32773;
inline constexpr int kCmdLanguageChinese = 32774;
inline constexpr int kCmdRestoreDefault = 32777;
inline constexpr int kCmdHelp = 32779;
inline constexpr int kCmdAbout = 32780;
inline constexpr int kCmdExit = 32787;

// Positions of the three top-level menu entries.
inline constexpr int kTopMenuFile = 0;
inline constexpr int kTopMenuOperation = 1;
inline constexpr int kTopMenuHelp = 2;

// Dialog command identifiers.
inline constexpr ControlId kIdOk = 1;
inline constexpr ControlId kIdCancel = 2;

// --- About box (layout 100); its identifiers overlap the main window's -------------
namespace about {
inline constexpr ControlId kLabelProductName = 1060;
inline constexpr ControlId kButtonOk = 1;
inline constexpr ControlId kLabelWebLink = 1059;
// The adapter library's version; the layout has no such control.
inline constexpr ControlId kLabelLibraryVersion = 1000;
}  // namespace about

}  // namespace form
