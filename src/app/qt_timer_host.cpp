#include "app/qt_timer_host.h"

namespace app {

QtTimerHost::QtTimerHost(QObject* parent) : QObject(parent) {
    for (int id = 0; id < 2; ++id) {
        m_timers[id].setTimerType(Qt::PreciseTimer);
        connect(&m_timers[id], &QTimer::timeout, this, [this, id] {
            if (m_handlers[id])
                m_handlers[id]();
        });
    }
}

void QtTimerHost::setTickHandler(transport::TimerId id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
}

void QtTimerHost::startTimer(transport::TimerId id, uint32_t periodMs) {
    m_timers[id].start(static_cast<int>(periodMs));  // restarts a running timer
}

void QtTimerHost::stopTimer(transport::TimerId id) {
    m_timers[id].stop();
}

bool QtTimerHost::isTimerRunning(transport::TimerId id) const {
    return m_timers[id].isActive();
}

void QtTimerHost::repaintLamps() {
    if (m_repaint)
        m_repaint();
}

uint32_t QtTimerHost::period(transport::TimerId id) const {
    return static_cast<uint32_t>(m_timers[id].interval());
}

}  // namespace app
