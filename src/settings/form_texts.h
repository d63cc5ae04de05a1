#pragma once
// Captions and item lists of the parameter form, read from the language file by ESC
// family and language.

#include <string>
#include <string_view>

#include "form/form.h"
#include "settings/esc_info.h"

namespace settings {

// Empties the drop-down list and adds the "|"-separated pieces of `text` in order; the
// text after the last "|" is always added, so "A|B|" gives three entries, the last one
// empty, and an empty text gives one empty entry. No trimming, no sorting.
void fillComboFromList(form::Form& form, form::ControlId combo, std::string_view text);

// The language file section holding the family's captions and item lists for the
// current i18n::g_chineseSelected ("air_field_E", "muti_field_C", … or "chinese" /
// "english").
std::string familySection(const EscInfo& esc);
// The section of the water-cooled family's own texts ("water_ctl_ch" / "water_ctl_E").
std::string waterSection();

// Sets the captions and refills the item lists of the family's parameter controls from
// the language file at i18n::g_languageFilePath. Controls the family does not use keep
// what they showed; every refilled list loses its selection.
void fillFamilyTexts(form::Form& form, const EscInfo& esc);

}  // namespace settings
