#include "app/qt_form.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <algorithm>

#include "app/accessibility.h"
#include "app/contrast.h"
#include "app/up_down.h"
#include "form/access_keys.h"
#include "form/control_ids.h"
#include "form/reading_order.h"

namespace app {

namespace {

constexpr int kContentMargin = 8;  // pixels kept free right of and below the last control
// A line edit keeps this many pixels free on either side of its text.
constexpr int kLineEditTextMargin = 2;
// The smallest letters the form is given to make its texts fit, in pixels.
constexpr int kSmallestPixelSize = 9;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QRect toQRect(const form::Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}
form::Rect fromQRect(const QRect& r) {
    return form::Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The key a menu entry or push button takes when free (a property of the entry's action or
// of the button).
constexpr const char* kAccessKeyHint = "tessaroAccessKey";

// A caption shown as it is, without an access key: a literal "&" doubled.
QString withoutAccessKey(const std::string& caption) {
    return fromUtf8(caption).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString shownCaption(const QObject* item) {
    if (auto* action = qobject_cast<const QAction*>(item))
        return action->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(item))
        return button->text();
    return {};
}

void showCaption(QObject* item, const QString& marked) {
    if (auto* action = qobject_cast<QAction*>(item)) {
        action->setText(marked);
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setText(marked);
        // Read out as the caption reads, without the bracketed key.
        button->setAccessibleName(fromUtf8(form::stripAccessKey(toUtf8(marked))));
    }
}

// Unique access keys over `items` (actions or buttons), from the captions they show.
void markItems(const QList<QObject*>& items) {
    std::vector<std::string> plain;
    plain.reserve(static_cast<std::size_t>(items.size()));
    for (const QObject* item : items)
        plain.push_back(form::stripAccessKey(toUtf8(shownCaption(item))));
    std::vector<form::AccessKeyItem> keyed;
    keyed.reserve(plain.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        keyed.push_back({plain[static_cast<std::size_t>(i)],
                         static_cast<char>(items[i]->property(kAccessKeyHint).toInt())});
    }
    const std::vector<std::string> marked = form::markAccessKeys(keyed);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString text = fromUtf8(marked[static_cast<std::size_t>(i)]);
        if (shownCaption(items[i]) != text)
            showCaption(items[i], text);
    }
}

}  // namespace

void FormCanvas::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (paintOverlay) {
        QPainter painter(this);
        paintOverlay(painter);
    }
}

void ProgressStrip::setFill(int done, int rest) {
    const int before = percent();
    m_done = std::max(0, done);
    m_rest = std::max(0, rest);
    update();
    if (percent() != before && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, percent());
        QAccessible::updateAccessibility(&event);
    }
}

int ProgressStrip::percent() const {
    const long long total = static_cast<long long>(m_done) + m_rest;
    return total > 0 ? static_cast<int>(m_done * 100LL / total) : 0;
}

void ProgressStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect().adjusted(1, 1, -1, -1);
    const QColor base = palette().color(QPalette::Base);
    // The frame stands out from the window, the filled part from the part still to come.
    painter.setPen(readableOn(palette().color(QPalette::Mid), palette().color(QPalette::Window),
                              kGraphicContrast));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const int done = std::min(m_done, area.width());
    painter.fillRect(QRect(area.left(), area.top(), done, area.height()),
                     readableOn(palette().color(QPalette::Highlight), base, kGraphicContrast));
    const int rest = std::min(m_rest, area.width() - done);
    painter.fillRect(QRect(area.left() + done, area.top(), rest, area.height()), base);
}

QtForm::QtForm(QDialog* window, FormCanvas* canvas, QMenuBar* menuBar,
               const form::DialogSpec& layout, int toolbarHeight)
    : QObject(window),
      m_window(window),
      m_canvas(canvas),
      m_menuBar(menuBar),
      m_toolbarHeight(toolbarHeight) {
    installAccessibleInterfaces();
    buildControls(layout);
    if (m_menuBar) {
        buildMenu(m_menuBar);
        // Captions of another language may make the menu bar taller.
        m_menuBar->installEventFilter(this);
    }
    markWindowAccessKeys();
}

bool QtForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_menuBar && event->type() == QEvent::Resize && !m_fitPending &&
        m_window->isVisible()) {
        m_fitPending = true;
        QTimer::singleShot(0, this, &QtForm::fitToForm);
    }
    // A new palette (light or dark) changes the background a coloured text is read on.
    if (event->type() == QEvent::PaletteChange) {
        for (auto it = m_colourRules.cbegin(); it != m_colourRules.cend(); ++it) {
            if (m_widgets.value(it.key()) == watched)
                applyColourRule(it.key());
        }
    }
    return QObject::eventFilter(watched, event);
}

void QtForm::updateFormSize() {
    const QSize before = m_canvas->minimumSize();
    m_canvas->setMinimumSize(contentSize());
    const QSize now = m_canvas->minimumSize();
    if ((now.width() > before.width() || now.height() > before.height()) && !m_fitPending &&
        m_window->isVisible()) {
        m_fitPending = true;
        QTimer::singleShot(0, this, &QtForm::fitToForm);
    }
}

void QtForm::fitToForm() {
    m_fitPending = false;
    if (!m_window->isVisible() ||
        (m_window->windowState() &
         (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    const QSize client = m_window->size();
    const QSize whole = client.expandedTo(wholeFormSize());
    if (whole == client)
        return;
    m_window->resize(whole);
    keepInsideWorkArea();
}

void QtForm::buildControls(const form::DialogSpec& layout) {
    using form::ControlKind;
    for (const form::ControlSpec& entry : layout.controls) {
        QWidget* w = nullptr;
        const QString caption =
            QString::fromUtf8(entry.caption.data(), static_cast<qsizetype>(entry.caption.size()));
        switch (entry.kind) {
            case ControlKind::Label: {
                auto* label = new QLabel(caption, m_canvas);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                w = label;
                break;
            }
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(caption, m_canvas);
                edit->setReadOnly((entry.styles & form::kStyleReadOnly) != 0);
                if (entry.styles & form::kStyleDigitsOnly) {
                    edit->setValidator(
                        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
                }
                const form::ControlId id = entry.id;
                connect(edit, &QLineEdit::textChanged, this, [this, id] { applyColourRule(id); });
                w = edit;
                break;
            }
            case ControlKind::Combo: {
                auto* combo = new QComboBox(m_canvas);
                nameListByCaption(combo);
                combo->setEditable(false);
                combo->setInsertPolicy(QComboBox::NoInsert);
                if (!entry.initialItems.empty()) {
                    combo->addItems(
                        QString::fromUtf8(entry.initialItems.data(),
                                          static_cast<qsizetype>(entry.initialItems.size()))
                            .split('|'));
                    combo->setCurrentIndex(-1);
                }
                followEntries(combo);
                w = combo;
                break;
            }
            case ControlKind::Spin: {
                auto* upDown = new UpDown(m_canvas, (entry.styles & form::kStyleArrowKeys) != 0);
                const form::ControlId id = entry.id;
                connect(upDown, &UpDown::aboutToStep, this, [this, id](int current, int delta) {
                    emit spinAboutToStep(id, current, delta);
                });
                w = upDown;
                break;
            }
            case ControlKind::Button: {
                auto* button =
                    new QPushButton(withoutAccessKey(std::string(entry.caption)), m_canvas);
                button->setProperty(kAccessKeyHint,
                                    static_cast<int>(form::buttonAccessKey(entry.id)));
                button->setAutoDefault(false);
                button->setDefault((entry.styles & form::kStyleDefaultButton) != 0);
                const form::ControlId id = entry.id;
                connect(button, &QPushButton::clicked, this,
                        [this, id] { emit commandIssued(id); });
                w = button;
                break;
            }
            case ControlKind::CheckBox:
                w = new QCheckBox(withoutAccessKey(std::string(entry.caption)), m_canvas);
                break;
            case ControlKind::Group:
                w = new QGroupBox(caption, m_canvas);
                break;
            case ControlKind::Frame: {
                auto* frame = new QFrame(m_canvas);
                frame->setFrameShape(QFrame::Box);
                frame->setFrameShadow(QFrame::Sunken);
                w = frame;
                break;
            }
            case ControlKind::Progress:
                w = new ProgressStrip(m_canvas);
                break;
            case ControlKind::Picture: {
                auto* picture = new QLabel(m_canvas);
                picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                w = picture;
                break;
            }
        }
        w->setObjectName(QStringLiteral("c%1").arg(entry.id));
        w->setGeometry(toQRect(form::toPixels(entry.position)));
        w->setFocusPolicy((entry.styles & form::kStyleTabStop) ? Qt::StrongFocus : Qt::NoFocus);
        if (entry.styles & form::kStyleTabStop)
            m_tabStops.insert(entry.id);
        // What only shows lets clicks through to what lies beneath (the status field under
        // the progress strip).
        if (entry.kind == ControlKind::Picture || entry.kind == ControlKind::Frame ||
            entry.kind == ControlKind::Group || entry.kind == ControlKind::Progress) {
            w->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        w->setVisible(entry.visible);
        m_widgets.insert(entry.id, w);
        m_layoutOrder.push_back(entry.id);
        m_kinds.insert(entry.id, entry.kind);
    }
    // Spins sit at the right edge of their buddies.
    for (const form::ControlSpec& entry : layout.controls) {
        if (entry.kind != form::ControlKind::Spin || entry.buddy == 0)
            continue;
        UpDown* upDown = spin(entry.id);
        upDown->setBuddy(qobject_cast<QLineEdit*>(m_widgets.value(entry.buddy)));
        m_spinOfBuddy.insert(entry.buddy, entry.id);
        upDown->attachToBuddy();
        upDown->setVisible(entry.visible);
    }
    // The first control of the layout is the top of the stack; frames lie underneath.
    for (auto it = layout.controls.rbegin(); it != layout.controls.rend(); ++it)
        m_widgets.value(it->id)->raise();
    for (const form::ControlSpec& entry : layout.controls) {
        if (entry.kind == form::ControlKind::Group || entry.kind == form::ControlKind::Frame) {
            m_widgets.value(entry.id)->lower();
        }
    }
    // Lists and edits are named after their caption labels, and follow them.
    for (const form::ControlSpec& entry : layout.controls) {
        const form::ControlId label = form::captionLabelOf(entry.id);
        if ((entry.kind == form::ControlKind::Combo || entry.kind == form::ControlKind::Edit) &&
            m_kinds.value(label, form::ControlKind::Picture) == form::ControlKind::Label) {
            m_captioned[label].append(entry.id);
            nameControl(entry.id);
        }
    }
    updateTabOrder();
}

void QtForm::buildMenu(QMenuBar* menuBar) {
    auto tops = form::mainMenuTopEntries();
    m_topMenus.resize(static_cast<qsizetype>(tops.size()));
    for (const form::TopMenuSpec& top : tops) {
        QMenu* menu = menuBar->addMenu(withoutAccessKey(std::string(top.caption)));
        menu->menuAction()->setProperty(kAccessKeyHint, static_cast<int>(top.accessKey));
        m_topMenus[top.position] = menu;
    }
    for (const form::MenuEntrySpec& entry : form::mainMenuEntries()) {
        QMenu* menu = m_topMenus.value(entry.topPosition);
        if (!menu)
            continue;
        QAction* action = menu->addAction(withoutAccessKey(std::string(entry.caption)));
        action->setProperty(kAccessKeyHint, static_cast<int>(entry.accessKey));
        const int command = entry.commandId;
        connect(action, &QAction::triggered, this,
                [this, command] { emit commandIssued(command); });
        m_actions.insert(command, action);
    }
    for (QMenu* menu : std::as_const(m_topMenus)) {
        if (menu)
            markAccessKeys(menu);
    }
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), m_window);
    connect(menuKey, &QShortcut::activated, this, &QtForm::openMenuBar);
}

void QtForm::markWindowAccessKeys() {
    // Alt and a key reaches the menu bar's entries and the push buttons alike.
    QList<QObject*> items;
    for (QMenu* menu : std::as_const(m_topMenus)) {
        if (menu)
            items.append(menu->menuAction());
    }
    for (const form::ControlId id : m_layoutOrder) {
        if (auto* button = qobject_cast<QPushButton*>(m_widgets.value(id)))
            items.append(button);
    }
    markItems(items);
}

void QtForm::markAccessKeys(QMenu* menu) {
    QList<QObject*> items;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator())
            items.append(action);
    }
    markItems(items);
}

std::string QtForm::topMenuCaption(int position) const {
    QMenu* menu = m_topMenus.value(position);
    return menu ? form::stripAccessKey(toUtf8(menu->title())) : std::string();
}

std::string QtForm::menuItemCaption(int commandId) const {
    QAction* action = menuAction(commandId);
    return action ? form::stripAccessKey(toUtf8(action->text())) : std::string();
}

void QtForm::setSubmenuCaption(QMenu* submenu, const std::string& caption, char accessKey) {
    QAction* action = submenu->menuAction();
    action->setProperty(kAccessKeyHint, static_cast<int>(accessKey));
    action->setText(withoutAccessKey(caption));
    for (QMenu* menu : std::as_const(m_topMenus)) {
        if (menu && menu->actions().contains(action))
            markAccessKeys(menu);
    }
}

void QtForm::openMenuBar() {
    if (m_menuBar && !m_topMenus.isEmpty() && m_topMenus.first())
        m_menuBar->setActiveAction(m_topMenus.first()->menuAction());
}

void QtForm::setLeadingTabStops(const QList<QWidget*>& widgets) {
    m_leadingTabStops.clear();
    for (QWidget* w : widgets) m_leadingTabStops.append(w);
    m_tabOrderStale = true;
    updateTabOrder();
}

void QtForm::updateTabOrder() {
    std::vector<form::PlacedControl> controls;
    std::vector<form::Rect> groups;
    for (std::size_t i = 0; i < m_layoutOrder.size(); ++i) {
        const form::ControlId id = m_layoutOrder[i];
        QWidget* w = m_widgets.value(id);
        const form::ControlKind kind = m_kinds.value(id);
        if ((kind == form::ControlKind::Group || kind == form::ControlKind::Frame) &&
            !w->isHidden())
            groups.push_back(fromQRect(w->geometry()));
        if (!m_tabStops.contains(id))
            continue;
        // Some controls share a place, and the family shows one of them; one shown under
        // another (the layout's earlier controls lie on top) cannot be seen, and Tab does
        // not stop there. Hidden controls keep their place; Tab passes them over.
        const QPoint centre = w->geometry().center();
        const bool covered =
            std::any_of(m_layoutOrder.begin(), m_layoutOrder.begin() + static_cast<long>(i),
                        [&](form::ControlId above) {
                            const QWidget* other = m_widgets.value(above);
                            return m_tabStops.contains(above) && !other->isHidden() &&
                                   other->geometry().contains(centre);
                        });
        const Qt::FocusPolicy policy = covered ? Qt::NoFocus : Qt::StrongFocus;
        if (w->focusPolicy() != policy) {
            w->setFocusPolicy(policy);
            m_tabOrderStale = true;  // Qt leaves a control out of the order while it takes none
        }
        if (!covered)
            controls.push_back({id, fromQRect(w->geometry())});
    }
    std::vector<form::ControlId> order = form::readingOrder(controls, groups);
    if (!m_tabOrderStale && order == m_tabOrder)
        return;
    m_tabOrder = std::move(order);
    m_tabOrderStale = false;
    QWidget* previous = nullptr;
    for (const QPointer<QWidget>& w : std::as_const(m_leadingTabStops)) {
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
    for (const form::ControlId id : m_tabOrder) {
        QWidget* w = m_widgets.value(id);
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void QtForm::setAccessibleTexts(const QHash<form::ControlId, QString>& names,
                                const QString& spinNameFormat) {
    m_fixedNames = names;
    m_spinNameFormat =
        spinNameFormat.contains(QLatin1String("%1")) ? spinNameFormat : QStringLiteral("%1");
    for (const form::ControlId id : m_layoutOrder) nameControl(id);
}

void QtForm::nameControl(form::ControlId id) {
    QWidget* w = widget(id);
    if (!w)
        return;
    const form::ControlKind kind = m_kinds.value(id);
    QString name;
    if (kind == form::ControlKind::Combo || kind == form::ControlKind::Edit) {
        const form::ControlId label = form::captionLabelOf(id);
        if (m_captioned.value(label).contains(id))
            name = fromUtf8(text(label)).trimmed();
    }
    if (name.isEmpty())
        name = m_fixedNames.value(id);
    if (name.isEmpty() && !m_fixedNames.contains(id) && kind != form::ControlKind::Combo &&
        kind != form::ControlKind::Edit)
        return;  // named by its own caption, or not at all
    if (w->accessibleName() != name)
        w->setAccessibleName(name);
    if (UpDown* s = spinOfBuddy(id)) {
        const QString spinName = name.isEmpty() ? QString() : m_spinNameFormat.arg(name);
        if (s->accessibleName() != spinName)
            s->setAccessibleName(spinName);
    }
}

UpDown* QtForm::spin(form::ControlId id) const {
    return qobject_cast<UpDown*>(m_widgets.value(id));
}

UpDown* QtForm::spinOfBuddy(form::ControlId id) const {
    const auto it = m_spinOfBuddy.constFind(id);
    return it == m_spinOfBuddy.constEnd() ? nullptr : spin(*it);
}

void QtForm::setTextColourRule(form::ControlId id, std::function<QColor(const QString&)> rule) {
    m_colourRules.insert(id, std::move(rule));
    if (QWidget* w = m_widgets.value(id))
        w->installEventFilter(this);
    applyColourRule(id);
}

void QtForm::applyColourRule(form::ControlId id) {
    auto rule = m_colourRules.find(id);
    auto* edit = qobject_cast<QLineEdit*>(m_widgets.value(id));
    if (rule == m_colourRules.end() || !edit || m_colouring)
        return;
    m_colouring = true;
    QPalette palette = edit->palette();
    const QColor colour = (*rule)(edit->text());
    palette.setColor(QPalette::Text,
                     colour.isValid()
                         ? readableOn(colour, palette.color(QPalette::Base), kTextContrast)
                         : m_canvas->palette().color(QPalette::Text));
    edit->setPalette(palette);
    m_colouring = false;
}

void QtForm::clearItems(form::ControlId id) {
    if (auto* combo = qobject_cast<QComboBox*>(widget(id))) {
        combo->clear();
        followEntries(combo);
        refitFor(combo);
    }
}

void QtForm::addItem(form::ControlId id, const std::string& text) {
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    if (!combo)
        return;
    const int selected = combo->currentIndex();
    combo->addItem(fromUtf8(text));
    combo->setCurrentIndex(selected);  // adding an entry never selects it
    followEntries(combo);
    refitFor(combo);
}

int QtForm::itemCount(form::ControlId id) const {
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    return combo ? combo->count() : 0;
}

std::string QtForm::itemText(form::ControlId id, int index) const {
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    return combo && index >= 0 && index < combo->count() ? toUtf8(combo->itemText(index))
                                                         : std::string();
}

int QtForm::selection(form::ControlId id) const {
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    return combo ? combo->currentIndex() : -1;
}

void QtForm::setSelection(form::ControlId id, int index) {
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    if (!combo)
        return;
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

std::string QtForm::text(form::ControlId id) const {
    QWidget* w = widget(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return toUtf8(edit->text());
    if (auto* label = qobject_cast<QLabel*>(w))
        return toUtf8(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return form::stripAccessKey(toUtf8(button->text()));
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return toUtf8(group->title());
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return toUtf8(combo->currentText());
    return {};
}

void QtForm::setText(form::ControlId id, const std::string& text) {
    QWidget* w = widget(id);
    const QString value = fromUtf8(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(value);
        // Also when the text was already there: the spin steps from the value shown.
        if (UpDown* s = spinOfBuddy(id))
            s->followBuddy();
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
        for (const form::ControlId named : m_captioned.value(id)) nameControl(named);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        showCaption(button, withoutAccessKey(text));
        if (qobject_cast<QPushButton*>(button))
            markWindowAccessKeys();
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(value);
    }
    if (w)
        refitFor(w);
}

bool QtForm::isVisible(form::ControlId id) const {
    QWidget* w = widget(id);
    return w && !w->isHidden();
}

void QtForm::setVisible(form::ControlId id, bool visible) {
    if (QWidget* w = widget(id)) {
        w->setVisible(visible);
        // An edit's spin shows and hides with it.
        if (UpDown* s = spinOfBuddy(id))
            s->setVisible(visible);
        updateFormSize();
        applyFittedSize();
        updateTabOrder();
    }
}

bool QtForm::isEnabled(form::ControlId id) const {
    if (const auto own = m_greyed.constFind(id); own != m_greyed.constEnd())
        return *own;
    QWidget* w = widget(id);
    return w && w->isEnabled();
}

void QtForm::setEnabled(form::ControlId id, bool enabled) {
    if (const auto own = m_greyed.find(id); own != m_greyed.end()) {
        *own = enabled;  // shown once the control is no longer greyed
        return;
    }
    enableWidget(id, enabled);
}

void QtForm::enableWidget(form::ControlId id, bool enabled) {
    if (QWidget* w = widget(id)) {
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            m_listsDisabled.insert(combo, !enabled);
            followEntries(combo);
            return;
        }
        w->setEnabled(enabled);
        // A disabled edit cannot be changed by its spin either.
        if (UpDown* s = spinOfBuddy(id))
            s->setEnabled(enabled);
    }
}

void QtForm::setGreyed(std::span<const form::ControlId> ids, bool greyed) {
    for (const form::ControlId id : ids) {
        if (!widget(id))
            continue;
        if (greyed && !m_greyed.contains(id)) {
            m_greyed.insert(id, ownEnabled(id));
            enableWidget(id, false);
        } else if (!greyed && m_greyed.contains(id)) {
            enableWidget(id, m_greyed.take(id));
        }
    }
}

bool QtForm::ownEnabled(form::ControlId id) const {
    QWidget* w = widget(id);
    // A list is usable only with entries; what it was told is kept apart from that.
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return !m_listsDisabled.value(combo, false);
    return w && w->isEnabled();
}

void QtForm::followEntries(QComboBox* combo) {
    bool anyText = false;
    for (int i = 0; i < combo->count() && !anyText; ++i) anyText = !combo->itemText(i).isEmpty();
    combo->setEnabled(anyText && !m_listsDisabled.value(combo, false));
}

form::Rect QtForm::controlRect(form::ControlId id) const {
    QWidget* w = widget(id);
    return w ? fromQRect(w->geometry()) : form::Rect{};
}

void QtForm::setControlRect(form::ControlId id, const form::Rect& rect) {
    if (QWidget* w = widget(id)) {
        w->setGeometry(toQRect(rect));
        // An edit's arrows stay at its right edge.
        if (UpDown* s = spinOfBuddy(id))
            s->attachToBuddy();
        w->update();
        updateFormSize();
        refitFor(w);
        updateTabOrder();
    }
}

void QtForm::setSpinRange(form::ControlId id, int low, int high) {
    if (UpDown* s = spin(id))
        s->setRange(low, high);
}
int QtForm::spinLow(form::ControlId id) const {
    return spin(id) ? spin(id)->low() : 0;
}
int QtForm::spinHigh(form::ControlId id) const {
    return spin(id) ? spin(id)->high() : 0;
}
void QtForm::setSpinStep(form::ControlId id, int step) {
    if (UpDown* s = spin(id))
        s->setStep(step);
}
int QtForm::spinStep(form::ControlId id) const {
    return spin(id) ? spin(id)->step() : 0;
}
int QtForm::spinPosition(form::ControlId id) const {
    return spin(id) ? spin(id)->position() : 0;
}
void QtForm::setSpinPosition(form::ControlId id, int position) {
    if (UpDown* s = spin(id))
        s->setPosition(position);
}

void QtForm::setProgressFill(form::ControlId id, int done, int rest) {
    if (auto* strip = qobject_cast<ProgressStrip*>(widget(id)))
        strip->setFill(done, rest);
}

void QtForm::setFocus(form::ControlId id) {
    if (QWidget* w = widget(id))
        w->setFocus();
}

void QtForm::repaint(form::ControlId id) {
    if (QWidget* w = widget(id)) {
        applyColourRule(id);
        w->update();
    }
}

void QtForm::setUiFont(const form::UiFont& font) {
    QFont f(QString::fromStdString(font.face));
    f.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight, 100, 900)));
    f.setUnderline(font.underline);
    // The height is a Windows cell height (ascent plus descent); Qt sizes the em. Take
    // the largest em whose line fits the cell, so texts fit the layout's controls, but
    // not below 85 % of the cell: CJK substitutes carry more leading than the faces the
    // layout was drawn for, and would come out too small to read.
    int size = 0;
    if (font.pixelHeight > 0) {
        const int floor = (font.pixelHeight * 85 + 50) / 100;
        size = font.pixelHeight;
        for (; size > floor; --size) {
            f.setPixelSize(size);
            if (QFontMetrics(f).height() <= font.pixelHeight)
                break;
        }
        f.setPixelSize(size);
    }
    m_baseFont = f;
    m_metrics.clear();
    m_neededSize.clear();
    m_largestSize = size;
    m_smallestSize = std::min(size, kSmallestPixelSize);
    if (m_largestSize <= 0) {
        for (QWidget* w : std::as_const(m_widgets)) w->setFont(f);
        return;
    }
    for (QWidget* w : std::as_const(m_widgets)) m_neededSize.insert(w, sizeNeededBy(w));
    applyFittedSize();
}

QFont QtForm::fontOfSize(int pixelSize) const {
    QFont f = m_baseFont;
    f.setPixelSize(pixelSize);
    return f;
}

const QFontMetrics& QtForm::metricsOfSize(int pixelSize) const {
    auto it = m_metrics.find(pixelSize);
    if (it == m_metrics.end())
        it = m_metrics.emplace(pixelSize, QFontMetrics(fontOfSize(pixelSize))).first;
    return it->second;
}

namespace {

// Whether `text` in letters of `metrics` fits `box`: as wide as its advance and its ink,
// and as high as its ink (letters another face supplies may reach above the line's own);
// a text set at the top of its box, with its baseline an ascent down, keeps the ink below
// the baseline (a descender, an underscore) inside the box too.
bool fitsBox(const QFontMetrics& metrics, const QString& text, const QRect& box,
             bool atTop = false) {
    if (text.isEmpty())
        return true;
    const QRect ink = metrics.tightBoundingRect(text);
    const int width = std::max(metrics.horizontalAdvance(text), ink.right() + 1);
    return width <= box.width() && ink.height() <= box.height() &&
           (!atTop || metrics.ascent() + ink.bottom() < box.height());
}

}  // namespace

bool QtForm::textsFit(QWidget* w, int pixelSize) const {
    const QFontMetrics& metrics = metricsOfSize(pixelSize);
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return fitsBox(metrics, label->text(), label->contentsRect(), true);
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        return fitsBox(metrics, button->text(),
                       style->subElementRect(QStyle::SE_PushButtonContents, &option, button));
    }
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = check->text();
        return fitsBox(metrics, check->text(),
                       style->subElementRect(QStyle::SE_CheckBoxContents, &option, check));
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        if (group->title().isEmpty())
            return true;
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.fontMetrics = metrics;
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return group->rect().contains(title) &&
               fitsBox(metrics, group->title(), title.adjusted(-1, 0, 1, 0));
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // Only values the user cannot scroll through; the status field's tooltip holds its
        // whole text.
        if (!edit->isReadOnly() || w == widget(form::kEditStatus))
            return true;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        option.state |= QStyle::State_Sunken;
        const QRect contents = style->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                                   .marginsRemoved(edit->textMargins())
                                   .adjusted(kLineEditTextMargin, 0, -kLineEditTextMargin, 0);
        return fitsBox(metrics, edit->text(), contents);
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        option.frame = combo->hasFrame();
        option.subControls = QStyle::SC_All;
        // The entry is drawn one pixel in from either side of the field.
        const QRect field =
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                .adjusted(1, 0, -1, 0);
        for (int i = 0; i < combo->count(); ++i) {
            if (!fitsBox(metrics, combo->itemText(i), field))
                return false;
        }
    }
    return true;
}

int QtForm::sizeNeededBy(QWidget* w) const {
    for (int size = m_largestSize; size > m_smallestSize; --size) {
        if (textsFit(w, size))
            return size;
    }
    return m_smallestSize;
}

void QtForm::refitFor(QWidget* w) {
    if (m_largestSize <= 0)
        return;
    m_neededSize.insert(w, sizeNeededBy(w));
    applyFittedSize();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The drop-down shows each entry whole, also one wider than the list.
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
        combo->view()->setMinimumWidth(widest + 4 * combo->view()->frameWidth() +
                                       combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    }
}

void QtForm::applyFittedSize() {
    if (m_largestSize <= 0)
        return;
    // One size for the whole form while every visible text fits in letters still as large as
    // most of the language's; a text too long even for those makes only its own control's
    // letters smaller.
    const int shared = std::max(m_smallestSize, m_largestSize * 4 / 5);
    int size = m_largestSize;
    for (auto it = m_neededSize.constBegin(); it != m_neededSize.constEnd(); ++it) {
        if (!it.key()->isHidden())
            size = std::min(size, std::max(it.value(), shared));
    }
    for (QWidget* w : std::as_const(m_widgets)) {
        const int own = std::min(size, m_neededSize.value(w, size));
        if (w->font().pixelSize() != own || w->font().family() != m_baseFont.family() ||
            w->font().weight() != m_baseFont.weight())
            w->setFont(fontOfSize(own));
    }
}

void QtForm::setWindowTitle(const std::string& title) {
    m_window->setWindowTitle(fromUtf8(title));
}

form::Rect QtForm::windowRect() const {
    QRect frame = m_window->frameGeometry();
    frame.setHeight(frame.height() - m_toolbarHeight);
    return fromQRect(frame);
}

void QtForm::placeWindow(const form::Rect& rect) {
    const QMargins frame = frameMargins();
    m_canvas->setMinimumSize(contentSize());
    const QSize wanted(rect.width() - frame.left() - frame.right(),
                       rect.height() + m_toolbarHeight - frame.top() - frame.bottom());
    m_window->resize(wanted.expandedTo(wholeFormSize()));
    m_window->move(rect.left, rect.top);
    m_window->show();
    // The frame is known for sure only once the window is shown: the frame's corner, not
    // the client area's, goes where it was asked.
    if (m_window->frameGeometry().topLeft() != QPoint(rect.left, rect.top))
        m_window->move(rect.left, rect.top);
    keepInsideWorkArea();
    m_window->raise();
    m_window->activateWindow();
}

bool QtForm::windowShown() const {
    return m_window->isVisible();
}

form::Rect QtForm::workArea() const {
    const QScreen* screen = m_window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return fromQRect(screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080));
}

QMargins QtForm::frameMargins() const {
    const QRect frame = m_window->frameGeometry();
    const QRect client = m_window->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

QSize QtForm::wholeFormSize() const {
    const QSize least = m_window->minimumSizeHint();
    // In a scroll area the window's least size leaves the form out; it is put back, so the
    // window shows the whole form without scrolling wherever the screen has the room.
    QWidget* viewport = m_canvas->parentWidget();
    auto* scroll =
        viewport ? qobject_cast<QAbstractScrollArea*>(viewport->parentWidget()) : nullptr;
    if (!scroll)
        return least;
    const QSize canvas = m_canvas->minimumSize();
    const int frame = 2 * scroll->frameWidth();
    return QSize(std::max(least.width(), canvas.width() + frame),
                 least.height() - scroll->minimumSizeHint().height() + canvas.height() + frame);
}

void QtForm::keepInsideWorkArea() {
    const QMargins frame = frameMargins();
    const QRect area = toQRect(workArea());
    const QSize largest = area.size().shrunkBy(frame);
    const QSize client = m_window->size();
    if (!largest.isEmpty() && client != client.boundedTo(largest))
        m_window->resize(client.boundedTo(largest));
    const form::Rect fitted = form::fitIntoArea(fromQRect(m_window->frameGeometry()), workArea());
    if (QPoint(fitted.left, fitted.top) != m_window->frameGeometry().topLeft())
        m_window->move(fitted.left, fitted.top);
}

void QtForm::setTopMenuCaption(int position, const std::string& caption) {
    if (QMenu* menu = m_topMenus.value(position)) {
        menu->setTitle(withoutAccessKey(caption));
        markWindowAccessKeys();
    }
}

void QtForm::setMenuItemCaption(int commandId, const std::string& caption) {
    QAction* action = menuAction(commandId);
    if (!action)
        return;
    action->setText(withoutAccessKey(caption));
    for (QMenu* menu : std::as_const(m_topMenus)) {
        if (menu && menu->actions().contains(action))
            markAccessKeys(menu);
    }
}

void QtForm::setMenuItemChecked(int commandId, bool checked) {
    if (QAction* action = menuAction(commandId)) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

form::MenuItemState QtForm::menuItemState(int commandId) const {
    QAction* action = menuAction(commandId);
    if (!action)
        return form::MenuItemState::Missing;
    if (!action->isEnabled())
        return form::MenuItemState::Disabled;
    if (action->isChecked())
        return form::MenuItemState::Checked;
    return form::MenuItemState::Plain;
}

void QtForm::redrawMenu() {
    if (m_menuBar)
        m_menuBar->update();
}

QSize QtForm::contentSize() const {
    QRect bounds;
    for (QWidget* w : std::as_const(m_widgets)) {
        if (!w->isHidden())
            bounds = bounds.united(w->geometry());
    }
    return QSize(bounds.right() + 1 + kContentMargin, bounds.bottom() + 1 + kContentMargin);
}

}  // namespace app
