#include "protocol/tick_host.h"

#include <algorithm>

namespace protocol {

TickHost::TickHost(transport::Clock& clock)
    : m_clock(clock),
      m_virtualClock(dynamic_cast<transport::VirtualClock*>(&clock)),
      m_lastRawMs(clock.nowMs()) {}

TickHost::Timer* TickHost::timer(transport::TimerId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < kTimerCount ? &m_timers[index] : nullptr;
}

const TickHost::Timer* TickHost::timer(transport::TimerId id) const {
    const auto index = static_cast<std::size_t>(id);
    return index < kTimerCount ? &m_timers[index] : nullptr;
}

void TickHost::setTimerHandler(transport::TimerId id, std::function<void()> handler) {
    if (Timer* t = timer(id))
        t->handler = std::move(handler);
}

uint64_t TickHost::elapsedMs() {
    // Unsigned subtraction survives a wrap of the clock's counter.
    const uint32_t now = m_clock.nowMs();
    m_elapsedMs += static_cast<uint32_t>(now - m_lastRawMs);
    m_lastRawMs = now;
    return m_elapsedMs;
}

void TickHost::startTimer(transport::TimerId id, uint32_t periodMs) {
    Timer* t = timer(id);
    if (t == nullptr)
        return;
    t->running = true;
    t->periodMs = std::max<uint32_t>(periodMs, 1);
    t->dueMs = elapsedMs() + t->periodMs;
    ++t->generation;
}

void TickHost::stopTimer(transport::TimerId id) {
    Timer* t = timer(id);
    if (t == nullptr)
        return;
    t->running = false;
    ++t->generation;
}

bool TickHost::isTimerRunning(transport::TimerId id) const {
    const Timer* t = timer(id);
    return t != nullptr && t->running;
}

uint32_t TickHost::timerPeriod(transport::TimerId id) const {
    const Timer* t = timer(id);
    return t != nullptr ? t->periodMs : 0;
}

uint64_t TickHost::firedCount(transport::TimerId id) const {
    const Timer* t = timer(id);
    return t != nullptr ? t->fired : 0;
}

void TickHost::repaintLamps() {
    ++m_repaints;
    if (m_repaintHandler)
        m_repaintHandler();
}

void TickHost::waitUntil(uint64_t targetMs) {
    const uint64_t now = elapsedMs();
    if (targetMs <= now)
        return;
    const uint64_t wait = targetMs - now;
    if (m_virtualClock != nullptr) {
        // Not a sleep of the program: the protocol's own pauses stay countable apart.
        m_virtualClock->advance(static_cast<uint32_t>(wait));
    } else {
        m_clock.sleepMs(static_cast<uint32_t>(wait));
    }
    elapsedMs();
}

void TickHost::runFor(uint32_t ms) {
    runUntil([] { return false; }, ms);
}

bool TickHost::runUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint64_t endMs = elapsedMs() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        Timer* next = nullptr;
        for (Timer& t : m_timers) {
            if (t.running && (next == nullptr || t.dueMs < next->dueMs))
                next = &t;
        }
        if (next == nullptr || next->dueMs > endMs) {
            waitUntil(endMs);
            return done();
        }
        waitUntil(next->dueMs);
        const uint64_t generation = next->generation;
        const uint64_t dueMs = next->dueMs;
        ++next->fired;
        if (next->handler)
            next->handler();
        // A handler that restarted or stopped its own timer has already rescheduled it.
        // One that blocked past its next due time does not fire the moment it returns:
        // the next tick comes a whole period later, so that what was sent at the end of
        // the wait has that period to be answered.
        if (next->running && next->generation == generation) {
            const uint64_t now = elapsedMs();
            next->dueMs = dueMs + next->periodMs;
            if (next->dueMs <= now)
                next->dueMs = now + next->periodMs;
        }
    }
}

}  // namespace protocol
