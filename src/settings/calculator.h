#pragma once
// The gear and speed calculator of the air families: g = cells × 4 × kv × pinion / gear,
// the scale of the governor value that edit 1092 shows.

#include <cstdint>

#include "form/form.h"

namespace settings {

// g = cells × 4 × kv × pinion / gear, the product first, then one division truncating
// toward zero. 64-bit, so no input can overflow; a gear below 1 counts as 1, so nothing
// divides by zero.
constexpr int64_t computeCalcResult(int64_t cells, int64_t kv, int64_t pinion, int64_t gear) {
    return cells * 4 * kv * pinion / (gear < 1 ? 1 : gear);
}

// The calculator's start positions give this result.
inline constexpr int64_t kInitialCalcResult = computeCalcResult(3, 4000, 13, 150);

// The calculator result. Holds kInitialCalcResult until the calculator is set up, and is
// never 0 for inputs within the spins' ranges (smallest 3, largest 612,000,000).
extern int64_t g_calcResult;

// The governor edit's text for a result: (g × 4) / 5.
constexpr int64_t governorDisplayValue(int64_t calcResult) {
    return calcResult * 4 / 5;
}

// Start-up: shows edit 1092, sets up the five calculator spins (range, step, start
// position), computes g_calcResult from the positions, writes (g × 4) / 5 into edit 1092
// and hides it again.
void initCalculator(form::Form& form);

enum class SpinDirection { Up, Down };

// Handler of a calculator spin about to move one click: takes the position the spin will
// show (its position plus the proposed change, kept within its range) and the positions
// of the other three spins of the formula, stores g in g_calcResult, gives the focus to
// edit 1092 and repaints it. The pole spin and any other control change nothing.
void recalcOnSpin(form::Form& form, form::ControlId spin, int proposedChange);
// The same with the change of one click: the spin's step up or down.
void recalcOnSpin(form::Form& form, form::ControlId spin, SpinDirection direction);

}  // namespace settings
