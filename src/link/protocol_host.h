#pragma once
// What the link and the protocol controller ask of their window: the two timers and the
// repaint of the status lamps. The window implements it with QTimer; tests and the CLI
// with hosts that fire the timers on a virtual or the real clock.

#include <cstdint>
#include <functional>

namespace transport {

enum TimerId : int {
    kProtocolTimer = 0,  // timer 0: protocolTick
    kOpenTimer = 1,      // timer 1: openAdapter
};

class ProtocolHost {
  public:
    virtual ~ProtocolHost() = default;
    // Starts the timer with the period; a running timer restarts with the new period.
    virtual void startTimer(TimerId id, uint32_t periodMs) = 0;
    virtual void stopTimer(TimerId id) = 0;
    virtual bool isTimerRunning(TimerId id) const = 0;
    // Repaints the lamp area after a change of the adapter or ESC link flag.
    virtual void repaintLamps() = 0;
    // What runs when the timer is due (timer 0: the protocol tick, timer 1: an open
    // attempt). Hosts that never fire timers themselves may ignore it.
    virtual void setTimerHandler(TimerId id, std::function<void()> handler) {
        (void)id;
        (void)handler;
    }
};

// What the link tells the protocol controller (which implements it).
class LinkListener {
  public:
    virtual ~LinkListener() = default;
    // The last step of a successful open attempt: timer 1 is already stopped; the
    // controller starts timer 0 at 30 ms and enters state 1.
    virtual void onAdapterOpened() = 0;
    // The open adapter was removed and closed: the controller clears its link flags,
    // stops timer 0 and repaints the lamps.
    virtual void onAdapterRemoved() = 0;
};

}  // namespace transport
