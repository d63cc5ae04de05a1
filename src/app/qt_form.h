#pragma once
// The Form seam on Qt widgets, built from the layout table: one widget per control at
// its layout position (2 pixels per dialog unit), the menu, and the window's font,
// title and placement. The toolbar sits above the form area; the family layouts' window
// rectangles are taken without it, so their arithmetic holds, and the window never
// shrinks below what its visible controls need.

#include <QDialog>
#include <QFontMetrics>
#include <QHash>
#include <QMenuBar>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "form/form.h"
#include "form/layout.h"

class QAction;
class QComboBox;

namespace app {

class UpDown;

// The client area under menu bar and toolbar; `paintOverlay`, when set, paints over its
// background.
class FormCanvas final : public QWidget {
    Q_OBJECT
  public:
    explicit FormCanvas(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> paintOverlay;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Progress bar 1023: the program paints `done` pixels in the highlight colour, then
// `rest` pixels in the base colour; in light and dark palettes alike the filled part and the
// frame stand out from what lies around them. Screen readers read it as a progress bar.
class ProgressStrip final : public QWidget {
    Q_OBJECT
  public:
    explicit ProgressStrip(QWidget* parent) : QWidget(parent) {}
    void setFill(int done, int rest);
    int done() const { return m_done; }
    int rest() const { return m_rest; }
    // The filled share of the painted length, 0 … 100.
    int percent() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_done = 0;
    int m_rest = 0;
};

class QtForm final : public QObject, public form::Form {
    Q_OBJECT
  public:
    // Builds every control of `layout` on `canvas`, and the menu into `menuBar` (may be
    // nullptr for dialogs without a menu). `window` is the top-level dialog.
    QtForm(QDialog* window, FormCanvas* canvas, QMenuBar* menuBar, const form::DialogSpec& layout,
           int toolbarHeight);

    QWidget* widget(form::ControlId id) const { return m_widgets.value(id); }
    QAction* menuAction(int commandId) const { return m_actions.value(commandId); }
    // The drop-down menu at `position` of the menu bar (null when there is none).
    QMenu* topMenu(int position) const { return m_topMenus.value(position); }
    FormCanvas* canvas() const { return m_canvas; }
    // Greys the controls `ids` (and their spins), or shows them as they are again, without
    // changing what isEnabled() says of them: the family arrangements go on enabling and
    // disabling them underneath, and that is what shows once they are no longer greyed.
    void setGreyed(std::span<const form::ControlId> ids, bool greyed);
    bool isGreyed(form::ControlId id) const { return m_greyed.contains(id); }
    // A colouring rule for an edit's text, re-evaluated at every repaint of it and at every
    // change of the palette. The colour is shown in the shade of it that is readable on the
    // edit's background.
    void setTextColourRule(form::ControlId id, std::function<QColor(const QString&)> rule);

    // Menu captions as they were given, without the access keys the menu shows.
    std::string topMenuCaption(int position) const;
    std::string menuItemCaption(int commandId) const;
    // Captions a menu the window added to a drop-down of the menu bar; it takes `accessKey`
    // when that is free in the drop-down.
    void setSubmenuCaption(QMenu* submenu, const std::string& caption, char accessKey);
    // The widgets Tab reaches before the form's controls (the toolbar's buttons).
    void setLeadingTabStops(const QList<QWidget*>& widgets);
    // Screen-reader texts of the current language: the names of the controls no label
    // captions (by identifier), and the form of a spin's name, "%1" standing for the name
    // of its edit.
    void setAccessibleTexts(const QHash<form::ControlId, QString>& names,
                            const QString& spinNameFormat);

    // Form
    void clearItems(form::ControlId id) override;
    void addItem(form::ControlId id, const std::string& text) override;
    int itemCount(form::ControlId id) const override;
    std::string itemText(form::ControlId id, int index) const override;
    int selection(form::ControlId id) const override;
    void setSelection(form::ControlId id, int index) override;
    std::string text(form::ControlId id) const override;
    void setText(form::ControlId id, const std::string& text) override;
    bool isVisible(form::ControlId id) const override;
    void setVisible(form::ControlId id, bool visible) override;
    bool isEnabled(form::ControlId id) const override;
    void setEnabled(form::ControlId id, bool enabled) override;
    form::Rect controlRect(form::ControlId id) const override;
    void setControlRect(form::ControlId id, const form::Rect& rect) override;
    void setSpinRange(form::ControlId id, int low, int high) override;
    int spinLow(form::ControlId id) const override;
    int spinHigh(form::ControlId id) const override;
    void setSpinStep(form::ControlId id, int step) override;
    int spinStep(form::ControlId id) const override;
    int spinPosition(form::ControlId id) const override;
    void setSpinPosition(form::ControlId id, int position) override;
    void setProgressFill(form::ControlId id, int done, int rest) override;
    void setFocus(form::ControlId id) override;
    void repaint(form::ControlId id) override;
    void setUiFont(const form::UiFont& font) override;
    void setWindowTitle(const std::string& title) override;
    form::Rect windowRect() const override;
    void placeWindow(const form::Rect& rect) override;
    bool windowShown() const override;
    form::Rect workArea() const override;
    void setTopMenuCaption(int position, const std::string& caption) override;
    void setMenuItemCaption(int commandId, const std::string& caption) override;
    void setMenuItemChecked(int commandId, bool checked) override;
    form::MenuItemState menuItemState(int commandId) const override;
    void redrawMenu() override;

    // The window size that shows every visible control of the form area.
    QSize contentSize() const;

  signals:
    // A push button or a menu entry issued its command.
    void commandIssued(int commandId);
    // An up-down is about to move from `current` by `delta`.
    void spinAboutToStep(form::ControlId spin, int current, int delta);

  private:
    UpDown* spin(form::ControlId id) const;
    void enableWidget(form::ControlId id, bool enabled);
    // The state the control was last given, apart from greying (and, for a list, from
    // having entries).
    bool ownEnabled(form::ControlId id) const;
    // The spin whose buddy is the edit `id`; null when it has none.
    UpDown* spinOfBuddy(form::ControlId id) const;
    void buildControls(const form::DialogSpec& layout);
    // A list without an entry that says anything cannot be used: it is disabled until it
    // has one, and then takes the state it was last given.
    void followEntries(QComboBox* combo);
    void buildMenu(QMenuBar* menuBar);
    // Gives the menu bar's entries and the push buttons, or the entries of `menu`, access
    // keys unique among them.
    void markWindowAccessKeys();
    void markAccessKeys(QMenu* menu);
    // Names a list, an edit or its spin after its caption label, or by the names given.
    void nameControl(form::ControlId id);
    // Tab takes the leading widgets, then the form's controls in reading order.
    void updateTabOrder();
    // F10: the first drop-down of the menu bar opens, for the arrow keys to go on.
    void openMenuBar();
    void applyColourRule(form::ControlId id);
    // The window's frame around its client area (none before it is shown on some systems).
    QMargins frameMargins() const;
    // The client size that shows the whole form area without scrolling.
    QSize wholeFormSize() const;
    // Makes the window no larger than the work area and moves it wholly inside.
    void keepInsideWorkArea();
    // Takes the form area's least size from its visible controls; when it grows on a shown
    // window, the window grows to show it (once control returns to the event loop).
    void updateFormSize();
    // Grows a shown window that no longer shows its whole form (the form or the menu bar
    // grew) as far as the work area allows; never shrinks it.
    void fitToForm();
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The font's pixel size follows the texts shown: the largest size, up to the one the
    // language asks for, at which every visible caption, list entry and read-only value
    // fits its control. A face that is missing is replaced by whatever the system has, whose
    // letters may be wider; the texts still fit, in smaller letters.
    QFont fontOfSize(int pixelSize) const;
    const QFontMetrics& metricsOfSize(int pixelSize) const;
    // Whether the text `w` shows fits it in letters of `pixelSize`.
    bool textsFit(QWidget* w, int pixelSize) const;
    // The largest size at which `w`'s texts fit (the smallest size when none does).
    int sizeNeededBy(QWidget* w) const;
    // `w`'s texts changed (or its size): its own size is found again and the font follows.
    void refitFor(QWidget* w);
    // Gives the controls the sizes their texts can take.
    void applyFittedSize();

    QDialog* m_window;
    FormCanvas* m_canvas;
    QMenuBar* m_menuBar;
    int m_toolbarHeight;
    QHash<form::ControlId, QWidget*> m_widgets;
    std::vector<form::ControlId> m_layoutOrder;
    QHash<form::ControlId, form::ControlKind> m_kinds;
    QSet<form::ControlId> m_tabStops;  // the layout's; Tab passes those hidden or covered
    // Label → the controls it captions.
    QHash<form::ControlId, QList<form::ControlId>> m_captioned;
    QHash<form::ControlId, QString> m_fixedNames;
    QString m_spinNameFormat = QStringLiteral("%1");
    QList<QPointer<QWidget>> m_leadingTabStops;
    std::vector<form::ControlId> m_tabOrder;
    bool m_tabOrderStale = true;
    bool m_colouring = false;
    QHash<form::ControlId, form::ControlId> m_spinOfBuddy;
    QHash<int, QAction*> m_actions;
    QList<QMenu*> m_topMenus;
    QHash<form::ControlId, std::function<QColor(const QString&)>> m_colourRules;
    bool m_fitPending = false;
    // The greyed controls, each with the enabled state it has of its own.
    QHash<form::ControlId, bool> m_greyed;
    QHash<QComboBox*, bool> m_listsDisabled;  // lists disabled by setEnabled
    QFont m_baseFont;
    int m_largestSize = 0;  // the language's size; 0 before a font was set
    int m_smallestSize = 0;
    QHash<QWidget*, int> m_neededSize;
    mutable std::map<int, QFontMetrics> m_metrics;
};

}  // namespace app
