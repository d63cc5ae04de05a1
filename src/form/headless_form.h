#pragma once
// An in-memory Form built from the main window's layout table: every control starts with
// the table's caption, visibility, items and pixel rectangle, every spin with the range,
// step and position of the start-up set-up. Used by the CLI and by tests, which also read
// what a window would show: the UI font, the title, the menu, repaints and progress fill.

#include <map>
#include <string>
#include <vector>

#include "form/form.h"
#include "form/layout.h"

namespace form {

class HeadlessForm : public Form {
  public:
    static constexpr Size kDefaultScreen{1920, 1080};

    explicit HeadlessForm(Size screen = kDefaultScreen);

    // Form
    void clearItems(ControlId id) override;
    void addItem(ControlId id, const std::string& text) override;
    int itemCount(ControlId id) const override;
    std::string itemText(ControlId id, int index) const override;
    int selection(ControlId id) const override;
    void setSelection(ControlId id, int index) override;
    std::string text(ControlId id) const override;
    void setText(ControlId id, const std::string& text) override;
    bool isVisible(ControlId id) const override;
    void setVisible(ControlId id, bool visible) override;
    bool isEnabled(ControlId id) const override;
    void setEnabled(ControlId id, bool enabled) override;
    Rect controlRect(ControlId id) const override;
    void setControlRect(ControlId id, const Rect& rect) override;
    void setSpinRange(ControlId id, int low, int high) override;
    int spinLow(ControlId id) const override;
    int spinHigh(ControlId id) const override;
    void setSpinStep(ControlId id, int step) override;
    int spinStep(ControlId id) const override;
    int spinPosition(ControlId id) const override;
    void setSpinPosition(ControlId id, int position) override;
    void setProgressFill(ControlId id, int done, int rest) override;
    void setFocus(ControlId id) override;
    void repaint(ControlId id) override;
    void setUiFont(const UiFont& font) override;
    void setWindowTitle(const std::string& title) override;
    Rect windowRect() const override;
    void placeWindow(const Rect& rect) override;
    bool windowShown() const override { return m_windowShown; }
    Rect workArea() const override { return Rect{0, 0, m_screen.width, m_screen.height}; }
    void setTopMenuCaption(int position, const std::string& caption) override;
    void setMenuItemCaption(int commandId, const std::string& caption) override;
    void setMenuItemChecked(int commandId, bool checked) override;
    MenuItemState menuItemState(int commandId) const override;
    void redrawMenu() override;

    // What the window would show.
    bool hasControl(ControlId id) const;
    std::vector<std::string> items(ControlId id) const;
    ControlKind kind(ControlId id) const;  // Label for an unknown identifier
    uint32_t styles(ControlId id) const;
    ControlId buddyOf(ControlId spin) const;  // 0 when none
    int repaintCount(ControlId id) const;
    struct ProgressFill {
        int done = 0;
        int rest = 0;
    };
    ProgressFill progressFill(ControlId id) const;
    ControlId focus() const { return m_focus; }
    const UiFont& uiFont() const { return m_uiFont; }
    int uiFontChanges() const { return m_uiFontChanges; }
    const std::string& windowTitle() const { return m_title; }
    int windowPlacements() const { return m_windowPlacements; }
    std::string topMenuCaption(int position) const;
    std::string menuItemCaption(int commandId) const;
    int menuRedraws() const { return m_menuRedraws; }

    // Test and CLI set-up: a menu entry greyed or removed, a different screen, a window
    // rectangle moved by the user, a window not shown yet (placing it shows it).
    void setMenuItemState(int commandId, MenuItemState state);
    void setScreenSize(Size screen) { m_screen = screen; }
    void setWindowRect(const Rect& rect) { m_windowRect = rect; }
    void setWindowShown(bool shown) { m_windowShown = shown; }

  private:
    struct Control {
        ControlKind kind = ControlKind::Label;
        uint32_t styles = 0;
        ControlId buddy = 0;
        std::string text;
        bool visible = false;
        bool enabled = true;
        Rect rect;
        std::vector<std::string> items;
        int selection = -1;
        int spinLow = 0;
        int spinHigh = 100;
        int spinStep = 1;
        int spinPosition = 0;
        int repaints = 0;
        ProgressFill fill;
    };
    struct MenuItem {
        std::string caption;
        MenuItemState state = MenuItemState::Plain;
    };

    Control* find(ControlId id);
    const Control* find(ControlId id) const;
    // The spin whose buddy is `edit`, or nullptr.
    Control* spinOfBuddy(ControlId edit);

    std::map<ControlId, Control> m_controls;
    std::map<int, MenuItem> m_menu;
    std::vector<std::string> m_topMenu;
    Size m_screen;
    Rect m_windowRect;
    bool m_windowShown = true;
    UiFont m_uiFont;
    int m_uiFontChanges = 0;
    std::string m_title;
    int m_windowPlacements = 0;
    int m_menuRedraws = 0;
    ControlId m_focus = 0;
};

}  // namespace form
