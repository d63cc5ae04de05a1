#pragma once
// Putting the chosen language in place on the window: font, captions, menu, title, the
// family's layout and texts; and the two language commands.

#include <functional>

#include "form/form.h"
#include "settings/esc_info.h"
#include "settings/form_layouts.h"

namespace settings {

// The window font of each language.
form::UiFont uiFontFor(bool chinese);

// Reads "lang_sel" of section "set" into i18n::g_chineseSelected (1 for Chinese; every
// other stored value counts as English, so font, sections and messages always agree),
// clears the captions of the group boxes 1054, 1057 and 1052, applies the family's
// window layout, sets the UI font, puts the texts of the current language in place
// (menu captions, buttons, group boxes, labels, title, the start-power and BEC lists),
// checks the menu entry of the language, redraws the menu and fills the family's texts.
void applyLanguage(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory);

// Asks the ESC for its settings again, so the form shows them in the new language.
using ReReadSettings = std::function<void()>;

// Handlers of commands 32773 and 32774: nothing when the command's own menu entry is not
// plain (already checked, greyed or missing); otherwise writes "lang_sel", applies the
// language and, when the ESC is linked, calls `reRead`.
void onLanguageEnglish(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory,
                       const ReReadSettings& reRead);
void onLanguageChinese(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory,
                       const ReReadSettings& reRead);

}  // namespace settings
