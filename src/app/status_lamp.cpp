#include "app/status_lamp.h"

#include <QPainter>

#include "app/contrast.h"

namespace app {

StatusLamp::StatusLamp(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void StatusLamp::place(const QRect& square) {
    setGeometry(square.adjusted(0, 0, 1, 1));
}

void StatusLamp::showState(const QColor& stateColour, const QString& name) {
    if (stateColour != m_state) {
        m_state = stateColour;
        update();
    }
    if (name != accessibleName()) {
        setAccessibleName(name);  // tells screen readers of the change
        setToolTip(name);
    }
}

QColor StatusLamp::fillColour() const {
    const QWidget* behind = parentWidget() ? parentWidget() : this;
    return readableOn(m_state, behind->palette().color(behind->backgroundRole()), kGraphicContrast);
}

void StatusLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(fillColour());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace app
