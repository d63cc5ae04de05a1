#include "settings/calculator.h"

#include <gtest/gtest.h>

#include "form/control_ids.h"
#include "form/headless_form.h"

namespace settings {
namespace {

using namespace form;

struct FormulaCase {
    int cells, kv, pinion, gear;
    int64_t result;
};

const FormulaCase kFormulaCases[] = {
    {3, 4000, 13, 150, 4160},
    {4, 4000, 13, 150, 5546},  // 5546.66 truncates
    {1, 200, 1, 255, 3},
    {6, 100000, 255, 1, 612000000},
    {6, 100000, 255, 0, 612000000},  // a gear of 0 counts as 1
    {3, 4000, 13, -5, 624000},
};

TEST(CalculatorFormula, ProductThenOneTruncatingDivision) {
    for (const FormulaCase& c : kFormulaCases) {
        EXPECT_EQ(computeCalcResult(c.cells, c.kv, c.pinion, c.gear), c.result)
            << c.cells << " " << c.kv << " " << c.pinion << " " << c.gear;
    }
}

TEST(CalculatorInit, StartPositionsGive4160And3328) {
    HeadlessForm form;
    form.setVisible(kEditGovernor, true);
    g_calcResult = 0;
    initCalculator(form);
    EXPECT_EQ(g_calcResult, 4160);
    EXPECT_EQ(form.text(kEditGovernor), "3328");
    EXPECT_FALSE(form.isVisible(kEditGovernor));
    EXPECT_EQ(form.spinStep(kSpinCalcKv), 100);
    EXPECT_EQ(form.spinHigh(kSpinCalcKv), 100000);
}

struct ClickCase {
    const char* name;
    ControlId spin;
    int setPosition;  // 0: start position
    SpinDirection direction;
    int64_t result;
};

const ClickCase kClickCases[] = {
    {"cells up from 3", kSpinCalcCells, 0, SpinDirection::Up, 5546},
    {"kv up from 4000", kSpinCalcKv, 0, SpinDirection::Up, 4264},
    {"kv down from 4000", kSpinCalcKv, 0, SpinDirection::Down, 4056},
    {"gear down at its lower end", kSpinCalcGear, 1, SpinDirection::Down, 624000},
    {"gear up from 150", kSpinCalcGear, 0, SpinDirection::Up, 4132},
    {"pinion down from 13", kSpinCalcPinion, 0, SpinDirection::Down, 3840},
    {"cells up at its upper end", kSpinCalcCells, 6, SpinDirection::Up, 8320},
    {"kv up at its upper end", kSpinCalcKv, 100000, SpinDirection::Up, 104000},
};

TEST(RecalcOnSpin, ComputesWithThePositionTheSpinWillShow) {
    for (const ClickCase& c : kClickCases) {
        SCOPED_TRACE(c.name);
        HeadlessForm form;
        initCalculator(form);
        if (c.setPosition != 0) {
            form.setSpinPosition(c.spin, c.setPosition);
        }
        const std::string shown = form.text(kEditGovernor);
        const int repaints = form.repaintCount(kEditGovernor);
        recalcOnSpin(form, c.spin, c.direction);
        EXPECT_EQ(g_calcResult, c.result);
        EXPECT_EQ(form.focus(), kEditGovernor);
        EXPECT_EQ(form.repaintCount(kEditGovernor), repaints + 1);
        EXPECT_EQ(form.text(kEditGovernor), shown);
    }
}

TEST(RecalcOnSpin, PoleAndOtherControlsChangeNothing) {
    for (ControlId id : {kSpinCalcPole, kSpinMinThrottle, kEditGovernor}) {
        HeadlessForm form;
        initCalculator(form);
        g_calcResult = 777;
        recalcOnSpin(form, id, SpinDirection::Up);
        EXPECT_EQ(g_calcResult, 777) << id;
        EXPECT_EQ(form.focus(), 0) << id;
    }
}

struct TypedCase {
    const char* cellsText;
    int64_t result;  // after a click on the kv spin up
};

// A typed value counts at the next click; text that is no number keeps the last valid one.
const TypedCase kTypedCases[] = {
    {"5", 5 * 4 * 4100 * 13 / 150},
    {"abc", 3 * 4 * 4100 * 13 / 150},
    {"", 3 * 4 * 4100 * 13 / 150},
};

TEST(RecalcOnSpin, TypedValuesCountAtTheNextClick) {
    for (const TypedCase& c : kTypedCases) {
        SCOPED_TRACE(c.cellsText);
        HeadlessForm form;
        initCalculator(form);
        form.setText(kEditCalcCells, c.cellsText);
        EXPECT_EQ(g_calcResult, 4160);
        recalcOnSpin(form, kSpinCalcKv, SpinDirection::Up);
        EXPECT_EQ(g_calcResult, c.result);
    }
}

}  // namespace
}  // namespace settings
