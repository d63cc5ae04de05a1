#pragma once
// The window's controls, addressed by their numeric identifiers. The settings model,
// the language code and the protocol controller see the window only through this
// interface; the Qt window and the in-memory HeadlessForm implement it from the same
// layout table, so both start alike. Texts are UTF-8. Geometry is in pixels: control
// rectangles in the window's client coordinates, the window rectangle in screen
// coordinates. A call naming an identifier the form does not have does nothing (and a
// query returns the empty value), as a window would.

#include <algorithm>
#include <cstdint>
#include <string>

namespace form {

using ControlId = int;

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// `rect` moved into `area`, and first made no larger than it.
inline Rect fitIntoArea(const Rect& rect, const Rect& area) {
    const int width = std::min(rect.width(), area.width());
    const int height = std::min(rect.height(), area.height());
    const int left = std::clamp(rect.left, area.left, area.right - width);
    const int top = std::clamp(rect.top, area.top, area.bottom - height);
    return Rect{left, top, left + width, top + height};
}

// The one font every child control uses (Windows-style description: the face, the cell
// height in pixels and the weight 100 … 900).
struct UiFont {
    std::string face;
    int pixelHeight = 0;
    int weight = 400;
    bool underline = false;
    friend bool operator==(const UiFont&, const UiFont&) = default;
};

enum class MenuItemState { Plain, Checked, Disabled, Missing };

class Form {
  public:
    virtual ~Form() = default;

    // Drop-down lists. Items keep the order they were added in; an item's position is its
    // value index. Selection -1 is "none"; selecting an index outside the list clears the
    // selection.
    virtual void clearItems(ControlId id) = 0;
    virtual void addItem(ControlId id, const std::string& text) = 0;
    virtual int itemCount(ControlId id) const = 0;
    virtual std::string itemText(ControlId id, int index) const = 0;
    virtual int selection(ControlId id) const = 0;
    virtual void setSelection(ControlId id, int index) = 0;

    // Captions of labels, group boxes and buttons; contents of edits.
    // Setting the text of a spin's buddy edit also moves the spin to the number it shows
    // (kept within the range; see spinPositionFromText), so the next step starts from the
    // value shown, whoever wrote it.
    virtual std::string text(ControlId id) const = 0;
    virtual void setText(ControlId id, const std::string& text) = 0;

    // Hiding, showing, disabling or enabling a spin's buddy edit does the same to the spin.
    virtual bool isVisible(ControlId id) const = 0;
    virtual void setVisible(ControlId id, bool visible) = 0;
    virtual bool isEnabled(ControlId id) const = 0;
    virtual void setEnabled(ControlId id, bool enabled) = 0;

    virtual Rect controlRect(ControlId id) const = 0;
    // Moves and sizes a control; the control is repainted.
    virtual void setControlRect(ControlId id, const Rect& rect) = 0;

    // Up-down controls. Setting the position also writes the buddy edit's text as a plain
    // integer; the position is kept within the range.
    virtual void setSpinRange(ControlId id, int low, int high) = 0;
    virtual int spinLow(ControlId id) const = 0;
    virtual int spinHigh(ControlId id) const = 0;
    virtual void setSpinStep(ControlId id, int step) = 0;
    virtual int spinStep(ControlId id) const = 0;
    virtual int spinPosition(ControlId id) const = 0;
    virtual void setSpinPosition(ControlId id, int position) = 0;

    // Progress bar 1023, painted by the program: `done` pixels in the highlight colour,
    // then `rest` pixels in the window colour.
    virtual void setProgressFill(ControlId id, int done, int rest) = 0;

    virtual void setFocus(ControlId id) = 0;
    virtual void repaint(ControlId id) = 0;

    // The whole window.
    virtual void setUiFont(const UiFont& font) = 0;
    virtual void setWindowTitle(const std::string& title) = 0;
    virtual Rect windowRect() const = 0;
    // Moves and sizes the window, shows it and raises it to the top of the Z order. The
    // window stays wholly inside the work area: one larger than the area is made as large
    // as the area, and its form scrolls.
    virtual void placeWindow(const Rect& rect) = 0;
    // True once the window is on the screen; before that its rectangle is not where it
    // will be shown.
    virtual bool windowShown() const = 0;
    // The part of the window's screen that windows may take (without task bars and
    // docks), in screen coordinates.
    virtual Rect workArea() const = 0;

    // Menu 129: the three top-level entries by position 0 … 2, the entries by command id.
    virtual void setTopMenuCaption(int position, const std::string& caption) = 0;
    virtual void setMenuItemCaption(int commandId, const std::string& caption) = 0;
    virtual void setMenuItemChecked(int commandId, bool checked) = 0;
    virtual MenuItemState menuItemState(int commandId) const = 0;
    virtual void redrawMenu() = 0;
};

}  // namespace form
