#pragma once
// Whole conversations: the headless form, the real settings model, the link adapter and
// the protocol controller on a virtual clock, talking to the ESC emulator behind the
// simulated port.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/headless_form.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/protocol_controller.h"
#include "support/recording_prompter.h"
#include "protocol/tick_host.h"
#include "settings/calculator.h"
#include "settings/form_settings_model.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"

namespace scenario {

using Bytes = std::vector<uint8_t>;

// A private copy of the shipped language file: the settings model writes its marks into
// section "set", which must not touch the repository.
inline void useShippedLanguageFile() {
    static const std::string copy = [] {
        const std::filesystem::path target =
            std::filesystem::path(::testing::TempDir()) /
            ("scenario_language-" + std::to_string(::getpid()) + ".ini");
        std::filesystem::copy_file(std::filesystem::path(TESSARO_RESOURCES_DIR) / "language.ini",
                                   target, std::filesystem::copy_options::overwrite_existing);
        return target.string();
    }();
    i18n::g_languageFilePath = copy;
    i18n::g_chineseSelected = 0;
}

// What went over the link, with the virtual time of each frame.
class TraceRecorder final : public protocol::FrameTrace {
  public:
    struct Entry {
        bool written;  // false: a reply read by a tick
        Bytes bytes;
        uint64_t atMs;
    };
    explicit TraceRecorder(protocol::TickHost& host) : m_host(host) {}
    void frameWritten(std::span<const uint8_t> frame) override {
        m_entries.push_back({true, Bytes(frame.begin(), frame.end()), m_host.elapsedMs()});
    }
    void replyReceived(std::span<const uint8_t> reply) override {
        m_entries.push_back({false, Bytes(reply.begin(), reply.end()), m_host.elapsedMs()});
    }
    const std::vector<Entry>& entries() const { return m_entries; }
    // First bytes of the frames written, in order.
    std::vector<uint8_t> commands() const {
        std::vector<uint8_t> out;
        for (const Entry& e : m_entries) {
            if (e.written && !e.bytes.empty())
                out.push_back(e.bytes[0]);
        }
        return out;
    }
    size_t count(uint8_t command) const {
        size_t n = 0;
        for (uint8_t c : commands()) n += c == command;
        return n;
    }
    void clear() { m_entries.clear(); }

  private:
    protocol::TickHost& m_host;
    std::vector<Entry> m_entries;
};

struct Scenario {
    transport::VirtualClock clock{20000};
    std::shared_ptr<sim::EscEmulator> esc;
    std::unique_ptr<sim::SimulatedPort> port;
    protocol::TickHost host{clock};
    form::HeadlessForm form;
    testing_support::RecordingPrompter prompter;
    settings::FormSettingsModel model{form};
    std::unique_ptr<transport::LinkAdapter> link;
    std::unique_ptr<protocol::ProtocolController> controller;
    TraceRecorder trace{host};

    explicit Scenario(const sim::EscConfig& config = {}) {
        useShippedLanguageFile();
        settings::initCalculator(form);
        port = sim::makeSimulatedDevice(config, &clock, &esc);
        link = std::make_unique<transport::LinkAdapter>(*port, host, clock);
        controller =
            std::make_unique<protocol::ProtocolController>(*link, host, form, prompter, model);
        controller->setTrace(&trace);
        link->setListener(controller.get());
        host.setTimerHandler(transport::kOpenTimer, [this] { link->openAdapter(); });
        host.setTimerHandler(transport::kProtocolTimer, [this] { controller->protocolTick(); });
        link->startLink();
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
        return runUntil([this] { return controller->settingsLoaded() && controller->linksUp(); });
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
