#include "app/up_down.h"

#include <QEvent>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "form/layout.h"

namespace app {

UpDown::UpDown(QWidget* parent, bool arrowKeys)
    : QWidget(parent),
      m_up(new QToolButton(this)),
      m_down(new QToolButton(this)),
      m_arrowKeys(arrowKeys) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_up, m_down}) {
        b->setArrowType(b == m_up ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

int UpDown::clamp(int value) const {
    const int lo = std::min(m_low, m_high);
    const int hi = std::max(m_low, m_high);
    return std::clamp(value, lo, hi);
}

void UpDown::setBuddy(QLineEdit* buddy) {
    m_buddy = buddy;
    if (!m_buddy)
        return;
    m_buddy->installEventFilter(this);
    // Whoever changes the buddy's text, the next step starts from the number it shows.
    connect(m_buddy, &QLineEdit::textChanged, this, &UpDown::followBuddy);
    followBuddy();
}

void UpDown::followBuddy() {
    if (!m_buddy)
        return;
    const auto position = form::spinPositionFromText(m_buddy->text().toStdString(), m_low, m_high);
    if (position && *position != m_position) {
        m_position = *position;
        emit positionChanged(m_position);
    }
}

void UpDown::setRange(int low, int high) {
    m_low = low;
    m_high = high;
    m_position = clamp(m_position);
}

void UpDown::setPosition(int position) {
    m_position = clamp(position);
    if (m_buddy)
        m_buddy->setText(QString::number(m_position));
    emit positionChanged(m_position);
}

void UpDown::attachToBuddy() {
    if (!m_buddy)
        return;
    const QRect b = m_buddy->geometry();
    const int width = std::max(12, b.height() * 2 / 3);
    m_buddy->setGeometry(b.x(), b.y(), std::max(0, b.width() - width), b.height());
    setGeometry(b.right() + 1 - width, b.y(), width, b.height());
    setVisible(m_buddy->isVisible() || isVisible());
}

void UpDown::stepBy(int direction) {
    if (!isEnabled() || (m_buddy && !m_buddy->isEnabled()))
        return;
    // Up is toward the high end, also for a reversed range, as the layout's spins go.
    const int delta = direction * m_step * (m_high >= m_low ? 1 : -1);
    emit aboutToStep(m_position, delta);
    setPosition(m_position + delta);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && m_arrowKeys && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace app
