#pragma once
// Timers 0 and 1 on QTimer (precise: the protocol counts ticks of 30 and 50 ms).

#include <QObject>
#include <QTimer>
#include <functional>

#include "link/protocol_host.h"

namespace app {

class QtTimerHost final : public QObject, public transport::ProtocolHost {
    Q_OBJECT
  public:
    explicit QtTimerHost(QObject* parent = nullptr);

    void setTickHandler(transport::TimerId id, std::function<void()> handler);
    void setRepaintHandler(std::function<void()> handler) { m_repaint = std::move(handler); }

    void startTimer(transport::TimerId id, uint32_t periodMs) override;
    void stopTimer(transport::TimerId id) override;
    bool isTimerRunning(transport::TimerId id) const override;
    void repaintLamps() override;
    uint32_t period(transport::TimerId id) const;

  private:
    QTimer m_timers[2];
    std::function<void()> m_handlers[2];
    std::function<void()> m_repaint;
};

}  // namespace app
