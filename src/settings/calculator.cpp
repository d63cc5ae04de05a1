#include "settings/calculator.h"

#include <algorithm>

#include "form/control_ids.h"
#include "form/layout.h"

namespace settings {

int64_t g_calcResult = kInitialCalcResult;

namespace {

using namespace form;

bool isFormulaSpin(ControlId id) {
    return id == kSpinCalcCells || id == kSpinCalcKv || id == kSpinCalcGear ||
           id == kSpinCalcPinion;
}

int64_t resultFromPositions(const Form& form) {
    return computeCalcResult(form.spinPosition(kSpinCalcCells), form.spinPosition(kSpinCalcKv),
                             form.spinPosition(kSpinCalcPinion), form.spinPosition(kSpinCalcGear));
}

}  // namespace

void initCalculator(form::Form& form) {
    form.setVisible(kEditGovernor, true);
    applySpinSetup(form, calculatorSpinSetup());
    g_calcResult = resultFromPositions(form);
    form.setText(kEditGovernor, std::to_string(governorDisplayValue(g_calcResult)));
    form.setVisible(kEditGovernor, false);
}

void recalcOnSpin(form::Form& form, form::ControlId spin, int proposedChange) {
    if (!isFormulaSpin(spin)) {
        return;
    }
    const int low = std::min(form.spinLow(spin), form.spinHigh(spin));
    const int high = std::max(form.spinLow(spin), form.spinHigh(spin));
    const int64_t next = std::clamp<int64_t>(
        static_cast<int64_t>(form.spinPosition(spin)) + proposedChange, low, high);
    const auto position = [&](ControlId id) -> int64_t {
        return id == spin ? next : form.spinPosition(id);
    };
    g_calcResult = computeCalcResult(position(kSpinCalcCells), position(kSpinCalcKv),
                                     position(kSpinCalcPinion), position(kSpinCalcGear));
    form.setFocus(kEditGovernor);
    form.repaint(kEditGovernor);
}

void recalcOnSpin(form::Form& form, form::ControlId spin, SpinDirection direction) {
    const int step = form.spinStep(spin);
    recalcOnSpin(form, spin, direction == SpinDirection::Up ? step : -step);
}

}  // namespace settings
