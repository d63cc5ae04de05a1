#pragma once
// Timers 0 and 1 on QTimer (precise: the protocol counts ticks of 30 and 50 ms). Tests
// drive the same window on a virtual clock instead: given a clock, the host keeps its
// timers on that clock and runs them only when told to.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "link/clock.h"
#include "link/protocol_host.h"
#include "protocol/tick_host.h"

namespace app {

class QtTimerHost final : public QObject, public transport::ProtocolHost {
    Q_OBJECT
  public:
    explicit QtTimerHost(QObject* parent = nullptr, transport::Clock* drivenClock = nullptr);

    void setTimerHandler(transport::TimerId id, std::function<void()> handler) override;
    void setRepaintHandler(std::function<void()> handler) { m_repaint = std::move(handler); }

    void startTimer(transport::TimerId id, uint32_t periodMs) override;
    void stopTimer(transport::TimerId id) override;
    bool isTimerRunning(transport::TimerId id) const override;
    void repaintLamps() override;
    uint32_t period(transport::TimerId id) const;

    // Driven hosts only: run the due timers for `ms` of clock time, or until `done`.
    void runFor(uint32_t ms);
    bool runUntil(const std::function<bool()>& done, uint32_t timeoutMs);

  private:
    std::unique_ptr<protocol::TickHost> m_driven;
    QTimer m_timers[2];
    std::function<void()> m_handlers[2];
    std::function<void()> m_repaint;
};

}  // namespace app
