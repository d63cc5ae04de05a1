#include "form/headless_form.h"

#include <algorithm>

namespace form {
namespace {

std::vector<std::string> splitItems(std::string_view list) {
    std::vector<std::string> out;
    if (list.empty()) {
        return out;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = list.find('|', start);
        if (bar == std::string_view::npos) {
            out.emplace_back(list.substr(start));
            return out;
        }
        out.emplace_back(list.substr(start, bar - start));
        start = bar + 1;
    }
}

int clampToRange(int position, int low, int high) {
    return std::clamp(position, std::min(low, high), std::max(low, high));
}

}  // namespace

HeadlessForm::HeadlessForm(Size screen) : m_screen(screen) {
    const DialogSpec& layout = mainWindowLayout();
    for (const ControlSpec& entry : layout.controls) {
        Control c;
        c.kind = entry.kind;
        c.styles = entry.styles;
        c.buddy = entry.buddy;
        c.text = std::string(entry.caption);
        c.visible = entry.visible;
        c.rect = toPixels(entry.position);
        c.items = splitItems(entry.initialItems);
        m_controls.emplace(entry.id, std::move(c));
    }
    for (const TopMenuSpec& top : mainMenuTopEntries()) {
        if (static_cast<std::size_t>(top.position) >= m_topMenu.size()) {
            m_topMenu.resize(static_cast<std::size_t>(top.position) + 1);
        }
        m_topMenu[static_cast<std::size_t>(top.position)] = std::string(top.caption);
    }
    for (const MenuEntrySpec& entry : mainMenuEntries()) {
        m_menu[entry.commandId] = MenuItem{std::string(entry.caption), MenuItemState::Plain};
    }
    m_title = std::string(layout.title);
    // Centred on the screen, as the dialog opens.
    const int width = layout.widthDu * kPixelsPerDialogUnit;
    const int height = layout.heightDu * kPixelsPerDialogUnit;
    const int left = (m_screen.width - width) / 2;
    const int top = (m_screen.height - height) / 2;
    m_windowRect = Rect{left, top, left + width, top + height};
    applySpinSetup(*this, calculatorSpinSetup());
    applySpinSetup(*this, parameterSpinSetup());
}

HeadlessForm::Control* HeadlessForm::find(ControlId id) {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

const HeadlessForm::Control* HeadlessForm::find(ControlId id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

HeadlessForm::Control* HeadlessForm::spinOfBuddy(ControlId edit) {
    for (auto& [id, c] : m_controls) {
        if (c.kind == ControlKind::Spin && c.buddy == edit && edit != 0) {
            return &c;
        }
    }
    return nullptr;
}

void HeadlessForm::clearItems(ControlId id) {
    if (Control* c = find(id)) {
        c->items.clear();
        c->selection = -1;
    }
}

void HeadlessForm::addItem(ControlId id, const std::string& text) {
    if (Control* c = find(id)) {
        c->items.push_back(text);
    }
}

int HeadlessForm::itemCount(ControlId id) const {
    const Control* c = find(id);
    return c ? static_cast<int>(c->items.size()) : 0;
}

std::string HeadlessForm::itemText(ControlId id, int index) const {
    const Control* c = find(id);
    if (!c || index < 0 || index >= static_cast<int>(c->items.size())) {
        return {};
    }
    return c->items[static_cast<std::size_t>(index)];
}

int HeadlessForm::selection(ControlId id) const {
    const Control* c = find(id);
    return c ? c->selection : -1;
}

void HeadlessForm::setSelection(ControlId id, int index) {
    if (Control* c = find(id)) {
        c->selection = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
    }
}

std::string HeadlessForm::text(ControlId id) const {
    const Control* c = find(id);
    if (!c) {
        return {};
    }
    if (c->kind == ControlKind::Combo) {
        // A drop-down list shows its selected entry.
        return itemText(id, c->selection);
    }
    return c->text;
}

void HeadlessForm::setText(ControlId id, const std::string& text) {
    Control* c = find(id);
    if (!c || c->kind == ControlKind::Combo || c->kind == ControlKind::Spin) {
        return;
    }
    c->text = text;
    // A spin reads its position back from its buddy; text that is no number leaves the
    // last valid position.
    if (Control* spin = spinOfBuddy(id)) {
        if (const auto position = spinPositionFromText(text, spin->spinLow, spin->spinHigh)) {
            spin->spinPosition = *position;
        }
    }
}

bool HeadlessForm::isVisible(ControlId id) const {
    const Control* c = find(id);
    return c && c->visible;
}

void HeadlessForm::setVisible(ControlId id, bool visible) {
    if (Control* c = find(id)) {
        c->visible = visible;
    }
    // An edit's spin shows and hides with it.
    if (Control* spin = spinOfBuddy(id)) {
        spin->visible = visible;
    }
}

bool HeadlessForm::isEnabled(ControlId id) const {
    const Control* c = find(id);
    return c && c->enabled;
}

void HeadlessForm::setEnabled(ControlId id, bool enabled) {
    if (Control* c = find(id)) {
        c->enabled = enabled;
    }
    // A disabled edit cannot be changed by its spin either.
    if (Control* spin = spinOfBuddy(id)) {
        spin->enabled = enabled;
    }
}

Rect HeadlessForm::controlRect(ControlId id) const {
    const Control* c = find(id);
    return c ? c->rect : Rect{};
}

void HeadlessForm::setControlRect(ControlId id, const Rect& rect) {
    if (Control* c = find(id)) {
        c->rect = rect;
        ++c->repaints;
    }
}

void HeadlessForm::setSpinRange(ControlId id, int low, int high) {
    Control* c = find(id);
    if (!c || c->kind != ControlKind::Spin) {
        return;
    }
    c->spinLow = low;
    c->spinHigh = high;
    c->spinPosition = clampToRange(c->spinPosition, low, high);
}

int HeadlessForm::spinLow(ControlId id) const {
    const Control* c = find(id);
    return c && c->kind == ControlKind::Spin ? c->spinLow : 0;
}

int HeadlessForm::spinHigh(ControlId id) const {
    const Control* c = find(id);
    return c && c->kind == ControlKind::Spin ? c->spinHigh : 0;
}

void HeadlessForm::setSpinStep(ControlId id, int step) {
    Control* c = find(id);
    if (c && c->kind == ControlKind::Spin) {
        c->spinStep = step;
    }
}

int HeadlessForm::spinStep(ControlId id) const {
    const Control* c = find(id);
    return c && c->kind == ControlKind::Spin ? c->spinStep : 0;
}

int HeadlessForm::spinPosition(ControlId id) const {
    const Control* c = find(id);
    return c && c->kind == ControlKind::Spin ? c->spinPosition : 0;
}

void HeadlessForm::setSpinPosition(ControlId id, int position) {
    Control* c = find(id);
    if (!c || c->kind != ControlKind::Spin) {
        return;
    }
    c->spinPosition = clampToRange(position, c->spinLow, c->spinHigh);
    if (Control* buddy = find(c->buddy); buddy && c->buddy != 0) {
        buddy->text = std::to_string(c->spinPosition);
    }
}

void HeadlessForm::setProgressFill(ControlId id, int done, int rest) {
    if (Control* c = find(id)) {
        c->fill = ProgressFill{done, rest};
        ++c->repaints;
    }
}

void HeadlessForm::setFocus(ControlId id) {
    if (find(id)) {
        m_focus = id;
    }
}

void HeadlessForm::repaint(ControlId id) {
    if (Control* c = find(id)) {
        ++c->repaints;
    }
}

void HeadlessForm::setUiFont(const UiFont& font) {
    m_uiFont = font;
    ++m_uiFontChanges;
}

void HeadlessForm::setWindowTitle(const std::string& title) {
    m_title = title;
}

Rect HeadlessForm::windowRect() const {
    return m_windowRect;
}

void HeadlessForm::placeWindow(const Rect& rect) {
    m_windowRect = fitIntoArea(rect, workArea());
    m_windowShown = true;
    ++m_windowPlacements;
}

void HeadlessForm::setTopMenuCaption(int position, const std::string& caption) {
    if (position >= 0 && position < static_cast<int>(m_topMenu.size())) {
        m_topMenu[static_cast<std::size_t>(position)] = caption;
    }
}

void HeadlessForm::setMenuItemCaption(int commandId, const std::string& caption) {
    const auto it = m_menu.find(commandId);
    if (it != m_menu.end() && it->second.state != MenuItemState::Missing) {
        it->second.caption = caption;
    }
}

void HeadlessForm::setMenuItemChecked(int commandId, bool checked) {
    const auto it = m_menu.find(commandId);
    if (it == m_menu.end()) {
        return;
    }
    MenuItemState& state = it->second.state;
    if (state == MenuItemState::Plain || state == MenuItemState::Checked) {
        state = checked ? MenuItemState::Checked : MenuItemState::Plain;
    }
}

MenuItemState HeadlessForm::menuItemState(int commandId) const {
    const auto it = m_menu.find(commandId);
    return it == m_menu.end() ? MenuItemState::Missing : it->second.state;
}

void HeadlessForm::redrawMenu() {
    ++m_menuRedraws;
}

bool HeadlessForm::hasControl(ControlId id) const {
    return find(id) != nullptr;
}

std::vector<std::string> HeadlessForm::items(ControlId id) const {
    const Control* c = find(id);
    return c ? c->items : std::vector<std::string>{};
}

ControlKind HeadlessForm::kind(ControlId id) const {
    const Control* c = find(id);
    return c ? c->kind : ControlKind::Label;
}

uint32_t HeadlessForm::styles(ControlId id) const {
    const Control* c = find(id);
    return c ? c->styles : 0;
}

ControlId HeadlessForm::buddyOf(ControlId spin) const {
    const Control* c = find(spin);
    return c && c->kind == ControlKind::Spin ? c->buddy : 0;
}

int HeadlessForm::repaintCount(ControlId id) const {
    const Control* c = find(id);
    return c ? c->repaints : 0;
}

HeadlessForm::ProgressFill HeadlessForm::progressFill(ControlId id) const {
    const Control* c = find(id);
    return c ? c->fill : ProgressFill{};
}

std::string HeadlessForm::topMenuCaption(int position) const {
    if (position < 0 || position >= static_cast<int>(m_topMenu.size())) {
        return {};
    }
    return m_topMenu[static_cast<std::size_t>(position)];
}

std::string HeadlessForm::menuItemCaption(int commandId) const {
    const auto it = m_menu.find(commandId);
    return it == m_menu.end() ? std::string{} : it->second.caption;
}

void HeadlessForm::setMenuItemState(int commandId, MenuItemState state) {
    if (state == MenuItemState::Missing) {
        m_menu.erase(commandId);
        return;
    }
    auto& item = m_menu[commandId];
    item.state = state;
}

}  // namespace form
