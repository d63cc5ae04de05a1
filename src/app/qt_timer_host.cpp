#include "app/qt_timer_host.h"

namespace app {

QtTimerHost::QtTimerHost(QObject* parent, transport::Clock* drivenClock) : QObject(parent) {
    if (drivenClock) {
        m_driven = std::make_unique<protocol::TickHost>(*drivenClock);
        m_driven->setRepaintHandler([this] {
            if (m_repaint)
                m_repaint();
        });
    }
    for (int id = 0; id < 2; ++id) {
        m_timers[id].setTimerType(Qt::PreciseTimer);
        connect(&m_timers[id], &QTimer::timeout, this, [this, id] {
            if (m_handlers[id])
                m_handlers[id]();
        });
    }
}

void QtTimerHost::setTimerHandler(transport::TimerId id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
    if (m_driven) {
        m_driven->setTimerHandler(id, [this, id] {
            if (m_handlers[id])
                m_handlers[id]();
        });
    }
}

void QtTimerHost::startTimer(transport::TimerId id, uint32_t periodMs) {
    if (m_driven)
        return m_driven->startTimer(id, periodMs);
    m_timers[id].start(static_cast<int>(periodMs));  // restarts a running timer
}

void QtTimerHost::stopTimer(transport::TimerId id) {
    if (m_driven)
        return m_driven->stopTimer(id);
    m_timers[id].stop();
}

bool QtTimerHost::isTimerRunning(transport::TimerId id) const {
    return m_driven ? m_driven->isTimerRunning(id) : m_timers[id].isActive();
}

void QtTimerHost::repaintLamps() {
    if (m_driven)
        return m_driven->repaintLamps();
    if (m_repaint)
        m_repaint();
}

uint32_t QtTimerHost::period(transport::TimerId id) const {
    return m_driven ? m_driven->timerPeriod(id) : static_cast<uint32_t>(m_timers[id].interval());
}

void QtTimerHost::runFor(uint32_t ms) {
    if (m_driven)
        m_driven->runFor(ms);
}

bool QtTimerHost::runUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    return m_driven ? m_driven->runUntil(done, timeoutMs) : done();
}

}  // namespace app
