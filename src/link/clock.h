#pragma once
// Milliseconds and sleeping. The real clock follows std::chrono::steady_clock; the
// virtual clock only moves when told to (or when someone sleeps on it), so tests of
// long waits run in microseconds.

#include <cstdint>
#include <functional>

namespace transport {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary epoch; wraps at 2^32 like a tick counter.
    virtual uint32_t nowMs() const = 0;
    // Blocks the caller for at least `ms` milliseconds.
    virtual void sleepMs(uint32_t ms) = 0;
};

class SteadyClock final : public Clock {
  public:
    uint32_t nowMs() const override;
    void sleepMs(uint32_t ms) override;
};

class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(uint32_t startMs = 0) : m_now(startMs) {}
    uint32_t nowMs() const override { return m_now; }
    void sleepMs(uint32_t ms) override {
        m_now += ms;
        m_slept += ms;
        moved();
    }
    void advance(uint32_t ms) {
        m_now += ms;
        moved();
    }
    // Runs after every move of the clock: what else lives on this clock in the same
    // thread (a server the program talks to) takes its step while time passes.
    void setFollower(std::function<void()> follower) { m_follower = std::move(follower); }
    // Total time spent in sleepMs, for tests of the protocol's waits.
    uint64_t sleptMs() const { return m_slept; }

  private:
    void moved() {
        if (m_follower)
            m_follower();
    }

    uint32_t m_now;
    uint64_t m_slept = 0;
    std::function<void()> m_follower;
};

// Waits `ms` milliseconds on `clock` (the protocol's 20, 30 and 100 ms pauses). The
// user interface stands still meanwhile, as the protocol expects.
void delayMs(Clock& clock, uint32_t ms);

}  // namespace transport
