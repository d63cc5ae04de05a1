#pragma once
// A headless form that counts what is done to it: every call that changes the form (a
// write), and among them the window placements and control moves of a layout.

#include <string>

#include "form/headless_form.h"

namespace testing_support {

class CountingForm : public form::HeadlessForm {
  public:
    int writes = 0;
    int placements = 0;  // placeWindow
    int moves = 0;       // setControlRect

    void clearItems(form::ControlId id) override {
        ++writes;
        HeadlessForm::clearItems(id);
    }
    void addItem(form::ControlId id, const std::string& text) override {
        ++writes;
        HeadlessForm::addItem(id, text);
    }
    void setSelection(form::ControlId id, int index) override {
        ++writes;
        HeadlessForm::setSelection(id, index);
    }
    void setText(form::ControlId id, const std::string& text) override {
        ++writes;
        HeadlessForm::setText(id, text);
    }
    void setVisible(form::ControlId id, bool visible) override {
        ++writes;
        HeadlessForm::setVisible(id, visible);
    }
    void setEnabled(form::ControlId id, bool enabled) override {
        ++writes;
        HeadlessForm::setEnabled(id, enabled);
    }
    void setControlRect(form::ControlId id, const form::Rect& rect) override {
        ++writes;
        ++moves;
        HeadlessForm::setControlRect(id, rect);
    }
    void setSpinRange(form::ControlId id, int low, int high) override {
        ++writes;
        HeadlessForm::setSpinRange(id, low, high);
    }
    void setSpinStep(form::ControlId id, int step) override {
        ++writes;
        HeadlessForm::setSpinStep(id, step);
    }
    void setSpinPosition(form::ControlId id, int position) override {
        ++writes;
        HeadlessForm::setSpinPosition(id, position);
    }
    void setProgressFill(form::ControlId id, int done, int rest) override {
        ++writes;
        HeadlessForm::setProgressFill(id, done, rest);
    }
    void repaint(form::ControlId id) override {
        ++writes;
        HeadlessForm::repaint(id);
    }
    void setUiFont(const form::UiFont& font) override {
        ++writes;
        HeadlessForm::setUiFont(font);
    }
    void setWindowTitle(const std::string& title) override {
        ++writes;
        HeadlessForm::setWindowTitle(title);
    }
    void placeWindow(const form::Rect& rect) override {
        ++writes;
        ++placements;
        HeadlessForm::placeWindow(rect);
    }
    void setTopMenuCaption(int position, const std::string& caption) override {
        ++writes;
        HeadlessForm::setTopMenuCaption(position, caption);
    }
    void setMenuItemCaption(int commandId, const std::string& caption) override {
        ++writes;
        HeadlessForm::setMenuItemCaption(commandId, caption);
    }
    void setMenuItemChecked(int commandId, bool checked) override {
        ++writes;
        HeadlessForm::setMenuItemChecked(commandId, checked);
    }
    void redrawMenu() override {
        ++writes;
        HeadlessForm::redrawMenu();
    }

    void resetCounts() { writes = placements = moves = 0; }
};

}  // namespace testing_support
