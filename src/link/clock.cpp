#include "link/clock.h"

#include <chrono>
#include <thread>

namespace transport {

uint32_t SteadyClock::nowMs() const {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void delayMs(Clock& clock, uint32_t ms) {
    // Sleep rather than spin; re-check against the counter so that an early wake-up
    // still yields the full delay. Unsigned subtraction survives a wrap of the counter.
    const uint32_t start = clock.nowMs();
    for (;;) {
        const uint32_t elapsed = clock.nowMs() - start;
        if (elapsed >= ms)
            return;
        clock.sleepMs(ms - elapsed);
    }
}

}  // namespace transport
