#include "form/headless_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "form/control_ids.h"
#include "form/layout.h"

namespace form {
namespace {

struct ControlCase {
    ControlId id;
    ControlKind kind;
    const char* caption;
    Rect pixels;
    bool visible;
};

// Layout positions in dialog units, doubled into pixels.
const ControlCase kControlCases[] = {
    {kSpinCalcGear, ControlKind::Spin, "", {648, 334, 664, 358}, false},
    {kGroupAdvanced, ControlKind::Group, "Advanced Parameter", {14, 390, 748, 476}, true},
    {kFrameLampAnchor, ControlKind::Frame, "", {460, 46, 496, 76}, false},
    {kGroupCommands, ControlKind::Group, "ControlLer Command", {14, 498, 752, 584}, true},
    {kButtonReadSetting, ControlKind::Button, "Read Setting", {24, 518, 144, 568}, true},
    {kButtonAdapterUpdate, ControlKind::Button, "2 IN 1 Update", {628, 44, 640, 94}, false},
    {kProgressUpdate, ControlKind::Progress, "", {626, 432, 740, 460}, false},
    {kLabelDragBrake, ControlKind::Label, "5.Percentage Drag Brake ", {28, 248, 198, 264}, true},
    {kComboThrottlePercent, ControlKind::Combo, "", {200, 334, 352, 364}, true},
    {kCheckReverse, ControlKind::CheckBox, "Reverse Rotation", {378, 112, 408, 134}, false},
    {kFrameParameters, ControlKind::Frame, "", {10, 110, 746, 382}, true},
    {kEditGovernor, ControlKind::Edit, "", {200, 334, 352, 358}, false},
    {kEditLowEndPoint, ControlKind::Edit, "1000", {378, 214, 512, 238}, false},
    {kLabelStartPower, ControlKind::Label, "12:Start Power", {452, 130, 540, 146}, true},
    {kLabelCenterThrottle, ControlKind::Label, "Max_Throttle", {540, 310, 686, 328}, true},
    {kEditBrakeValue, ControlKind::Edit, "20", {202, 216, 370, 240}, false},
};

TEST(HeadlessFormLayout, ControlsStartAsTheLayoutSays) {
    const HeadlessForm form;
    for (const ControlCase& c : kControlCases) {
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(form.hasControl(c.id));
        EXPECT_EQ(form.kind(c.id), c.kind);
        EXPECT_EQ(form.text(c.id), c.caption);
        EXPECT_EQ(form.controlRect(c.id), c.pixels);
        EXPECT_EQ(form.isVisible(c.id), c.visible);
        EXPECT_TRUE(form.isEnabled(c.id));
    }
}

TEST(HeadlessFormLayout, MainLayoutHasEachIdentifierOnce) {
    std::set<ControlId> seen;
    for (const ControlSpec& c : mainWindowLayout().controls) {
        EXPECT_TRUE(seen.insert(c.id).second) << c.id;
    }
    // Every row of layout 102.
    EXPECT_EQ(seen.size(), 86u);
}

TEST(HeadlessFormLayout, BecListStartsWithTheLayoutEntries) {
    const HeadlessForm form;
    EXPECT_EQ(form.items(kComboBecVoltage), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(form.selection(kComboBecVoltage), -1);
    EXPECT_EQ(form.itemCount(kComboRunMode), 0);
}

struct SpinCase {
    ControlId spin;
    ControlId buddy;
    int low;
    int high;
    int position;
    int step;
    const char* buddyText;
};

const SpinCase kSpinCases[] = {
    {kSpinCalcCells, kEditCalcCells, 1, 6, 3, 1, "3"},
    {kSpinCalcKv, kEditCalcKv, 200, 100000, 4000, 100, "4000"},
    {kSpinCalcGear, kEditCalcGear, 1, 255, 150, 1, "150"},
    {kSpinCalcPinion, kEditCalcPinion, 1, 255, 13, 1, "13"},
    {kSpinCalcPole, kEditCalcPole, 1, 100, 6, 1, "6"},
    {kSpinMinThrottle, kEditMinThrottle, 1000, 1200, 1000, 4, "1000"},
    {kSpinMaxThrottle, kEditMaxThrottle, 1800, 2020, 2000, 4, "2000"},
    {kSpinCenterThrottle, kEditCenterThrottle, 1400, 1580, 1488, 4, "1488"},
    {kSpinBrakeValue, kEditBrakeValue, 4, 200, 20, 4, "20"},
    {kSpinLowEndPoint, kEditLowEndPoint, 1000, 1150, 1000, 4, "1000"},
    {kSpinHighEndPoint, kEditHighEndPoint, 1820, 2020, 1820, 4, "1820"},
};

TEST(HeadlessFormLayout, SpinsStartWithTheirSetUp) {
    const HeadlessForm form;
    for (const SpinCase& c : kSpinCases) {
        SCOPED_TRACE(c.spin);
        EXPECT_EQ(form.buddyOf(c.spin), c.buddy);
        EXPECT_EQ(form.spinLow(c.spin), c.low);
        EXPECT_EQ(form.spinHigh(c.spin), c.high);
        EXPECT_EQ(form.spinPosition(c.spin), c.position);
        EXPECT_EQ(form.spinStep(c.spin), c.step);
        EXPECT_EQ(form.text(c.buddy), c.buddyText);
    }
}

struct PositionCase {
    const char* name;
    int set;
    int expected;
    const char* text;
};

const PositionCase kPositionCases[] = {
    {"inside", 1100, 1100, "1100"},
    {"below the range", 10, 1000, "1000"},
    {"above the range", 5000, 1200, "1200"},
};

TEST(HeadlessFormSpin, PositionStaysInRangeAndWritesTheBuddy) {
    for (const PositionCase& c : kPositionCases) {
        SCOPED_TRACE(c.name);
        HeadlessForm form;
        form.setSpinPosition(kSpinMinThrottle, c.set);
        EXPECT_EQ(form.spinPosition(kSpinMinThrottle), c.expected);
        EXPECT_EQ(form.text(kEditMinThrottle), c.text);
    }
}

struct TypedCase {
    const char* typed;
    int position;
};

// A spin reads back what was typed into its buddy, within its range; text that is no
// number leaves the last valid position.
const TypedCase kTypedCases[] = {
    {"5", 5}, {"9", 6}, {"0", 1}, {"abc", 3}, {"", 3}, {"4x", 3},
};

TEST(HeadlessFormSpin, TypedBuddyTextMovesTheSpin) {
    for (const TypedCase& c : kTypedCases) {
        SCOPED_TRACE(c.typed);
        HeadlessForm form;
        form.setText(kEditCalcCells, c.typed);
        EXPECT_EQ(form.spinPosition(kSpinCalcCells), c.position);
        EXPECT_EQ(form.text(kEditCalcCells), c.typed);
    }
}

struct SelectionCase {
    int index;
    int selection;
    const char* shown;
};

const SelectionCase kSelectionCases[] = {
    {0, 0, "A"}, {2, 2, "C"}, {3, -1, ""}, {-1, -1, ""}, {-7, -1, ""},
};

TEST(HeadlessFormList, SelectionOutsideTheListClearsIt) {
    for (const SelectionCase& c : kSelectionCases) {
        SCOPED_TRACE(c.index);
        HeadlessForm form;
        for (const char* item : {"A", "B", "C"}) {
            form.addItem(kComboRunMode, item);
        }
        form.setSelection(kComboRunMode, 1);
        form.setSelection(kComboRunMode, c.index);
        EXPECT_EQ(form.selection(kComboRunMode), c.selection);
        EXPECT_EQ(form.text(kComboRunMode), c.shown);
    }
}

TEST(HeadlessFormList, ClearingRemovesItemsAndSelection) {
    HeadlessForm form;
    form.setSelection(kComboBecVoltage, 2);
    form.clearItems(kComboBecVoltage);
    EXPECT_EQ(form.itemCount(kComboBecVoltage), 0);
    EXPECT_EQ(form.selection(kComboBecVoltage), -1);
}

TEST(HeadlessFormWindow, OpensCentredWithTheLayoutTitleAndMenu) {
    const HeadlessForm form(Size{1000, 800});
    EXPECT_EQ(form.windowRect(), (Rect{122, 104, 878, 696}));
    EXPECT_EQ(form.windowTitle(), "BEC VOL");
    EXPECT_EQ(form.topMenuCaption(kTopMenuOperation), "Operation");
    EXPECT_EQ(form.menuItemCaption(kCmdExit), "Exit");
    EXPECT_EQ(form.menuItemState(kCmdLanguageEnglish), MenuItemState::Plain);
    EXPECT_EQ(form.menuItemState(12345), MenuItemState::Missing);
}

struct CheckCase {
    MenuItemState before;
    bool checked;
    MenuItemState after;
};

const CheckCase kCheckCases[] = {
    {MenuItemState::Plain, true, MenuItemState::Checked},
    {MenuItemState::Checked, false, MenuItemState::Plain},
    {MenuItemState::Disabled, true, MenuItemState::Disabled},
    {MenuItemState::Missing, true, MenuItemState::Missing},
};

TEST(HeadlessFormWindow, CheckMarksFollowTheEntryState) {
    for (const CheckCase& c : kCheckCases) {
        HeadlessForm form;
        form.setMenuItemState(kCmdLanguageChinese, c.before);
        form.setMenuItemChecked(kCmdLanguageChinese, c.checked);
        EXPECT_EQ(form.menuItemState(kCmdLanguageChinese), c.after);
    }
}

TEST(HeadlessFormWindow, UnknownIdentifiersDoNothing) {
    HeadlessForm form;
    form.setText(4242, "x");
    form.addItem(4242, "x");
    form.setVisible(4242, true);
    EXPECT_FALSE(form.hasControl(4242));
    EXPECT_EQ(form.text(4242), "");
    EXPECT_EQ(form.itemCount(4242), 0);
    EXPECT_FALSE(form.isVisible(4242));
    EXPECT_EQ(form.selection(4242), -1);
}

}  // namespace
}  // namespace form

namespace form {
namespace {

struct MenuCase {
    int command;
    int top;
    int position;
    const char* caption;
};

const MenuCase kMenuCases[] = {
    {kCmdExportData, kTopMenuFile, 0, "Export Data"},
    {kCmdImportData, kTopMenuFile, 1, "Import Data"},
    {kCmdLanguageEnglish, kTopMenuFile, 2, "English"},
    {kCmdLanguageChinese, kTopMenuFile, 3, "Chinese"},
    {kCmdExit, kTopMenuFile, 4, "Exit"},
    {kCmdRestoreDefault, kTopMenuOperation, 0, "Restore Default Data"},
    {kCmdHelp, kTopMenuHelp, 0, "Help"},
    {kCmdAbout, kTopMenuHelp, 1, "About"},
};

TEST(LayoutTable, MenuEntriesSitWhereTheLanguageTextsExpectThem) {
    const auto entries = mainMenuEntries();
    ASSERT_EQ(entries.size(), std::size(kMenuCases));
    const HeadlessForm form;
    for (const MenuCase& c : kMenuCases) {
        SCOPED_TRACE(c.command);
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const MenuEntrySpec& e) {
            return e.commandId == c.command;
        });
        ASSERT_NE(it, entries.end());
        EXPECT_EQ(it->topPosition, c.top);
        EXPECT_EQ(it->position, c.position);
        EXPECT_EQ(form.menuItemCaption(c.command), c.caption);
    }
}

TEST(LayoutTable, FirstVisibleTabStopIsTheEscVersionField) {
    // Enter right after start-up closes the window because the focus starts on a
    // read-only field, not on a push button.
    ControlId first = 0;
    for (const ControlSpec& c : mainWindowLayout().controls) {
        if (c.visible && (c.styles & kStyleTabStop) != 0) {
            first = c.id;
            break;
        }
    }
    EXPECT_EQ(first, kEditEscVersion);
}

TEST(LayoutTable, EverySpinHasItsSetUpOrIsLeftAlone) {
    std::set<ControlId> setUp;
    for (const auto spins : {calculatorSpinSetup(), parameterSpinSetup()}) {
        for (const SpinSetup& s : spins) {
            setUp.insert(s.spin);
            const ControlSpec* entry = findControl(mainWindowLayout(), s.spin);
            ASSERT_NE(entry, nullptr) << s.spin;
            EXPECT_EQ(entry->kind, ControlKind::Spin) << s.spin;
            EXPECT_EQ(entry->buddy, s.buddy) << s.spin;
            EXPECT_GE(s.start, s.low) << s.spin;
            EXPECT_LE(s.start, s.high) << s.spin;
        }
    }
    for (const ControlSpec& c : mainWindowLayout().controls) {
        if (c.kind == ControlKind::Spin) {
            EXPECT_EQ(setUp.count(c.id), c.id == kSpinUnused ? 0u : 1u) << c.id;
        }
    }
}

TEST(LayoutTable, AboutBoxHoldsItsThreeControls) {
    const DialogSpec& about = aboutBoxLayout();
    EXPECT_EQ(about.layoutId, 100);
    EXPECT_EQ(about.title, "About");
    ASSERT_EQ(about.controls.size(), 3u);
    const ControlSpec* ok = findControl(about, about::kButtonOk);
    ASSERT_NE(ok, nullptr);
    EXPECT_NE(ok->styles & kStyleDefaultButton, 0u);
    EXPECT_EQ(toPixels(ok->position), (Rect{358, 16, 432, 48}));
    const ControlSpec* name = findControl(about, about::kLabelProductName);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->caption, "Tessaro");
}

// Placing the window keeps it wholly inside the work area.
struct FitCase {
    const char* name;
    Rect asked;
    Rect placed;
};

const FitCase kFits[] = {
    {"Inside", {100, 50, 850, 580}, {100, 50, 850, 580}},
    {"BelowTheBottom", {100, 400, 850, 930}, {100, 270, 850, 800}},
    {"RightOfTheRight", {700, 50, 1450, 580}, {530, 50, 1280, 580}},
    {"AboveAndLeft", {-30, -60, 720, 470}, {0, 0, 750, 530}},
    {"TallerThanTheArea", {100, 50, 850, 950}, {100, 0, 850, 800}},
    {"LargerThanTheArea", {-10, -10, 1400, 900}, {0, 0, 1280, 800}},
};

TEST(HeadlessFormWindow, PlacingKeepsTheWindowInsideTheWorkArea) {
    for (const FitCase& c : kFits) {
        HeadlessForm form(Size{1280, 800});
        form.setWindowShown(false);
        form.placeWindow(c.asked);
        EXPECT_EQ(form.windowRect(), c.placed) << c.name;
        EXPECT_TRUE(form.windowShown()) << c.name;
    }
}

}  // namespace
}  // namespace form
