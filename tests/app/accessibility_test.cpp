// The window from the keyboard and through a screen reader's eyes: access keys, F10, the
// Tab chain, accessible names, tooltips in the current language, and colours that stay
// readable in light and dark palettes.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <set>
#include <sstream>

#include "app/contrast.h"
#include "app/main_window_fixture.h"
#include "app/status_lamp.h"
#include "app/up_down.h"
#include "form/access_keys.h"
#include "form/control_ids.h"
#include "form/layout.h"
#include "form/reading_order.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"

namespace {

using testing_support::MainWindow;
namespace fs = std::filesystem;

QString accessibleName(QObject* object) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name) : QString();
}

std::string iniText(const char* section, const char* key) {
    return i18n::ProfileFile::readString(i18n::g_languageFilePath, section, key, "");
}

struct Language {
    const char* name;
    int command;
    const char* section;
};

const Language kLanguages[] = {
    {"English", form::kCmdLanguageEnglish, i18n::kSectionEnglish},
    {"Chinese", form::kCmdLanguageChinese, i18n::kSectionChinese},
};

// ---------------------------------------------------------------------------------------
// Access keys

enum class Caption { TopMenu, MenuEntry, Button };

struct CaptionCase {
    const char* key;  // in the language file
    Caption kind;
    int id;  // menu position, command or control
};

const CaptionCase kCaptions[] = {
    {"file", Caption::TopMenu, form::kTopMenuFile},
    {"operation", Caption::TopMenu, form::kTopMenuOperation},
    {"help", Caption::TopMenu, form::kTopMenuHelp},
    {"exportData", Caption::MenuEntry, form::kCmdExportData},
    {"importData", Caption::MenuEntry, form::kCmdImportData},
    {"english", Caption::MenuEntry, form::kCmdLanguageEnglish},
    {"chinese", Caption::MenuEntry, form::kCmdLanguageChinese},
    {"restore", Caption::MenuEntry, form::kCmdRestoreDefault},
    {"help", Caption::MenuEntry, form::kCmdHelp},
    {"about", Caption::MenuEntry, form::kCmdAbout},
    {"readsetting", Caption::Button, form::kButtonReadSetting},
    {"sendsetting", Caption::Button, form::kButtonSendSetting},
    {"escupdate", Caption::Button, form::kButtonEscUpdate},
    {"procarupdate", Caption::Button, form::kButtonAdapterUpdate},
};

// Each caption shows a key, none twice in its container.
void expectUniqueKeys(const QStringList& shown, const char* container) {
    std::set<char> keys;
    for (const QString& text : shown) {
        const char key = form::accessKeyOf(text.toStdString());
        EXPECT_NE(key, 0) << container << ": " << text.toStdString();
        EXPECT_TRUE(keys.insert(key).second) << container << ": " << text.toStdString();
    }
}

TEST_F(MainWindow, MenusAndButtonsHaveUniqueAccessKeysAndKeepTheirCaptions) {
    open("sim:family=3,adapter=none");
    QApplication::setActiveWindow(window.get());  // Alt and a key go to the active window
    app::QtForm& form = window->form();
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        window->runCommand(language.command);
        emit form.topMenu(form::kTopMenuOperation)->aboutToShow();  // lists the backups

        QStringList windowWide;  // Alt and a key: the menu bar and the push buttons
        for (QAction* top : form.topMenu(0)->parentWidget()->actions()) windowWide << top->text();
        for (QPushButton* b : form.canvas()->findChildren<QPushButton*>()) windowWide << b->text();
        expectUniqueKeys(windowWide, "menu bar and buttons");
        for (int position = 0; position < 3; ++position) {
            QStringList entries;
            for (QAction* a : form.topMenu(position)->actions()) entries << a->text();
            expectUniqueKeys(entries, form.topMenuCaption(position).c_str());
        }

        for (const CaptionCase& c : kCaptions) {
            const std::string caption = c.kind == Caption::TopMenu     ? form.topMenuCaption(c.id)
                                        : c.kind == Caption::MenuEntry ? form.menuItemCaption(c.id)
                                                                       : form.text(c.id);
            EXPECT_EQ(caption, iniText(language.section, c.key)) << c.key;
        }
        EXPECT_EQ(form.menuItemCaption(form::kCmdExit), "Exit");

        // The keys work: Alt and the key presses the button (a click follows as the
        // button comes up again) and opens the drop-down.
        auto* read = qobject_cast<QPushButton*>(form.widget(form::kButtonReadSetting));
        const char readKey = form::accessKeyOf(read->text().toStdString());
        QTest::keyClick(window.get(), static_cast<char>(std::tolower(readKey)), Qt::AltModifier);
        EXPECT_TRUE(read->isDown());
        QMenu* help = form.topMenu(form::kTopMenuHelp);
        const char helpKey = form::accessKeyOf(help->title().toStdString());
        QTest::keyClick(window.get(), static_cast<char>(std::tolower(helpKey)), Qt::AltModifier);
        EXPECT_TRUE(help->isVisible());
        help->hide();
    }
}

TEST_F(MainWindow, F10OpensTheMenuBarForTheArrowKeys) {
    open("sim:family=3,adapter=none");
    QApplication::setActiveWindow(window.get());
    QMenu* file = window->form().topMenu(form::kTopMenuFile);
    QMenu* operation = window->form().topMenu(form::kTopMenuOperation);
    auto* bar = qobject_cast<QMenuBar*>(file->parentWidget());
    ASSERT_NE(bar, nullptr);
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_EQ(bar->activeAction(), file->menuAction());
    EXPECT_TRUE(file->isVisible());
    QTest::keyClick(file, Qt::Key_Right);
    EXPECT_EQ(bar->activeAction(), operation->menuAction());
    EXPECT_TRUE(operation->isVisible());
    QTest::keyClick(operation, Qt::Key_Escape);
    operation->hide();
}

// ---------------------------------------------------------------------------------------
// The Tab chain and names, family by family

struct FamilyCase {
    const char* name;
    const char* uri;
    bool linked;
};

const FamilyCase kFamilies[] = {
    {"NoAdapter", "sim:family=3,adapter=none", false},
    {"Family1", "sim:family=1", true},
    {"Family2", "sim:family=2", true},
    {"Family3", "sim:family=3", true},
    {"Family4", "sim:family=4", true},
    {"Family5", "sim:family=5", true},
    {"Family6", "sim:family=6", true},
    {"Family7", "sim:family=7", true},
    {"Family8", "sim:family=8", true},
    {"Family9", "sim:family=9", true},
};

class TheWindowOfAFamily : public MainWindow, public ::testing::WithParamInterface<FamilyCase> {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        open(GetParam().uri);
        if (GetParam().linked) {
            ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
        }
    }
    // The form's controls Tab should reach: the layout's tab stops that are shown, enabled
    // and seen where they stand (not under another control).
    std::set<QWidget*> reachableControls() {
        std::set<QWidget*> reachable;
        QWidget* canvas = window->form().canvas();
        for (const form::ControlSpec& c : form::mainWindowLayout().controls) {
            QWidget* w = window->form().widget(c.id);
            if (!(c.styles & form::kStyleTabStop) || !w->isVisible() || !w->isEnabled())
                continue;
            QWidget* seen = canvas->childAt(w->geometry().center());
            if (seen == w || w->isAncestorOf(seen))
                reachable.insert(w);
        }
        return reachable;
    }
};

TEST_P(TheWindowOfAFamily, TabVisitsTheToolbarThenTheShownControlsInReadingOrder) {
    const auto& tools = window->toolButtons();
    tools.front()->setFocus();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 200; ++i) {
        visited.push_back(window->focusWidget());
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        if (window->focusWidget() == tools.front())
            break;
    }
    ASSERT_EQ(window->focusWidget(), tools.front()) << "Tab never came round";
    ASSERT_GT(visited.size(), tools.size());
    for (std::size_t i = 0; i < tools.size(); ++i) EXPECT_EQ(visited[i], tools[i]) << i;

    const std::vector<QWidget*> controls(visited.begin() + static_cast<long>(tools.size()),
                                         visited.end());
    const auto names = [](const auto& widgets) {
        std::set<std::string> set;
        for (QWidget* w : widgets) set.insert(w->objectName().toStdString());
        return set;
    };
    EXPECT_EQ(names(controls), names(reachableControls()));
    EXPECT_EQ(names(controls).size(), controls.size());

    // Top to bottom; within a row (tops this close), left to right.
    for (std::size_t i = 1; i < controls.size(); ++i) {
        const QRect a = controls[i - 1]->geometry();
        const QRect b = controls[i]->geometry();
        const bool nextRow = b.top() > a.top() + form::kReadingRowTolerance;
        const bool sameRowFurtherRight =
            b.top() >= a.top() - form::kReadingRowTolerance && b.left() > a.left();
        EXPECT_TRUE(nextRow || sameRowFurtherRight)
            << controls[i - 1]->objectName().toStdString() << " then "
            << controls[i]->objectName().toStdString();
    }
}

TEST_P(TheWindowOfAFamily, EveryShownControlAndBothLampsHaveNames) {
    std::vector<QWidget*> named(window->toolButtons().begin(), window->toolButtons().end());
    for (QWidget* w : reachableControls()) named.push_back(w);
    named.push_back(window->form().widget(form::kProgressUpdate));
    for (QWidget* w : named)
        EXPECT_FALSE(accessibleName(w).trimmed().isEmpty()) << w->objectName().toStdString();

    // A spin is named after the value it steps.
    for (app::UpDown* spin : window->form().canvas()->findChildren<app::UpDown*>()) {
        if (!spin->isVisible() || !spin->buddy())
            continue;
        const QString edit = accessibleName(spin->buddy());
        EXPECT_EQ(accessibleName(spin), edit + ", up-down") << spin->objectName().toStdString();
    }
    // The lamps are in the tree, under the form.
    QAccessibleInterface* canvas = QAccessible::queryAccessibleInterface(window->form().canvas());
    for (app::StatusLamp* lamp : {window->usbLamp(), window->escLamp()}) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(lamp);
        ASSERT_NE(face, nullptr);
        EXPECT_GE(canvas->indexOfChild(face), 0);
        EXPECT_FALSE(face->text(QAccessible::Name).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Families, TheWindowOfAFamily, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindow, ListsAndEditsAreNamedByTheirCaptionInEitherLanguage) {
    open("sim:family=3");
    ASSERT_TRUE(runUntil([&] { return window->controller().settingsLoaded(); }));
    struct Case {
        const Language& language;
        const char* motorTiming;
        const char* brakeSpin;
    };
    const Case cases[] = {
        {kLanguages[0], "Motor Timing", "Brake Strength, up-down"},
        {kLanguages[1], "电机进角", "刹车力度，微调"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language.name);
        window->runCommand(c.language.command);
        EXPECT_EQ(accessibleName(window->form().widget(form::kComboMotorTiming)), c.motorTiming);
        ASSERT_TRUE(window->form().isVisible(form::kEditBrakeValue));
        EXPECT_EQ(accessibleName(window->form().widget(form::kSpinBrakeValue)), c.brakeSpin);
    }
    // The progress strip tells its value.
    window->form().setProgressFill(form::kProgressUpdate, 45, 55);
    QAccessibleInterface* strip =
        QAccessible::queryAccessibleInterface(window->form().widget(form::kProgressUpdate));
    ASSERT_NE(strip->valueInterface(), nullptr);
    EXPECT_EQ(strip->valueInterface()->currentValue().toInt(), 45);
    EXPECT_EQ(strip->role(), QAccessible::ProgressBar);
}

TEST_F(MainWindow, TheLampsNamesFollowTheLinkAndTheLanguage) {
    open("sim:family=3");
    struct Step {
        const char* name;
        std::function<bool()> reach;
        const char* usb;
        const char* esc;
    };
    const Step steps[] = {
        {"nothing answered yet", [] { return true; }, "USB Device: not linked",
         "ESC Device: not linked"},
        // The adapter's lamp says which adapter was opened.
        {"the adapter answered", [&] { return window->controller().adapterLinked(); },
         "USB Device: linked to adapter sim:0", "ESC Device: not linked"},
        {"the ESC answered", [&] { return window->controller().escLinked(); },
         "USB Device: linked to adapter sim:0", "ESC Device: linked"},
        {"in Chinese",
         [&] {
             window->runCommand(form::kCmdLanguageChinese);
             return true;
         },
         "USB设备：已连接适配器 sim:0", "电调设备：已连接"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(runUntil(step.reach));
        EXPECT_EQ(accessibleName(window->usbLamp()).toStdString(), step.usb);
        EXPECT_EQ(accessibleName(window->escLamp()).toStdString(), step.esc);
        EXPECT_EQ(window->usbLamp()->toolTip(), accessibleName(window->usbLamp()));
    }
}

// ---------------------------------------------------------------------------------------
// Tooltips

const char* const kTipKeys[] = {"tipEnglish", "tipChinese", "tipExport",
                                "tipImport",  "tipRestore", "tipExit"};

TEST_F(MainWindow, ToolbarTooltipsAreInTheCurrentLanguage) {
    open("sim:family=3,adapter=none");
    const auto& tools = window->toolButtons();
    for (const Language& language : {kLanguages[1], kLanguages[0]}) {
        SCOPED_TRACE(language.name);
        window->runCommand(language.command);
        for (std::size_t i = 0; i < tools.size(); ++i) {
            const std::string tip = iniText(language.section, kTipKeys[i]);
            ASSERT_FALSE(tip.empty()) << kTipKeys[i];
            EXPECT_EQ(tools[i]->toolTip().toStdString(), tip);
            EXPECT_EQ(accessibleName(tools[i]), QString::fromStdString(tip).trimmed());
        }
    }
}

TEST_F(MainWindow, ALanguageFileWithoutTooltipsKeepsTheBuiltInOnes) {
    // A language file from before the tooltips were translated.
    std::string kept;
    {
        std::ifstream in(fs::path(m_dir) / "language.ini");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("tip", 0) != 0)
                kept += line + "\n";
        }
    }
    std::ofstream(fs::path(m_dir) / "language.ini") << kept;
    open("sim:family=3,adapter=none");
    window->runCommand(form::kCmdLanguageChinese);
    EXPECT_EQ(window->toolButtons()[4]->toolTip(), " Defaule Data");
    EXPECT_EQ(window->toolButtons()[5]->toolTip(), " Exit System");
}

// ---------------------------------------------------------------------------------------
// Light and dark palettes

QPalette paletteOf(QColor window, QColor text, QColor base, QColor highlight, QColor mid) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, base);
    p.setColor(QPalette::Mid, mid);
    return p;
}

const QPalette kLight = paletteOf(QColor(239, 239, 239), Qt::black, Qt::white, QColor(48, 140, 198),
                                  QColor(200, 200, 200));
const QPalette kDark = paletteOf(QColor(53, 53, 53), Qt::white, QColor(35, 35, 35),
                                 QColor(42, 130, 218), QColor(60, 60, 60));
// A dark palette whose highlight hardly differs from its base.
const QPalette kDarkDimHighlight =
    paletteOf(QColor(40, 40, 40), QColor(230, 230, 230), QColor(30, 30, 30), QColor(20, 50, 90),
              QColor(50, 50, 50));

struct PaletteCase {
    const char* name;
    const QPalette* atStart;
    const QPalette* later;  // the desktop switches to it while the window is open
};

const PaletteCase kPalettes[] = {
    {"light", &kLight, nullptr},
    {"dark", &kDark, nullptr},
    {"dark with a dim highlight", &kDarkDimHighlight, nullptr},
    {"light, then dark", &kLight, &kDark},
    {"dark, then light", &kDark, &kLight},
};

QColor pixel(QWidget* w, QPoint at) {
    return w->grab().toImage().pixelColor(at);
}

TEST_F(MainWindow, LampsGovernorValueAndProgressStayReadableInLightAndDarkPalettes) {
    const QPalette desktop = QApplication::palette();
    for (const PaletteCase& c : kPalettes) {
        SCOPED_TRACE(c.name);
        QApplication::setPalette(*c.atStart);
        open("sim:family=1");
        ASSERT_TRUE(runUntil([&] { return window->controller().adapterLinked(); }));
        if (c.later) {
            QApplication::setPalette(*c.later);
            QCoreApplication::processEvents();  // the widgets hear of it through posted events
            ASSERT_EQ(window->form().canvas()->palette().color(QPalette::Window),
                      c.later->color(QPalette::Window));
        }
        app::QtForm& form = window->form();

        auto* governor = qobject_cast<QLineEdit*>(form.widget(form::kEditGovernor));
        form.setText(form::kEditGovernor, "999999");  // above what the calculator allows
        const QColor red = governor->palette().color(QPalette::Text);
        EXPECT_TRUE(testing_support::isRedText(red));
        EXPECT_GE(app::contrastRatio(red, governor->palette().color(QPalette::Base)), 4.5);

        const QColor background = form.canvas()->palette().color(QPalette::Window);
        for (app::StatusLamp* lamp : {window->usbLamp(), window->escLamp()}) {
            const QColor painted = pixel(lamp, lamp->rect().center());
            EXPECT_EQ(painted.hslHue(), lamp->stateColour().hslHue());
            EXPECT_GE(app::contrastRatio(painted, background), 3.0) << painted.name().toStdString();
        }

        QWidget* strip = form.widget(form::kProgressUpdate);
        form.setVisible(form::kProgressUpdate, true);
        form.setProgressFill(form::kProgressUpdate, strip->width() / 2, strip->width());
        const QColor filled = pixel(strip, QPoint(3, strip->height() / 2));
        const QColor rest = pixel(strip, QPoint(strip->width() - 4, strip->height() / 2));
        EXPECT_GE(app::contrastRatio(filled, rest), 3.0) << filled.name().toStdString();
        window.reset();
    }
    QApplication::setPalette(desktop);
}

}  // namespace
