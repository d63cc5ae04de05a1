#include "app/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>

#include "app/qt_form.h"
#include "app/status_lamp.h"

namespace app {
namespace {

constexpr const char* kNamedByCaption = "tessaroNamedByCaption";

class CaptionedList final : public QAccessibleWidget {
  public:
    explicit CaptionedList(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return list()->accessibleName().isEmpty() ? list()->currentText()
                                                          : list()->accessibleName();
            case QAccessible::Value:
                return list()->currentText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    // The entries, as the popup's view offers them.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            list()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QComboBox* list() const { return static_cast<QComboBox*>(object()); }
};

class ProgressValue final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit ProgressValue(ProgressStrip* strip)
        : QAccessibleWidget(strip, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QStringLiteral("%1%").arg(strip()->percent());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return strip()->percent(); }
    void setCurrentValue(const QVariant&) override {}  // shown, not set by the user
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    ProgressStrip* strip() const { return static_cast<ProgressStrip*>(object()); }
};

QAccessibleInterface* windowInterface(const QString&, QObject* object) {
    if (auto* list = qobject_cast<QComboBox*>(object)) {
        return list->property(kNamedByCaption).toBool() ? new CaptionedList(list) : nullptr;
    }
    if (auto* strip = qobject_cast<ProgressStrip*>(object))
        return new ProgressValue(strip);
    if (auto* lamp = qobject_cast<StatusLamp*>(object))
        return new QAccessibleWidget(lamp, QAccessible::StaticText);
    return nullptr;
}

}  // namespace

void installAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(windowInterface);
        return true;
    }();
    (void)installed;
}

void nameListByCaption(QComboBox* list) {
    list->setProperty(kNamedByCaption, true);
}

}  // namespace app
