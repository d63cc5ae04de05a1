#include "settings/form_layouts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "form/layout.h"

namespace settings {
namespace {

using namespace form;

Rect controlRectAsLaidOut(ControlId id) {
    return toPixels(findControl(mainWindowLayout(), id)->position);
}

// --- Arrangements -------------------------------------------------------------------

struct StateExpect {
    ControlId id;
    bool visible;
    bool enabled;
};

struct ArrangeCase {
    const char* name;
    void (*arrange)(Form&, const EscInfo&);
    uint8_t family;
    std::vector<StateExpect> expected;
};

const std::vector<ArrangeCase>& arrangeCases() {
    static const std::vector<ArrangeCase> cases = {
        {"air: calculator shown, governor in place of 1040, BEC list untouched",
         arrangeAirForm,
         kFamilyAir,
         {{kLabelCalcCells, true, true},
          {kLabelCalcPole, true, true},
          {kLabelCalcKv, true, true},
          {kLabelCalcGear, true, true},
          {kLabelCalcPinion, true, true},
          {kEditCalcCells, true, true},
          {kEditCalcPole, true, true},
          {kEditCalcKv, true, true},
          {kEditCalcGear, true, true},
          {kEditCalcPinion, true, true},
          {kSpinCalcCells, true, true},
          {kSpinCalcPole, true, true},
          {kSpinCalcGear, true, true},
          {kSpinCalcPinion, true, true},
          {kSpinCalcKv, true, true},
          {kEditGovernor, true, true},
          {kComboThrottlePercent, false, true},
          {kLabelThrottlePercent, true, true},
          {kLabelBecVoltage, false, true},
          {kComboBecVoltage, false, true}}},
        {"air with BEC: BEC list shown",
         arrangeAirForm,
         kFamilyAirBec,
         {{kEditGovernor, true, true},
          {kSpinCalcKv, true, true},
          {kComboThrottlePercent, false, true},
          {kLabelBecVoltage, true, true},
          {kComboBecVoltage, true, true}}},
        {"multi: five pairs disabled, end points replace two lists",
         arrangeMultiBoatForm,
         kFamilyMulti,
         {{kComboMotorTiming, true, false},
          {kComboRunMode, true, false},
          {kComboCutoffVoltage, true, false},
          {kComboThrottlePercent, true, false},
          {kComboBatteryType, true, false},
          {kLabelMotorTiming, true, false},
          {kLabelRunMode, true, false},
          {kLabelCutoffVoltage, true, false},
          {kLabelThrottlePercent, true, false},
          {kLabelBatteryType, true, false},
          {kComboMotorRotation, false, true},
          {kComboNeutralRange, false, true},
          {kLabelMotorRotation, true, true},
          {kEditLowEndPoint, true, true},
          {kEditHighEndPoint, true, true},
          {kSpinLowEndPoint, true, true},
          {kSpinHighEndPoint, true, true},
          {kComboBraking, true, true}}},
        {"boat: same pairs disabled, end points hidden, lists kept",
         arrangeMultiBoatForm,
         kFamilyBoat,
         {{kComboMotorTiming, true, false},
          {kLabelBatteryType, true, false},
          {kComboMotorRotation, true, true},
          {kComboNeutralRange, true, true},
          {kEditLowEndPoint, false, true},
          {kSpinHighEndPoint, false, true}}},
        {"ABC: three pairs hidden and disabled",
         arrangeAbcForm,
         kFamilyAbc,
         {{kComboRunMode, false, false},
          {kComboMotorTiming, false, false},
          {kComboBatteryType, false, false},
          {kLabelMotorTiming, false, false},
          {kLabelRunMode, false, false},
          {kLabelBatteryType, false, false},
          {kComboCutoffVoltage, true, true},
          {kLabelThrottlePercent, true, true}}},
    };
    return cases;
}

TEST(Arrangements, ShowHideAndDisableTheFamilysControls) {
    for (const ArrangeCase& c : arrangeCases()) {
        SCOPED_TRACE(c.name);
        HeadlessForm form;
        form.setVisible(kLabelBecVoltage, false);
        form.setVisible(kComboBecVoltage, false);
        c.arrange(form, EscInfo{c.family});
        for (const StateExpect& e : c.expected) {
            SCOPED_TRACE(e.id);
            EXPECT_EQ(form.isVisible(e.id), e.visible);
            EXPECT_EQ(form.isEnabled(e.id), e.enabled);
        }
    }
}

// What each family's arrangement leaves of the controls it does not carry, and of those
// whose places it shares: hidden, so that none looks usable or lies over another.
struct UnusedCase {
    const char* name;
    void (*arrange)(Form&, const EscInfo&);
    EscInfo esc;
    std::vector<ControlId> hidden;
    std::vector<ControlId> shown;
};

const std::vector<UnusedCase>& unusedCases() {
    static const std::vector<UnusedCase> cases = {
        {"air: throttle points, brake number, start power and BEC",
         arrangeAirForm,
         {.family = kFamilyAir, .settingsLength = 11},
         {kEditMinThrottle, kLabelMinThrottle, kSpinMinThrottle, kEditCenterThrottle,
          kLabelCenterThrottle, kEditBrakeValue, kSpinBrakeValue, kComboStartPower,
          kLabelStartPower, kComboBecVoltage, kLabelBecVoltage, kComboBatteryType},
         {kComboBraking, kLabelBraking, kEditGovernor, kLabelThrottlePercent, kComboRunMode}},
        {"turbo car: the four lists of the longer frames and the calculator",
         arrangeCarForm,
         {.family = kFamilyCarTurbo, .major = 1, .settingsLength = 14},
         {kComboRunMode, kLabelRunMode, kComboStartPower, kComboThrottleLimit,
          kComboThrottlePercent, kComboBraking, kEditGovernor, kEditCalcKv},
         {kEditBrakeValue, kLabelBraking, kComboTurboTiming, kEditCenterThrottle,
          kComboBatteryType}},
        {"car with the brake as a list: the brake number",
         arrangeCarForm,
         {.family = kFamilyCarBasic, .major = 2, .settingsLength = 11},
         {kEditBrakeValue, kSpinBrakeValue, kComboRunMode},
         {kComboBraking, kEditMinThrottle}},
        {"full car of 16 bytes: everything but the turbo lists",
         arrangeCarForm,
         {.family = kFamilyCarFull, .major = 1, .settingsLength = 16},
         {kComboBraking, kComboTurboTiming},
         {kEditBrakeValue, kComboRunMode, kComboStartPower, kComboThrottlePercent,
          kComboBecVoltage}},
        {"water with BEC: the brake number and its spin",
         arrangeCarForm,
         {.family = kFamilyWater, .variant = 6, .settingsLength = 19},
         {kEditBrakeValue, kSpinBrakeValue, kEditGovernor},
         {kComboBraking, kComboBecVoltage, kComboStartPower, kComboRunMode}},
        {"multirotor: the lists its end points replace, the throttle points",
         arrangeMultiBoatForm,
         {.family = kFamilyMulti, .settingsLength = 6},
         {kComboMotorRotation, kComboNeutralRange, kEditMinThrottle, kEditBrakeValue,
          kComboBecVoltage, kComboStartPower},
         {kEditLowEndPoint, kEditHighEndPoint, kLabelMotorRotation, kLabelNeutralRange}},
        {"ABC: throttle points, brake number, BEC and start power",
         arrangeAbcForm,
         {.family = kFamilyAbc},
         {kEditMinThrottle, kEditMaxThrottle, kEditCenterThrottle, kEditBrakeValue,
          kComboBecVoltage, kComboStartPower},
         {kComboMotorRotation, kComboThrottlePercent, kComboNeutralRange}},
    };
    return cases;
}

TEST(Arrangements, HideWhatTheFamilyDoesNotCarry) {
    for (const UnusedCase& c : unusedCases()) {
        SCOPED_TRACE(c.name);
        HeadlessForm form;
        c.arrange(form, c.esc);
        for (ControlId id : c.hidden) EXPECT_FALSE(form.isVisible(id)) << id;
        for (ControlId id : c.shown) {
            EXPECT_TRUE(form.isVisible(id)) << id;
            EXPECT_TRUE(form.isEnabled(id)) << id;
        }
    }
}

// Each ESC linked after another one gets its own form, whatever the earlier one hid or
// disabled: a boat after a multirotor shows its rotation and neutral lists again.
TEST(Arrangements, ALaterFamilyGetsItsOwnForm) {
    for (const UnusedCase& later : unusedCases()) {
        for (const UnusedCase& earlier : unusedCases()) {
            SCOPED_TRACE(std::string(earlier.name) + ", then " + later.name);
            HeadlessForm form;
            earlier.arrange(form, earlier.esc);
            later.arrange(form, later.esc);
            for (ControlId id : later.hidden) EXPECT_FALSE(form.isVisible(id)) << id;
            for (ControlId id : later.shown) {
                EXPECT_TRUE(form.isVisible(id)) << id;
                EXPECT_TRUE(form.isEnabled(id)) << id;
            }
            const Rect rotation = form.controlRect(kComboMotorRotation);
            EXPECT_EQ(rotation.width() > controlRectAsLaidOut(kComboMotorRotation).width(),
                      later.esc.family == kFamilyAbc);
        }
    }
}

// --- Clearing -----------------------------------------------------------------------

constexpr ControlId kAlwaysClearedLists[] = {
    kComboMotorTiming,   kComboStartAccel,    kComboRunMode,       kComboBraking,
    kComboDragBrake,     kComboCutoffVoltage, kComboThrottleLimit, kComboThrottlePercent,
    kComboMotorRotation, kComboNeutralRange,  kComboBatteryType,   kComboStartPower,
    kComboBecVoltage,
};
constexpr ControlId kAlwaysClearedEdits[] = {kEditMaxThrottle, kEditMinThrottle,
                                             kEditCenterThrottle, kEditBrakeValue};
constexpr ControlId kTurboLists[] = {kComboTurboTiming, kComboBoostStartRpm, kComboTurboDelay};
constexpr ControlId kEndPointEdits[] = {kEditLowEndPoint, kEditHighEndPoint};

struct ClearCase {
    uint8_t family;
    bool turboCleared;
    bool endPointsCleared;
};

const ClearCase kClearCases[] = {
    {kFamilyAir, false, false},  {kFamilyCarBasic, false, false}, {kFamilyCarTurbo, true, false},
    {kFamilyMulti, false, true}, {kFamilyBoat, false, false},     {kFamilyWater, false, false},
};

TEST(ClearFormValues, EmptiesTheValuesOfTheFamily) {
    for (const ClearCase& c : kClearCases) {
        SCOPED_TRACE(static_cast<int>(c.family));
        HeadlessForm form;
        auto fill = [&form](ControlId id) {
            form.addItem(id, "x");
            form.setSelection(id, 0);
        };
        for (ControlId id : kAlwaysClearedLists) fill(id);
        for (ControlId id : kTurboLists) fill(id);
        form.setText(kEditLowEndPoint, "1100");
        form.setText(kEditHighEndPoint, "1900");
        form.setText(kEditGovernor, "3328");
        form.setText(kLabelBraking, "Brake");

        clearFormValues(form, EscInfo{c.family});

        for (ControlId id : kAlwaysClearedLists) {
            EXPECT_EQ(form.itemCount(id), 0) << id;
            EXPECT_EQ(form.selection(id), -1) << id;
        }
        for (ControlId id : kAlwaysClearedEdits) {
            EXPECT_EQ(form.text(id), "") << id;
        }
        for (ControlId id : kTurboLists) {
            EXPECT_EQ(form.itemCount(id), c.turboCleared ? 0 : 1) << id;
        }
        for (ControlId id : kEndPointEdits) {
            EXPECT_EQ(form.text(id).empty(), c.endPointsCleared) << id;
        }
        EXPECT_EQ(form.text(kEditGovernor), "3328");
        EXPECT_EQ(form.text(kLabelBraking), "Brake");
    }
}

// --- Window layouts -----------------------------------------------------------------

struct RectExpect {
    ControlId id;
    Rect rect;
};

// Group box 1054 lies at 14, 390 … 748, 476 and button 1020 spans 24 … 144.
const RectExpect kCompactRects[] = {
    {kGroupCommands, {14, 390, 728, 476}},       {kButtonReadSetting, {24, 413, 144, 461}},
    {kButtonSendSetting, {165, 413, 287, 461}},  {kButtonEscUpdate, {312, 413, 444, 461}},
    {kProgressUpdate, {560, 429, 670, 452}},     {kEditStatus, {560, 429, 670, 452}},
    {kLabelUpdatePercent, {670, 429, 708, 452}},
};

const RectExpect kTurboRects[] = {
    {kGroupCommands, {14, 485, 748, 565}},       {kButtonReadSetting, {24, 510, 144, 560}},
    {kButtonSendSetting, {164, 510, 284, 560}},  {kButtonEscUpdate, {304, 510, 436, 560}},
    {kProgressUpdate, {456, 526, 566, 549}},     {kEditStatus, {456, 526, 566, 549}},
    {kLabelUpdatePercent, {566, 526, 602, 549}},  // right of the status field
};

constexpr ControlId kTurboControls[] = {kGroupAdvanced,      kLabelTurboTiming,   kComboTurboTiming,
                                        kLabelBoostStartRpm, kComboBoostStartRpm, kLabelTurboDelay,
                                        kComboTurboDelay};

TEST(FamilyLayout, CompactLayoutWhileNoEscIsLinked) {
    HeadlessForm form(Size{1920, 1080});  // window opens at 582, 244 … 1338, 836
    LayoutMemory memory;
    applyFamilyLayout(form, EscInfo{kFamilyCarTurbo}, false, memory);
    EXPECT_EQ(form.windowRect(), (Rect{585, 244, 1335, 774}));
    for (const RectExpect& e : kCompactRects) {
        EXPECT_EQ(form.controlRect(e.id), e.rect) << e.id;
        EXPECT_GE(form.repaintCount(e.id), 1) << e.id;
    }
    for (ControlId id : kTurboControls) {
        EXPECT_FALSE(form.isVisible(id)) << id;
    }
    ASSERT_TRUE(memory.bottom.has_value());
    EXPECT_EQ(*memory.bottom, 836);
}

TEST(FamilyLayout, TurboLayoutForALinkedTurboCarIsCentredOnItsOwnSize) {
    HeadlessForm form(Size{1920, 1080});
    LayoutMemory memory;
    applyFamilyLayout(form, EscInfo{}, false, memory);
    form.setVisible(kLabelBatteryType, false);
    form.setVisible(kComboBatteryType, false);
    applyFamilyLayout(form, EscInfo{kFamilyCarTurbo}, true, memory);
    // The taller layout is centred anew: kept at the compact window's top, its bottom would
    // lie 80 pixels further down the screen.
    EXPECT_EQ(form.windowRect(), (Rect{652, 235, 1267, 845}));
    for (const RectExpect& e : kTurboRects) {
        EXPECT_EQ(form.controlRect(e.id), e.rect) << e.id;
    }
    for (ControlId id : kTurboControls) {
        EXPECT_TRUE(form.isVisible(id)) << id;
    }
    EXPECT_TRUE(form.isVisible(kLabelBatteryType));
    EXPECT_TRUE(form.isVisible(kComboBatteryType));
}

TEST(FamilyLayout, RememberedBottomSurvivesAResizedWindow) {
    HeadlessForm form(Size{1000, 800});  // opens at 122, 104 … 878, 696
    LayoutMemory memory;
    applyFamilyLayout(form, EscInfo{}, false, memory);
    form.setWindowRect(Rect{100, 50, 900, 150});
    applyFamilyLayout(form, EscInfo{}, false, memory);
    // x = (1000 - 750) / 2, y = (800 + 50 - 696) / 2
    EXPECT_EQ(form.windowRect(), (Rect{125, 77, 875, 607}));
}

// Language changes and the ESC coming and going apply the same layout again and again: the
// window stays where the first of them left it, on every screen size, also where that is not
// where the centring rule first asked for (a screen smaller than the window).
TEST(FamilyLayout, RepeatedLayoutsLeaveTheWindowWhereItIs) {
    const Size screens[] = {{1920, 1080}, {1366, 768}, {1280, 800}, {800, 600}};
    for (const Size& screen : screens) {
        for (const bool escLinked : {false, true}) {
            SCOPED_TRACE(testing::Message() << screen.width << "x" << screen.height
                                            << (escLinked ? " turbo" : " compact"));
            HeadlessForm form(screen);
            LayoutMemory memory;
            const EscInfo esc{kFamilyCarTurbo};
            applyFamilyLayout(form, esc, !escLinked, memory);  // the other layout first
            applyFamilyLayout(form, esc, escLinked, memory);
            const Rect placed = form.windowRect();
            for (int i = 0; i < 3; ++i) {
                applyFamilyLayout(form, esc, escLinked, memory);
                EXPECT_EQ(form.windowRect(), placed) << "layout " << i + 3;
            }
        }
    }
}

TEST(FamilyLayout, AWindowLargerThanTheScreenIsPlacedAtItsTopLeftAndNoLarger) {
    HeadlessForm form(Size{640, 480});
    form.setWindowRect(Rect{0, 0, 701, 601});
    LayoutMemory memory;
    applyFamilyLayout(form, EscInfo{}, false, memory);
    // Centred, it would start at -55, -60 and end at 695, 470.
    EXPECT_EQ(form.windowRect(), (Rect{0, 0, 640, 480}));
}

// A window not on the screen yet at the first layout: its position and size mean nothing.
struct FirstPlacementCase {
    const char* name;
    Size screen;
    Rect before;  // where the window is before it is shown
    uint8_t family;
    bool linked;
    Rect placed;  // centred on the layout's own size
};

const FirstPlacementCase kFirstPlacements[] = {
    {"CompactAt1920",
     {1920, 1080},
     {0, 0, 640, 436},
     kFamilyCarTurbo,
     false,
     {585, 275, 1335, 805}},
    {"TurboAt1920", {1920, 1080}, {0, 0, 640, 436}, kFamilyCarTurbo, true, {652, 235, 1267, 845}},
    {"TurboAt1366x768", {1366, 768}, {0, 0, 640, 436}, kFamilyCarTurbo, true, {375, 79, 990, 689}},
    {"CompactAt1280x800", {1280, 800}, {0, 0, 640, 436}, kFamilyAir, false, {265, 135, 1015, 665}},
};

TEST(FamilyLayout, AWindowNotShownYetIsCentredOnItsLayoutAndStaysThroughRelayouts) {
    for (const FirstPlacementCase& c : kFirstPlacements) {
        SCOPED_TRACE(c.name);
        HeadlessForm form(c.screen);
        form.setWindowRect(c.before);
        form.setWindowShown(false);
        LayoutMemory memory;
        applyFamilyLayout(form, EscInfo{c.family}, c.linked, memory);
        EXPECT_EQ(form.windowRect(), c.placed);
        EXPECT_TRUE(form.windowShown());
        ASSERT_TRUE(memory.bottom.has_value());
        EXPECT_EQ(*memory.bottom, c.placed.bottom);
        for (int relayout = 0; relayout < 3; ++relayout) {
            applyFamilyLayout(form, EscInfo{c.family}, c.linked, memory);
            EXPECT_EQ(form.windowRect(), c.placed) << "relayout " << relayout;
        }
    }
}

TEST(FamilyLayout, LinkedFamiliesOtherThanTurboChangeNothing) {
    for (uint8_t family : {kFamilyAir, kFamilyCarBasic, kFamilyMulti, kFamilyWater}) {
        SCOPED_TRACE(static_cast<int>(family));
        HeadlessForm form;
        LayoutMemory memory;
        const Rect window = form.windowRect();
        const Rect commands = form.controlRect(kGroupCommands);
        applyFamilyLayout(form, EscInfo{family}, true, memory);
        EXPECT_EQ(form.windowRect(), window);
        EXPECT_EQ(form.windowPlacements(), 0);
        EXPECT_EQ(form.controlRect(kGroupCommands), commands);
        EXPECT_TRUE(form.isVisible(kGroupAdvanced));
    }
}

}  // namespace
}  // namespace settings
