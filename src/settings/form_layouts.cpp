#include "settings/form_layouts.h"

#include <algorithm>
#include <span>
#include <vector>

#include "form/control_ids.h"
#include "form/layout.h"
#include "settings/families.h"

namespace settings {
namespace {

using namespace form;

constexpr ControlId kCalculatorControls[] = {
    kLabelCalcCells,  kLabelCalcPole,  kLabelCalcKv,   kLabelCalcGear,
    kLabelCalcPinion, kEditCalcCells,  kEditCalcPole,  kEditCalcKv,
    kEditCalcGear,    kEditCalcPinion, kSpinCalcCells, kSpinCalcPole,
    kSpinCalcGear,    kSpinCalcPinion, kSpinCalcKv,    kEditGovernor,
};

constexpr ControlId kTurboControls[] = {
    kLabelTurboTiming,   kComboTurboTiming, kLabelBoostStartRpm,
    kComboBoostStartRpm, kLabelTurboDelay,  kComboTurboDelay,
};

constexpr ControlId kClearedLists[] = {
    kComboMotorTiming,   kComboStartAccel,    kComboRunMode,       kComboBraking,
    kComboDragBrake,     kComboCutoffVoltage, kComboThrottleLimit, kComboThrottlePercent,
    kComboMotorRotation, kComboNeutralRange,  kComboBatteryType,   kComboStartPower,
};

constexpr ControlId kClearedEdits[] = {
    kEditMaxThrottle,
    kEditMinThrottle,
    kEditCenterThrottle,
    kEditBrakeValue,
};

// Each caption of the parameter form and the value controls that sit under it: a list, and
// the edit some families show in its place (the brake as a number, the governor value, an
// end point).
struct CaptionedValues {
    ControlId label;
    ControlId list;
    ControlId edit;  // 0: none
};

constexpr CaptionedValues kParameterCaptions[] = {
    {kLabelCutoffVoltage, kComboCutoffVoltage, 0},
    {kLabelBraking, kComboBraking, kEditBrakeValue},
    {kLabelRunMode, kComboRunMode, 0},
    {kLabelDragBrake, kComboDragBrake, 0},
    {kLabelMotorTiming, kComboMotorTiming, 0},
    {kLabelStartAccel, kComboStartAccel, 0},
    {kLabelThrottlePercent, kComboThrottlePercent, kEditGovernor},
    {kLabelThrottleLimit, kComboThrottleLimit, 0},
    {kLabelNeutralRange, kComboNeutralRange, kEditHighEndPoint},
    {kLabelTurboTiming, kComboTurboTiming, 0},
    {kLabelBoostStartRpm, kComboBoostStartRpm, 0},
    {kLabelTurboDelay, kComboTurboDelay, 0},
    {kLabelMotorRotation, kComboMotorRotation, kEditLowEndPoint},
    {kLabelBatteryType, kComboBatteryType, 0},
    {kLabelBecVoltage, kComboBecVoltage, 0},
    {kLabelStartPower, kComboStartPower, 0},
    {kLabelMinThrottle, 0, kEditMinThrottle},
    {kLabelMaxThrottle, 0, kEditMaxThrottle},
    {kLabelCenterThrottle, 0, kEditCenterThrottle},
};

// Lists families 5 and 6 do not carry but show greyed, so that the user sees the ESC has
// no such setting.
constexpr ControlId kMultiBoatDisabled[] = {
    kComboMotorTiming, kComboRunMode, kComboCutoffVoltage, kComboThrottlePercent, kComboBatteryType,
    kLabelMotorTiming, kLabelRunMode, kLabelCutoffVoltage, kLabelThrottlePercent, kLabelBatteryType,
};

// The lists family 7 does not carry, kept disabled (and hidden) as they were.
constexpr ControlId kAbcDisabled[] = {
    kComboRunMode,     kComboMotorTiming, kComboBatteryType,
    kLabelMotorTiming, kLabelRunMode,     kLabelBatteryType,
};

// Family 7 fills list 1060 with its cut-off types, whose second entry is longer than any
// other list's; the family leaves the right-hand column free, so the list takes its room.
constexpr int kAbcCutoffTypeWidthDu = 160;

template <std::size_t N>
void setVisible(Form& form, const ControlId (&ids)[N], bool visible) {
    for (ControlId id : ids) {
        form.setVisible(id, visible);
    }
}

void showGreyed(Form& form, std::span<const ControlId> ids) {
    for (ControlId id : ids) {
        form.setVisible(id, true);
        form.setEnabled(id, false);
    }
}

// A control back at its place in the layout, `widthDu` wide when given.
void placeAsLaidOut(Form& form, ControlId id, int widthDu = 0) {
    const ControlSpec* laidOut = findControl(mainWindowLayout(), id);
    if (laidOut == nullptr)
        return;
    DialogRect position = laidOut->position;
    if (widthDu > 0)
        position.width = widthDu;
    form.setControlRect(id, toPixels(position));
}

// Shows, enabled, the value controls whose values the family's frame carries and their
// captions, and hides every other one: a control the ESC does not have neither looks usable
// nor lies over the control that takes its place. The calculator shows with the governor
// value it checks. Run for every family, so an ESC of another family linked after the
// first one gets its own form, not what is left of the previous one.
void showFamilyControls(Form& form, const EscInfo& esc) {
    const std::vector<ControlId> carried = carriedControls(esc);
    const auto isCarried = [&](ControlId id) {
        return id != 0 && std::find(carried.begin(), carried.end(), id) != carried.end();
    };
    for (const CaptionedValues& row : kParameterCaptions) {
        bool captionUsed = false;
        for (ControlId value : {row.list, row.edit}) {
            if (value == 0)
                continue;
            const bool used = isCarried(value);
            form.setVisible(value, used);
            if (used)
                form.setEnabled(value, true);
            captionUsed = captionUsed || used;
        }
        form.setVisible(row.label, captionUsed);
        if (captionUsed)
            form.setEnabled(row.label, true);
    }
    setVisible(form, kCalculatorControls, isCarried(kEditGovernor));
    placeAsLaidOut(form, kComboMotorRotation, esc.family == kFamilyAbc ? kAbcCutoffTypeWidthDu : 0);
}

// Centres the window across the work area and gives it `size`; its top follows the
// remembered bottom edge. A window that takes another width than asked for (room for its
// form) is centred again on the width it took, so it stays put from layout to layout.
void centreWindow(Form& form, Size size, int rememberedBottom) {
    const Rect window = form.windowRect();
    const Rect area = form.workArea();
    const int x = area.left + (area.width() - size.width) / 2;
    const int y = area.top + (area.height() + window.top - rememberedBottom) / 2;
    form.placeWindow(Rect{x, y, x + size.width, y + size.height});
    const Rect placed = form.windowRect();
    const int across = area.left + (area.width() - placed.width()) / 2;
    if (placed.width() != size.width && across != placed.left) {
        form.placeWindow(Rect{across, placed.top, across + size.width, placed.top + size.height});
    }
}

// Places the window for a layout of `size`. The first layout of a window on the screen and
// the same layout again (a language change, the ESC coming back) keep the window where it
// is, through the remembered bottom edge. Without one the window was not on the screen
// yet, so its position is worth nothing; and a change of layout changes the window's size,
// so keeping its top could push its new bottom off the screen: either way it is centred on
// the size it really takes once placed (the window may need more than `size` for its form).
void placeForLayout(Form& form, Size size, LayoutMemory& memory, FamilyLayoutKind kind) {
    if (memory.bottom && (!memory.shown || memory.shown == kind)) {
        centreWindow(form, size, *memory.bottom);
        return;
    }
    centreWindow(form, size, form.windowRect().top + size.height);
    const Rect placed = form.windowRect();
    centreWindow(form, size, placed.bottom);
}

// The bottom edge to remember once a layout has placed a window on the screen: the one
// with which the centring rule gives the window's top as it is now. The window may have
// been placed elsewhere than asked (kept inside the work area, or framed by a window
// manager after it was shown); remembering the edge it was asked for would walk it down
// the screen from layout to layout.
void rememberPlacement(Form& form, LayoutMemory& memory) {
    if (!form.windowShown())
        return;
    const Rect area = form.workArea();
    memory.bottom = 2 * area.top + area.height() - form.windowRect().top;
}

void applyCompactLayout(Form& form, LayoutMemory& memory) {
    form.setVisible(kGroupAdvanced, false);
    setVisible(form, kTurboControls, false);

    // The command group takes the place of the advanced group.
    Rect r = form.controlRect(kGroupAdvanced);
    form.setControlRect(kGroupCommands, Rect{r.left, r.top, r.right - 20, r.bottom});

    Rect button = form.controlRect(kButtonReadSetting);
    button.top = r.top + 23;
    button.bottom = button.top + 48;
    form.setControlRect(kButtonReadSetting, button);
    form.setControlRect(kButtonSendSetting, Rect{165, button.top, 287, button.bottom});
    form.setControlRect(kButtonEscUpdate, Rect{312, button.top, 444, button.bottom});

    Rect status{560, button.top + 16, 670, 0};
    status.bottom = status.top + 23;
    form.setControlRect(kProgressUpdate, status);
    form.setControlRect(kEditStatus, status);
    form.setControlRect(kLabelUpdatePercent, Rect{670, status.top, 708, status.bottom});
    // Placed once the command area is where it goes, so the window takes room for it.
    placeForLayout(form, kCompactWindowSize, memory, FamilyLayoutKind::Compact);
    rememberPlacement(form, memory);
}

void applyTurboLayout(Form& form, LayoutMemory& memory) {
    form.setVisible(kLabelBatteryType, true);
    form.setVisible(kComboBatteryType, true);
    form.setVisible(kGroupAdvanced, true);
    setVisible(form, kTurboControls, true);

    // The command group moves below the advanced group.
    Rect r = form.controlRect(kGroupAdvanced);
    r.top += 95;
    r.bottom = r.top + 80;
    form.setControlRect(kGroupCommands, r);

    Rect read = form.controlRect(kButtonReadSetting);
    read.top = r.top + 25;
    read.bottom = read.top + 50;
    const int w = read.width();
    form.setControlRect(kButtonReadSetting, read);
    const Rect send{read.right + 20, read.top, read.right + 20 + w, read.bottom};
    form.setControlRect(kButtonSendSetting, send);
    const Rect update{send.right + 20, read.top, send.right + 20 + w + 12, read.bottom};
    form.setControlRect(kButtonEscUpdate, update);

    Rect status{update.right + 20, read.top + 16, update.right + 20 + 110, 0};
    status.bottom = status.top + 23;
    form.setControlRect(kProgressUpdate, status);
    form.setControlRect(kEditStatus, status);
    // The percentage follows the status field, as in the compact layout.
    form.setControlRect(kLabelUpdatePercent,
                        Rect{status.right, status.top, status.right + 36, status.bottom});
    placeForLayout(form, kTurboWindowSize, memory, FamilyLayoutKind::Turbo);
    rememberPlacement(form, memory);
}

}  // namespace

void clearFormValues(form::Form& form, const EscInfo& esc) {
    for (ControlId id : kClearedLists) {
        form.clearItems(id);
    }
    for (ControlId id : kClearedEdits) {
        form.setText(id, "");
    }
    form.clearItems(kComboBecVoltage);
    if (esc.family == kFamilyCarTurbo) {
        form.clearItems(kComboTurboDelay);
        form.clearItems(kComboBoostStartRpm);
        form.clearItems(kComboTurboTiming);
    } else if (esc.family == kFamilyMulti) {
        form.setText(kEditLowEndPoint, "");
        form.setText(kEditHighEndPoint, "");
    }
}

void arrangeAirForm(form::Form& form, const EscInfo& esc) {
    // The governor value takes the place of list 1040, the calculator beside it checks it;
    // family 4 also carries the BEC voltage.
    showFamilyControls(form, esc);
}

void arrangeMultiBoatForm(form::Form& form, const EscInfo& esc) {
    // Family 5's end points take the places of lists 1060 and 1045.
    showFamilyControls(form, esc);
    showGreyed(form, kMultiBoatDisabled);
}

void arrangeAbcForm(form::Form& form, const EscInfo& esc) {
    showFamilyControls(form, esc);
    // Family 7's texts leave these three with the captions and entries of another family:
    // shown greyed, they would name settings the form shows elsewhere under the same caption.
    for (ControlId id : kAbcDisabled) {
        form.setEnabled(id, false);
    }
}

void arrangeCarForm(form::Form& form, const EscInfo& esc) {
    showFamilyControls(form, esc);
}

void applyFamilyLayout(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory) {
    // A window already on the screen keeps its bottom edge as it is.
    if (!memory.bottom && form.windowShown()) {
        memory.bottom = form.windowRect().bottom;
    }
    if (!escLinked) {
        applyCompactLayout(form, memory);
    } else if (esc.family == kFamilyCarTurbo) {
        applyTurboLayout(form, memory);
    }
    if (const auto wanted = wantedFamilyLayout(esc, escLinked))
        memory.shown = wanted;
}

std::optional<FamilyLayoutKind> wantedFamilyLayout(const EscInfo& esc, bool escLinked) {
    if (!escLinked)
        return FamilyLayoutKind::Compact;
    if (esc.family == kFamilyCarTurbo)
        return FamilyLayoutKind::Turbo;
    return std::nullopt;
}

bool followFamilyLayout(form::Form& form, const EscInfo& esc, bool escLinked,
                        LayoutMemory& memory) {
    const auto wanted = wantedFamilyLayout(esc, escLinked);
    if (!wanted || wanted == memory.shown)
        return false;
    applyFamilyLayout(form, esc, escLinked, memory);
    return true;
}

}  // namespace settings
