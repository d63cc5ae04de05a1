#pragma once
// Whole conversations: the session with the headless form on a virtual clock, talking to
// the ESC emulator behind the simulated port. The link starts as the window starts it.

#include <cstdint>
#include <functional>

#include "support/session_rig.h"

namespace scenario {

using Bytes = std::vector<uint8_t>;
using testing_support::TraceRecorder;
using testing_support::useShippedLanguageFile;

struct Scenario : testing_support::SessionRig {
    explicit Scenario(const sim::EscConfig& config = {}) : testing_support::SessionRig(config) {
        session->startLink();
    }
    static sim::EscConfig family(uint8_t family, uint8_t variant = 1) {
        sim::EscConfig config;
        config.family = family;
        config.variant = variant;
        return config;
    }

    bool runUntil(const std::function<bool()>& done, uint32_t timeoutMs = 5000) {
        return host.runUntil(done, timeoutMs);
    }
    // Link-up through to the first settings read.
    bool linkUp() {
        return runUntil([this] { return controller().settingsLoaded() && controller().linksUp(); });
    }
    void runFor(uint32_t ms) { host.runFor(ms); }
    uint64_t ticks() const { return host.firedCount(transport::kProtocolTimer); }
    // Runs exactly `n` ticks of timer 0.
    void runTicks(uint64_t n) {
        const uint64_t until = ticks() + n;
        runUntil([&] { return ticks() >= until; }, 100000);
    }
};

}  // namespace scenario
