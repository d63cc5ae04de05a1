#pragma once
// The window's layout as plain data: every control of the main window (layout 102) and
// of the About box (layout 100) with its identifier, kind, layout caption, position in
// dialog units, initial visibility and styles; menu 129; and the spin set-up done at
// start-up. The Qt window creates its widgets from these tables and HeadlessForm its
// records, so both start alike.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "form/form.h"

namespace form {

// Dialog units convert to pixels at the same factor in both directions, so the pixel
// rectangles of the family layouts line up with the layout's controls.
inline constexpr int kPixelsPerDialogUnit = 2;

enum class ControlKind {
    Label,
    Edit,
    Combo,  // drop-down list: picks one of its own entries, no typing, no sorting
    Spin,   // up-down bound to a buddy edit
    Button,
    CheckBox,
    Group,  // group box with a caption
    Frame,  // plain frame without caption
    Progress,
    Picture,
};

// Style flags of a control.
enum ControlStyle : uint32_t {
    kStyleNone = 0,
    kStyleReadOnly = 1u << 0,       // edit: the user cannot type
    kStyleDigitsOnly = 1u << 1,     // edit: only digits may be typed
    kStyleNoThousands = 1u << 2,    // spin: buddy text without thousands separators
    kStyleArrowKeys = 1u << 3,      // spin: steps with the arrow keys too
    kStyleSetBuddyInt = 1u << 4,    // spin: writes its position into the buddy
    kStyleAlignRight = 1u << 5,     // spin: sits at the right edge of its buddy
    kStyleDefaultButton = 1u << 6,  // button: the dialog's default push button
    kStyleNoPrefix = 1u << 7,       // label: "&" shown as it is
    kStyleNotify = 1u << 8,         // label: reports clicks
    kStyleTabStop = 1u << 9,        // reached with the Tab key
};

// A position in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlSpec {
    ControlId id;
    ControlKind kind;
    std::string_view caption;  // layout caption; empty for none
    DialogRect position;
    bool visible;
    uint32_t styles;
    ControlId buddy;                // spins: the edit that shows the position; 0 for none
    std::string_view initialItems;  // combos: entries of the layout, "|"-separated; empty for none
};

struct SpinSetup {
    ControlId spin;
    ControlId buddy;
    int low;
    int high;
    int start;
    int step;
};

struct TopMenuSpec {
    int position;
    int id;  // identifier of the drop-down menu itself
    std::string_view caption;
    char accessKey;  // the key it takes when its caption and its neighbours allow
};

struct MenuEntrySpec {
    int topPosition;  // which drop-down (0 File, 1 Operation, 2 Help)
    int position;     // position inside the drop-down
    int commandId;
    std::string_view caption;
    char accessKey;  // the key it takes when its caption and its neighbours allow
};

struct DialogSpec {
    int layoutId;
    int widthDu;
    int heightDu;
    std::string_view title;
    std::span<const ControlSpec> controls;
};

// Layout 102 in its order, which is also the order of creation, tabbing and stacking
// (top first).
const DialogSpec& mainWindowLayout();
// Layout 100.
const DialogSpec& aboutBoxLayout();

// Menu 129.
inline constexpr int kMainMenuId = 129;
std::span<const TopMenuSpec> mainMenuTopEntries();
std::span<const MenuEntrySpec> mainMenuEntries();

// The access key a push button of either layout takes when its caption and its neighbours
// allow; 0 for none.
char buttonAccessKey(ControlId button);

// The label whose caption names a list or an edit (for screen readers); 0 for none.
ControlId captionLabelOf(ControlId control);

// The five calculator spins in the order they are set up.
std::span<const SpinSetup> calculatorSpinSetup();
// The six spins of the parameter form in the order they are set up.
std::span<const SpinSetup> parameterSpinSetup();

// The control of a layout with this identifier; nullptr when there is none.
const ControlSpec* findControl(const DialogSpec& dialog, ControlId id);
// A layout position in pixels (client coordinates).
Rect toPixels(const DialogRect& position);

// Sets up spins in the given order: range, step, then the start position (which writes
// the buddy's text).
void applySpinSetup(Form& form, std::span<const SpinSetup> spins);

// The position a spin takes from its buddy's text: a plain integer (an optional minus sign
// and digits, nothing else), kept inside low … high (either way round). Other text gives
// none, and the spin keeps its last position. Both forms read a buddy back with it.
std::optional<int> spinPositionFromText(std::string_view text, int low, int high);

}  // namespace form
