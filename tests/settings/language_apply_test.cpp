#include "settings/language_apply.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "form/language_file_fixture.h"
#include "i18n/ui_text.h"

namespace settings {
namespace {

using namespace form;
using testing_support::TempLanguageFile;

const char kTexts[] =
    "[english]\n"
    "file=File\noperation=Operate\nhelp=Help!\nexportData=Export\nimportData=Import\n"
    "english=English\nchinese=Chinese\nrestore=Defaults\nabout=About it\n"
    "readsetting=Read\nsendsetting=Send\nescupdate=Update\nprocarupdate=Adapter update\n"
    "linkstatus=Link\nusbstatus=USB\nescstatus=ESC\nsoftwarever=Versions\nescver=ESC ver\n"
    "prousbver=Adapter ver\ncontrolCmd=Commands\nadvancedPara=Advanced\nProName=Tessaro ESC\n"
    "startPwrLab=Start power\nstartPwr=Low|Mid|High\nAirbec=BEC\nAirbecItems=5.0V|6.0V|\n"
    "minThrtLab=Min\nmaxThrtLab=Max\ncenterThrtLab=Centre\nlowVolLab=Cut-off\n"
    "[chinese]\n"
    "file=文件\noperation=操作\nhelp=帮助\nexportData=导出\nimportData=导入\n"
    "english=英文\nchinese=中文\nrestore=恢复默认\nabout=关于\n"
    "readsetting=读取\nsendsetting=发送\nescupdate=升级\nprocarupdate=适配器升级\n"
    "linkstatus=连接\nusbstatus=USB设备\nescstatus=电调\nsoftwarever=版本\nescver=电调版本\n"
    "prousbver=适配器版本\ncontrolCmd=命令\nadvancedPara=高级\nProName=电调设置\n"
    "startPwrLab=启动力度\nstartPwr=低|中|高\nAirbec=BEC电压\nAirbecItems=5.0V|6.0V\n"
    "minThrtLab=最低\nmaxThrtLab=最高\ncenterThrtLab=中点\nlowVolLab=低压保护\n";

std::string fileWith(const std::string& set) {
    return std::string(kTexts) + set;
}

// Logs the calls whose order the language switch fixes.
class RecordingForm : public HeadlessForm {
  public:
    std::vector<std::string> log;

    void setText(ControlId id, const std::string& text) override {
        log.push_back("text " + std::to_string(id));
        HeadlessForm::setText(id, text);
    }
    void clearItems(ControlId id) override {
        log.push_back("list " + std::to_string(id));
        HeadlessForm::clearItems(id);
    }
    void placeWindow(const Rect& rect) override {
        log.push_back("window");
        HeadlessForm::placeWindow(rect);
    }
    void setUiFont(const UiFont& font) override {
        log.push_back("font");
        HeadlessForm::setUiFont(font);
    }
    void setWindowTitle(const std::string& title) override {
        log.push_back("title");
        HeadlessForm::setWindowTitle(title);
    }
    void setTopMenuCaption(int position, const std::string& caption) override {
        log.push_back("top " + std::to_string(position));
        HeadlessForm::setTopMenuCaption(position, caption);
    }
    void setMenuItemCaption(int commandId, const std::string& caption) override {
        log.push_back("menu " + std::to_string(commandId));
        HeadlessForm::setMenuItemCaption(commandId, caption);
    }
    void setMenuItemChecked(int commandId, bool checked) override {
        log.push_back("check " + std::to_string(commandId));
        HeadlessForm::setMenuItemChecked(commandId, checked);
    }
    void redrawMenu() override {
        log.push_back("redraw");
        HeadlessForm::redrawMenu();
    }
};

TEST(ApplyLanguage, RunsItsStepsInOrder) {
    TempLanguageFile file;
    file.write(fileWith("[set]\nlang_sel=0\n"));
    RecordingForm form;
    LayoutMemory memory;
    applyLanguage(form, EscInfo{}, false, memory);
    const std::vector<std::string> expected = {
        "text 1054",
        "text 1057",
        "text 1052",
        "window",
        "font",
        "top 0",
        "top 1",
        "top 2",
        "menu 32771",
        "menu 32772",
        "menu 32773",
        "menu 32774",
        "menu 32777",
        "menu 32779",
        "menu 32780",
        "text 1020",
        "text 1018",
        "text 1019",
        "text 1021",
        "text 1052",
        "text 1013",
        "text 1014",
        "text 1053",
        "text 1056",
        "text 1055",
        "text 1057",
        "text 1054",
        "title",
        "text 1062",
        "list 1105",
        "text 1096",
        "list 1061",
        "text 1107",
        "text 1108",
        "text 1115",
        "check 32774",
        "check 32773",
        "redraw",
        // then the family's texts, first row first
        "text 1027",
        "list 1029",
    };
    ASSERT_GE(form.log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(form.log.begin(), form.log.begin() + expected.size()),
              expected);
}

struct LanguageCase {
    const char* name;
    std::optional<std::string> file;  // nothing: no language file
    uint8_t chineseSelected;
    UiFont font;
    const char* title;
    const char* readButton;
    const char* fileMenu;
    const char* aboutEntry;
    std::vector<std::string> startPower;
    std::vector<std::string> becItems;
    MenuItemState english;
    MenuItemState chinese;
};

const UiFont kArial{"Arial", 15, 600, false};
const UiFont kSong{"宋体", 14, 500, false};

const std::vector<LanguageCase>& languageCases() {
    static const std::vector<LanguageCase> cases = {
        {"no choice stored",
         fileWith(""),
         0,
         kArial,
         "Tessaro ESC",
         "Read",
         "File",
         "About it",
         {"Low", "Mid", "High"},
         {"5.0V", "6.0V", ""},
         MenuItemState::Checked,
         MenuItemState::Plain},
        {"English",
         fileWith("[set]\nlang_sel=0\n"),
         0,
         kArial,
         "Tessaro ESC",
         "Read",
         "File",
         "About it",
         {"Low", "Mid", "High"},
         {"5.0V", "6.0V", ""},
         MenuItemState::Checked,
         MenuItemState::Plain},
        {"Chinese",
         fileWith("[set]\nlang_sel=1\n"),
         1,
         kSong,
         "电调设置",
         "读取",
         "文件",
         "关于",
         {"低", "中", "高"},
         {"5.0V", "6.0V"},
         MenuItemState::Plain,
         MenuItemState::Checked},
        {"Chinese in the low byte",
         fileWith("[set]\nlang_sel=0x101\n"),
         1,
         kSong,
         "电调设置",
         "读取",
         "文件",
         "关于",
         {"低", "中", "高"},
         {"5.0V", "6.0V"},
         MenuItemState::Plain,
         MenuItemState::Checked},
        {"other values are English throughout",
         fileWith("[set]\nlang_sel=2\n"),
         0,
         kArial,
         "Tessaro ESC",
         "Read",
         "File",
         "About it",
         {"Low", "Mid", "High"},
         {"5.0V", "6.0V", ""},
         MenuItemState::Checked,
         MenuItemState::Plain},
        {"no language file",
         std::nullopt,
         0,
         kArial,
         "",
         "",
         "",
         "",
         {""},
         {""},
         MenuItemState::Checked,
         MenuItemState::Plain},
    };
    return cases;
}

TEST(ApplyLanguage, PutsTheChosenLanguageInPlace) {
    for (const LanguageCase& c : languageCases()) {
        SCOPED_TRACE(c.name);
        TempLanguageFile file;
        if (c.file) {
            file.write(*c.file);
        }
        i18n::g_chineseSelected = 7;
        HeadlessForm form;
        LayoutMemory memory;
        applyLanguage(form, EscInfo{}, false, memory);
        EXPECT_EQ(i18n::g_chineseSelected, c.chineseSelected);
        EXPECT_EQ(form.uiFont(), c.font);
        EXPECT_EQ(form.windowTitle(), c.title);
        EXPECT_EQ(form.text(kButtonReadSetting), c.readButton);
        EXPECT_EQ(form.topMenuCaption(kTopMenuFile), c.fileMenu);
        EXPECT_EQ(form.menuItemCaption(kCmdAbout), c.aboutEntry);
        EXPECT_EQ(form.items(kComboStartPower), c.startPower);
        EXPECT_EQ(form.items(kComboBecVoltage), c.becItems);
        EXPECT_EQ(form.menuItemState(kCmdLanguageEnglish), c.english);
        EXPECT_EQ(form.menuItemState(kCmdLanguageChinese), c.chinese);
        EXPECT_EQ(form.menuItemCaption(kCmdExit), "Exit");
        EXPECT_EQ(form.menuRedraws(), 1);
        // The compact layout: the turbo controls hidden, the window 750 x 530.
        EXPECT_FALSE(form.isVisible(kGroupAdvanced));
        EXPECT_EQ(form.windowRect().width(), 750);
        EXPECT_EQ(form.windowRect().height(), 530);
    }
}

TEST(ApplyLanguage, HelpKeyServesTheMenuAndItsEntry) {
    TempLanguageFile file;
    file.write(fileWith(""));
    HeadlessForm form;
    LayoutMemory memory;
    applyLanguage(form, EscInfo{}, false, memory);
    EXPECT_EQ(form.topMenuCaption(kTopMenuHelp), "Help!");
    EXPECT_EQ(form.menuItemCaption(kCmdHelp), "Help!");
    EXPECT_EQ(form.text(kGroupAdvanced), "Advanced");
    EXPECT_EQ(form.text(kLabelCutoffVoltage), "Cut-off");
}

enum class Command { English, Chinese };

struct SwitchCase {
    const char* name;
    const char* stored;  // lang_sel before
    Command command;
    std::optional<MenuItemState> ownEntry;  // forced state of the command's entry
    bool escLinked;
    bool acts;
    uint8_t language;  // g_chineseSelected afterwards
    int reReads;
};

const SwitchCase kSwitchCases[] = {
    {"English while English is on", "0", Command::English, std::nullopt, true, false, 0, 0},
    {"Chinese while Chinese is on", "1", Command::Chinese, std::nullopt, true, false, 1, 0},
    {"to Chinese with the ESC linked", "0", Command::Chinese, std::nullopt, true, true, 1, 1},
    {"to Chinese, no ESC", "0", Command::Chinese, std::nullopt, false, true, 1, 0},
    {"to English with the ESC linked", "1", Command::English, std::nullopt, true, true, 0, 1},
    {"greyed entry", "0", Command::Chinese, MenuItemState::Disabled, true, false, 0, 0},
    {"missing entry", "1", Command::English, MenuItemState::Missing, true, false, 1, 0},
};

TEST(LanguageCommands, SwitchOnlyFromAPlainEntry) {
    for (const SwitchCase& c : kSwitchCases) {
        SCOPED_TRACE(c.name);
        TempLanguageFile file;
        file.write(fileWith(std::string("[set]\nlang_sel=") + c.stored + "\n"));
        HeadlessForm form;
        LayoutMemory memory;
        applyLanguage(form, EscInfo{}, c.escLinked, memory);
        const int ownCommand =
            c.command == Command::English ? kCmdLanguageEnglish : kCmdLanguageChinese;
        if (c.ownEntry) {
            form.setMenuItemState(ownCommand, *c.ownEntry);
        }
        const std::string before = file.read();
        const int fontsBefore = form.uiFontChanges();
        int reReads = 0;
        std::string titleAtReRead;
        const ReReadSettings reRead = [&] {
            ++reReads;
            titleAtReRead = form.windowTitle();
        };
        if (c.command == Command::English) {
            onLanguageEnglish(form, EscInfo{}, c.escLinked, memory, reRead);
        } else {
            onLanguageChinese(form, EscInfo{}, c.escLinked, memory, reRead);
        }
        EXPECT_EQ(file.read() != before, c.acts);
        EXPECT_EQ(form.uiFontChanges() != fontsBefore, c.acts);
        EXPECT_EQ(i18n::g_chineseSelected, c.language);
        EXPECT_EQ(reReads, c.reReads);
        if (c.reReads > 0) {
            // The settings are asked for after the window shows the new language.
            EXPECT_EQ(titleAtReRead, c.language == 1 ? "电调设置" : "Tessaro ESC");
        }
    }
}

TEST(LanguageCommands, LinkedWithoutACallbackStillSwitches) {
    TempLanguageFile file;
    file.write(fileWith("[set]\nlang_sel=0\n"));
    HeadlessForm form;
    LayoutMemory memory;
    applyLanguage(form, EscInfo{}, true, memory);
    onLanguageChinese(form, EscInfo{}, true, memory, ReReadSettings{});
    EXPECT_EQ(i18n::g_chineseSelected, 1);
    EXPECT_EQ(form.menuItemState(kCmdLanguageChinese), MenuItemState::Checked);
}

}  // namespace
}  // namespace settings
