// The form as each family shows it, on the real widgets: no visible control lies over
// another, no list without entries can be used, and no text is cut, also when the face a
// language asks for is missing and the system puts another one in its place.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window_fixture.h"
#include "form/control_ids.h"
#include "form/layout.h"

namespace {

using testing_support::MainWindow;

// One ESC the window may be linked to: a family, or one of its variants.
struct EscCase {
    const char* name;
    const char* uri;
};

void PrintTo(const EscCase& c, std::ostream* os) {
    *os << c.name;
}

const EscCase kEscCases[] = {
    {"Family1", "sim:family=1"},
    {"Family2", "sim:family=2"},
    {"Family2BrakeList", "sim:family=2,major=2"},
    {"Family3", "sim:family=3"},
    {"Family4", "sim:family=4"},
    {"Family5", "sim:family=5"},
    {"Family6", "sim:family=6"},
    {"Family7", "sim:family=7"},
    {"Family8", "sim:family=8"},
    {"Family8Variant5", "sim:family=8,variant=5"},
    {"Family8BrakeList", "sim:family=8,major=2"},
    {"Family8Major3", "sim:family=8,major=3"},
    {"Family8Mid",
     "sim:family=8,params=02020418E07C0500030000"
     "09040401"},
    {"Family9", "sim:family=9"},
    {"Family9Variant6", "sim:family=9,variant=6"},
};

std::string nameOf(const QWidget* w) {
    return w->objectName().toStdString();
}

std::string describe(const QRect& r) {
    std::ostringstream out;
    out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    return out.str();
}

class TheForm : public MainWindow {
  protected:
    struct Shown {
        const form::ControlSpec* control;
        QWidget* widget;
    };

    std::vector<Shown> shownControls() {
        std::vector<Shown> shown;
        for (const form::ControlSpec& control : form::mainWindowLayout().controls) {
            QWidget* w = window->form().widget(control.id);
            if (w != nullptr && !w->isHidden())
                shown.push_back({&control, w});
        }
        return shown;
    }

    static bool isContainer(const form::ControlSpec& control) {
        return control.kind == form::ControlKind::Group || control.kind == form::ControlKind::Frame;
    }

    // Pairs of visible controls that share pixels; a control wholly inside a group box or
    // frame, and a spin on its buddy, are where they belong.
    std::vector<std::string> overlaps() {
        std::vector<std::string> found;
        const std::vector<Shown> shown = shownControls();
        for (std::size_t i = 0; i < shown.size(); ++i) {
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const Shown& a = shown[i];
                const Shown& b = shown[j];
                const QRect ra = a.widget->geometry();
                const QRect rb = b.widget->geometry();
                if (!ra.intersects(rb))
                    continue;
                if (a.control->buddy == b.control->id || b.control->buddy == a.control->id)
                    continue;
                if ((isContainer(*a.control) && ra.contains(rb)) ||
                    (isContainer(*b.control) && rb.contains(ra)))
                    continue;
                found.push_back(nameOf(a.widget) + " " + describe(ra) + " / " + nameOf(b.widget) +
                                " " + describe(rb));
            }
        }
        return found;
    }

    // Visible lists that can be used although they hold no entry with text.
    std::vector<std::string> emptyEnabledLists() {
        std::vector<std::string> found;
        for (const Shown& s : shownControls()) {
            auto* combo = qobject_cast<QComboBox*>(s.widget);
            if (combo == nullptr || !combo->isEnabled())
                continue;
            bool anyText = false;
            for (int i = 0; i < combo->count(); ++i)
                anyText = anyText || !combo->itemText(i).isEmpty();
            if (!anyText)
                found.push_back(nameOf(combo));
        }
        return found;
    }

    // Whether `text` is drawn whole inside `box` in the widget's own font: its advance and
    // ink across, its ink up and down; set at the top of the box, its ink below the baseline
    // (an ascent down) inside the box too.
    static bool whole(const QWidget* w, const QString& text, const QRect& box, bool atTop = false) {
        const QFontMetrics metrics(w->font());
        const QRect ink = metrics.tightBoundingRect(text);
        const int width = std::max(metrics.horizontalAdvance(text), ink.right() + 1);
        return width <= box.width() && ink.height() <= box.height() &&
               (!atTop || metrics.ascent() + ink.bottom() < box.height());
    }

    // Texts of visible controls that do not fit their control's content rect as the style
    // computes it.
    std::vector<std::string> cutTexts() {
        std::vector<std::string> found;
        const auto report = [&](QWidget* w, const QString& text, const QRect& box) {
            found.push_back(nameOf(w) + " '" + text.toStdString() + "' in " +
                            std::to_string(box.width()) + "x" + std::to_string(box.height()) +
                            " at " + std::to_string(w->font().pixelSize()) + " px" + [&] {
                                const QFontMetrics m(w->font());
                                const QRect ink = m.tightBoundingRect(text);
                                return " adv " + std::to_string(m.horizontalAdvance(text)) +
                                       " ink " + describe(ink) + " asc " +
                                       std::to_string(m.ascent()) + " h " +
                                       std::to_string(m.height()) + " " +
                                       QFontInfo(w->font()).family().toStdString();
                            }());
        };
        for (const Shown& s : shownControls()) {
            QWidget* w = s.widget;
            QStyle* style = w->style();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                if (!label->text().isEmpty() && !whole(label, label->text(), label->contentsRect()))
                    report(label, label->text(), label->contentsRect());
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = button->text();
                const QRect box = style->subElementRect(qobject_cast<QCheckBox*>(w)
                                                            ? QStyle::SE_CheckBoxContents
                                                            : QStyle::SE_PushButtonContents,
                                                        &option, button);
                if (!whole(button, button->text(), box))
                    report(button, button->text(), box);
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                if (group->title().isEmpty())
                    continue;
                QStyleOptionGroupBox option;
                option.initFrom(group);
                option.text = group->title();
                option.textAlignment = group->alignment();
                option.lineWidth = 1;
                option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
                const QRect title = style->subControlRect(QStyle::CC_GroupBox, &option,
                                                          QStyle::SC_GroupBoxLabel, group);
                if (!group->rect().contains(title))
                    report(group, group->title(), title);
            } else if (s.control->id == form::kEditEscVersion ||
                       s.control->id == form::kEditAdapterVersion) {
                auto* edit = qobject_cast<QLineEdit*>(w);
                QStyleOptionFrame option;
                option.initFrom(edit);
                option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
                const QRect box = style->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                                      .marginsRemoved(edit->textMargins())
                                      .adjusted(2, 0, -2, 0);  // QLineEdit's own margin
                if (!whole(edit, edit->text(), box))
                    report(edit, edit->text(), box);
            } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                QStyleOptionComboBox option;
                option.initFrom(combo);
                option.subControls = QStyle::SC_All;
                option.frame = combo->hasFrame();
                const QRect field = style
                                        ->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, combo)
                                        .adjusted(1, 0, -1, 0);
                for (int i = 0; i < combo->count(); ++i) {
                    if (!whole(combo, combo->itemText(i), field))
                        report(combo, combo->itemText(i), field);
                }
            }
        }
        return found;
    }

    void expectSound(const std::string& when) {
        SCOPED_TRACE(when);
        for (const std::string& pair : overlaps()) ADD_FAILURE() << "overlap: " << pair;
        for (const std::string& list : emptyEnabledLists())
            ADD_FAILURE() << "empty list enabled: " << list;
    }

    void expectNothingCut(const std::string& when) {
        SCOPED_TRACE(when);
        for (const std::string& cut : cutTexts()) ADD_FAILURE() << "cut: " << cut;
    }

    void switchLanguage(bool chinese, bool escLinked) {
        const uint32_t reads = window->controller().settingsReadCount();
        window->runCommand(chinese ? form::kCmdLanguageChinese : form::kCmdLanguageEnglish);
        if (escLinked) {
            ASSERT_TRUE(runUntil([&] { return window->controller().settingsReadCount() > reads; }));
        }
    }

    // Each check of `check` runs: linked in English and in Chinese (the turbo layout for
    // family 3), then with the ESC gone (the compact layout), in Chinese and in English.
    template <class Check>
    void throughLanguagesAndLayouts(const char* uri, Check check) {
        open(uri);
        ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
        window->host().runFor(100);
        check("linked, English");
        switchLanguage(true, true);
        ASSERT_FALSE(HasFatalFailure());
        check("linked, Chinese");
        emulator->setSilentForever(true);
        ASSERT_TRUE(runUntil([&] { return !window->controller().escLinked(); }, 30000));
        check("ESC gone, Chinese");
        switchLanguage(false, false);
        check("ESC gone, English");
    }
};

class TheFormOfAnEsc : public TheForm, public ::testing::WithParamInterface<EscCase> {};

TEST_P(TheFormOfAnEsc, HasNoOverlapsAndNoEmptyListToUse) {
    throughLanguagesAndLayouts(GetParam().uri, [&](const std::string& when) { expectSound(when); });
}

INSTANTIATE_TEST_SUITE_P(Escs, TheFormOfAnEsc, ::testing::ValuesIn(kEscCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TheForm, WithoutAnEscHasNoOverlapsAndNoEmptyListToUse) {
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"));
    for (bool chinese : {false, true}) {
        open("sim:family=3,adapter=none");
        if (chinese)
            switchLanguage(true, false);
        expectSound(chinese ? "Chinese" : "English");
        expectNothingCut(chinese ? "Chinese" : "English");
        window.reset();
    }
    QFont::removeSubstitutions(QStringLiteral("Arial"));
}

// Send Setting empties the lists until the ESC's settings are read back; when they never
// come, the empty lists stay unusable, and the next reading gives them back.
TEST_F(TheForm, ListsEmptiedBySendingAreNotUsableUntilReadBack) {
    for (const char* uri : {"sim:family=3", "sim:family=6", "sim:family=9,variant=6"}) {
        SCOPED_TRACE(uri);
        open(uri);
        ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
        window->host().runFor(100);
        auto* startAccel = qobject_cast<QComboBox*>(window->form().widget(form::kComboStartAccel));
        ASSERT_TRUE(startAccel->isEnabled());
        emulator->setSilentForever(true);
        window->runCommand(form::kButtonSendSetting);
        window->host().runFor(3000);
        ASSERT_EQ(startAccel->count(), 0);
        expectSound("sent, no read-back");
        const uint32_t reads = window->controller().settingsReadCount();
        emulator->setSilentForever(false);
        ASSERT_TRUE(
            runUntil([&] { return window->controller().settingsReadCount() > reads; }, 30000));
        EXPECT_TRUE(startAccel->isEnabled());
        expectSound("read again");
        window.reset();
    }
}

// Faces a system may put in the place of a missing "Arial": one metric-compatible, one wider.
struct FaceCase {
    const char* name;
    const char* arialSubstitute;
};

void PrintTo(const FaceCase& c, std::ostream* os) {
    *os << c.name;
}

class TheFormInAFace : public TheForm,
                       public ::testing::WithParamInterface<std::tuple<EscCase, FaceCase>> {
  protected:
    void TearDown() override {
        QFont::removeSubstitutions(QStringLiteral("Arial"));
        TheForm::TearDown();
    }
};

const FaceCase kFaceCases[] = {
    {"NimbusSans", "Nimbus Sans"},
    {"DejaVuSans", "DejaVu Sans"},
};

TEST_P(TheFormInAFace, CutsNoText) {
    const auto& [esc, face] = GetParam();
    const QString substitute = QString::fromUtf8(face.arialSubstitute);
    if (!QFontDatabase::hasFamily(substitute))
        GTEST_SKIP() << face.arialSubstitute << " is not installed";
    QFont::insertSubstitution(QStringLiteral("Arial"), substitute);
    ASSERT_TRUE(QFontInfo(QFont(QStringLiteral("Arial"))).family().startsWith(substitute))
        << QFontInfo(QFont(QStringLiteral("Arial"))).family().toStdString();
    throughLanguagesAndLayouts(esc.uri, [&](const std::string& when) { expectNothingCut(when); });
}

INSTANTIATE_TEST_SUITE_P(EscsAndFaces, TheFormInAFace,
                         ::testing::Combine(::testing::ValuesIn(kEscCases),
                                            ::testing::ValuesIn(kFaceCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
