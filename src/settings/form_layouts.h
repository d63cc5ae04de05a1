#pragma once
// What the parameter form shows per ESC family: clearing its values, the three
// arrangements run when an ESC's settings arrive, and the window layouts.

#include <optional>

#include "form/form.h"
#include "settings/esc_info.h"

namespace settings {

// Empties the form's values after a write frame was built: the lists lose items and
// selection, the value edits their text. The governor edit and the calculator keep theirs.
void clearFormValues(form::Form& form, const EscInfo& esc);

// The arrangements run when an ESC's settings arrive (family 7: when it answers a link
// poll). Each shows, enabled, the controls whose values the family's frame carries with
// their captions and hides the others, so that no control the ESC lacks looks usable and
// none lies over the one that takes its place; they undo what another family's arrangement
// did before.
// Families 1 and 4: the governor value in place of list 1040, with the calculator.
void arrangeAirForm(form::Form& form, const EscInfo& esc);
// Families 5 and 6: five lists they lack stay shown but disabled; family 5's end-point
// edits take the places of lists 1060 and 1045.
void arrangeMultiBoatForm(form::Form& form, const EscInfo& esc);
// Family 7: three lists it lacks are hidden and disabled; list 1060 takes the room of the
// right-hand column for its longer entries.
void arrangeAbcForm(form::Form& form, const EscInfo& esc);
// Families 2, 3, 8 and 9: the lists and edits of the frame length, variant and major
// version at hand.
void arrangeCarForm(form::Form& form, const EscInfo& esc);

// The window's bottom edge as it was at the first layout that found it on the screen (or,
// for a window not shown yet, as the first layout placed it); every later layout centres
// the window with it, so repeated language switches do not walk the window down the
// screen.
enum class FamilyLayoutKind { Compact, Turbo };

struct LayoutMemory {
    std::optional<int> bottom;
    // The layout applied last; none before the first run.
    std::optional<FamilyLayoutKind> shown;
};

// Window sizes of the two layouts, in pixels.
inline constexpr form::Size kCompactWindowSize{750, 530};
inline constexpr form::Size kTurboWindowSize{615, 610};

// Sizes and centres the window and places the command area: the compact layout while no
// ESC is linked, the turbo layout for a linked family 3, nothing for other linked families.
void applyFamilyLayout(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory);

// The layout the link asks for: compact while no ESC is linked, turbo for a linked family
// 3, none (the current one stays) for other linked families.
std::optional<FamilyLayoutKind> wantedFamilyLayout(const EscInfo& esc, bool escLinked);
// Applies the family layout when the link asks for another one than the window shows, so
// a turbo ESC's advanced parameters appear as soon as it is linked (and disappear with
// the link), not only at the next change of language. True when it changed the layout.
bool followFamilyLayout(form::Form& form, const EscInfo& esc, bool escLinked, LayoutMemory& memory);

}  // namespace settings
