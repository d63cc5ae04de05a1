#include "settings/language_apply.h"

#include "form/control_ids.h"
#include "i18n/ui_text.h"
#include "settings/form_texts.h"

namespace settings {
namespace {

using namespace form;

enum class Target : uint8_t { TopMenu, MenuItem, Caption, Title, ItemList };

struct TextRow {
    const char* key;
    Target target;
    int id;  // top-menu position, command, control
};

// The texts of the current language, in the order they are put in place. "Exit" keeps
// its layout caption in both languages.
constexpr TextRow kTextRows[] = {
    {"file", Target::TopMenu, kTopMenuFile},
    {"operation", Target::TopMenu, kTopMenuOperation},
    {"help", Target::TopMenu, kTopMenuHelp},
    {"exportData", Target::MenuItem, kCmdExportData},
    {"importData", Target::MenuItem, kCmdImportData},
    {"english", Target::MenuItem, kCmdLanguageEnglish},
    {"chinese", Target::MenuItem, kCmdLanguageChinese},
    {"restore", Target::MenuItem, kCmdRestoreDefault},
    {"help", Target::MenuItem, kCmdHelp},
    {"about", Target::MenuItem, kCmdAbout},
    {"readsetting", Target::Caption, kButtonReadSetting},
    {"sendsetting", Target::Caption, kButtonSendSetting},
    {"escupdate", Target::Caption, kButtonEscUpdate},
    {"procarupdate", Target::Caption, kButtonAdapterUpdate},
    {"linkstatus", Target::Caption, kGroupConnection},
    {"usbstatus", Target::Caption, kLabelUsbDevice},
    {"escstatus", Target::Caption, kLabelEscDevice},
    {"softwarever", Target::Caption, kGroupVersion},
    {"escver", Target::Caption, kLabelEscVersion},
    {"prousbver", Target::Caption, kLabelAdapterVersion},
    {"controlCmd", Target::Caption, kGroupCommands},
    {"advancedPara", Target::Caption, kGroupAdvanced},
    {"ProName", Target::Title, 0},
    {"startPwrLab", Target::Caption, kLabelStartPower},
    {"startPwr", Target::ItemList, kComboStartPower},
    {"Airbec", Target::Caption, kLabelBecVoltage},
    {"AirbecItems", Target::ItemList, kComboBecVoltage},
    {"minThrtLab", Target::Caption, kLabelMinThrottle},
    {"maxThrtLab", Target::Caption, kLabelMaxThrottle},
    {"centerThrtLab", Target::Caption, kLabelCenterThrottle},
};

void putText(Form& form, const TextRow& row, const std::string& text) {
    switch (row.target) {
        case Target::TopMenu:
            form.setTopMenuCaption(row.id, text);
            break;
        case Target::MenuItem:
            form.setMenuItemCaption(row.id, text);
            break;
        case Target::Caption:
            form.setText(row.id, text);
            break;
        case Target::Title:
            form.setWindowTitle(text);
            break;
        case Target::ItemList:
            fillComboFromList(form, row.id, text);
            break;
    }
}

void switchLanguage(Form& form, int ownCommand, uint8_t choice, const EscInfo& esc, bool escLinked,
                    LayoutMemory& memory, const ReReadSettings& reRead) {
    if (form.menuItemState(ownCommand) != MenuItemState::Plain) {
        return;
    }
    // A failed write is not reported: the language read back stays as it was.
    i18n::writeLanguageChoice(choice);
    applyLanguage(form, esc, escLinked, memory);
    if (escLinked && reRead) {
        reRead();
    }
}

}  // namespace

form::UiFont uiFontFor(bool chinese) {
    return chinese ? UiFont{"宋体", 14, 500, false} : UiFont{"Arial", 15, 600, false};
}

void applyLanguage(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory) {
    i18n::g_chineseSelected = i18n::readLanguageChoice();
    const bool chinese = i18n::g_chineseSelected == i18n::kLanguageChinese;

    form.setText(kGroupAdvanced, "");
    form.setText(kGroupCommands, "");
    form.setText(kGroupConnection, "");

    applyFamilyLayout(form, esc, escLinked, memory);
    form.setUiFont(uiFontFor(chinese));

    for (const TextRow& row : kTextRows) {
        putText(form, row, i18n::LookupUiText(row.key));
    }

    form.setMenuItemChecked(kCmdLanguageChinese, chinese);
    form.setMenuItemChecked(kCmdLanguageEnglish, !chinese);
    form.redrawMenu();

    fillFamilyTexts(form, esc);
}

void onLanguageEnglish(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory,
                       const ReReadSettings& reRead) {
    switchLanguage(form, kCmdLanguageEnglish, i18n::kLanguageEnglish, esc, escLinked, memory,
                   reRead);
}

void onLanguageChinese(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory,
                       const ReReadSettings& reRead) {
    switchLanguage(form, kCmdLanguageChinese, i18n::kLanguageChinese, esc, escLinked, memory,
                   reRead);
}

}  // namespace settings
