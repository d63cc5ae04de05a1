#pragma once
// A ProtocolHost without a window: it runs timers 0 and 1 at their periods on any Clock.
// On a VirtualClock time jumps straight to the next due timer, so minutes of protocol
// run in microseconds; on the real clock it sleeps until the next due time (the CLI).

#include <array>
#include <cstdint>
#include <functional>

#include "link/clock.h"
#include "link/protocol_host.h"

namespace protocol {

class TickHost final : public transport::ProtocolHost {
  public:
    explicit TickHost(transport::Clock& clock);

    // What runs when a timer is due (timer 0: protocolTick, timer 1: openAdapter).
    void setTimerHandler(transport::TimerId id, std::function<void()> handler) override;
    // Called on every lamp repaint, after the count went up.
    void setRepaintHandler(std::function<void()> handler) { m_repaintHandler = std::move(handler); }

    void startTimer(transport::TimerId id, uint32_t periodMs) override;
    void stopTimer(transport::TimerId id) override;
    bool isTimerRunning(transport::TimerId id) const override;
    void repaintLamps() override;

    // Runs due timers until `ms` milliseconds have passed on the clock.
    void runFor(uint32_t ms);
    // Runs due timers until `done` holds (tested before the first and after every timer
    // event) or `timeoutMs` have passed; returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, uint32_t timeoutMs);

    uint32_t timerPeriod(transport::TimerId id) const;
    uint64_t firedCount(transport::TimerId id) const;
    uint32_t repaintCount() const { return m_repaints; }
    // Milliseconds since the host was made, without the clock's 32-bit wrap.
    uint64_t elapsedMs();

  private:
    struct Timer {
        bool running = false;
        uint32_t periodMs = 0;
        uint64_t dueMs = 0;
        uint64_t generation = 0;  // changes at every start and stop
        uint64_t fired = 0;
        std::function<void()> handler;
    };
    static constexpr std::size_t kTimerCount = 2;

    Timer* timer(transport::TimerId id);
    const Timer* timer(transport::TimerId id) const;
    void waitUntil(uint64_t targetMs);

    transport::Clock& m_clock;
    transport::VirtualClock* m_virtualClock;  // set when time may simply jump
    uint32_t m_lastRawMs;
    uint64_t m_elapsedMs = 0;
    std::array<Timer, kTimerCount> m_timers{};
    uint32_t m_repaints = 0;
    std::function<void()> m_repaintHandler;
};

}  // namespace protocol
