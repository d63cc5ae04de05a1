// The spins of the Qt form behave as those of the in-memory form: whoever writes a buddy
// edit's text moves its spin to the number shown, and a spin shows, hides, enables and
// disables with its edit. Each case runs on both forms.

#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <memory>
#include <string>

#include "app/qt_form.h"
#include "app/up_down.h"
#include "form/control_ids.h"
#include "form/headless_form.h"
#include "form/layout.h"

namespace {

using namespace form;

// The window's form on real widgets, with the start-up spin set-up.
class QtFormRig {
  public:
    QtFormRig() : m_canvas(new app::FormCanvas(&m_window)) {
        m_form = std::make_unique<app::QtForm>(&m_window, m_canvas, nullptr, mainWindowLayout(), 0);
        applySpinSetup(*m_form, calculatorSpinSetup());
        applySpinSetup(*m_form, parameterSpinSetup());
        m_window.show();
    }
    app::QtForm& form() { return *m_form; }

  private:
    QDialog m_window;
    app::FormCanvas* m_canvas;
    std::unique_ptr<app::QtForm> m_form;
};

struct BuddyWriteCase {
    const char* name;
    ControlId spin;
    ControlId buddy;
    const char* text;
    int position;  // of the spin afterwards
    int afterUp;   // the buddy's number after one step up
};

const BuddyWriteCase kBuddyWrites[] = {
    {"a read's minimum throttle", kSpinMinThrottle, kEditMinThrottle, "1100", 1100, 1104},
    {"a read's maximum throttle", kSpinMaxThrottle, kEditMaxThrottle, "1900", 1900, 1904},
    {"a read's neutral", kSpinCenterThrottle, kEditCenterThrottle, "1500", 1500, 1504},
    {"a read's brake off the step grid", kSpinBrakeValue, kEditBrakeValue, "5", 5, 9},
    {"a low end point", kSpinLowEndPoint, kEditLowEndPoint, "1100", 1100, 1104},
    {"a high end point at the top", kSpinHighEndPoint, kEditHighEndPoint, "2020", 2020, 2020},
    {"a number above the range", kSpinCalcCells, kEditCalcCells, "9", 6, 6},
    {"a number below the range", kSpinCalcCells, kEditCalcCells, "0", 1, 2},
    {"no number keeps the position", kSpinCalcCells, kEditCalcCells, "abc", 3, 4},
    {"an empty edit keeps the position", kSpinMinThrottle, kEditMinThrottle, "", 1000, 1004},
    {"trailing text keeps the position", kSpinCalcCells, kEditCalcCells, "4x", 3, 4},
};

TEST(SpinOfABuddy, FollowsTheBuddysTextOnBothForms) {
    for (const BuddyWriteCase& c : kBuddyWrites) {
        SCOPED_TRACE(c.name);
        QtFormRig rig;
        HeadlessForm headless;
        for (Form* form : {static_cast<Form*>(&rig.form()), static_cast<Form*>(&headless)}) {
            SCOPED_TRACE(form == &headless ? "in memory" : "Qt");
            form->setText(c.buddy, c.text);
            EXPECT_EQ(form->spinPosition(c.spin), c.position);
            EXPECT_EQ(form->text(c.buddy), c.text);
        }
        // The real arrow steps from there.
        auto* spin = qobject_cast<app::UpDown*>(rig.form().widget(c.spin));
        ASSERT_NE(spin, nullptr);
        QTest::mouseClick(spin->upButton(), Qt::LeftButton);
        EXPECT_EQ(rig.form().text(c.buddy), std::to_string(c.afterUp));
    }
}

TEST(SpinOfABuddy, FollowsTheSameTextWrittenAgainAfterItsRangeMoved) {
    QtFormRig rig;
    rig.form().setText(kEditMinThrottle, "1100");
    rig.form().setSpinRange(kSpinMinThrottle, 1000, 1050);
    rig.form().setSpinRange(kSpinMinThrottle, 1000, 1200);
    ASSERT_EQ(rig.form().spinPosition(kSpinMinThrottle), 1050);
    rig.form().setText(kEditMinThrottle, "1100");  // unchanged text, as a second read writes
    EXPECT_EQ(rig.form().spinPosition(kSpinMinThrottle), 1100);
}

struct StateCase {
    const char* name;
    void (Form::*set)(ControlId, bool);
    bool (Form::*get)(ControlId) const;
};

const StateCase kStates[] = {
    {"visibility", &Form::setVisible, &Form::isVisible},
    {"enabled state", &Form::setEnabled, &Form::isEnabled},
};

TEST(SpinOfABuddy, ShowsHidesEnablesAndDisablesWithItsEditOnBothForms) {
    for (const StateCase& c : kStates) {
        SCOPED_TRACE(c.name);
        QtFormRig rig;
        HeadlessForm headless;
        for (Form* form : {static_cast<Form*>(&rig.form()), static_cast<Form*>(&headless)}) {
            SCOPED_TRACE(form == &headless ? "in memory" : "Qt");
            for (const SpinSetup& s : parameterSpinSetup()) {
                SCOPED_TRACE(s.spin);
                (form->*c.set)(s.buddy, false);
                EXPECT_FALSE((form->*c.get)(s.spin));
                (form->*c.set)(s.buddy, true);
                EXPECT_TRUE((form->*c.get)(s.spin));
            }
        }
    }
}

TEST(SpinOfABuddy, ADisabledEditIsNotChangedByItsArrowsOrKeys) {
    QtFormRig rig;
    rig.form().setText(kEditBrakeValue, "5");
    rig.form().setEnabled(kEditBrakeValue, false);
    auto* spin = qobject_cast<app::UpDown*>(rig.form().widget(kSpinBrakeValue));
    ASSERT_NE(spin, nullptr);
    QTest::mouseClick(spin->upButton(), Qt::LeftButton);
    QTest::mouseClick(spin->downButton(), Qt::LeftButton);
    QTest::keyClick(rig.form().widget(kEditBrakeValue), Qt::Key_Up);
    spin->stepBy(+1);
    EXPECT_EQ(rig.form().text(kEditBrakeValue), "5");
}

}  // namespace
