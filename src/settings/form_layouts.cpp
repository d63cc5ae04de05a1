#include "settings/form_layouts.h"

#include "form/control_ids.h"

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

constexpr ControlId kMultiBoatDisabled[] = {
    kComboMotorTiming, kComboRunMode, kComboCutoffVoltage, kComboThrottlePercent, kComboBatteryType,
    kLabelMotorTiming, kLabelRunMode, kLabelCutoffVoltage, kLabelThrottlePercent, kLabelBatteryType,
};

constexpr ControlId kEndPointControls[] = {
    kEditLowEndPoint,
    kEditHighEndPoint,
    kSpinLowEndPoint,
    kSpinHighEndPoint,
};

constexpr ControlId kAbcDisabled[] = {
    kComboRunMode,     kComboMotorTiming, kComboBatteryType,
    kLabelMotorTiming, kLabelRunMode,     kLabelBatteryType,
};

template <std::size_t N>
void setVisible(Form& form, const ControlId (&ids)[N], bool visible) {
    for (ControlId id : ids) {
        form.setVisible(id, visible);
    }
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
    form.setControlRect(kLabelUpdatePercent, Rect{562, status.top, 598, status.bottom});
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
    setVisible(form, kCalculatorControls, true);
    form.setVisible(kComboThrottlePercent, false);
    if (esc.family == kFamilyAirBec) {
        form.setVisible(kLabelBecVoltage, true);
        form.setVisible(kComboBecVoltage, true);
    }
}

void arrangeMultiBoatForm(form::Form& form, const EscInfo& esc) {
    for (ControlId id : kMultiBoatDisabled) {
        form.setEnabled(id, false);
    }
    if (esc.family == kFamilyMulti) {
        form.setVisible(kComboMotorRotation, false);
        form.setVisible(kComboNeutralRange, false);
        setVisible(form, kEndPointControls, true);
    } else if (esc.family == kFamilyBoat) {
        setVisible(form, kEndPointControls, false);
    }
}

void arrangeAbcForm(form::Form& form, const EscInfo& /*esc*/) {
    for (ControlId id : kAbcDisabled) {
        form.setEnabled(id, false);
    }
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
